// Numeric resource ids, named once.
#pragma once

// Icons and bitmaps
#define IDI_APP 128
#define IDB_WIZARD 137     // the wizard's picture drawn for 96 DPI (100 %)
#define IDB_WIZARD_125 170 // ... for 120 DPI
#define IDB_WIZARD_150 171 // ... for 144 DPI
#define IDB_WIZARD_200 172 // ... for 192 DPI
#define IDI_FLAG_FIRST 141 // 141 to 158: the eighteen language flags (see the language table)
#define IDI_FLAG_LAST 158

// The flag of each interface language (by language index in the comments).
#define IDI_FLAG_GERMAN 141     // 2
#define IDI_FLAG_DANISH 142     // 6
#define IDI_FLAG_SPANISH 143    // 3
#define IDI_FLAG_FRENCH 144     // 0
#define IDI_FLAG_ENGLISH 145    // 1
#define IDI_FLAG_ITALIAN 146    // 11
#define IDI_FLAG_DUTCH 147      // 5
#define IDI_FLAG_PORTUGUESE 148 // 4
#define IDI_FLAG_TURKISH 149    // 7
#define IDI_FLAG_BULGARIAN 150  // 8
#define IDI_FLAG_ROMANIAN 151   // 9
#define IDI_FLAG_CHINESE 152    // 10
#define IDI_FLAG_CZECH 153      // 12
#define IDI_FLAG_NORWEGIAN 154  // 13
#define IDI_FLAG_GREEK 155      // 14
#define IDI_FLAG_POLISH 156     // 15
#define IDI_FLAG_HEBREW 157     // 16
#define IDI_FLAG_VIETNAMESE 158 // 17

// Dialog templates
#define IDD_ABOUTBOX 100
#define IDD_INSTALL 102 // the wizard frame
#define IDD_START 132
#define IDD_PATH 133
#define IDD_SHORTCUT 134
#define IDD_PROGRESS 135
#define IDD_MODE 136
#define IDD_END 137

// System menu command of the About box (commands 16 to 31 open it)
#define IDM_ABOUTBOX 0x0010

// Frame controls (IDOK is Next, IDCANCEL is Exit)
#define IDC_BACK 3
#define IDC_SEPARATOR 1002
#define IDC_PICTURE_FRAME 1005

// Controls shared by the pages
#define IDC_STATUS 1003
#define IDC_INFO 1016

// Start page
#define IDC_COPYRIGHT 1020
#define IDC_LANGUAGE_LABEL 1022
#define IDC_LANGUAGE 1023
// Mode page
#define IDC_MODE_QUICK 1018
#define IDC_MODE_ADVANCED 1019
#define IDC_MODE_GROUP 1021
// Path and Shortcut pages
#define IDC_BROWSE 1006
#define IDC_FOLDER 1007
#define IDC_FOLDER_GROUP 1008
#define IDC_FOLDER_PROMPT 1009
#define IDC_SPACE 1024
#define IDC_DESKTOP_SHORTCUT 1010
#define IDC_MENU_SHORTCUT 1011
#define IDC_MENU_GROUP 1012
#define IDC_FOLDER_LABEL 1013 // hidden: names the Start-menu folder box
// Progress page
#define IDC_PROGRESS 1014
#define IDC_LOG 1015
#define IDC_LOG_LABEL 1025      // hidden: names the log
#define IDC_PROGRESS_LABEL 1026 // hidden: names the progress bar
// About box
#define IDC_ABOUT_NAME 1019
#define IDC_ABOUT_LEGAL 1020

// Installer texts by base number (the French block; the current language adds its offset)
#define IDS_INSTALLER 1000
#define IDS_OK 1001
#define IDS_CANCEL 1002
#define IDS_ABOUT 1003
#define IDS_EXIT 1004
#define IDS_BACK 1005
#define IDS_NEXT 1006
#define IDS_INSTALL 1007
#define IDS_BROWSE 1008
#define IDS_START_MENU 1009
#define IDS_FOLDER_SELECTION 1010
#define IDS_PHASE_OK 1011
#define IDS_PHASE_FAILED 1012
#define IDS_UNINSTALL_NAME 1013
#define IDS_SELECT_LANGUAGE 1014
#define IDS_INSTALLATION_METHOD 1015
#define IDS_QUICK_INSTALLATION 1016
#define IDS_ADVANCED_INSTALLATION 1017
#define IDS_EXAMPLES_FOLDER 1018
#define IDS_HELP 1019
#define IDS_PRODUCT_INSTALLATION 1100
#define IDS_UPDATE_FROM_TO 1101
#define IDS_ALREADY_INSTALLED 1102
#define IDS_NEWER_INSTALLED 1103
#define IDS_CONFIRM_REINSTALL 1104
#define IDS_CLICK_CONTINUE_OR_EXIT 1105
#define IDS_CLICK_CONTINUE 1106
#define IDS_CLICK_EXIT 1107
#define IDS_CLICK_START 1108
#define IDS_COPYRIGHT 1109
#define IDS_CONFIRM_EXIT 1110
#define IDS_SELECT_FOLDER 1111
#define IDS_MENU_SHORTCUT 1112
#define IDS_DESKTOP_SHORTCUT 1113
#define IDS_PREPARING 1114
#define IDS_COPYING_FILE 1115
#define IDS_SHORTCUTS_CREATION 1117
#define IDS_REGISTRY_WRITING 1118
#define IDS_DATA_WRITING 1119
#define IDS_INSTALLATION_COMPLETE 1120
#define IDS_INSTALLATION_FAILED 1121
#define IDS_INSTALLATION_OPTIONS 1122
#define IDS_OPTION_FOLDER 1123
#define IDS_OPTION_MENU_SHORTCUT 1124
#define IDS_OPTION_DESKTOP_SHORTCUT 1125
#define IDS_NEED_ADMINISTRATOR 1126
#define IDS_CLOSE_PRODUCT 1127
#define IDS_INSTALLER_IN_ENGLISH 1129
#define IDS_DIRECTX_UPDATE 1131
#define IDS_FOLDER_NOT_FULL_PATH 1132 // %1: an example, the default folder
#define IDS_FOLDER_FORBIDDEN_CHARACTER 1133
#define IDS_FOLDER_IS_FILE 1134   // %1: the folder typed
#define IDS_ROLLBACK_KEPT 1135    // %1 what could not be put back, %2 where it is kept
#define IDS_ROLLBACK_LEFT 1136    // %1 what the run could not remove
#define IDS_JOURNAL_UNREADABLE 1137     // %1 the journal, %2 the error
#define IDS_INTERRUPTED_INCOMPLETE 1138 // %1 the product
#define IDS_INTERRUPTED_UNDONE 1139     // %1 the product, %2 how many changes
#define IDS_NOT_RESTORED 1142           // %1 what stays in its backup
#define IDS_NOT_REMOVED_YET 1143        // %1 what the next start removes
#define IDS_SETUP_FOLDER_SET_ASIDE 1144 // %1 the set-up folder, %2 the error, %3 its new name
#define IDS_OUTSIDE_SCOPE 1145          // %1 what a journal named outside the product's folders
#define IDS_DATA_FOLDER_UNSAFE 1146     // %1 the folder, %2 the error
#define IDS_DATA_FOLDER_MADE_SAFE 1147  // %1 the folder
#define IDS_LOG_NAME 1160               // what screen readers call the progress page's log
#define IDS_PROGRESS_NAME 1161          // ... and its progress bar
#define IDS_LOCK_NOT_TAKEN_BACK 1190
#define IDS_VERSION_UNREADABLE 1191          // %1 the installed main program
#define IDS_FOLDER_OF_INSTALLED_PRODUCT 1192 // %1 the installed product's folder
#define IDS_FILES_IN_USE 1193           // %1 the held files, one per line
#define IDS_FILES_IN_USE_PROGRAMS 1194  // %1 the programs that hold them
#define IDS_FILE_IN_USE 1195            // %1 one held file
#define IDS_FILES_IN_USE_UNCHANGED 1196
#define IDS_VERSION_IN_USE 1197         // %1 the installed main program
#define IDS_NOT_ENOUGH_SPACE 1140 // %1 volume, %2 needed, %3 free
#define IDS_SPACE_ON_VOLUME 1141  // %1 volume, %2 needed, %3 free

// The uninstaller (Uninstall.exe): its confirmation dialog and its texts, base
// numbers 1200 to 1249 beside the installer's, resolved the same way.
#define IDD_UNINSTALL 140
#define IDC_UNINSTALL_QUESTION 1030
#define IDC_UNINSTALL_PURGE 1031

#define IDS_UNINSTALLER 1200
#define IDS_UNINSTALL_QUESTION 1201
#define IDS_UNINSTALL_PURGE 1202
#define IDS_UNINSTALL_BUTTON 1203
#define IDS_UNINSTALL_CANCEL 1204
#define IDS_UNINSTALL_NEED_ADMINISTRATOR 1205
#define IDS_UNINSTALL_CLOSE_PRODUCT 1206
#define IDS_UNINSTALL_INSTALLER_RUNNING 1207
#define IDS_UNINSTALL_LOG_UNREADABLE 1208
#define IDS_UNINSTALL_LOG_FOREIGN 1209
#define IDS_UNINSTALL_LOG_DAMAGED 1210
#define IDS_UNINSTALL_DONE 1211
#define IDS_UNINSTALL_INCOMPLETE 1212
#define IDS_UNINSTALL_REMOVED 1213
#define IDS_UNINSTALL_KEPT 1214
#define IDS_UNINSTALL_FAILED 1215
#define IDS_UNINSTALL_UNREGISTERED 1216
#define IDS_UNINSTALL_UNREGISTER_FAILED 1217
#define IDS_UNINSTALL_REGISTRY_REMOVED 1218
#define IDS_UNINSTALL_DATA_KEPT 1219
#define IDS_UNINSTALL_AT_RESTART 1220
#define IDS_UNINSTALL_CANCELLED 1221
#define IDS_UNINSTALL_TITLE_LINE 1222
#define IDS_UNINSTALL_FOLDER_KEPT 1223
#define IDS_UNINSTALL_TRY_AGAIN 1224
#define IDS_UNINSTALL_BAD_COMMAND_LINE 1225
#define IDS_UNINSTALL_INTERRUPTED 1226 // %1 the product
