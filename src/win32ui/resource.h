// Resource numbers of the Win32 shell: dialog templates, menus, icons, the
// logo bitmap, string resources and the controls the code addresses. Shared
// by kivo.rc and the window procedures.
#pragma once

// Dialog templates.
#define IDD_ABOUTBOX 100
#define IDD_ALERT 101
#define IDD_MAIN 102
#define IDD_EMAIL_SETUP 142

// Icons, bitmap and menus.
#define IDR_MAINFRAME 128
#define IDR_MAINMENU 132
#define IDI_SINGLE_DRIVE 133
#define IDI_ABOUT 134
#define IDI_MEMBER_FAILING 145
#define IDB_LOGO 147
#define IDI_MEMBER_DRIVE 148
#define IDI_SUBUNIT 154
#define IDI_ARRAY_FAILING 160
#define IDI_ARRAY_UNIT 161
#define IDI_SUBUNIT_FAILING 162
#define IDR_TRAYMENU 200

// String resources.
#define IDS_ABOUTBOX 101
#define IDS_SOCKETS_INIT_FAILED 103
#define AFX_IDP_FAILED_TO_LAUNCH_HELP 61703

// Controls of the main window.
#define IDC_OS_TEXT 1000
#define IDC_DRIVER_TEXT 1001
#define IDC_MONITOR_TEXT 1002
#define IDC_FIRMWARE_TEXT 1003
#define IDC_BIOS_TEXT 1004
#define IDC_PCBA_TEXT 1005
#define IDC_ACHIP_TEXT 1006
#define IDC_PCHIP_TEXT 1007
#define IDC_TIME_TEXT 1008
#define IDC_MODEL_TEXT 1009
#define IDC_UPDATE 1010
#define IDC_UNIT_LIST 1011
#define IDC_CONTROLLER_BOX 1023
#define IDC_RETURN_TO_TRAY 1027
#define IDC_STATUS_TEXT 1031
#define IDC_COMPUTER_NAME 1035
#define IDC_EXIT_BUTTON 1036
#define IDC_UNITS_TEXT 1037

// Controls of the alert window.
#define IDC_ALERT_MESSAGE 1013
#define IDC_AUDIO_OFF 1034

// Controls of the e-mail setup dialog.
#define IDC_SMTP_SERVER 1013
#define IDC_RECIPIENTS 1014
#define IDC_SENDER_ADDRESS 1015
#define IDC_SENDER_NAME 1024
#define IDC_ENABLE_EMAIL 1038

// The About box's version and notice lines, filled in when it opens from the
// texts the report prints too.
#define IDC_ABOUT_VERSION 1200
#define IDC_ABOUT_NOTICE 1201

// Menu commands.
#define ID_VIEW_ALARMS 201
#define ID_TRAY_COPY 202
#define ID_TRAY_EXIT 203
#define ID_FILE_EXIT 32771
#define ID_FILE_RETURN_TO_TRAY 32772
#define ID_APP_ABOUT 32773
#define ID_VIEW_EVENT_LOG 32774
#define ID_FILE_SNAPSHOT 32776
#define ID_EMAIL_SETUP 32778
#define ID_FILE_COPY 32780
#define ID_TRAY_ABOUT 32781
#define ID_VIEW_AUDIO_OFF 32785
#define ID_HELP_TOPICS 57670
#define IDM_ABOUTBOX 16
