// Resource and command identifiers, shared by the resource script and the program.
#pragma once

#define IDM_MAINMENU   10

#define IDM_NEW        100
#define IDM_OPEN       101
#define IDM_SAVEAS     103
#define IDM_EXPORT     104
#define IDM_EXIT       106
#define IDM_RECENT_SEP 110   // the separator under the recent files
#define IDM_RECENT1    111   // File > 1; the recent files are 111 to 114
#define IDM_STOP       204
#define IDM_PLAY       205
#define IDM_PAUSE      206
#define IDM_RECORD     207
#define IDM_LOOP       300
#define IDM_TRACKLIST  301
#define IDM_VOLUME     302
#define IDM_SOUNDFONT  303
#define IDM_CHANNELS   304
#define IDM_ABOUT      400
#define IDM_HELP       401

#define IDA_MAIN       20

#define IDS_TITLE      1
#define IDS_TRACKNAME  2
#define IDS_INSTRUMENT 3
#define IDS_VOLUME     4
#define IDS_BALANCE    5
#define IDS_POSITION   7

#define IDI_PLAYER     400
#define IDI_SMALL      401
#define IDB_TOOLBAR    404
#define IDD_EXPORT     997
#define IDD_ABOUT      998
#define IDD_RECORD     999

// Controls of the export progress dialog.
#define IDC_EXPORT_PROGRESS 1001
