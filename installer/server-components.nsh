; The setup program's two optional components for servers, both off unless
; chosen on the components page or on a silent install's command line
; (kivo-setup.exe /S /SERVICE /METRICS), and kept chosen by an upgrade:
;   - "Event monitor service": kivo-watch.exe as the service KivoWatch,
;     writing the Application log (it registers itself and its event source);
;   - "Metrics for windows_exporter": the scheduled task "Kivo metrics", which
;     runs kivo-report.exe --prometheus every minute as the local system
;     account into windows_exporter's textfile folder.
; The uninstaller stops and removes the service, its event source and the
; task. Included by kivo-setup.nsi after its main section.

!include "Sections.nsh"

!define WATCH_SERVICE "KivoWatch"
!define WATCH_SERVICE_KEY "SYSTEM\CurrentControlSet\Services\${WATCH_SERVICE}"
!define METRICS_TASK "Kivo metrics"
!define TEXTFILE_INPUTS "$PROGRAMFILES64\windows_exporter\textfile_inputs"

Section /o "Event monitor service" SecService
  ReadRegStr $0 HKLM "${WATCH_SERVICE_KEY}" "ImagePath"
  ${If} $0 == ""
    nsExec::ExecToLog '"$INSTDIR\kivo-watch.exe" --install-service'
    Pop $0
    ${If} $0 != 0
      MessageBox MB_OK|MB_ICONEXCLAMATION "The event monitor service could not be installed (kivo-watch.exe --install-service: $0)." /SD IDOK
      SetErrorLevel 2
      Return
    ${EndIf}
  ${EndIf}
  nsExec::ExecToLog '"$SYSDIR\sc.exe" start ${WATCH_SERVICE}'
  Pop $0
SectionEnd

Section /o "Metrics for windows_exporter" SecMetrics
  CreateDirectory "${TEXTFILE_INPUTS}"
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
  nsExec::ExecToLog '"$SYSDIR\schtasks.exe" /Create /F /TN "${METRICS_TASK}" /XML "$INSTDIR\kivo-metrics.xml"'
  Pop $0
  ${If} $0 != 0
    MessageBox MB_OK|MB_ICONEXCLAMATION "The task $\"${METRICS_TASK}$\" could not be registered (schtasks: $0)." /SD IDOK
    SetErrorLevel 2
  ${EndIf}
SectionEnd

; Before the files are replaced: a running service holds kivo-watch.exe. It
; goes (stopped, with its event source) and the service section registers it
; again when it stays chosen; a task no longer chosen goes too.
Function StopServerComponents
  ReadRegStr $0 HKLM "${WATCH_SERVICE_KEY}" "ImagePath"
  ${If} $0 != ""
  ${AndIf} ${FileExists} "$INSTDIR\kivo-watch.exe"
    nsExec::ExecToLog '"$INSTDIR\kivo-watch.exe" --remove-service'
    Pop $0
  ${EndIf}
  ${IfNot} ${SectionIsSelected} ${SecMetrics}
    nsExec::ExecToLog '"$SYSDIR\schtasks.exe" /Delete /F /TN "${METRICS_TASK}"'
    Pop $0
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
    ; Stops the service, then removes it and its event source.
    nsExec::ExecToLog '"$INSTDIR\kivo-watch.exe" --remove-service'
    Pop $0
  ${EndIf}
  nsExec::ExecToLog '"$SYSDIR\schtasks.exe" /Delete /F /TN "${METRICS_TASK}"'
  Pop $0
  Delete "$INSTDIR\kivo-metrics.xml"
FunctionEnd
