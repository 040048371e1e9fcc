// Resource ids of the properties window: its dialogs, bitmaps, controls and
// the page texts of the string table. The values are the ones the program is
// known by; the server program's resource script includes properties.rc,
// which includes this file.
#pragma once

// Dialog templates.
#define IDD_GENERAL 107
#define IDD_PROPERTIES 112
#define IDD_RANGES 213
#define IDD_RESERVATIONS 214
#define IDD_ACTIVE_LEASES 215

// Bitmaps: the frame's picture (cut into images 68 pixels wide, light grey
// transparent) and the range kinds of the Address Ranges list (16 by 16,
// magenta transparent: included, excluded).
#define IDB_PICTURE 108
#define IDB_RANGE_KINDS 117

// The program icon; the server program's resource script defines it.
#define IDI_NIMBO 101

// String table: tab titles and the page texts (ids 10-15 and 40-99 belong to
// the properties window; 2, 7 and 8 are the program's name, version and
// error caption).
#define IDS_PROGRAM_NAME 2
#define IDS_VERSION 7
#define IDS_ERROR_CAPTION 8
#define IDS_TAB_GENERAL 10
#define IDS_TAB_ACTIVE_LEASES 11
#define IDS_TAB_RESERVATIONS 13
#define IDS_TAB_RANGES 14
#define IDS_CONFIRM_DELETE_LEASE 15
#define IDS_ABOUT 40
#define IDS_SAVE_FAILED 41
#define IDS_HELP_FAILED 42
// Balloon tips on a refused field (title 43, one text each), and on a lease
// that Reserve reserved (title 54, text 55 with the key).
#define IDS_REFUSED_TITLE 43
#define IDS_NOT_AN_ADDRESS 44
#define IDS_NOT_A_MASK 45
#define IDS_RANGE_REVERSED 46
#define IDS_ADDRESS_RESERVED 47
#define IDS_KEY_TOO_LONG 48
#define IDS_KEY_MISSING 49
#define IDS_CLIENT_RESERVED 50
#define IDS_PLACEHOLDER_LEASE 51
#define IDS_LEASE_NO_KEY 52
#define IDS_LEASE_GONE 53
#define IDS_RESERVED_TITLE 54
#define IDS_RESERVED_TEXT 55

// Frame (dialog 112).
#define IDC_TABS 1059
#define IDC_PICTURE 1230
#define IDC_CLOSE 1135
#define IDC_HELP_BUTTON 1112

// General page (dialog 107).
#define IDC_UNLIMITED 1000
#define IDC_LIMITED 1001
#define IDC_DNS_SERVERS 1002
#define IDC_SERVER_ADDRESS 1003
#define IDC_SUBNET_MASK 1004
#define IDC_DAYS 1005
#define IDC_HOURS 1006
#define IDC_MINUTES 1007
#define IDC_ROUTERS 1008
#define IDC_WINS_SERVERS 1009
#define IDC_DOMAIN 1010
#define IDC_DAYS_LABEL 1021
#define IDC_HOURS_LABEL 1022
#define IDC_MINUTES_LABEL 1023
#define IDC_ABOUT 1028

// Address Ranges page (dialog 213); the mask field shares 1004.
#define IDC_RANGE_LIST 1013
#define IDC_RANGE_FROM 1014
#define IDC_RANGE_TO 1015
#define IDC_INCLUDE 1016
#define IDC_EXCLUDE 1017
#define IDC_REMOVE 1018

// Reservations page (dialog 214).
#define IDC_RESERVATION_LIST 1007
#define IDC_HOST_NAME_KEY 1010
#define IDC_RESERVED_ADDRESS 1011
#define IDC_DELETE 1012
#define IDC_SET_RESERVATION 1013
#define IDC_BY_HOST_NAME 1033
#define IDC_BY_HARDWARE_ADDRESS 1034
#define IDC_HARDWARE_KEY 1035

// Active Leases page (dialog 215); "Delete Lease" shares 1012.
#define IDC_LEASE_LIST 1005
#define IDC_LEASE_IDENTIFIER 1024
#define IDC_LEASE_EXPIRES 1025
#define IDC_AUTO_REFRESH 1026
#define IDC_REFRESH 1027
#define IDC_RESERVE 1036
