// Resource and control identifiers of the program.
#pragma once

// Dialog templates
#define IDD_LOGIN_DIALOG        102   // launcher window
#define IDD_GAME_DIALOG         131   // game window
#define IDD_LOGIN_ACTIVE        132   // portal page dialog over the launcher
#define IDD_CONFIRM             172   // yes/no confirmation
#define IDD_CLEAN_CACHE         173   // cache cleaner veil

// Icons and bitmaps
#define IDR_MAINFRAME           128
#define IDB_TITLEBAR            136
#define IDB_LOGO                141
#define IDB_CONFIRM_BG          177
#define IDB_CLEAN_BG            187

// PNG images (resource type "PNG")
#define IDB_PNG_LAUNCHER        155
#define IDB_PNG_PORTAL_CLOSE    160
#define IDB_PNG_PORTAL_MIN      162
#define IDB_PNG_BOSS            164
#define IDB_PNG_CLOSE           166
#define IDB_PNG_FULLSCREEN      167
#define IDB_PNG_MAXIMIZE        168
#define IDB_PNG_MINIMIZE        169
#define IDB_PNG_REFRESH         170
#define IDB_PNG_SERVER          171
#define IDB_PNG_OK              175
#define IDB_PNG_CANCEL          176
#define IDB_PNG_RESTORE         189
#define IDB_PNG_CLEAN           1000

// Dialog-initialisation data (persisted control state)
#define RT_DLGINIT_DATA         240

// Controls
#define IDC_BROWSER             1000
// game window
#define IDC_GAME_CLOSE          1001
#define IDC_GAME_LOGO           1002
#define IDC_GAME_MINIMIZE       1003
#define IDC_GAME_FULLSCREEN     1004
#define IDC_GAME_BOSS           1005
#define IDC_GAME_CLEAN          1006
#define IDC_GAME_REFRESH        1007
#define IDC_GAME_SERVER         1008
#define IDC_GAME_MAXIMIZE       1009
#define IDC_GAME_RESTORE        1011
#define ID_TRAY_QUIT            1013
// portal page dialog
#define IDC_PORTAL_CLOSE        1005
#define IDC_PORTAL_MINIMIZE     1006
// confirmation dialog
#define IDC_CONFIRM_TITLE       1002
#define IDC_CONFIRM_MESSAGE     1003
#define IDC_CONFIRM_OK          1008
#define IDC_CONFIRM_CANCEL      1009
// cache cleaner
#define IDC_CLEAN_STATUS        1002
#define IDC_CLEAN_FRAME         1009
