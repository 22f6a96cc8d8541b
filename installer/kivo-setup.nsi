; Setup program of the Kivo Disk Management Utility for 64-bit Windows.
; Installs the programs and the help pages under Program Files (with
; administrator rights), seeds the "Email" and "HTTP" settings keys where
; their values are missing, starts the utility at logon, adds Start-menu
; entries, an uninstaller and its Add/Remove Programs entry. Installed over
; an earlier version it goes to the same folder and keeps the settings and
; the one entry. The uninstaller ends the running utility, asks the
; background service to shut down and removes the files and the entry; the
; user's settings stay.
;
; Built by the Windows build: cmake --build build-win --target kivo-setup
; (makensis works in this script's folder: every directory given is absolute)
; makensis -DKIVO_BIN_DIR=<dir with the .exe files> -DKIVO_HELP_DIR=<help dir>
;          -DKIVO_VERSION=<a.b.c.d> -DKIVO_OUTFILE=<setup .exe> kivo-setup.nsi
; (-DKIVO_TOOLS_DIR=<dir> when kivo-report.exe and kivo-watch.exe live apart)
; The optional server components live in server-components.nsh.

Unicode true
; A 32-bit setup does nothing on a 64-bit-only system (and still exits 0).
Target amd64-unicode

!ifndef KIVO_VERSION
  !define KIVO_VERSION "0.0.0.0"
!endif
!ifndef KIVO_TOOLS_DIR
  !define KIVO_TOOLS_DIR "${KIVO_BIN_DIR}"
!endif
!ifndef KIVO_OUTFILE
  !define KIVO_OUTFILE "kivo-setup.exe"
!endif

!define PRODUCT "Kivo Disk Management Utility"
!define SETTINGS_KEY ".DEFAULT\Software\Zelka\kivo"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Kivo"
!define WM_COMMAND 0x0111
!define EXIT_COMMAND 32771

Name "${PRODUCT}"
OutFile "${KIVO_OUTFILE}"
InstallDir "$PROGRAMFILES64\Zelka\Kivo"
; An upgrade goes where the earlier version is.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
ShowInstDetails show
VIProductVersion "${KIVO_VERSION}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "FileVersion" "${KIVO_VERSION}"
VIAddVersionKey "ProductVersion" "${KIVO_VERSION}"
VIAddVersionKey "CompanyName" "Zelka Storage Systems"
VIAddVersionKey "FileDescription" "${PRODUCT} Setup (64-bit Windows)"
VIAddVersionKey "OriginalFilename" "kivo-setup.exe"
VIAddVersionKey "LegalCopyright" "Copyright (C) 2026 Zelka Storage Systems"

Page components
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; $R9 = 1 when value ${NAME} exists in HKU\${KEY}, whatever its type.
!macro ValueExists KEY NAME
  StrCpy $R9 0
  StrCpy $R8 0
  ${Do}
    EnumRegValue $R7 HKU "${KEY}" $R8
    ${If} $R7 == ""
      ${Break}
    ${EndIf}
    ${If} $R7 == "${NAME}"
      StrCpy $R9 1
      ${Break}
    ${EndIf}
    IntOp $R8 $R8 + 1
  ${Loop}
!macroend

; Creates a value only where it is missing: an existing one is never touched.
!macro SeedString KEY NAME VALUE
  !insertmacro ValueExists "${KEY}" "${NAME}"
  ${If} $R9 == 0
    WriteRegStr HKU "${KEY}" "${NAME}" "${VALUE}"
  ${EndIf}
!macroend
!macro SeedDword KEY NAME VALUE
  !insertmacro ValueExists "${KEY}" "${NAME}"
  ${If} $R9 == 0
    WriteRegDWORD HKU "${KEY}" "${NAME}" ${VALUE}
  ${EndIf}
!macroend

!include "LogicLib.nsh"
!include "x64.nsh"
!include "FileFunc.nsh"

; Program Files and the machine's keys need an administrator; the manifest
; asks for one, and a refusal still ends here with words, not a failed copy.
!macro RequireAdministrator
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "admin"
    MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} Setup needs administrator rights.$\r$\nStart it again with $\"Run as administrator$\"." /SD IDOK
    ; ERROR_ELEVATION_REQUIRED
    SetErrorLevel 740
    Quit
  ${EndIf}
!macroend

; Every user's Start menu, as the logon start is every user's (HKLM).
Function .onInit
  ; The programs are 64-bit only.
  ${IfNot} ${RunningX64}
    MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} needs a 64-bit edition of Windows.$\r$\nThis Windows is 32-bit: nothing was installed." /SD IDOK
    SetErrorLevel 1
    Quit
  ${EndIf}
  !insertmacro RequireAdministrator
  SetRegView 64
  SetShellVarContext all
  Call ServerComponentsInit
FunctionEnd

Function un.onInit
  !insertmacro RequireAdministrator
  SetRegView 64
  SetShellVarContext all
FunctionEnd

; The running utility ends through its own Exit command (tray icon removed,
; monitoring stopped), so its files can be replaced or removed.
!macro EndRunningUtility
  FindWindow $0 "" "${PRODUCT}"
  ${If} $0 <> 0
    SendMessage $0 ${WM_COMMAND} ${EXIT_COMMAND} 0 /TIMEOUT=5000
    Sleep 500
  ${EndIf}
!macroend

Section "Kivo" SecMain
  SectionIn RO
  !insertmacro EndRunningUtility
  Call StopServerComponents
  SetOutPath "$INSTDIR"
  File "${KIVO_BIN_DIR}\kivo.exe"
  File "${KIVO_TOOLS_DIR}\kivo-report.exe"
  File "${KIVO_TOOLS_DIR}\kivo-watch.exe"
  SetOutPath "$INSTDIR\help"
  File "${KIVO_HELP_DIR}\*.html"
  File "${KIVO_HELP_DIR}\*.css"
  SetOutPath "$INSTDIR"

  ; The settings the utility reads and writes but never creates.
  !insertmacro SeedDword "${SETTINGS_KEY}\Email" "SendEmail" 0
  !insertmacro SeedString "${SETTINGS_KEY}\Email" "Host" ""
  !insertmacro SeedString "${SETTINGS_KEY}\Email" "ToID" ""
  !insertmacro SeedString "${SETTINGS_KEY}\Email" "FromID" ""
  !insertmacro SeedString "${SETTINGS_KEY}\Email" "FromName" ""
  !insertmacro SeedDword "${SETTINGS_KEY}\HTTP" "Port" 1080

  ; The utility lives in the notification area from logon on.
  WriteRegStr HKLM "${RUN_KEY}" "Kivo" '"$INSTDIR\kivo.exe"'

  CreateDirectory "$SMPROGRAMS\Kivo"
  CreateShortcut "$SMPROGRAMS\Kivo\${PRODUCT}.lnk" "$INSTDIR\kivo.exe" "-max"
  CreateShortcut "$SMPROGRAMS\Kivo\Kivo Help.lnk" "$INSTDIR\help\index.html"
  CreateShortcut "$SMPROGRAMS\Kivo\Uninstall Kivo.lnk" "$INSTDIR\uninstall.exe"

  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${KIVO_VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Zelka Storage Systems"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\kivo.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

!include "${__FILEDIR__}\server-components.nsh"

Section "Uninstall"
  !insertmacro EndRunningUtility
  Call un.RemoveServerComponents
  ; The background service is asked to shut down before its utility goes.
  ExecWait '"$INSTDIR\kivo.exe" -servershutdown'

  Delete "$INSTDIR\kivo.exe"
  Delete "$INSTDIR\kivo-report.exe"
  Delete "$INSTDIR\kivo-watch.exe"
  Delete "$INSTDIR\help\*.html"
  Delete "$INSTDIR\help\*.css"
  RMDir "$INSTDIR\help"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  RMDir "$PROGRAMFILES64\Zelka"

  Delete "$SMPROGRAMS\Kivo\${PRODUCT}.lnk"
  Delete "$SMPROGRAMS\Kivo\Kivo Help.lnk"
  Delete "$SMPROGRAMS\Kivo\Uninstall Kivo.lnk"
  RMDir "$SMPROGRAMS\Kivo"

  DeleteRegValue HKLM "${RUN_KEY}" "Kivo"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ; The user's settings under ${SETTINGS_KEY} stay for a later installation.
SectionEnd
