// The Windows headers for the Win32 shell. They define as macros names that
// the core declares in its own namespace (TRUE, ERROR_SUCCESS, MB_OK,
// HKEY_USERS, SOCKET_ERROR, ...), so every core header the shell uses is read
// here first; shell files include this header after their core headers.
#pragma once

#include "controller/ControllerInfo.h"
#include "mail/EmailLog.h"
#include "mail/MailSender.h"
#include "mail/SettingsStore.h"
#include "mail/SmtpSession.h"
#include "monitor/MessageLock.h"
#include "monitor/MonitorEventHandler.h"
#include "monitor/MonitorThread.h"
#include "monitor/MonitorWindow.h"
#include "monitor/ServiceLink.h"
#include "platform/Clock.h"
#include "platform/Desktop.h"
#include "platform/DeviceIo.h"
#include "platform/HostFacts.h"
#include "platform/LastError.h"
#include "platform/PlatformContext.h"
#include "platform/Registry.h"
#include "platform/ServiceRpc.h"
#include "platform/SocketWatcher.h"
#include "platform/TcpSocket.h"
#include "platform/Win32Types.h"
#include "report/DiskReport.h"
#include "report/InventoryScan.h"
#include "report/ProgramVersion.h"
#include "report/ReportText.h"
#include "report/Snapshot.h"
#include "shell/AlertLogic.h"
#include "shell/BoxOwner.h"
#include "shell/Clipboard.h"
#include "shell/EmailSetup.h"
#include "shell/HelpLocation.h"
#include "shell/MainWindowLogic.h"
#include "shell/StartupOptions.h"
#include "shell/StartupSequence.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
// In this order: Winsock before the window headers, the controls after them.
#include <winsock2.h>

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include "win32ui/resource.h"
