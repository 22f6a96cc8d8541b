; Setup program of the Kivo Disk Management Utility for 64-bit Windows: a
; wizard of the Modern UI (welcome, licence, components, folder, progress,
; finish with "Start Kivo now"). Installs the programs, the help pages and
; the licence under Program Files (with administrator rights), lets the
; members of Users change the settings key, seeds the "Email" and "HTTP"
; settings where their values are missing, starts the utility at logon, adds
; Start-menu entries (among them "Kivo E-mail Setup"), an uninstaller and its
; Add/Remove Programs entry. Installed over an earlier version it goes to the
; same folder and keeps the settings and the one entry. The uninstaller
; closes the running utility, asks the background service to shut down,
; removes the files and the entry, keeps the settings unless asked to
; remove them, and says each step.
;
; Built by the Windows build: cmake --build build-win --target kivo-setup
; (makensis works in this script's folder: every directory given is absolute)
; makensis -DKIVO_BIN_DIR=<dir with kivo.exe, kivo-command.exe, kivo-setup-helper.exe>
;          -DKIVO_HELP_DIR=<the Windows help pages> -DKIVO_VERSION=<a.b.c.d>
;          -DKIVO_OUTFILE=<setup .exe> [-DKIVO_LICENSE=<licence text>] [-DKIVO_ICON=<icon>] kivo-setup.nsi
; (-DKIVO_TOOLS_DIR=<dir> when kivo-report.exe and kivo-watch.exe live apart)
; Command line: /S silent, /START start the utility after a silent install,
; /SERVICE and /METRICS choose the server components (server-components.nsh);
; the uninstaller: /S silent, /REMOVESETTINGS remove the settings too.

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
; The build gives the licence with the whole GPL in CR LF; the repository's
; notice serves a hand-made setup.
!ifndef KIVO_LICENSE
  !define KIVO_LICENSE "${__FILEDIR__}\..\LICENSE"
!endif

!define PRODUCT "Kivo Disk Management Utility"
!define SETTINGS_KEY ".DEFAULT\Software\Zelka\kivo"
!define SETTINGS_PLACE "HKEY_USERS\.DEFAULT\Software\Zelka\kivo"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Kivo"
!define EXIT_COMMAND 32771
!define EMAIL_SETUP_COMMAND 32778

Name "${PRODUCT}"
OutFile "${KIVO_OUTFILE}"
InstallDir "$PROGRAMFILES64\Zelka\Kivo"
; An upgrade goes where the earlier version is.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
BrandingText "${PRODUCT} ${KIVO_VERSION}"
ShowInstDetails show
ShowUninstDetails show
VIProductVersion "${KIVO_VERSION}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "FileVersion" "${KIVO_VERSION}"
VIAddVersionKey "ProductVersion" "${KIVO_VERSION}"
VIAddVersionKey "CompanyName" "Zelka Storage Systems"
VIAddVersionKey "FileDescription" "${PRODUCT} Setup (64-bit Windows)"
VIAddVersionKey "OriginalFilename" "kivo-setup.exe"
VIAddVersionKey "LegalCopyright" "Copyright (C) 2026 Zelka Storage Systems"

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "x64.nsh"
!include "FileFunc.nsh"
!include "Sections.nsh"

!ifdef KIVO_ICON
  !define MUI_ICON "${KIVO_ICON}"
  !define MUI_UNICON "${KIVO_ICON}"
!endif
!define MUI_ABORTWARNING
!define MUI_UNABORTWARNING

; The wizard.
!define MUI_WELCOMEPAGE_TITLE "Welcome to the ${PRODUCT} Setup"
!define MUI_WELCOMEPAGE_TEXT "Setup will install the ${PRODUCT} ${KIVO_VERSION}. It watches the Zelka RAID controllers of this computer, alarms you when a controller reports an event, and can send e-mail alarms.$\r$\n$\r$\nA ${PRODUCT} that runs now is closed during the installation; your settings are kept.$\r$\n$\r$\nClick Next to continue."
!insertmacro MUI_PAGE_WELCOME
!define MUI_PAGE_HEADER_TEXT "Licence"
!define MUI_PAGE_HEADER_SUBTEXT "The terms under which the ${PRODUCT} is free software."
!define MUI_LICENSEPAGE_TEXT_TOP "The ${PRODUCT} is free software under the GNU General Public License, version 2 or later."
!define MUI_LICENSEPAGE_TEXT_BOTTOM "You may use the utility without accepting the licence; it gives you the right to copy, change and pass on the program under its terms. A copy is installed as LICENSE.txt. Click Next to continue."
!define MUI_LICENSEPAGE_BUTTON "$(^NextBtn)"
!insertmacro MUI_PAGE_LICENSE "${KIVO_LICENSE}"
!define MUI_COMPONENTSPAGE_SMALLDESC
!define MUI_COMPONENTSPAGE_TEXT_TOP "The utility is always installed. The two server parts are for computers that nobody watches at the screen. Point at a part to read what it does."
!insertmacro MUI_PAGE_COMPONENTS
!define MUI_DIRECTORYPAGE_TEXT_TOP "Setup will install the ${PRODUCT} in the following folder. An earlier installation is updated in its own folder. Click Install to start the installation."
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "The ${PRODUCT} is installed. It starts in the notification area at every logon.$\r$\n$\r$\nTo set up e-mail alarms, choose $\"Kivo E-mail Setup$\" in the Start menu's folder $\"Kivo$\".$\r$\n$\r$\nClick Finish to close Setup."
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start Kivo now"
!define MUI_FINISHPAGE_RUN_FUNCTION StartUtilityNow
!insertmacro MUI_PAGE_FINISH

!define MUI_COMPONENTSPAGE_TEXT_TOP "The ${PRODUCT} will be removed; a utility that runs now is closed first. Your settings (e-mail, Audio Off, the web interface's port) are kept in ${SETTINGS_PLACE} for a later installation, unless you tick $\"Settings$\"."
; Removing takes no room: the page shows no "Space required".
!define MUI_PAGE_CUSTOMFUNCTION_SHOW un.HideSpaceRequired
!insertmacro MUI_UNPAGE_COMPONENTS
!define MUI_UNCONFIRMPAGE_TEXT_TOP "The ${PRODUCT} will be removed from the following folder. A utility that runs now is closed first. Click Uninstall to start."
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

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

; A command's output without its last line end, for the progress list and
; the boxes.
!macro TrimOutput VAR
  ${Do}
    StrCpy $R9 ${VAR} 1 -1
    ${If} $R9 != "$\r"
    ${AndIf} $R9 != "$\n"
      ${Break}
    ${EndIf}
    StrCpy ${VAR} ${VAR} -1
  ${Loop}
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
  ; Setup's own helper lives in its temporary folder, never in the
  ; installation.
  InitPluginsDir
  File "/oname=$PLUGINSDIR\kivo-setup-helper.exe" "${KIVO_BIN_DIR}\kivo-setup-helper.exe"
  Call ServerComponentsInit
FunctionEnd

; The running utility ends through its own Exit command (tray icon removed,
; monitoring stopped), so its files can be replaced or removed; its window
; going is waited for, at most ten seconds.
!macro EndRunningUtility
  FindWindow $0 "" "${PRODUCT}"
  ${If} $0 = 0
    DetailPrint "No ${PRODUCT} is running."
  ${Else}
    DetailPrint "Closing the running ${PRODUCT}..."
    SendMessage $0 ${WM_COMMAND} ${EXIT_COMMAND} 0 /TIMEOUT=5000
    System::Call "kernel32::GetTickCount() i.r1"
    ${Do}
      FindWindow $0 "" "${PRODUCT}"
      ${If} $0 = 0
        DetailPrint "The ${PRODUCT} is closed."
        ${Break}
      ${EndIf}
      System::Call "kernel32::GetTickCount() i.r2"
      IntOp $2 $2 - $1
      ${If} $2 > 10000
        DetailPrint "The ${PRODUCT} did not close within 10 seconds."
        ${Break}
      ${EndIf}
      Sleep 100
    ${Loop}
  ${EndIf}
!macroend

Section "Kivo Disk Management Utility" SecMain
  SectionIn RO
  !insertmacro EndRunningUtility
  Call StopServerComponents
  DetailPrint "Installing the programs, the help and the licence..."
  SetOutPath "$INSTDIR"
  File "${KIVO_BIN_DIR}\kivo.exe"
  File "${KIVO_BIN_DIR}\kivo-command.exe"
  File "${KIVO_TOOLS_DIR}\kivo-report.exe"
  File "/oname=LICENSE.txt" "${KIVO_LICENSE}"
  SetOutPath "$INSTDIR\help"
  File "${KIVO_HELP_DIR}\*.html"
  File "${KIVO_HELP_DIR}\*.css"
  SetOutPath "$INSTDIR"

  ; The settings live in the local system account's hive, where a standard
  ; user may read but not write: setup lets the members of Users set values
  ; and create subkeys in the utility's key (and nothing wider), before the
  ; keys below are made, so they inherit it.
  DetailPrint "Allowing the members of Users to change the settings in ${SETTINGS_PLACE}..."
  nsExec::ExecToStack '"$PLUGINSDIR\kivo-setup-helper.exe" grant-settings'
  Pop $0
  Pop $1
  !insertmacro TrimOutput $1
  DetailPrint "$1"
  ${If} $0 != 0
    MessageBox MB_OK|MB_ICONEXCLAMATION "$1" /SD IDOK
  ${EndIf}
  ; The settings the utility reads and writes but never creates.
  DetailPrint "Adding the settings that are missing..."
  !insertmacro SeedDword "${SETTINGS_KEY}\Email" "SendEmail" 0
  !insertmacro SeedString "${SETTINGS_KEY}\Email" "Host" ""
  !insertmacro SeedString "${SETTINGS_KEY}\Email" "ToID" ""
  !insertmacro SeedString "${SETTINGS_KEY}\Email" "FromID" ""
  !insertmacro SeedString "${SETTINGS_KEY}\Email" "FromName" ""
  !insertmacro SeedDword "${SETTINGS_KEY}\HTTP" "Port" 1080

  ; The utility lives in the notification area from logon on.
  DetailPrint "Starting the utility at every logon..."
  WriteRegStr HKLM "${RUN_KEY}" "Kivo" '"$INSTDIR\kivo.exe"'

  DetailPrint "Adding the Start menu's folder Kivo..."
  CreateDirectory "$SMPROGRAMS\Kivo"
  CreateShortcut "$SMPROGRAMS\Kivo\${PRODUCT}.lnk" "$INSTDIR\kivo.exe" "-max"
  ; E-mail Setup has no menu item: command 32778 reaches the utility from
  ; outside, and starts it first when it does not run.
  CreateShortcut "$SMPROGRAMS\Kivo\Kivo E-mail Setup.lnk" "$INSTDIR\kivo-command.exe" "${EMAIL_SETUP_COMMAND}" \
    "$INSTDIR\kivo.exe" 0 SW_SHOWNORMAL "" "Set up the e-mail alarms of the ${PRODUCT}"
  CreateShortcut "$SMPROGRAMS\Kivo\Kivo Help.lnk" "$INSTDIR\help\index.html"
  CreateShortcut "$SMPROGRAMS\Kivo\Uninstall Kivo.lnk" "$INSTDIR\uninstall.exe"

  DetailPrint "Registering Kivo in Add/Remove Programs..."
  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${KIVO_VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Zelka Storage Systems"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\kivo.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

!include "${__FILEDIR__}\server-components.nsh"

; What the chosen parts take, once they are all in place.
Section "-Size"
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; One line a part, with what it takes on disk, under the list while the
; mouse or the keyboard is on the part.
!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  ${ElseIf} $0 != -1
    ${If} $0 == ${SecMain}
      StrCpy $R0 "The utility in the notification area, its alert window, E-mail Setup, the report and the help."
    ${ElseIf} $0 == ${SecService}
      StrCpy $R0 "The service KivoWatch: writes the controllers' events to the Application log, also while nobody is logged on."
    ${Else}
      StrCpy $R0 "A task that writes the controllers' state every minute for windows_exporter's textfile collector."
    ${EndIf}
    SectionGetSize $0 $R1
    ${If} $R1 >= 1024
      IntOp $R2 $R1 / 1024
      IntOp $R3 $R1 % 1024
      IntOp $R3 $R3 * 10
      IntOp $R3 $R3 / 1024
      StrCpy $R1 "$R2.$R3 MB"
    ${Else}
      StrCpy $R1 "$R1 KB"
    ${EndIf}
    EnableWindow $mui.ComponentsPage.DescriptionText 1
    SendMessage $mui.ComponentsPage.DescriptionText ${WM_SETTEXT} 0 "STR:$R0 ($R1)"
!insertmacro MUI_FUNCTION_DESCRIPTION_END

; "Start Kivo now" (and /START): the utility as the user at the desktop, not
; as the administrator setup runs as.
Function StartUtilityNow
  nsExec::ExecToStack '"$PLUGINSDIR\kivo-setup-helper.exe" start-as-user "$INSTDIR\kivo.exe"'
  Pop $0
  Pop $1
  !insertmacro TrimOutput $1
  ${If} $0 != 0
    MessageBox MB_OK|MB_ICONINFORMATION "$1" /SD IDOK
  ${EndIf}
FunctionEnd

Function .onInstSuccess
  ${If} ${Silent}
    ${GetParameters} $1
    ClearErrors
    ${GetOptions} $1 "/START" $2
    ${IfNot} ${Errors}
      Call StartUtilityNow
    ${EndIf}
  ${EndIf}
FunctionEnd

Section "un.Kivo Disk Management Utility" SecUnMain
  SectionIn RO
  !insertmacro EndRunningUtility
  Call un.RemoveServerComponents
  ; The background service is asked to shut down before its utility goes.
  DetailPrint "Asking the Kivo background service to shut down..."
  ExecWait '"$INSTDIR\kivo.exe" -servershutdown'

  DetailPrint "Removing the programs, the help and the licence..."
  Delete "$INSTDIR\kivo.exe"
  Delete "$INSTDIR\kivo-command.exe"
  Delete "$INSTDIR\kivo-report.exe"
  Delete "$INSTDIR\kivo-watch.exe"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\help\*.html"
  Delete "$INSTDIR\help\*.css"
  RMDir "$INSTDIR\help"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  RMDir "$PROGRAMFILES64\Zelka"

  DetailPrint "Removing the Start menu's folder Kivo..."
  Delete "$SMPROGRAMS\Kivo\${PRODUCT}.lnk"
  Delete "$SMPROGRAMS\Kivo\Kivo E-mail Setup.lnk"
  Delete "$SMPROGRAMS\Kivo\Kivo Help.lnk"
  Delete "$SMPROGRAMS\Kivo\Uninstall Kivo.lnk"
  RMDir "$SMPROGRAMS\Kivo"

  DetailPrint "Removing the start at logon and the Add/Remove Programs entry..."
  DeleteRegValue HKLM "${RUN_KEY}" "Kivo"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd

Section /o "un.Settings" SecUnSettings
  DetailPrint "Removing the settings in ${SETTINGS_PLACE}..."
  DeleteRegKey HKU "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKU ".DEFAULT\Software\Zelka"
SectionEnd

Section "-un.Settings kept"
  ${IfNot} ${SectionIsSelected} ${SecUnSettings}
    DetailPrint "Your settings are kept in ${SETTINGS_PLACE}."
  ${EndIf}
SectionEnd

!insertmacro MUI_UNFUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecUnMain} "The programs, the help, the Start menu's entries and the start at logon."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecUnSettings} "Also remove the settings (e-mail, Audio Off, the web port) in ${SETTINGS_PLACE}."
!insertmacro MUI_UNFUNCTION_DESCRIPTION_END

; After the sections, which it names.
Function un.onInit
  !insertmacro RequireAdministrator
  SetRegView 64
  SetShellVarContext all
  ${GetParameters} $1
  ClearErrors
  ${GetOptions} $1 "/REMOVESETTINGS" $2
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecUnSettings}
  ${EndIf}
FunctionEnd

Function un.HideSpaceRequired
  FindWindow $0 "#32770" "" $HWNDPARENT
  GetDlgItem $1 $0 1023
  ShowWindow $1 ${SW_HIDE}
FunctionEnd
