/* Resource ids of the server program NIMBO.exe, used by nimbo.rc and by the
   code (plain #defines, so the resource compiler reads the same file). The
   values are the ones the program is known by: other programs post the menu
   commands, and the properties window's resources (src/ui/ui_resource.h)
   use the string ids 10-15 and 40-99, which stay free here. */
#ifndef NIMBO_SHELL_RESOURCE_H
#define NIMBO_SHELL_RESOURCE_H

#define IDI_NIMBO 101 /* program icon, 32x32 and 16x16 */
#define IDM_TRAY 102  /* the tray icon's menu; its first popup is shown */

/* Menu commands of the main window (WM_COMMAND). */
#define IDM_PROPERTIES 40002
#define IDM_SHUTDOWN_SERVER 40003
#define IDM_HELP 40004

/* String table. */
#define IDS_NIMBO 2
#define IDS_VERSION 7
#define IDS_NIMBO_ERROR 8
#define IDS_PROPERTIES_BUSY 9
#define IDS_COMMAND_PASSED 16
#define IDS_COMMAND_ERROR 17
#define IDS_REGISTER_SERVICE_FAILED 18
#define IDS_WINSOCK_FAILED 19
#define IDS_SAVE_FAILED_TITLE 20
#define IDS_SAVE_FAILED_TEXT 21
#define IDS_EXPORT_CAPTION 22
#define IDS_EXPORT_DONE 23
#define IDS_EXPORT_NO_SUMMARY_FILE 24
#define IDS_EXPORT_FAILED 25
#define IDS_EXPORT_USAGE 26
#define IDS_EXPORT_MORE 27
#define IDS_SERVER_NOT_ANSWERING 28
#define IDS_OTHER_SERVER_TITLE 29
#define IDS_OTHER_SERVER_TEXT 30

/* The notice of another DHCP server (argument: its address). The Linux host
   prints the same texts on standard error. */
#define OTHER_SERVER_TITLE_TEXT "Another DHCP server (%.15s) answers on this network"
#define OTHER_SERVER_HINT_TEXT                                                                            \
    "Clients may take their addresses from it. Switch that server off, or set Nimbo's address ranges " \
    "apart from its own; NIMBO.LOG names the clients."

/* The service "Nimbo" seen from a start by hand, and the hand-over. */
#define IDS_SERVICE_NEEDS_ADMIN 31
#define IDS_SERVICE_NOT_STOPPED 32
#define IDS_HANDOVER_FAILED 33
#define IDS_SERVICE_NOT_RESTARTED 34
#define IDS_HANDOVER_TITLE 35
#define IDS_HANDOVER_MENU 36

#endif
