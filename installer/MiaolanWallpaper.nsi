; The installer of 渺岚壁纸: the program, its packet library, a Start-menu entry and an
; uninstaller registered with Windows.
;
; Run normally it installs for the current user under %LOCALAPPDATA%\Programs and needs no
; administrator; run as administrator it installs for all users under Program Files.
; /CurrentUser and /AllUsers choose explicitly, /D=folder picks the folder (last on the line).
; The uninstaller keeps the settings (data\Config.ini) and the pictures unless the user says so,
; or /RemoveUserData is given.
;
; A running copy of the program in the folder is asked to end (the message its main window
; answers) before files are replaced or removed; one that has not ended within 5 s is ended.
; Exit code 3: installed for all users, but the users' write access to data\ could not be
; seen on the folder, so only administrators can save the shared settings.
;
; makensis -DSOURCE_EXE=... -DSOURCE_DLL=... -DICON=... -DVERSION=... -DOUTFILE=...
;          -DEND_NOW_MESSAGE=... this file
; (the last comes from src/ui/program_window.h)

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true

!define PRODUCT "渺岚壁纸"
!define EXE "MiaolanWallpaper.exe"
!define DLL "HPSocket4C.dll"
!define UNINSTALLER "uninstall.exe"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\MiaolanWallpaper"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
; The per-user folder of the desktop bitmap when the Windows folder cannot be written.
!define BITMAP_FOLDER "渺岚壁纸"
!define BITMAP_NAME "桌面背景图片.bmp"
; BUILTIN\Users, as icacls is told.
!define USERS_SID "S-1-5-32-545"
!define EXIT_USERS_CANNOT_WRITE 3

Name "${PRODUCT}"
OutFile "${OUTFILE}"
; A standard user installs without a prompt; an elevated run may install for everybody.
RequestExecutionLevel user
BrandingText "${PRODUCT} ${VERSION}"

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!addincludedir "${__FILEDIR__}"
!include users_can_modify.nsh

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\${EXE}"

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_PAGE_CUSTOMFUNCTION_SHOW FinishShow
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileDescription" "${PRODUCT} 安装程序"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "LegalCopyright" "${PRODUCT}"

Var AllUsers
Var Elevated


Function .onInit
  ; All users when the installer runs with administrator rights, unless /CurrentUser says
  ; otherwise; /AllUsers without those rights is refused.
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 == "Admin"
    StrCpy $AllUsers 1
    StrCpy $Elevated 1
  ${Else}
    StrCpy $AllUsers 0
    StrCpy $Elevated 0
  ${EndIf}
  ${GetParameters} $1
  ClearErrors
  ${GetOptions} $1 "/CurrentUser" $2
  ${IfNot} ${Errors}
    StrCpy $AllUsers 0
  ${EndIf}
  ClearErrors
  ${GetOptions} $1 "/AllUsers" $2
  ${IfNot} ${Errors}
    ${If} $0 != "Admin"
      MessageBox MB_OK|MB_ICONSTOP "为所有用户安装需要管理员权限。" /SD IDOK
      SetErrorLevel 740
      Quit
    ${EndIf}
    StrCpy $AllUsers 1
  ${EndIf}
  ${If} $AllUsers == 1
    SetShellVarContext all
  ${Else}
    SetShellVarContext current
  ${EndIf}
  ; /D= has already set the folder; otherwise the folder of the chosen mode.
  ${If} $INSTDIR == ""
    ${If} $AllUsers == 1
      StrCpy $INSTDIR "$PROGRAMFILES64\${PRODUCT}"
    ${Else}
      StrCpy $INSTDIR "$LOCALAPPDATA\Programs\${PRODUCT}"
    ${EndIf}
  ${EndIf}
FunctionEnd

; Asks every running copy of this folder's program to end and waits for it, 5 s in all; a copy
; still running then is ended. Copies are found by their file among all processes, not by
; their windows: a search from window to window loses its place when another program's
; windows of the same class come and go meanwhile, and then misses the copy. The request is
; broadcast naming the copy meant, so copies of other folders are left alone. Uses $R0-$R9.
!macro EndRunningCopiesFunction un
Function ${un}EndRunningCopies
  System::Call 'user32::RegisterWindowMessageW(w "${END_NOW_MESSAGE}") i .R9'
  System::Call 'kernel32::GetTickCount() i .R8'
  IntOp $R8 $R8 + 5000
  ; Room for 8192 process ids, far more than a desktop runs.
  System::Alloc 32768
  Pop $R7
  System::Call 'kernel32::K32EnumProcesses(p R7, i 32768, *i .R6) i .R0'
  ${If} $R0 = 0
    StrCpy $R6 0
  ${EndIf}
  ; $R5: the byte offset of the next id in the list.
  StrCpy $R5 0
  ${DoWhile} $R5 < $R6
    IntPtrOp $R4 $R7 + $R5
    System::Call '*$R4(i .R1)'
    IntOp $R5 $R5 + 4
    ; SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE
    System::Call 'kernel32::OpenProcess(i 0x00101001, i 0, i R1) p .R2'
    ${If} $R2 P<> 0
      System::Call 'kernel32::QueryFullProcessImageNameW(p R2, i 0, w .R3, *i ${NSIS_MAX_STRLEN}) i .R0'
      ${If} $R0 <> 0
      ${AndIf} $R3 == "$INSTDIR\${EXE}"
        ; HWND_BROADCAST: every window of the copy hears it; other programs do not know it.
        System::Call 'user32::PostMessageW(p 0xFFFF, i R9, p R1, p 0)'
        System::Call 'kernel32::GetTickCount() i .R4'
        IntOp $R4 $R8 - $R4
        ${If} $R4 < 0
          StrCpy $R4 0
        ${EndIf}
        System::Call 'kernel32::WaitForSingleObject(p R2, i R4) i .R0'
        ${If} $R0 <> 0
          ; It did not answer in time: nothing it holds is lost, it saves nothing on exit.
          System::Call 'kernel32::TerminateProcess(p R2, i 1)'
          System::Call 'kernel32::WaitForSingleObject(p R2, i 2000)'
        ${EndIf}
      ${EndIf}
      System::Call 'kernel32::CloseHandle(p R2)'
    ${EndIf}
  ${Loop}
  System::Free $R7
FunctionEnd
!macroend
!insertmacro EndRunningCopiesFunction ""
!insertmacro EndRunningCopiesFunction "un."

; $0: 1 when the data folder's own access list lets BUILTIN\Users modify it and what is made
; in it, 0 otherwise. What icacls says is not enough: the list itself is read back.
Function UsersCanWrite
  StrCpy $0 0
  ; SE_FILE_OBJECT, DACL_SECURITY_INFORMATION
  System::Call 'advapi32::GetNamedSecurityInfoW(w "$INSTDIR\data", i 1, i 4, p 0, p 0, *p .R2, p 0, *p .R3) i .R0'
  ${If} $R0 = 0
    Call AclLetsUsersModify
    System::Call 'kernel32::LocalFree(p R3)'
  ${EndIf}
FunctionEnd

; An elevated installer would start the program elevated too, and possibly as another person's
; administrator account: it would then write the machine-wide Run value and the Windows
; folder as that account. So after an elevated install it is not offered; the Start menu
; starts it as the signed-in user.
Function FinishShow
  ${If} $Elevated == 1
    SendMessage $mui.FinishPage.Run ${BM_SETCHECK} ${BST_UNCHECKED} 0
    ShowWindow $mui.FinishPage.Run ${SW_HIDE}
    SendMessage $mui.FinishPage.Text ${WM_SETTEXT} 0 "STR:${PRODUCT} 已安装。请从开始菜单启动它。"
  ${EndIf}
FunctionEnd

Section "Program"
  SetOutPath "$INSTDIR"
  ; A running copy holds its exe and DLL open.
  Call EndRunningCopies
  File "/oname=${EXE}" "${SOURCE_EXE}"
  File "/oname=${DLL}" "${SOURCE_DLL}"
  ; The program keeps Config.ini in data\ beside itself. Under Program Files that folder must
  ; be writable by the users who run it: all of them share that one settings file.
  CreateDirectory "$INSTDIR\data"
  ${If} $AllUsers == 1
    nsExec::Exec '"$SYSDIR\icacls.exe" "$INSTDIR\data" /grant *${USERS_SID}:(OI)(CI)M'
    Pop $0
    Call UsersCanWrite
    ${If} $0 != 1
      MessageBox MB_OK|MB_ICONEXCLAMATION "未能让所有用户写入 $INSTDIR\data。$\r$\n只有管理员能保存 ${PRODUCT} 的设置；其他用户的更改在程序重启后会丢失。" /SD IDOK
      SetErrorLevel ${EXIT_USERS_CANNOT_WRITE}
    ${EndIf}
  ${EndIf}
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\${EXE}" "" "$INSTDIR\${EXE}" 0

  ; SHCTX is HKLM for all users, HKCU for one.
  WriteRegStr SHCTX "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINST_KEY}" "Publisher" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\${EXE},0"
  WriteRegStr SHCTX "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINST_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr SHCTX "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD SHCTX "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINST_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD SHCTX "${UNINST_KEY}" "EstimatedSize" $0
SectionEnd

Function un.onInit
  ; The mode the program was installed in, whoever runs the uninstaller.
  ReadRegStr $0 HKLM "${UNINST_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    UserInfo::GetAccountType
    Pop $1
    ${If} $1 != "Admin"
      MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} 是为所有用户安装的，卸载需要管理员权限。" /SD IDOK
      SetErrorLevel 740
      Quit
    ${EndIf}
    StrCpy $AllUsers 1
    SetShellVarContext all
  ${Else}
    StrCpy $AllUsers 0
    SetShellVarContext current
  ${EndIf}
FunctionEnd

; Removes "渺岚壁纸" from a Run key when it starts this copy of the program.
!macro RemoveRunValue root
  ReadRegStr $0 ${root} "${RUN_KEY}" "${PRODUCT}"
  ${If} $0 == "$INSTDIR\${EXE}"
    DeleteRegValue ${root} "${RUN_KEY}" "${PRODUCT}"
  ${EndIf}
!macroend

; Deletes the pictures the program writes (previews, wallpapers) directly inside a folder, never
; below it and never other files, then the folder if that left it empty.
!macro RemovePicturesIn folder
  !insertmacro RemovePicturesOfKind "${folder}" jpg
  !insertmacro RemovePicturesOfKind "${folder}" jpeg
  !insertmacro RemovePicturesOfKind "${folder}" png
  !insertmacro RemovePicturesOfKind "${folder}" bmp
  !insertmacro RemovePicturesOfKind "${folder}" gif
  !insertmacro RemovePicturesOfKind "${folder}" webp
  !insertmacro RemovePicturesOfKind "${folder}" tif
  !insertmacro RemovePicturesOfKind "${folder}" tiff
  RMDir "${folder}"
!macroend
!macro RemovePicturesOfKind folder ext
  Delete "${folder}\*.${ext}"
!macroend

Section "Uninstall"
  Call un.EndRunningCopies
  ; A copy that could not be ended (another person's session) goes at the next restart.
  Delete /REBOOTOK "$INSTDIR\${EXE}"
  Delete /REBOOTOK "$INSTDIR\${DLL}"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  !insertmacro RemoveRunValue HKLM
  !insertmacro RemoveRunValue HKCU
  DeleteRegKey SHCTX "${UNINST_KEY}"

  ; The pictures live in the storage folder the settings name (the documents folder's
  ; Zerav by default); it may be any folder, a drive's root included, so only the program's
  ; own files are taken from it.
  SetShellVarContext current
  ReadINIStr $3 "$INSTDIR\data\Config.ini" "常规设置" "路径"
  ${If} $3 == ""
    StrCpy $3 "$DOCUMENTS\Zerav"
  ${EndIf}
  ${GetParameters} $1
  ClearErrors
  ${GetOptions} $1 "/RemoveUserData" $2
  ${If} ${Errors}
    MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 "是否同时删除设置和已下载的壁纸图片？$\r$\n（$3\图片、$3\壁纸 与壁纸历史中的图片文件；其他文件保留）" /SD IDNO IDYES remove
    Goto done
  ${EndIf}
remove:
  !insertmacro RemovePicturesIn "$3\图片"
  ; The history of applied pictures: its index, then its pictures.
  Delete "$3\壁纸\历史\历史.txt"
  !insertmacro RemovePicturesIn "$3\壁纸\历史"
  !insertmacro RemovePicturesIn "$3\壁纸"
  ; Not a drive's root ("D:" would be that drive's current folder).
  StrLen $4 $3
  ${If} $4 > 3
    RMDir "$3"
  ${EndIf}
  Delete "$INSTDIR\data\Config.ini"
  RMDir "$INSTDIR\data"
  Delete "$LOCALAPPDATA\${BITMAP_FOLDER}\${BITMAP_NAME}"
  ; One bitmap per monitor, where Windows gives each monitor its own.
  Delete "$LOCALAPPDATA\${BITMAP_FOLDER}\桌面背景图片-*.bmp"
  RMDir "$LOCALAPPDATA\${BITMAP_FOLDER}"
done:
  ; Last, so that its going means everything before it is done.
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"
  ${If} ${RebootFlag}
    MessageBox MB_OK|MB_ICONINFORMATION "${PRODUCT} 的部分文件仍在使用中，将在重新启动电脑后删除。" /SD IDOK
  ${EndIf}
SectionEnd
