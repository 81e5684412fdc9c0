; The installer of 渺岚壁纸: the program, its packet library, a Start-menu entry and an
; uninstaller registered with Windows.
;
; Run normally it installs for the current user under %LOCALAPPDATA%\Programs and needs no
; administrator; run as administrator it installs for all users under Program Files.
; /CurrentUser and /AllUsers choose explicitly, /D=folder picks the folder (last on the line).
; The uninstaller keeps the settings (data\Config.ini) and the pictures unless the user says so,
; or /RemoveUserData is given.
;
; makensis -DSOURCE_EXE=... -DSOURCE_DLL=... -DICON=... -DVERSION=... -DOUTFILE=... this file

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

Name "${PRODUCT}"
OutFile "${OUTFILE}"
; A standard user installs without a prompt; an elevated run may install for everybody.
RequestExecutionLevel user
BrandingText "${PRODUCT} ${VERSION}"

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\${EXE}"

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
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


Function .onInit
  ; All users when the installer runs with administrator rights, unless /CurrentUser says
  ; otherwise; /AllUsers without those rights is refused.
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 == "Admin"
    StrCpy $AllUsers 1
  ${Else}
    StrCpy $AllUsers 0
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

Section "Program"
  SetOutPath "$INSTDIR"
  File "/oname=${EXE}" "${SOURCE_EXE}"
  File "/oname=${DLL}" "${SOURCE_DLL}"
  ; The program keeps Config.ini in data\ beside itself. Under Program Files that folder must
  ; be writable by the users who run it.
  CreateDirectory "$INSTDIR\data"
  ${If} $AllUsers == 1
    nsExec::Exec '"$SYSDIR\icacls.exe" "$INSTDIR\data" /grant *S-1-5-32-545:(OI)(CI)M'
    Pop $0
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

Section "Uninstall"
  Delete "$INSTDIR\${EXE}"
  Delete "$INSTDIR\${DLL}"
  Delete "$INSTDIR\${UNINSTALLER}"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  !insertmacro RemoveRunValue HKLM
  !insertmacro RemoveRunValue HKCU
  DeleteRegKey SHCTX "${UNINST_KEY}"

  ${GetParameters} $1
  ClearErrors
  ${GetOptions} $1 "/RemoveUserData" $2
  ${If} ${Errors}
    MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 "是否同时删除设置和已下载的壁纸图片？" /SD IDNO IDYES remove
    Goto done
  ${EndIf}
remove:
  ; The pictures live in the storage folder the settings name (the documents folder's
  ; Zerav by default); only the program's own two folders in it are removed.
  SetShellVarContext current
  ReadINIStr $3 "$INSTDIR\data\Config.ini" "常规设置" "路径"
  ${If} $3 == ""
    StrCpy $3 "$DOCUMENTS\Zerav"
  ${EndIf}
  RMDir /r "$3\图片"
  RMDir /r "$3\壁纸"
  RMDir "$3"
  RMDir /r "$INSTDIR\data"
done:
  RMDir "$INSTDIR"
SectionEnd
