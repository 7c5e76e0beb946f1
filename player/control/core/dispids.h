// DISPIDs of the control's interfaces and events, by member name. The type-library
// test holds these lists against the library, both ways.
#pragma once

#include <cstdint>

// IQivPlayer2, the default interface: every member.
#define QIV_DISPIDS_PLAYER2(X) \
    X(Appearance, -520) \
    X(BackColor, -501) \
    X(BackStyle, -502) \
    X(BorderStyle, -504) \
    X(Enabled, -514) \
    X(TexturePath, 1) \
    X(VisuDLL, 2) \
    X(DisplayMode, 3) \
    X(VRDeviceAvailable, 4) \
    X(ButtonRayTraceEnabled, 5) \
    X(ButtonVREnabled, 6) \
    X(ObjectHasAnimation, 7) \
    X(CurrentTime, 8) \
    X(ObjectURL, 9) \
    X(TextureBaseURL, 10) \
    X(AnimPlaying, 11) \
    X(ObjectUID, 12) \
    X(Phi, 13) \
    X(Psi, 14) \
    X(LoadObjectMenuEnabled, 15) \
    X(PopupMenuEnabled, 16) \
    X(HideControls, 17) \
    X(HideScrollBars, 18) \
    X(BackPictureURL, 19) \
    X(Zoom, 20) \
    X(PanX, 21) \
    X(PanY, 22) \
    X(SaveFilesWithDocument, 23) \
    X(Language, 24) \
    X(TooltipTimeout, 25) \
    X(LocalSaveAllowed, 26) \
    X(Filter, 27) \
    X(FlatTexturePath, 28) \
    X(AnimateOnClick, 29) \
    X(HasThumbnail, 30) \
    X(KeepSpinning, 31) \
    X(SpinPhi, 32) \
    X(SpinPsi, 33) \
    X(EnabledMenus, 34) \
    X(BackPicMode, 35) \
    X(DelayBeforeLoad, 36) \
    X(DelayAfterPreview, 37) \
    X(MenuNameForPreview, 38) \
    X(MenuNameFor3D, 39) \
    X(AnimSpeed, 40) \
    X(Walkthrough, 41) \
    X(IncrementalDisplay, 42) \
    X(PreviewMode, 43) \
    X(BackPicOffsetX, 44) \
    X(BackPicOffsetY, 45) \
    X(VRPx, 46) \
    X(VRPy, 47) \
    X(VRPz, 48) \
    X(EyeX, 49) \
    X(EyeY, 0x32) \
    X(EyeZ, 0x33) \
    X(DragDropEnabled, 0x34) \
    X(Lights, 0x35) \
    X(InhibitLocalTextures, 0x36) \
    X(LastPickedTexture, 0x37) \
    X(LastPickedMaterial, 0x38) \
    X(EventObject, 0x39) \
    X(CurrentObject, 0x3a) \
    X(Refresh, -550) \
    X(GetAnimationParameters, 0x64) \
    X(StartAnimation, 0x65) \
    X(StopAnimation, 0x66) \
    X(GetSubAnimationInfo, 0x67) \
    X(StartSubAnimation, 0x68) \
    X(BrowseForTexturePath, 0x69) \
    X(LoadObject, 0x6a) \
    X(SaveMiniBitmap, 0x6b) \
    X(ShowAll, 0x6c) \
    X(SaveBitmap, 0x6e) \
    X(DisplayThumbnail, 0x6f) \
    X(Show2DView, 0x70) \
    X(OneTimeRaytrace, 0x71) \
    X(SaveObject, 0x72) \
    X(ConfigureCache, 0x73) \
    X(CopyHtmlCode, 0x74) \
    X(GetMaterialCount, 0x75) \
    X(GetMaterial, 0x76) \
    X(ReplaceMaterial, 0x77) \
    X(LoadMaterial, 0x78) \
    X(GetTextureCount, 0x79) \
    X(GetTexture, 0x7a) \
    X(ReplaceTexture, 0x7b) \
    X(SubObjectCount, 0x7c) \
    X(GetSubObjectName, 0x7d) \
    X(GetViewing3D, 0x7e) \
    X(SetViewing3D, 0x7f) \
    X(AddObject, 0x80) \
    X(ObjectRotate, 0x81) \
    X(ObjectTranslate, 0x82) \
    X(ObjectScale, 0x83) \
    X(ObjectShow, 0x84) \
    X(ObjectResetPosition, 0x85) \
    X(SavePELObject, 0x86) \
    X(ConfigureCache2, 0x87) \
    X(EnableUpdate, 0x88) \
    X(FlushCaches, 0x89) \
    X(ObjectDelete, 0x8a) \
    X(ObjectSwitchLight, 0x8b) \
    X(ObjectSetHighlightedSubObject, 0x8c) \
    X(ObjectGetExtend, 0x8d) \
    X(ObjectGetExtendX, 0x8e) \
    X(ObjectGetExtendY, 0x8f) \
    X(ObjectGetExtendZ, 0x90) \
    X(SetCursorMode, 0x91) \
    X(GetViewing3DEx, 0x92) \
    X(SetViewing3DEx, 0x93) \
    X(ObjectIsLoaded, 0x94) \
    X(ObjectIsGroup, 0x95) \
    X(ObjectGetParent, 0x96) \
    X(ObjectGetChildCount, 0x97) \
    X(ObjectGetChild, 0x98) \
    X(ObjectAddChild, 0x99) \
    X(ObjectRemoveChild, 0x9a) \
    X(NewGroup, 0x9b) \
    X(ObjectForceLoad, 0x9c) \
    X(ObjectDrop, 0x9d) \
    X(ObjectMayMove, 0x9e) \
    X(ObjectGetCurPos, 0x9f) \
    X(ObjectGetCurPosX, 0xa0) \
    X(ObjectGetCurPosY, 0xa1) \
    X(ObjectGetCurPosZ, 0xa2) \
    X(DisableUserMovements, 0xa3) \
    X(ObjectSetUserData, 0xa4) \
    X(ObjectGetUserData, 0xa5) \
    X(DragAndDropObject, 0xa6) \
    X(SaveTextureToLocalFile, 0xa7) \
    X(GetLastPickedPosition, 0xa8) \
    X(GetLastPickedPositionX, 0xa9) \
    X(GetLastPickedPositionY, 0xaa) \
    X(GetLastPickedPositionZ, 0xab) \
    X(GetMaterialAsString, 0xac) \
    X(GetAnimationParametersAsString, 0xad) \
    X(GetSubAnimationInfoAsString, 0xae) \
    X(GetViewing3DExAsString, 0xaf) \
    X(DragAndDropTexture, 0xb0) \
    X(DragAndDropMaterialFromURL, 0xb1) \
    X(DragAndDropMaterial, 0xb2) \
    X(ReplaceMaterialEx, 0xb3) \
    X(GetCollidingObjects, 0xb4) \
    X(GetCollidingObjectsAsString, 0xb5) \
    X(SavePELObject2, 0xb6) \
    X(SetPhiPsiRanges, 0xb7) \
    X(WalkThroughStep, 0xb8) \
    X(NumberOfPredefinedViewings, 0xb9) \
    X(NameOfPredefinedViewing, 0xba) \
    X(SetPredefinedViewing, 0xbb) \
    X(GetPredefinedViewing, 0xbc) \
    X(GetPredefinedViewingAsString, 0xbd) \
    X(ObjectGetPositionAsString, 0xbe) \
    X(ObjectSetPositionFromString, 0xbf) \
    X(ObjectTurn, 0xc0) \
    X(ObjectTranslate2, 0xc1) \
    X(ObjectAddChildKeepPos, 0xc2) \
    X(ObjectRemoveChildKeepPos, 0xc3) \
    X(ObjectGetRealPos, 0xc4) \
    X(ObjectGetRealPosX, 0xc5) \
    X(ObjectGetRealPosY, 0xc6) \
    X(ObjectGetRealPosZ, 0xc7) \
    X(ObjectGetRealPositionAsString, 0xc8) \
    X(DragAndDropObjectWithDefault, 0xc9) \
    X(RegisterChunkNotify, 0xca)

// IQivPlayer: its methods, whose DISPIDs differ from IQivPlayer2's (its properties
// share theirs).
#define QIV_DISPIDS_PLAYER1_METHODS(X) \
    X(GetAnimationParameters, 0x32) \
    X(StartAnimation, 0x33) \
    X(StopAnimation, 0x34) \
    X(GetSubAnimationInfo, 0x35) \
    X(StartSubAnimation, 0x36) \
    X(BrowseForTexturePath, 0x37) \
    X(LoadObject, 0x38) \
    X(SaveMiniBitmap, 0x39) \
    X(ShowAll, 0x3a) \
    X(SaveBitmap, 0x3c) \
    X(DisplayThumbnail, 0x3d) \
    X(Show2DView, 0x3e) \
    X(OneTimeRaytrace, 0x3f) \
    X(SaveObject, 0x40) \
    X(ConfigureCache, 0x41)

// _QivPlayerEvents.
#define QIV_DISPIDS_EVENTS(X) \
    X(SubObjectPicked, 1) \
    X(Click, 2) \
    X(AnimationDone, 3) \
    X(AnimationStarted, 4) \
    X(ObjectLoaded, 5) \
    X(ThumbnailDone, 6) \
    X(TextureChanged, 7) \
    X(MaterialChanged, 8) \
    X(ObjectMove, 9) \
    X(ObjectMoving, 10) \
    X(MouseReleased, 11) \
    X(ClickWithKeys, 12) \
    X(MouseDown, 13) \
    X(ChunkDataAvailable, 14)

namespace qivdispid {
#define QIV_DISPID_ENUMERATOR(name, id) name = id,
enum : int32_t { QIV_DISPIDS_PLAYER2(QIV_DISPID_ENUMERATOR) };
namespace v1 {
enum : int32_t { QIV_DISPIDS_PLAYER1_METHODS(QIV_DISPID_ENUMERATOR) };
}
namespace event {
enum : int32_t { QIV_DISPIDS_EVENTS(QIV_DISPID_ENUMERATOR) };
}
#undef QIV_DISPID_ENUMERATOR
}  // namespace qivdispid
