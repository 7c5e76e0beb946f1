/* Numbers of the control's string table entries.
   Plain defines only: included by the resource scripts and by C++ code. */
#ifndef QIV_STRINGIDS_H
#define QIV_STRINGIDS_H

#define IDS_PROJNAME                100
#define IDS_OPTIONS_TITLE           107
#define IDS_PATHS_DOCSTRING         109
#define IDS_PATHS_TITLE             117
#define IDS_OPTIONS_DOCSTRING       118
#define IDS_SELECT_TEXTURE_PATH     119
#define IDS_CANCEL_ANIMATION        120
#define IDS_INVALID_URL             121
#define IDS_URL_NOT_SUPPORTED       122
#define IDS_ERROR_TITLE             123
#define IDS_FILE_URL_NEEDS_NAME     124
#define IDS_COPY_FAILED             125
#define IDS_HOST_NOT_FOUND          126
#define IDS_CONNECTION_ABORTED      127
#define IDS_TEMPFILE_FAILED         128
#define IDS_LOADED_BYTES            129
#define IDS_LOAD_ERRORS             130
#define IDS_URL_NOT_LOADED          131
#define IDS_CANNOT_PRINT            132
#define IDS_MAKER_URL               133
#define IDS_LOAD_OBJECT             134
#define IDS_FILTER_OBJECTS          135
#define IDS_LOAD_BACKGROUND         136
#define IDS_FILTER_IMAGES           137
#define IDS_MODE_WIREFRAME          138
#define IDS_MODE_FLAT               139
#define IDS_MODE_FLAT_TEXTURED      140
#define IDS_MODE_GOURAUD_TEXTURED   141
#define IDS_MODE_HIDDEN_LINE        142
#define IDS_MODE_HIDDEN_LINE_OPAQUE 143
#define IDS_TOTAL_ANIMATION         144
#define IDS_INFO_LINE               145
#define IDS_LOADING_GEOMETRY        146
#define IDS_LOADING_TEXTURES        147
#define IDS_CANCEL                  148
#define IDS_ABORTED                 149
#define IDS_PROGRESS_BYTES          150
#define IDS_SEARCHING_HOST          151
#define IDS_CONNECTING              152
#define IDS_REQUEST_SENT            153
#define IDS_SWITCH_TO_2D            154
#define IDS_SWITCH_TO_3D            155
#define IDS_LANGUAGE_CODE           1280
#define IDS_OBJECT_FOLDER           1286
#define IDS_SELECT_OBJECT_PATH      1287
#define IDS_SAVE_BITMAP             1288
#define IDS_FILTER_BITMAP           1289
#define IDS_SAVE_OBJECT             1290
#define IDS_FILTER_PEL              1291
#define IDS_SAVE_OBJECT_FAILED      1292
#define IDS_BITMAP_TOO_WIDE         1293
#define IDS_CREATE_FAILED           1294
#define IDS_INVALID_SIZE            1295
#define IDS_WRITE_FAILED            1296
#define IDS_BITMAP_CREATED          1297
#define IDS_PERCENT                 1298
#define IDS_BACKGROUND_LOADED       1299
#define IDS_FILTER_QIV_PEL          1300
#define IDS_HTML_COPIED             1301
#define IDS_HTML_OUTLOOK_COPIED     1302
#define IDS_INSTALL_HINT            1303
#define IDS_PACKAGE_URL             1304
#define IDS_PLUGIN_URL              1305
#define IDS_USE_HARDWARE            1306
#define IDS_POINT_OF_VIEW           29000

#endif
