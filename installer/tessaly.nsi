; The Windows installer: tessaly.exe, tessaly-cli.exe, the licence and a
; read-me under Program Files\Tessaly for all users when run elevated, or
; under the user's own programs folder otherwise; a Start-menu shortcut and
; an entry in Apps & Features. /AllUsers or /CurrentUser on the command
; line choose the mode instead; /S installs silently, /D=FOLDER (last)
; chooses the folder.
;
; The uninstaller removes exactly what was installed and leaves the user's
; settings (HKCU\Software\Orvane\Tessaly).
;
; Built by the `installer` target of the mingw-w64 build, which defines
; VERSION, VERSION_QUAD, WINDOW_EXE, CLI_EXE, LICENSE_FILE, README_FILE and
; OUTFILE.

; A 64-bit installer: the programs are 64-bit, and so it runs where only
; 64-bit Windows programs do (Wine without its 32-bit part).
Target amd64-unicode
ManifestDPIAware true
SetCompressor /SOLID lzma

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh

!define PRODUCT "Tessaly"
!define PUBLISHER "Orvane"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tessaly"
!define SHORTCUT "$SMPROGRAMS\Tessaly.lnk"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
; Elevated when the user can be, without asking for it otherwise.
RequestExecutionLevel highest
InstallDir "$PROGRAMFILES64\Tessaly"

VIProductVersion "${VERSION_QUAD}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} ${VERSION} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Copyright (c) 2026 ${PUBLISHER}"

!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\tessaly.exe"
!insertmacro MUI_PAGE_LICENSE "${LICENSE_FILE}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Var allUsers

; For all users: Program Files, the all-users Start menu, HKLM. For this
; user: %LOCALAPPDATA%\Programs, the user's Start menu, HKCU.
!macro useMode
  ${If} $allUsers == 1
    SetShellVarContext all
  ${Else}
    SetShellVarContext current
  ${EndIf}
!macroend

Function .onInit
  SetRegView 64
  UserInfo::GetAccountType
  Pop $0
  StrCpy $allUsers 0
  ${If} $0 == "Admin"
    StrCpy $allUsers 1
  ${EndIf}
  ${GetParameters} $1
  ClearErrors
  ${GetOptions} $1 "/CurrentUser" $2
  ${IfNot} ${Errors}
    StrCpy $allUsers 0
  ${EndIf}
  ClearErrors
  ${GetOptions} $1 "/AllUsers" $2
  ${IfNot} ${Errors}
    ${If} $0 != "Admin"
      MessageBox MB_ICONSTOP|MB_OK "Installing for all users needs an administrator." /SD IDOK
      Abort
    ${EndIf}
    StrCpy $allUsers 1
  ${EndIf}
  !insertmacro useMode
  ; /D= given on the command line has already set the folder; keep it.
  ${If} $INSTDIR == "$PROGRAMFILES64\Tessaly"
  ${AndIf} $allUsers == 0
    StrCpy $INSTDIR "$LOCALAPPDATA\Programs\Tessaly"
  ${EndIf}
FunctionEnd

Section "Tessaly"
  SetOutPath "$INSTDIR"
  File "/oname=tessaly.exe" "${WINDOW_EXE}"
  File "/oname=tessaly-cli.exe" "${CLI_EXE}"
  File "/oname=LICENSE.txt" "${LICENSE_FILE}"
  File "/oname=README.txt" "${README_FILE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortCut "${SHORTCUT}" "$INSTDIR\tessaly.exe" "" "$INSTDIR\tessaly.exe" 0

  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\tessaly.exe,0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ; Apps & Features shows the size in KiB.
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; The uninstaller works for the mode whose entry names its own folder.
Function un.onInit
  SetRegView 64
  StrCpy $allUsers 0
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    StrCpy $allUsers 1
  ${EndIf}
  !insertmacro useMode
FunctionEnd

; Only the files installed are removed, one by one, and the folder only when
; that leaves it empty: the user may have put files of their own there.
Section "Uninstall"
  Delete "$INSTDIR\tessaly.exe"
  Delete "$INSTDIR\tessaly-cli.exe"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "${SHORTCUT}"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd
