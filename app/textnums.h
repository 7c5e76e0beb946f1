#pragma once
// Every text number the program uses: the list it comes from (Msg: MsgLbl.txt,
// Menu: Menu.txt) and how its "|"-separated fields are used. The build checks
// the shipped text files against this table (Support/textcheck.cmake).
//   Message, Whole: the whole text, no "|"; Caption: caption and hint;
//   HintOnly: one field; Menu: caption, hint and a shortcut letter;
//   Filter: "description|patterns"; Filters: pairs of them; Title: a text,
//   optionally ended by "|".
namespace stellwerk {

enum class TextList { Msg, Menu };
enum class TextUse { Message, Whole, Caption, HintOnly, Menu, Filter, Filters, Title };
struct TextId {
    TextList list;
    int number;
    TextUse use;
};

#define STELLWERK_TEXTS(X) \
    X(kTxtMenuFileMissing, Msg, 5, Message) \
    X(kTxtControlMissing, Msg, 132, Message) \
    X(kTxtIniUnwritable, Msg, 192, Message) \
    X(kTxtNameRefused, Msg, 235, Message) \
    X(kTxtYesNoCaption, Msg, 60, Whole) \
    X(kTxtFilterAll, Msg, 75, Title) \
    X(kTxtNewFolderButton, Msg, 246, Whole) \
    X(kTxtFilterBitmaps, Msg, 247, Filter) \
    X(kTxtFilterJpeg, Msg, 248, Filter) \
    X(kTxtOk, Msg, 98, Caption) \
    X(kTxtCancel, Msg, 99, Caption) \
    X(kTxtNameAddView, Msg, 64, Whole) \
    X(kTxtNameViewPrompt, Msg, 65, Whole) \
    X(kTxtNameUpdateView, Msg, 163, Whole) \
    X(kTxtNameRenameView, Msg, 228, Whole) \
    X(kTxtNameSaveSchemeAs, Msg, 66, Whole) \
    X(kTxtNameSchemePrompt, Msg, 67, Whole) \
    X(kTxtNameRenameScheme, Msg, 230, Whole) \
    X(kTxtNameMaterialName, Msg, 164, Whole) \
    X(kTxtNameMaterialPrompt, Msg, 165, Whole) \
    X(kTxtNameNewFolder, Msg, 183, Whole) \
    X(kTxtNameFolderPrompt, Msg, 184, Whole) \
    X(kTxtNameBatchName, Msg, 181, Whole) \
    X(kTxtNameBatchPrompt, Msg, 182, Whole) \
    X(kTxtLblAmb, Msg, 24, Caption) \
    X(kTxtLblDif, Msg, 25, Caption) \
    X(kTxtLblSpec, Msg, 26, Caption) \
    X(kTxtLblOpa, Msg, 29, Caption) \
    X(kTxtLblRef, Msg, 30, Caption) \
    X(kTxtChkSelfLit, Msg, 31, Caption) \
    X(kTxtChkBothFace, Msg, 32, Caption) \
    X(kTxtChkTexMask, Msg, 34, Caption) \
    X(kTxtChkTexCol, Msg, 35, Caption) \
    X(kTxtChkTexRefl, Msg, 36, Caption) \
    X(kTxtBtnMatMatt, Msg, 37, Caption) \
    X(kTxtBtnMatGlossy, Msg, 38, Caption) \
    X(kTxtBtnMatGlass, Msg, 39, Caption) \
    X(kTxtSBRecurseMat, Msg, 20, HintOnly) \
    X(kTxtSBMatFolder, Msg, 21, HintOnly) \
    X(kTxtSBRecurseTex, Msg, 126, HintOnly) \
    X(kTxtSBTexName, Msg, 33, HintOnly) \
    X(kTxtPanelColDif, Msg, 110, HintOnly) \
    X(kTxtPanelColSpec, Msg, 111, HintOnly) \
    X(kTxtTBItemRotation, Msg, 23, Whole) \
    X(kTxtTBItemSelection, Msg, 130, Whole) \
    X(kTxtSBLt1, Msg, 40, Whole) \
    X(kTxtSBLt2, Msg, 41, Whole) \
    X(kTxtSBLt3, Msg, 42, Whole) \
    X(kTxtSBLt4, Msg, 43, Whole) \
    X(kTxtSBLt5, Msg, 44, Whole) \
    X(kTxtSBDayNight, Msg, 45, Whole) \
    X(kTxtSBToggleView, Msg, 46, Whole) \
    X(kTxtSBRotLft, Msg, 47, Whole) \
    X(kTxtSBRotRht, Msg, 48, Whole) \
    X(kTxtSBGoFwd, Msg, 49, Whole) \
    X(kTxtSBGoBck, Msg, 50, Whole) \
    X(kTxtSBVTop, Msg, 51, Whole) \
    X(kTxtSBVLft, Msg, 52, Whole) \
    X(kTxtSBVRht, Msg, 53, Whole) \
    X(kTxtSBVFnt, Msg, 54, Whole) \
    X(kTxtSBVBck, Msg, 55, Whole) \
    X(kTxtSBVIso, Msg, 56, Whole) \
    X(kTxtSBVObl, Msg, 57, Whole) \
    X(kTxtSBRayTrace, Msg, 58, Whole) \
    X(kTxtTBItemEditUndo, Msg, 80, Whole) \
    X(kTxtTBItemEditRedo, Msg, 81, Whole) \
    X(kTxtTBItemEditReset, Msg, 82, Whole) \
    X(kTxtTBItemMo, Msg, 127, Whole) \
    X(kTxtTBItemM, Msg, 128, Whole) \
    X(kTxtTBItemTx, Msg, 129, Whole) \
    X(kTxtTBItemCP, Msg, 131, Whole) \
    X(kTxtMatFolderHint, Msg, 21, Whole) \
    X(kTxtTexFolderHint, Msg, 125, Whole) \
    X(kTxtSchemePrefix, Msg, 63, Whole) \
    X(kTxtViewPrefix, Msg, 69, Whole) \
    X(kTxtObjectFilter, Msg, 73, Filters) \
    X(kTxtObjectTitle, Msg, 74, Title) \
    X(kTxtTreeViews, Msg, 115, Whole) \
    X(kTxtTreeSchemes, Msg, 116, Whole) \
    X(kTxtAltTexTitle, Msg, 135, Title) \
    X(kTxtPrefCaption, Msg, 136, Whole) \
    X(kTxtChkDayNight, Msg, 137, Caption) \
    X(kTxtGrpDay, Msg, 138, Caption) \
    X(kTxtGrpNight, Msg, 139, Caption) \
    X(kTxtGrpHighlightColor, Msg, 140, Caption) \
    X(kTxtGrpAlternateTexPath, Msg, 141, Caption) \
    X(kTxtBtnOK, Msg, 142, Caption) \
    X(kTxtBtnCancel, Msg, 143, Caption) \
    X(kTxtGrpRotationSpeed, Msg, 145, Caption) \
    X(kTxtDayPictureTitle, Msg, 147, Title) \
    X(kTxtNightPictureTitle, Msg, 148, Title) \
    X(kTxtCSBDay, Msg, 157, Caption) \
    X(kTxtCSBEDay, Msg, 158, Caption) \
    X(kTxtCSBNight, Msg, 159, Caption) \
    X(kTxtCSBENight, Msg, 160, Caption) \
    X(kTxtCSBHilite, Msg, 161, Caption) \
    X(kTxtCSBAlternateTexPath, Msg, 162, Caption) \
    X(kTxtOwnMaterials, Msg, 166, Whole) \
    X(kTxtTextureTitle, Msg, 76, Whole) \
    X(kTxtMaterialFilter, Msg, 77, Filter) \
    X(kTxtSaveMaterialTitle, Msg, 78, Whole) \
    X(kTxtAddPicturesTitle, Msg, 219, Whole) \
    X(kTxtPublishTitle, Msg, 220, Whole) \
    X(kTxtPageFilter, Msg, 221, Filter) \
    X(kTxtPageExtension, Msg, 222, Whole) \
    X(kTxtNothingToPublish, Msg, 227, Message) \
    X(kTxtTypeBitmap, Msg, 189, Whole) \
    X(kTxtTypeJpeg, Msg, 190, Whole) \
    X(kTxtTypePng, Msg, 256, Whole) \
    X(kTxtTypeTga, Msg, 257, Whole) \
    X(kTxtTypeTiff, Msg, 258, Whole) \
    X(kTxtTypePcx, Msg, 259, Whole) \
    X(kTxtGrpUndockToolbars, Msg, 170, Caption) \
    X(kTxtChkUndockToolbars, Msg, 171, Caption) \
    X(kTxtNoPdfReader, Msg, 236, Message) \
    X(kTxtAskPdfDownload, Msg, 237, Message) \
    X(kTxtHelpMissing, Msg, 238, Message) \
    X(kTxtReinstall, Msg, 239, Message) \
    X(kTxtWebPageItem, Msg, 241, Whole) \
    X(kTxtAltTexCaption, Msg, 243, Whole) \
    X(kTxtLoadFailed, Msg, 260, Message) \
    X(kTxtAskSaveScheme, Msg, 261, Message) \
    X(kTxtViewMgrCaption, Msg, 92, Whole) \
    X(kTxtLblNewName, Msg, 93, Caption) \
    X(kTxtLblMatScheme, Msg, 94, Caption) \
    X(kTxtLblBackImage, Msg, 153, Caption) \
    X(kTxtLblBackColor, Msg, 154, Caption) \
    X(kTxtBtnDelete, Msg, 100, Caption) \
    X(kTxtBtnMoveUp, Msg, 101, Caption) \
    X(kTxtBtnMoveDown, Msg, 102, Caption) \
    X(kTxtCSBBackColor, Msg, 155, Caption) \
    X(kTxtCSBBackImage, Msg, 156, Caption) \
    X(kTxtViewNameTaken, Msg, 70, Message) \
    X(kTxtViewPictureTitle, Msg, 149, Title) \
    X(kTxtAskDeleteView, Msg, 233, Message) \
    X(kTxtAskDeleteScheme, Msg, 234, Message) \
    X(kTxtMenu_mFile, Menu, 1, Menu) \
    X(kTxtMenu_mOpen, Menu, 2, Menu) \
    X(kTxtMenu_mReOpen, Menu, 3, Menu) \
    X(kTxtMenu_mFileClose, Menu, 4, Menu) \
    X(kTxtMenu_mBatchViews, Menu, 5, Menu) \
    X(kTxtMenu_mWebPublish, Menu, 6, Menu) \
    X(kTxtMenu_mOptions, Menu, 7, Menu) \
    X(kTxtMenu_mExit, Menu, 8, Menu) \
    X(kTxtMenu_mEdit, Menu, 9, Menu) \
    X(kTxtMenu_mUndo, Menu, 10, Menu) \
    X(kTxtMenu_mRedo, Menu, 11, Menu) \
    X(kTxtMenu_mResetObject, Menu, 12, Menu) \
    X(kTxtMenu_mCopy, Menu, 13, Menu) \
    X(kTxtMenu_mPaste, Menu, 14, Menu) \
    X(kTxtMenu_mViewMenu, Menu, 15, Menu) \
    X(kTxtMenu_mPlan, Menu, 16, Menu) \
    X(kTxtMenu_mElevation, Menu, 17, Menu) \
    X(kTxtMenu_mFront, Menu, 18, Menu) \
    X(kTxtMenu_mBack, Menu, 19, Menu) \
    X(kTxtMenu_mLeft, Menu, 20, Menu) \
    X(kTxtMenu_mRight, Menu, 21, Menu) \
    X(kTxtMenu_mIsometric, Menu, 22, Menu) \
    X(kTxtMenu_mAxonometric, Menu, 23, Menu) \
    X(kTxtMenu_mAddView, Menu, 24, Menu) \
    X(kTxtMenu_mPopUpViewAdd, Menu, 25, Menu) \
    X(kTxtMenu_mUpdateView, Menu, 26, Menu) \
    X(kTxtMenu_mPopUpViewUpdate, Menu, 27, Menu) \
    X(kTxtMenu_mAvailViews, Menu, 28, Menu) \
    X(kTxtMenu_mManageViews, Menu, 29, Menu) \
    X(kTxtMenu_mPopUpViewManager, Menu, 30, Menu) \
    X(kTxtMenu_mPlayAllViews, Menu, 31, Menu) \
    X(kTxtMenu_mSchemeMenu, Menu, 32, Menu) \
    X(kTxtMenu_mToolBars, Menu, 33, Menu) \
    X(kTxtMenu_mToolBarMaterials, Menu, 34, Menu) \
    X(kTxtMenu_mToolbarFileEdit, Menu, 35, Menu) \
    X(kTxtMenu_mToolbarEditMaterial, Menu, 36, Menu) \
    X(kTxtMenu_mToolBarMaterialColor, Menu, 37, Menu) \
    X(kTxtMenu_mToolbarView, Menu, 38, Menu) \
    X(kTxtMenu_mToolBarLight, Menu, 39, Menu) \
    X(kTxtMenu_mToolbarInformation, Menu, 40, Menu) \
    X(kTxtMenu_mToolBarViewScheme, Menu, 41, Menu) \
    X(kTxtMenu_mToolbarAllOn, Menu, 42, Menu) \
    X(kTxtMenu_mToolBarAllOff, Menu, 43, Menu) \
    X(kTxtMenu_mSaveScheme, Menu, 44, Menu) \
    X(kTxtMenu_mSaveAsScheme, Menu, 45, Menu) \
    X(kTxtMenu_mSchemes, Menu, 46, Menu) \
    X(kTxtMenu_mHelp, Menu, 47, Menu) \
    X(kTxtMenu_mAbout, Menu, 48, Menu) \
    X(kTxtMenu_mEditMatName, Menu, 49, Menu) \
    X(kTxtMenu_mClearMatName, Menu, 50, Menu) \
    X(kTxtMenu_mCopyMaterial, Menu, 51, Menu) \
    X(kTxtMenu_mPasteMaterial, Menu, 52, Menu) \
    X(kTxtMenu_mIconSmall, Menu, 53, Menu) \
    X(kTxtMenu_mIconLarge, Menu, 54, Menu) \
    X(kTxtMenu_mPopUpLockScheme, Menu, 55, Menu) \
    X(kTxtMenu_mPopUpUnlockScheme, Menu, 56, Menu) \
    X(kTxtMenu_mPopUpRenameScheme, Menu, 57, Menu) \
    X(kTxtMenu_mPopUpDeleteScheme, Menu, 58, Menu) \
    X(kTxtMenu_mPopUpRenameView, Menu, 59, Menu) \
    X(kTxtMenu_mPopUpDeleteView, Menu, 60, Menu) \
    X(kTxtBatchCaption, Msg, 152, Whole) \
    X(kTxtBatchNone, Msg, 191, Whole) \
    X(kTxtBatchFolderTitle, Msg, 71, Whole) \
    X(kTxtBatchFolderCaption, Msg, 242, Whole) \
    X(kTxtBatchReplace, Msg, 72, Whole) \
    X(kTxtLblWd, Msg, 224, Caption) \
    X(kTxtLblHt, Msg, 225, Caption) \
    X(kTxtLblBName, Msg, 187, Caption) \
    X(kTxtLblOutputFormat, Msg, 188, Caption) \
    X(kTxtRGBmpQuality, Msg, 103, Caption) \
    X(kTxtQualityLow, Msg, 104, Whole) \
    X(kTxtQualityMedium, Msg, 105, Whole) \
    X(kTxtQualityHigh, Msg, 106, Whole) \
    X(kTxtChkRayTrace, Msg, 107, Caption) \
    X(kTxtBtnSelectAll, Msg, 150, Caption) \
    X(kTxtBtnClearAll, Msg, 151, Caption) \
    X(kTxtBtnAddUpdateBatch, Msg, 185, Caption) \
    X(kTxtBtnDeleteBatch, Msg, 186, Caption) \
    X(kTxtChkPreview, Msg, 133, Caption) \
    X(kTxtBtnCancelLoadDIB, Msg, 134, Caption) \
    X(kTxtMenu_mSaveMaterial, Menu, 62, Menu)

#define STELLWERK_TEXT_ID(name, list, number, use) \
    constexpr TextId name{TextList::list, number, TextUse::use};
STELLWERK_TEXTS(STELLWERK_TEXT_ID)
#undef STELLWERK_TEXT_ID

}  // namespace stellwerk
