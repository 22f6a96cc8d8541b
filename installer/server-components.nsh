; The setup program's two optional components for servers, both off unless
; chosen on the components page or on a silent install's command line
; (kivo-setup.exe /S /SERVICE /METRICS), and kept chosen by an upgrade:
;   - "Event monitor service": kivo-watch.exe as the service KivoWatch,
;     writing the Application log (it registers itself and its event source),
;     started at the end of the installation or the user is told why not;
;   - "Metrics for windows_exporter": the scheduled task "Kivo metrics", which
;     runs kivo-report.exe --prometheus every minute as the local system
;     account into windows_exporter's textfile folder. The folder is
;     windows_exporter's: setup makes it only where windows_exporter is
;     installed, and the uninstaller removes it only when setup made it.
; The service is removed by the new kivo-watch.exe's --remove-service, which
; holds in every state the service can be found in (running, stopped, left
; registered after a failed start, its registration left behind where the
; service manager no longer knows it). The uninstaller removes the service,
; its event source, the task and the metrics file. Included by kivo-setup.nsi
; after its main section.

!define WATCH_SERVICE "KivoWatch"
!define WATCH_SERVICE_KEY "SYSTEM\CurrentControlSet\Services\${WATCH_SERVICE}"
!define WATCH_SOURCE_KEY "SYSTEM\CurrentControlSet\Services\EventLog\Application\Kivo"
!define METRICS_TASK "Kivo metrics"
!define EXPORTER_DIR "$PROGRAMFILES64\windows_exporter"
!define TEXTFILE_INPUTS "${EXPORTER_DIR}\textfile_inputs"

Section /o "Event monitor service" SecService
  SetOutPath "$INSTDIR"
  File "${KIVO_TOOLS_DIR}\kivo-watch.exe"
  DetailPrint "Registering the service KivoWatch and its event source Kivo..."
  nsExec::ExecToStack '"$INSTDIR\kivo-watch.exe" --install-service'
  Pop $0
  Pop $1
  !insertmacro TrimOutput $1
  DetailPrint "$1"
  ${If} $0 != 0
    MessageBox MB_OK|MB_ICONEXCLAMATION "The event monitor service KivoWatch could not be installed:$\r$\n$1$\r$\n$\r$\nEverything else is installed. Run setup again to try once more." /SD IDOK
    SetErrorLevel 2
    Return
  ${EndIf}
  DetailPrint "Starting the service KivoWatch..."
  nsExec::ExecToStack '"$INSTDIR\kivo-watch.exe" --start-service'
  Pop $0
  Pop $1
  !insertmacro TrimOutput $1
  DetailPrint "$1"
  ${If} $0 != 0
    MessageBox MB_OK|MB_ICONEXCLAMATION "The event monitor service KivoWatch is installed but is not running:$\r$\n$1$\r$\n$\r$\nWindows starts it at the next restart. To start it now, run $\"sc start KivoWatch$\" from an administrator's command prompt; the Application log tells what stops it." /SD IDOK
    SetErrorLevel 2
  ${EndIf}
SectionEnd

Section /o "Metrics for windows_exporter" SecMetrics
  ; The task's definition and the metrics file.
  AddSize 8
  Call WindowsExporterPresent
  ${If} $0 = 1
    ${IfNot} ${FileExists} "${TEXTFILE_INPUTS}\*.*"
      DetailPrint "Making windows_exporter's textfile folder ${TEXTFILE_INPUTS}..."
      CreateDirectory "${TEXTFILE_INPUTS}"
      ; The uninstaller removes only a folder that setup made.
      WriteRegDWORD HKLM "${UNINSTALL_KEY}" "TextfileFolderMade" 1
    ${EndIf}
  ${Else}
    DetailPrint "windows_exporter is not installed on this computer: its textfile folder is not made. The task writes the metrics once windows_exporter is installed."
  ${EndIf}
  ; The task's definition, kept beside the programs to register it again:
  ; every minute, as the local system account, one run at a time, at most
  ; five minutes each.
  FileOpen $1 "$INSTDIR\kivo-metrics.xml" w
  FileWriteUTF16LE /BOM $1 '<?xml version="1.0" encoding="UTF-16"?>$\r$\n'
  FileWriteUTF16LE $1 '<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">$\r$\n'
  FileWriteUTF16LE $1 '<RegistrationInfo><Description>Metrics of the Zelka controllers for windows_exporter</Description></RegistrationInfo>$\r$\n'
  FileWriteUTF16LE $1 '<Triggers><TimeTrigger><Repetition><Interval>PT1M</Interval></Repetition>'
  FileWriteUTF16LE $1 '<StartBoundary>2000-01-01T00:00:00</StartBoundary><Enabled>true</Enabled></TimeTrigger></Triggers>$\r$\n'
  FileWriteUTF16LE $1 '<Principals><Principal id="System"><UserId>S-1-5-18</UserId></Principal></Principals>$\r$\n'
  FileWriteUTF16LE $1 '<Settings><MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>'
  FileWriteUTF16LE $1 '<ExecutionTimeLimit>PT5M</ExecutionTimeLimit><Enabled>true</Enabled></Settings>$\r$\n'
  FileWriteUTF16LE $1 '<Actions Context="System"><Exec><Command>$INSTDIR\kivo-report.exe</Command>'
  FileWriteUTF16LE $1 '<Arguments>--prometheus "${TEXTFILE_INPUTS}\kivo.prom"</Arguments></Exec></Actions>$\r$\n'
  FileWriteUTF16LE $1 '</Task>$\r$\n'
  FileClose $1
  DetailPrint "Registering the scheduled task $\"${METRICS_TASK}$\"..."
  nsExec::ExecToStack '"$SYSDIR\schtasks.exe" /Create /F /TN "${METRICS_TASK}" /XML "$INSTDIR\kivo-metrics.xml"'
  Pop $0
  Pop $1
  ${If} $0 != 0
    DetailPrint "schtasks ended with code $0."
    MessageBox MB_OK|MB_ICONEXCLAMATION "The metrics for windows_exporter are not set up: Windows did not register the scheduled task $\"${METRICS_TASK}$\" that writes them every minute (error $0). Everything else is installed.$\r$\n$\r$\nTo try again, run setup again as an administrator, or register the task from an administrator's command prompt:$\r$\nschtasks /Create /TN $\"${METRICS_TASK}$\" /XML $\"$INSTDIR\kivo-metrics.xml$\"" /SD IDOK
    SetErrorLevel 2
  ${EndIf}
SectionEnd

; $0 = 1 where windows_exporter is installed: its service is registered or
; its folder is there.
Function WindowsExporterPresent
  StrCpy $0 0
  ReadRegStr $1 HKLM "SYSTEM\CurrentControlSet\Services\windows_exporter" "ImagePath"
  ${If} $1 != ""
  ${OrIf} ${FileExists} "${EXPORTER_DIR}\*.*"
    StrCpy $0 1
  ${EndIf}
FunctionEnd

; Before the files are replaced: a running service holds kivo-watch.exe. It
; goes (stopped, with its event source) and the service section registers it
; again when it stays chosen; a part no longer chosen goes with its files.
Function StopServerComponents
  ReadRegStr $0 HKLM "${WATCH_SERVICE_KEY}" "ImagePath"
  ${If} $0 != ""
    DetailPrint "Stopping and removing the service KivoWatch, to replace its program..."
    ; This version's removal, whatever version registered the service.
    File "/oname=$PLUGINSDIR\kivo-watch.exe" "${KIVO_TOOLS_DIR}\kivo-watch.exe"
    nsExec::ExecToStack '"$PLUGINSDIR\kivo-watch.exe" --remove-service'
    Pop $0
    Pop $1
    !insertmacro TrimOutput $1
    DetailPrint "$1"
    ${If} $0 != 0
      MessageBox MB_OK|MB_ICONEXCLAMATION "The service KivoWatch could not be removed to replace its program:$\r$\n$1" /SD IDOK
    ${EndIf}
  ${EndIf}
  ${IfNot} ${SectionIsSelected} ${SecService}
    Delete "$INSTDIR\kivo-watch.exe"
  ${EndIf}
  ${IfNot} ${SectionIsSelected} ${SecMetrics}
    nsExec::ExecToStack '"$SYSDIR\schtasks.exe" /Delete /F /TN "${METRICS_TASK}"'
    Pop $0
    Pop $1
    Delete "$INSTDIR\kivo-metrics.xml"
  ${EndIf}
FunctionEnd

; The components chosen before stay chosen; /SERVICE and /METRICS choose them.
Function ServerComponentsInit
  ReadRegStr $0 HKLM "${WATCH_SERVICE_KEY}" "ImagePath"
  ${GetParameters} $1
  ClearErrors
  ${GetOptions} $1 "/SERVICE" $2
  ${IfNot} ${Errors}
  ${OrIf} $0 != ""
    !insertmacro SelectSection ${SecService}
  ${EndIf}
  ClearErrors
  ${GetOptions} $1 "/METRICS" $2
  ${IfNot} ${Errors}
  ${OrIf} ${FileExists} "$SYSDIR\Tasks\${METRICS_TASK}"
    !insertmacro SelectSection ${SecMetrics}
  ${EndIf}
FunctionEnd

Function un.RemoveServerComponents
  ReadRegStr $0 HKLM "${WATCH_SERVICE_KEY}" "ImagePath"
  ${If} $0 != ""
    DetailPrint "Stopping and removing the service KivoWatch and its event source Kivo..."
    ${If} ${FileExists} "$INSTDIR\kivo-watch.exe"
      nsExec::ExecToStack '"$INSTDIR\kivo-watch.exe" --remove-service'
      Pop $0
      Pop $1
      !insertmacro TrimOutput $1
      DetailPrint "$1"
      ${If} $0 != 0
        MessageBox MB_OK|MB_ICONEXCLAMATION "The service KivoWatch could not be removed:$\r$\n$1" /SD IDOK
        SetErrorLevel 2
      ${EndIf}
    ${Else}
      ; Its program is gone: the service manager removes it.
      nsExec::ExecToStack '"$SYSDIR\sc.exe" stop ${WATCH_SERVICE}'
      Pop $0
      Pop $1
      nsExec::ExecToStack '"$SYSDIR\sc.exe" delete ${WATCH_SERVICE}'
      Pop $0
      Pop $1
      DetailPrint "The service KivoWatch is removed (sc delete: $0)."
    ${EndIf}
  ${EndIf}
  ; A source left by an earlier removal of the service alone goes too.
  DeleteRegKey HKLM "${WATCH_SOURCE_KEY}"
  DetailPrint "Removing the scheduled task $\"${METRICS_TASK}$\" and the metrics file..."
  nsExec::ExecToStack '"$SYSDIR\schtasks.exe" /Delete /F /TN "${METRICS_TASK}"'
  Pop $0
  Pop $1
  Delete "$INSTDIR\kivo-metrics.xml"
  Delete "${TEXTFILE_INPUTS}\kivo.prom"
  ReadRegDWORD $0 HKLM "${UNINSTALL_KEY}" "TextfileFolderMade"
  ${If} $0 = 1
    ; Only while empty: windows_exporter may have files of its own there now.
    RMDir "${TEXTFILE_INPUTS}"
  ${EndIf}
FunctionEnd
