; Runs the installer's access-list check on the lists that SDDL strings on the command line
; describe (separated by spaces): bit n of the exit code is set when it says BUILTIN\Users may
; modify under the n-th list. A string that is no descriptor counts as no permission.
; Wine keeps no access lists on files, so the installer test asks this about lists it makes.
Unicode true
Target amd64-unicode
OutFile "${OUTFILE}"
RequestExecutionLevel user
SilentInstall silent

!include LogicLib.nsh
!include FileFunc.nsh
!include WordFunc.nsh
!addincludedir "${INSTALLER_DIR}"
!include users_can_modify.nsh

Section
  ${GetParameters} $5
  StrCpy $6 1  ; which string
  StrCpy $8 0  ; the answers
  StrCpy $9 1  ; its bit
  ${Do}
    ClearErrors
    ${WordFind} "$5 " " " "E+$6" $7
    ${If} ${Errors}
      ${Break}
    ${EndIf}
    ; SDDL_REVISION_1
    System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w r7, i 1, *p .R3, p 0) i .R0'
    ${If} $R0 <> 0
      System::Call 'advapi32::GetSecurityDescriptorDacl(p R3, *i .R7, *p .R2, *i .R8) i .R0'
      ${If} $R0 <> 0
        Call AclLetsUsersModify
        ${If} $0 = 1
          IntOp $8 $8 | $9
        ${EndIf}
      ${EndIf}
      System::Call 'kernel32::LocalFree(p R3)'
    ${EndIf}
    IntOp $9 $9 << 1
    IntOp $6 $6 + 1
  ${Loop}
  SetErrorLevel $8
SectionEnd
