; Whether an access list lets BUILTIN\Users modify a folder and what is made in it, as
; `icacls folder /grant *S-1-5-32-545:(OI)(CI)M` grants it. Shared by the installer and its test.
;
; In: $R2, the list (0: none at all, so everybody may do everything). Out: $0, 1 or 0.
; Uses $R0-$R9 except $R2 and $R3.

!define /ifndef MODIFY_RIGHTS 0x1301BF

Function AclLetsUsersModify
  StrCpy $0 0
  ${If} $R2 P= 0
    StrCpy $0 1
    Return
  ${EndIf}
  System::Call 'advapi32::ConvertStringSidToSidW(w "S-1-5-32-545", *p .R1) i .R0'
  ${If} $R0 = 0
    Return
  ${EndIf}
  System::Call '*$R2(&i2, &i2, &i2 .R4)'  ; revision and padding, size, ACE count
  StrCpy $R5 0
  ; Entries in their order, as Windows reads them: the first that speaks for Users decides.
  ${DoWhile} $R5 < $R4
    System::Call 'advapi32::GetAce(p R2, i R5, *p .R6)'
    System::Call '*$R6(&i1 .R7, &i1 .R8, &i2, i .R9)'  ; type, flags, size, mask
    IntPtrOp $R6 $R6 + 8  ; the SID follows the mask
    System::Call 'advapi32::EqualSid(p R6, p R1) i .R0'
    IntOp $R8 $R8 & 3  ; OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE
    IntOp $R9 $R9 & ${MODIFY_RIGHTS}
    ; Numbers compare with = and <>: == would compare "1245631" with "0x1301BF" as text.
    ${If} $R0 <> 0
      ${If} $R7 = 1  ; ACCESS_DENIED_ACE_TYPE
      ${AndIf} $R9 <> 0
        ${Break}
      ${EndIf}
      ${If} $R7 = 0  ; ACCESS_ALLOWED_ACE_TYPE
      ${AndIf} $R8 = 3
      ${AndIf} $R9 = ${MODIFY_RIGHTS}
        StrCpy $0 1
        ${Break}
      ${EndIf}
    ${EndIf}
    IntOp $R5 $R5 + 1
  ${Loop}
  System::Call 'kernel32::LocalFree(p R1)'
FunctionEnd
