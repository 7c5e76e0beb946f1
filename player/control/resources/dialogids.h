/* Numbers of the control's dialogs and of their controls.
   Plain defines only: included by the resource scripts and by C++ code. */
#ifndef QIV_DIALOGIDS_H
#define QIV_DIALOGIDS_H

#define IDD_PATHS_PAGE          111
#define IDD_OPTIONS_PAGE        112
#define IDD_INFO                133
#define IDD_SETTINGS            154
#define IDD_BACKGROUND          213
#define IDD_SAVE_OBJECT         221 /* child template of the save-object file dialog */
#define IDD_HTML_URL            248

#define IDC_TEXTURE_PATH        201
#define IDC_SECOND_PATH         202 /* Visualization DLL on the Paths page, object path in the settings */
#define IDC_DISPLAY_MODE        204
#define IDC_RAYTRACE            205
#define IDC_VIRTUAL_REALITY     206
#define IDC_BG_TRANSPARENT      209
#define IDC_BG_MONOCHROME       210
#define IDC_BG_PICTURE          211
#define IDC_BG_TILED            212
#define IDC_INFO_LINK           214
#define IDC_SELECT_COLOR        215 /* also the texture path's browse button of the settings */
#define IDC_BROWSE_OBJECT_PATH  216
#define IDC_SAVE_WITH_DOCUMENT  217
#define IDC_AUTO_SAVE           218
#define IDC_LOAD_IMAGE          227
#define IDC_OFFSET_X            228
#define IDC_OFFSET_Y            229
#define IDC_OFFSET_LABEL        230
#define IDC_OFFSET_X_LABEL      231
#define IDC_OFFSET_Y_LABEL      232
#define IDC_QIV_FORMAT          233
#define IDC_TEXT_ENTRY          234
#define IDC_INFO_MAKER          252

#endif
