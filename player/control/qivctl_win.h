// The viewer control object: both dual interfaces of the type library over
// one set of members, the OLE control plumbing of the COM layer, the control's
// state, its events and property-change notices.
#pragma once
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "qivplayer_idl.h"
#include "com/control.h"
#include "com/dispatch.h"
#include "ctlstate.h"
#include "dispids.h"
#include "document_win.h"
#include "persiststream.h"
#include "callertrust.h"
#include "cursors.h"
#include "hoverprogress.h"
#include "hosthooks_win.h"
#include "qivprops_win.h"
#include "scenehost.h"

// The legacy class, registered to be treated as the control; it has no class object.
extern const CLSID CLSID_QivPlayerLegacy;

constexpr int kQivCursorCount = 20;
extern const WORD kQivCursorIds[kQivCursorCount];

struct QivWindowParts;
class QivNavigation;
namespace qivctl {
struct QivHostServices;
}
class NavController;
struct NavSpin;
struct PelContent;
struct ScnNode;
struct TexRecord;
namespace qivctl {
struct ExportRequest;
struct MenuItem;
struct MenuSubAnimation;
struct PendingTransfer;
class ThumbnailHandover;
}  // namespace qivctl
struct PicRecord;
class QivLoadSession;
class QivLoadClock;
struct QivSavedViewList;
enum class QivStreamKind;

class CQivPlayerCtl : public qcom::Dual<IQivPlayer>, public qcom::Dual<IQivPlayer2>, public qcom::ControlBase {
public:
    CQivPlayerCtl();
    ~CQivPlayerCtl() override;

    static qcom::ControlConfig config();
    void* comInterface(REFIID iid);
    void finalRelease() override;

    // Teardown of what is shown; full also empties the object slots.
    void UnloadScene(bool full);

    // State (read by tests and by the other parts of the control).
    const QivControlState& state() const { return state_; }
    QivControlState& state() { return state_; }
    HCURSOR cursor(int index) const { return cursors_[index]; }

    // Events of _QivPlayerEvents, fired synchronously to every sink. The event
    // slot names slot for the duration of the firing. By-reference arguments
    // hold what the last sink left.
    void FireSubObjectPicked(int32_t slot, LONG index, const std::wstring& localName,
                             const std::wstring& databaseName, std::wstring& displayName);
    void FireClick(int32_t slot, LONG& subAnimIndex);
    void FireAnimationDone(int32_t slot);
    void FireAnimationStarted(int32_t slot, LONG animationNo, const std::wstring& name, bool autoRepeat);
    void FireObjectLoaded(int32_t slot);
    void FireThumbnailDone(int32_t slot);
    void FireTextureChanged(int32_t slot, LONG subObjectIndex, LONG textureIndex, const std::wstring& newName);
    void FireMaterialChanged(int32_t slot, LONG subObjectIndex, LONG materialIndex, const std::wstring& fileName);
    void FireObjectMove(int32_t slot, LONG objOrGrpID, qivMvEvTypes which, float x, float y, float z);
    void FireObjectMoving(int32_t slot, LONG objOrGrpID, float xMouse, float yMouse, float zMouse, float xCenter,
                          float yCenter, float zCenter);
    void FireMouseReleased(int32_t slot, LONG event);
    void FireClickWithKeys(int32_t slot, LONG flags, LONG& subAnimIndex);
    void FireMouseDown(int32_t slot, LONG objID, LONG whichMouseButton, LONG flags);
    // Property-change notice, skipped while the host has frozen events.
    void FireOnChanged(DISPID id);

    // Redraw(reRender): invalidates the window; with reRender the frame is drawn again.
    void Redraw(bool reRender);

    // ---- Control window, control bar, painting and local files ----
    // First activation; 1 when the window is (now) initialised.
    int InitWindow();
    void CreateControlBar(const RECT& client);
    void Layout(const RECT& client);
    void LayoutBar(const RECT& client);
    void RefreshBarState();
    void UpdateScrollBars();
    void Scroll(bool horizontal, int code, int position);
    bool SetCursorForState(int hit);
    void AnimationStep();
    void ShowMessage(UINT stringId, const std::string& argument);
    void CreateHardwareWindow();
    void ToggleHardware();
    void KeepDragGoing();
    void DestroyHardwareWindow();
    int PrepareScene(ScnNode** roots, bool loadDrawDib, bool keepScrollBars, bool keepView);
    void SetupFrame(ScnNode** roots, bool keepView, bool keepScrollBars);
    void DrawFrame(HDC dc, const RECT* rect, int x, int y);
    void RayTraceFrame(HDC dc, const RECT* rect);
    void UpdateFrameState();
    void AcquireSharedLights();
    void ResetView();
    void SetViewFromAngles();
    void StartObjectAnimation(int32_t slot);
    void StopObjectAnimation(int32_t slot);
    // intoSlot: a used slot that takes the object (not with replace); -1 allocates one.
    int LoadLocalFile(const char* path, const char* sourceName, bool replace, int32_t intoSlot = -1);
    ScnNode* AddObjectToScene(PelContent* content, bool withTextures, const std::string& baseDirectory, bool noSlot,
                              bool byIndex);
    // scope: the texture cache's scope of the name (textureScopeOf of the object's source).
    int ResolveTexture(const char* name, const std::string& baseDirectory, TexRecord** handle, int index,
                       const std::string& scope = std::string());
    void InitObjectAnimation(int32_t slot);
    QivWindowParts& win() { return *win_; }
    const QivWindowParts& win() const { return *win_; }
    const QivDisplayProps& displayProps() const { return props_; }
    // The view reset takes over the viewing values given before the view existed.
    void ApplyPendingViewing();
    // Mouse navigation: button and move messages of the control window; true when handled.
    bool NavMouse(UINT msg, WPARAM wp, LPARAM lp);
    // The same with the physical button state, the keys and the time given.
    bool NavInput(UINT msg, int x, int y, bool buttonDown, bool ctrl, bool shift, uint32_t now);

    // ---- IQivPlayer2 (and IQivPlayer, whose members are a subset) ----
    STDMETHODIMP get_Appearance(qivAppearance *pVal) override;
    STDMETHODIMP put_Appearance(qivAppearance newVal) override;
    STDMETHODIMP put_BackColor(OLE_COLOR newVal) override;
    STDMETHODIMP get_BackColor(OLE_COLOR *pVal) override;
    STDMETHODIMP get_BackStyle(qivBackStyle *pVal) override;
    STDMETHODIMP put_BackStyle(qivBackStyle newVal) override;
    STDMETHODIMP get_BorderStyle(qivBorderStyle *pVal) override;
    STDMETHODIMP put_BorderStyle(qivBorderStyle newVal) override;
    STDMETHODIMP get_Enabled(VARIANT_BOOL *pVal) override;
    STDMETHODIMP put_Enabled(VARIANT_BOOL newVal) override;
    STDMETHODIMP get_TexturePath(BSTR *pVal) override;
    STDMETHODIMP put_TexturePath(BSTR newVal) override;
    STDMETHODIMP get_VisuDLL(BSTR *pVal) override;
    STDMETHODIMP put_VisuDLL(BSTR newVal) override;
    STDMETHODIMP get_DisplayMode(qivDisplayMode *pVal) override;
    STDMETHODIMP put_DisplayMode(qivDisplayMode newVal) override;
    STDMETHODIMP get_VRDeviceAvailable(VARIANT_BOOL *pVal) override;
    STDMETHODIMP get_ButtonRayTraceEnabled(VARIANT_BOOL *pVal) override;
    STDMETHODIMP put_ButtonRayTraceEnabled(VARIANT_BOOL newVal) override;
    STDMETHODIMP get_ButtonVREnabled(VARIANT_BOOL *pVal) override;
    STDMETHODIMP put_ButtonVREnabled(VARIANT_BOOL newVal) override;
    STDMETHODIMP get_ObjectHasAnimation(VARIANT_BOOL *pVal) override;
    STDMETHODIMP get_CurrentTime(float *pVal) override;
    STDMETHODIMP put_CurrentTime(float newVal) override;
    STDMETHODIMP get_ObjectURL(BSTR *pVal) override;
    STDMETHODIMP put_ObjectURL(BSTR newVal) override;
    STDMETHODIMP get_TextureBaseURL(BSTR *pVal) override;
    STDMETHODIMP put_TextureBaseURL(BSTR newVal) override;
    STDMETHODIMP get_AnimPlaying(VARIANT_BOOL *pVal) override;
    STDMETHODIMP put_AnimPlaying(VARIANT_BOOL newVal) override;
    STDMETHODIMP get_ObjectUID(BSTR *pVal) override;
    STDMETHODIMP put_ObjectUID(BSTR newVal) override;
    STDMETHODIMP get_Phi(float *pVal) override;
    STDMETHODIMP put_Phi(float newVal) override;
    STDMETHODIMP get_Psi(float *pVal) override;
    STDMETHODIMP put_Psi(float newVal) override;
    STDMETHODIMP get_LoadObjectMenuEnabled(VARIANT_BOOL *pVal) override;
    STDMETHODIMP put_LoadObjectMenuEnabled(VARIANT_BOOL newVal) override;
    STDMETHODIMP get_PopupMenuEnabled(VARIANT_BOOL *pVal) override;
    STDMETHODIMP put_PopupMenuEnabled(VARIANT_BOOL newVal) override;
    STDMETHODIMP get_HideControls(VARIANT_BOOL *pVal) override;
    STDMETHODIMP put_HideControls(VARIANT_BOOL newVal) override;
    STDMETHODIMP get_HideScrollBars(VARIANT_BOOL *pVal) override;
    STDMETHODIMP put_HideScrollBars(VARIANT_BOOL newVal) override;
    STDMETHODIMP get_BackPictureURL(BSTR *pVal) override;
    STDMETHODIMP put_BackPictureURL(BSTR newVal) override;
    STDMETHODIMP get_Zoom(float *pVal) override;
    STDMETHODIMP put_Zoom(float newVal) override;
    STDMETHODIMP get_PanX(float *pVal) override;
    STDMETHODIMP put_PanX(float newVal) override;
    STDMETHODIMP get_PanY(float *pVal) override;
    STDMETHODIMP put_PanY(float newVal) override;
    STDMETHODIMP get_SaveFilesWithDocument(VARIANT_BOOL *pVal) override;
    STDMETHODIMP put_SaveFilesWithDocument(VARIANT_BOOL newVal) override;
    STDMETHODIMP get_Language(BSTR *pVal) override;
    STDMETHODIMP put_Language(BSTR newVal) override;
    STDMETHODIMP get_TooltipTimeout(LONG *pVal) override;
    STDMETHODIMP put_TooltipTimeout(LONG newVal) override;
    STDMETHODIMP get_LocalSaveAllowed(VARIANT_BOOL *pVal) override;
    STDMETHODIMP put_LocalSaveAllowed(VARIANT_BOOL newVal) override;
    STDMETHODIMP get_Filter(VARIANT_BOOL *pVal) override;
    STDMETHODIMP put_Filter(VARIANT_BOOL newVal) override;
    STDMETHODIMP get_FlatTexturePath(VARIANT_BOOL *pVal) override;
    STDMETHODIMP put_FlatTexturePath(VARIANT_BOOL newVal) override;
    STDMETHODIMP get_AnimateOnClick(VARIANT_BOOL *pVal) override;
    STDMETHODIMP put_AnimateOnClick(VARIANT_BOOL newVal) override;
    STDMETHODIMP get_HasThumbnail(VARIANT_BOOL *pVal) override;
    STDMETHODIMP get_KeepSpinning(VARIANT_BOOL *pVal) override;
    STDMETHODIMP put_KeepSpinning(VARIANT_BOOL newVal) override;
    STDMETHODIMP get_SpinPhi(float *pVal) override;
    STDMETHODIMP put_SpinPhi(float newVal) override;
    STDMETHODIMP get_SpinPsi(float *pVal) override;
    STDMETHODIMP put_SpinPsi(float newVal) override;
    STDMETHODIMP get_EnabledMenus(LONG *pVal) override;
    STDMETHODIMP put_EnabledMenus(LONG newVal) override;
    STDMETHODIMP get_BackPicMode(qivBackPicModes *pVal) override;
    STDMETHODIMP put_BackPicMode(qivBackPicModes newVal) override;
    STDMETHODIMP get_DelayBeforeLoad(LONG *pVal) override;
    STDMETHODIMP put_DelayBeforeLoad(LONG newVal) override;
    STDMETHODIMP get_DelayAfterPreview(LONG *pVal) override;
    STDMETHODIMP put_DelayAfterPreview(LONG newVal) override;
    STDMETHODIMP get_MenuNameForPreview(BSTR *pVal) override;
    STDMETHODIMP put_MenuNameForPreview(BSTR newVal) override;
    STDMETHODIMP get_MenuNameFor3D(BSTR *pVal) override;
    STDMETHODIMP put_MenuNameFor3D(BSTR newVal) override;
    STDMETHODIMP get_AnimSpeed(float *pVal) override;
    STDMETHODIMP put_AnimSpeed(float newVal) override;
    STDMETHODIMP get_Walkthrough(VARIANT_BOOL *pVal) override;
    STDMETHODIMP put_Walkthrough(VARIANT_BOOL newVal) override;
    STDMETHODIMP get_IncrementalDisplay(VARIANT_BOOL *pVal) override;
    STDMETHODIMP put_IncrementalDisplay(VARIANT_BOOL newVal) override;
    STDMETHODIMP get_PreviewMode(LONG *pVal) override;
    STDMETHODIMP put_PreviewMode(LONG newVal) override;
    STDMETHODIMP get_BackPicOffsetX(LONG *pVal) override;
    STDMETHODIMP put_BackPicOffsetX(LONG newVal) override;
    STDMETHODIMP get_BackPicOffsetY(LONG *pVal) override;
    STDMETHODIMP put_BackPicOffsetY(LONG newVal) override;
    STDMETHODIMP get_VRPx(float *pVal) override;
    STDMETHODIMP put_VRPx(float newVal) override;
    STDMETHODIMP get_VRPy(float *pVal) override;
    STDMETHODIMP put_VRPy(float newVal) override;
    STDMETHODIMP get_VRPz(float *pVal) override;
    STDMETHODIMP put_VRPz(float newVal) override;
    STDMETHODIMP get_EyeX(float *pVal) override;
    STDMETHODIMP put_EyeX(float newVal) override;
    STDMETHODIMP get_EyeY(float *pVal) override;
    STDMETHODIMP put_EyeY(float newVal) override;
    STDMETHODIMP get_EyeZ(float *pVal) override;
    STDMETHODIMP put_EyeZ(float newVal) override;
    STDMETHODIMP get_DragDropEnabled(LONG *pVal) override;
    STDMETHODIMP put_DragDropEnabled(LONG newVal) override;
    STDMETHODIMP get_Lights(LONG *pVal) override;
    STDMETHODIMP put_Lights(LONG newVal) override;
    STDMETHODIMP get_InhibitLocalTextures(VARIANT_BOOL *pVal) override;
    STDMETHODIMP put_InhibitLocalTextures(VARIANT_BOOL newVal) override;
    STDMETHODIMP get_LastPickedTexture(LONG *pVal) override;
    STDMETHODIMP get_LastPickedMaterial(LONG *pVal) override;
    STDMETHODIMP get_EventObject(LONG *pVal) override;
    STDMETHODIMP put_CurrentObject(LONG newVal) override;
    STDMETHODIMP get_CurrentObject(LONG *pVal) override;
    STDMETHODIMP Refresh() override;
    STDMETHODIMP GetAnimationParameters(float *Length, float *FramesPerSecond, LONG *SubAnimCount, VARIANT_BOOL *pVal) override;
    STDMETHODIMP StartAnimation() override;
    STDMETHODIMP StopAnimation() override;
    STDMETHODIMP GetSubAnimationInfo(LONG Index, BSTR *Name, float *StartTime, float *EndTime, VARIANT_BOOL *pVal) override;
    STDMETHODIMP StartSubAnimation(LONG Index, VARIANT_BOOL repeat, VARIANT_BOOL *pVal) override;
    STDMETHODIMP BrowseForTexturePath() override;
    STDMETHODIMP LoadObject(BSTR FileName, VARIANT_BOOL *pVal) override;
    STDMETHODIMP SaveMiniBitmap(BSTR FileName, VARIANT_BOOL *pVal) override;
    STDMETHODIMP ShowAll() override;
    STDMETHODIMP SaveBitmap(qivBitmapQuality quality, VARIANT_BOOL raytrace, LONG PixelWidth, LONG PixelHeight, BSTR FileName, VARIANT_BOOL *pVal) override;
    STDMETHODIMP DisplayThumbnail(BSTR FileName, VARIANT_BOOL *pVal) override;
    STDMETHODIMP Show2DView(VARIANT_BOOL view2D) override;
    STDMETHODIMP OneTimeRaytrace() override;
    STDMETHODIMP SaveObject(BSTR ObjectFileName, VARIANT_BOOL useQivFormat, BSTR TextureBasePath, VARIANT_BOOL *pVal) override;
    STDMETHODIMP ConfigureCache(LONG cachedObjects, LONG cachedTextures, LONG cachedBackgroundPictures, VARIANT_BOOL *pVal) override;
    STDMETHODIMP CopyHtmlCode(qivHtmlType htmlStyle, BSTR realObjectUrl) override;
    STDMETHODIMP GetMaterialCount(LONG *pVal) override;
    STDMETHODIMP GetMaterial(LONG Index, LONG *colDifuse, LONG *colSpecular, float *alpha, float *coDifuse, float *coAmbient, float *coSpecular, LONG *flags, VARIANT_BOOL *pVal) override;
    STDMETHODIMP ReplaceMaterial(LONG Index, LONG colDifuse, LONG colSpecular, float alpha, float coDifuse, float coAmbient, float coSpecular, LONG flags, VARIANT_BOOL *pVal) override;
    STDMETHODIMP LoadMaterial(LONG Index, BSTR MaterialFile, VARIANT_BOOL *pVal) override;
    STDMETHODIMP GetTextureCount(LONG *pVal) override;
    STDMETHODIMP GetTexture(LONG Index, BSTR *pVal) override;
    STDMETHODIMP ReplaceTexture(LONG Index, BSTR TextureName, VARIANT_BOOL *pVal) override;
    STDMETHODIMP SubObjectCount(LONG *pVal) override;
    STDMETHODIMP GetSubObjectName(LONG Index, BSTR Language, BSTR *pVal) override;
    STDMETHODIMP GetViewing3D(float *VRPx, float *VRPy, float *VRPz, float *EyeX, float *EyeY, float *EyeZ, float *tanViewAngleHalf, VARIANT_BOOL *pVal) override;
    STDMETHODIMP SetViewing3D(float VRPx, float VRPy, float VRPz, float EyeX, float EyeY, float EyeZ, float tanViewAngleHalf, VARIANT_BOOL *pVal) override;
    STDMETHODIMP AddObject(BSTR urlOrFile, LONG *pVal) override;
    STDMETHODIMP ObjectRotate(float axisVectorX, float axisVectorY, float axisVectorZ, float angle, VARIANT_BOOL *pVal) override;
    STDMETHODIMP ObjectTranslate(float x, float y, float z, VARIANT_BOOL *pVal) override;
    STDMETHODIMP ObjectScale(float scaleX, float scaleY, float scaleZ, VARIANT_BOOL *pVal) override;
    STDMETHODIMP ObjectShow(VARIANT_BOOL displayObject, VARIANT_BOOL *pVal) override;
    STDMETHODIMP ObjectResetPosition(VARIANT_BOOL *pVal) override;
    STDMETHODIMP SavePELObject(BSTR ObjectFileName, BSTR logicalObjectName, BSTR TextureBasePath, VARIANT_BOOL *pVal) override;
    STDMETHODIMP ConfigureCache2(LONG cachedObjects, LONG cachedTextures, LONG cachedMaterials, LONG cachedBackgroundPictures, VARIANT_BOOL *pVal) override;
    STDMETHODIMP EnableUpdate(VARIANT_BOOL updateEnabled) override;
    STDMETHODIMP FlushCaches(VARIANT_BOOL flushObjectCache, VARIANT_BOOL flushTextureCache, VARIANT_BOOL flushMaterialCache, VARIANT_BOOL flushBackPicCache) override;
    STDMETHODIMP ObjectDelete(VARIANT_BOOL *pVal) override;
    STDMETHODIMP ObjectSwitchLight(VARIANT_BOOL lightsOn, VARIANT_BOOL *pVal) override;
    STDMETHODIMP ObjectSetHighlightedSubObject(LONG SubObjectIndex, VARIANT_BOOL *pVal) override;
    STDMETHODIMP ObjectGetExtend(VARIANT_BOOL scaled, float *dx, float *dy, float *dz, VARIANT_BOOL *pVal) override;
    STDMETHODIMP ObjectGetExtendX(VARIANT_BOOL scaled, float *dx) override;
    STDMETHODIMP ObjectGetExtendY(VARIANT_BOOL scaled, float *dy) override;
    STDMETHODIMP ObjectGetExtendZ(VARIANT_BOOL scaled, float *dz) override;
    STDMETHODIMP SetCursorMode(qivCursorTypes newCursorMode) override;
    STDMETHODIMP GetViewing3DEx(float *VRPx, float *VRPy, float *VRPz, float *EyeX, float *EyeY, float *EyeZ, float *tanViewAngleHalf, VARIANT_BOOL *parallel, VARIANT_BOOL *pVal) override;
    STDMETHODIMP SetViewing3DEx(float VRPx, float VRPy, float VRPz, float EyeX, float EyeY, float EyeZ, float tanViewAngleHalf, VARIANT_BOOL parallel, VARIANT_BOOL *pVal) override;
    STDMETHODIMP ObjectIsLoaded(LONG objID, VARIANT_BOOL *pVal) override;
    STDMETHODIMP ObjectIsGroup(LONG grpID, VARIANT_BOOL *pVal) override;
    STDMETHODIMP ObjectGetParent(LONG objOrGrpID, LONG *pVal) override;
    STDMETHODIMP ObjectGetChildCount(LONG grpID, LONG *pVal) override;
    STDMETHODIMP ObjectGetChild(LONG objOrGrpID, LONG Index, LONG *pVal) override;
    STDMETHODIMP ObjectAddChild(LONG objOrGrpID, LONG idOfChild, LONG *indexOfChild) override;
    STDMETHODIMP ObjectRemoveChild(LONG objOrGrpID, LONG Index, VARIANT_BOOL *pVal) override;
    STDMETHODIMP NewGroup(LONG *newGrpID) override;
    STDMETHODIMP ObjectForceLoad(LONG objOrGrpID, VARIANT_BOOL *pVal) override;
    STDMETHODIMP ObjectDrop(VARIANT_BOOL animated, float minDropHeight, VARIANT_BOOL dropsDown, VARIANT_BOOL *pVal) override;
    STDMETHODIMP ObjectMayMove(LONG objOrGrpID, LONG flags, VARIANT_BOOL *pVal) override;
    STDMETHODIMP ObjectGetCurPos(LONG objOrGrpID, float *x, float *y, float *z, VARIANT_BOOL *pVal) override;
    STDMETHODIMP ObjectGetCurPosX(LONG objOrGrpID, float *pVal) override;
    STDMETHODIMP ObjectGetCurPosY(LONG objOrGrpID, float *pVal) override;
    STDMETHODIMP ObjectGetCurPosZ(LONG objOrGrpID, float *pVal) override;
    STDMETHODIMP DisableUserMovements(LONG newMask, LONG *oldMask) override;
    STDMETHODIMP ObjectSetUserData(LONG objOrGroupID, BSTR userData) override;
    STDMETHODIMP ObjectGetUserData(LONG objOrGroupID, BSTR *userData) override;
    STDMETHODIMP DragAndDropObject(BSTR url, LONG moveFlags, LONG *objectID) override;
    STDMETHODIMP SaveTextureToLocalFile(BSTR textureURL, BSTR localFile, VARIANT_BOOL *pVal) override;
    STDMETHODIMP GetLastPickedPosition(qivCoordinateTypes whichCoordinateSystem, float *x, float *y, float *z) override;
    STDMETHODIMP GetLastPickedPositionX(qivCoordinateTypes whichCoordinateSystem, float *pVal) override;
    STDMETHODIMP GetLastPickedPositionY(qivCoordinateTypes whichCoordinateSystem, float *pVal) override;
    STDMETHODIMP GetLastPickedPositionZ(qivCoordinateTypes whichCoordinateSystem, float *pVal) override;
    STDMETHODIMP GetMaterialAsString(LONG Index, BSTR *pVal) override;
    STDMETHODIMP GetAnimationParametersAsString(BSTR *pVal) override;
    STDMETHODIMP GetSubAnimationInfoAsString(LONG Index, BSTR *pVal) override;
    STDMETHODIMP GetViewing3DExAsString(BSTR *pVal) override;
    STDMETHODIMP DragAndDropTexture(BSTR url) override;
    STDMETHODIMP DragAndDropMaterialFromURL(BSTR url) override;
    STDMETHODIMP DragAndDropMaterial(LONG colDifuse, LONG colSpecular, float alpha, float coDifuse, float coAmbient, float coSpecular, LONG flags, float refractionCoef) override;
    STDMETHODIMP ReplaceMaterialEx(LONG Index, LONG colDifuse, LONG colSpecular, float alpha, float coDifuse, float coAmbient, float coSpecular, LONG flags, float refractionCoef, VARIANT_BOOL *pVal) override;
    STDMETHODIMP GetCollidingObjects(LONG objOrGroupID, VARIANT *pVal) override;
    STDMETHODIMP GetCollidingObjectsAsString(LONG objOrGroupID, BSTR *pVal) override;
    STDMETHODIMP SavePELObject2(BSTR ObjectFileName, BSTR logicalObjectName, BSTR TextureBasePath, VARIANT_BOOL combineTextures, VARIANT_BOOL *pVal) override;
    STDMETHODIMP SetPhiPsiRanges(float minPhi, float maxPhi, float minPsi, float maxPsi) override;
    STDMETHODIMP WalkThroughStep(qivWalkThroughDirection dir, float howFar, VARIANT_BOOL *pVal) override;
    STDMETHODIMP NumberOfPredefinedViewings(LONG *pVal) override;
    STDMETHODIMP NameOfPredefinedViewing(LONG viewingID, BSTR Language, BSTR *pVal) override;
    STDMETHODIMP SetPredefinedViewing(LONG viewingID, VARIANT_BOOL *pVal) override;
    STDMETHODIMP GetPredefinedViewing(LONG viewingID, float *VRPx, float *VRPy, float *VRPz, float *EyeX, float *EyeY, float *EyeZ, float *tanViewAngleHalf, VARIANT_BOOL *parallel, VARIANT_BOOL *pVal) override;
    STDMETHODIMP GetPredefinedViewingAsString(LONG viewingID, BSTR *pVal) override;
    STDMETHODIMP ObjectGetPositionAsString(LONG objOrGroupID, BSTR *pVal) override;
    STDMETHODIMP ObjectSetPositionFromString(LONG objOrGroupID, BSTR position, VARIANT_BOOL *pVal) override;
    STDMETHODIMP ObjectTurn(float axisVectorX, float axisVectorY, float axisVectorZ, float angle, VARIANT_BOOL *pVal) override;
    STDMETHODIMP ObjectTranslate2(float x, float y, float z, VARIANT_BOOL *pVal) override;
    STDMETHODIMP ObjectAddChildKeepPos(LONG objOrGrpID, LONG idOfChild, LONG *indexOfChild) override;
    STDMETHODIMP ObjectRemoveChildKeepPos(LONG objOrGrpID, LONG Index, VARIANT_BOOL *pVal) override;
    STDMETHODIMP ObjectGetRealPos(LONG objOrGrpID, float *x, float *y, float *z, VARIANT_BOOL *pVal) override;
    STDMETHODIMP ObjectGetRealPosX(LONG objOrGrpID, float *pVal) override;
    STDMETHODIMP ObjectGetRealPosY(LONG objOrGrpID, float *pVal) override;
    STDMETHODIMP ObjectGetRealPosZ(LONG objOrGrpID, float *pVal) override;
    STDMETHODIMP ObjectGetRealPositionAsString(LONG objOrGroupID, BSTR *pVal) override;
    STDMETHODIMP DragAndDropObjectWithDefault(BSTR url, LONG moveFlags, LONG DefaultObjectID, LONG *objectID) override;
    STDMETHODIMP RegisterChunkNotify(LONG chunkID, VARIANT_BOOL wantNotification, VARIANT_BOOL *pVal) override;

protected:
    HRESULT onDraw(const qcom::DrawInfo& info) override;
    LRESULT onMessage(UINT msg, WPARAM wp, LPARAM lp, bool& handled) override;
    void onInPlaceActivated() override;
    void onWindowDestroyed() override;
    void onClientSiteChanged() override;
    void onAmbientChanged(DISPID id) override;

private:
    class EventSlotScope;
    void initLanguage(LCID lcid);
    void applyWindowStyle();
    HRESULT languageError();

    LRESULT onCommand(WPARAM wp, LPARAM lp, bool& handled);
    LRESULT onTimer(WPARAM id, bool& handled);
    void onSize(int width, int height);
    void onDestroy();
    void rebuildRoots();
    void paintIdle(HDC dc, const RECT& client);
    bool somethingMoves() const;

    QivControlState state_;
    std::unique_ptr<QivWindowParts> win_;
    QivDisplayProps props_;
    std::shared_ptr<QivNavigation> nav_;  // made on the first mouse message
    HCURSOR cursors_[kQivCursorCount] = {};
    HBITMAP barBitmap_ = nullptr;
    bool languageSet_ = false;  // put_Language was called: the ambient locale no longer decides
    int32_t lastPickedTexture_ = 0, lastPickedMaterial_ = 0;

    // ---- load ----
public:
    // Streaming load of a Qiv container or a JPEG picture, whatever the bytes come from (a
    // download's pieces, a local file read in pieces, a document stream). BeginStreamLoad
    // answers 1 when the name is loaded as it arrives (a name starting with "mailbox:",
    // without extension or with ".qiv" a container, ".jpg", ".jpeg" or ".jif" a picture),
    // 0 when the caller is to collect the data in a file instead. A running load is ended
    // first. replace: the objects shown give way to the new one once its object stands; a
    // load that fails leaves them as they were. Without replace the object goes into the
    // loading slot (a new slot when none is set).
    int BeginStreamLoad(const std::string& name, bool replace);
    // The next piece (expectedTotal: size of the whole transfer, 0 unknown); end: the transfer
    // ends with this piece, successfully. Pieces that arrive while the load is busy (an event
    // handler pumping messages) are taken in order once it returns.
    void FeedContainerData(const uint8_t* data, size_t n, uint64_t expectedTotal, bool end);
    // The transfer ended. A load that waits after its preview keeps going after it.
    void EndStreamLoad(bool success);
    // reason 1: a click or press in the control; 2: the preview delay may have passed.
    void ContinueAfterPreview(int reason);
    // The preview gives way to the 3D view (the second preview picture, if any, becomes the
    // background).
    void LeavePreview();
    bool StreamLoadRunning() const;
    const QivLoadSession* StreamLoad() const;
    // Error level of the last load that failed (0: none since the control was made).
    uint32_t LastLoadErrorLevel() const;
    // A local container read in pieces through the streaming load; 1 when its object stands
    // (or the load waits after its preview for the user or the delay).
    int LoadContainerFile(const char* path, const char* sourceName, bool replace);
    // The container of the shown object, as saving writes it (Qiv file or document stream).
    bool SaveContainerFile(const char* path);
    HRESULT WriteContainerToStream(IStream* stream);
    // A container from the document's stream (length-prefixed), shown without preview.
    HRESULT LoadContainerFromStream(IStream* stream);
    // A whole container in memory (a document's "Qiv" stream, inline data) through the same
    // load, without preview, under name (slot source and cache name); 1 when its object stands.
    int LoadContainerBytes(const std::vector<uint8_t>& bytes, const std::string& name, bool replace);
    // The container kept for saving came with the load of that name; its compact form (the
    // payload right behind the header, as inline data carries it).
    bool KeptContainerFrom(const std::string& name) const;
    bool CompactContainerOf(const std::string& name, std::vector<uint8_t>* out) const;
    // Saved views of the first object (chunks 0x111 and 0x10002), kept with its cache entry.
    const QivSavedViewList* SavedViews() const;
    // Timer 55 of the control window.
    void OnLoadTimer();
    // Background picture and the container's preview (the 2D view): the background record from
    // BackPicMode and the picture; ResetBackground lets the picture go.
    void ApplyBackPicMode(bool cache);
    void ResetBackground();
    PicRecord* BackgroundPicture() const;
    PicRecord* PreviewPicture() const;
    // The container's preview is shown (HasThumbnail).
    bool PreviewShown() const;
    // The preview (or a thumbnail) is on display: drawn as the frame's background, ThumbnailDone.
    void OnThumbnailReady();
    // The background drawn into the frame buffer, which paints copy while no scene is there
    // (a preview, a picture file); with a scene the next frame is drawn on it.
    void DrawBackdrop();
    bool FrameHoldsBackdrop() const;
    // Frame statistics: the host's status callback gets "<n> Triangles, <fps> FPS" (and,
    // after an object loads, no text and the object's URL). F9 toggles them while one is set.
    using StatusCallback = void (*)(void* context, const char* text, const char* path);
    void SetStatusCallback(StatusCallback callback, void* context);
    void ToggleStatistics();
    // A clock for the load's timing (tests); null: the tick count.
    void SetLoadClock(QivLoadClock* clock);
    // The scene is unloaded in full: a running load ends, the kept container goes.
    void OnSceneUnloading();

private:
    class LoadHost;
    struct LoadParts;
    struct LoadPartsDeleter {
        void operator()(LoadParts* p) const;
    };
    static LoadParts* newLoadParts();
    int beginLoad(const std::string& name, QivStreamKind kind, bool replace, const std::string& baseDirectory,
                  bool noPreview, bool allAtHand);
    void callSession(const std::function<void(QivLoadSession&)>& step);
    void settleLoad();
    void finishLoad();
    void endLoadNow();
    void shelveScene();
    void restoreShelf();
    void dropShelf();
    void dropKeptContainer();
    int shareCachedContainer(HANDLE file, uint64_t size, const std::string& name, bool replace);
    bool addLoadedObject(PelContent* content, bool hasTextures);
    void countTriangles(const PelContent* content);
    QivObjectSlot* loadingSlot();
    void setBackgroundPicture(PicRecord* picture);
    void dropPicture(PicRecord* picture);
    void releasePreview();
    void noteObjectLoaded(int32_t slot, const std::string& url);
    std::unique_ptr<LoadParts, LoadPartsDeleter> load_{newLoadParts()};

    // ---- nav ----
public:
    // The navigation of the window (made on first use); its controller keeps the drag states.
    QivNavigation& navigation();
    NavController& navController();
    // The spin clock with the spin values of the state; spinChanged writes them back.
    NavSpin& spinClock();
    void spinChanged();
    // A walk motion runs (the walk button is held in walk-through).
    bool navWalking() const;
    // After each drawn frame: the walk goes on while its button is held, the hover follows the
    // cursor and the next tick is asked for while walking.
    void AfterFrame();
    // The user-movement mask of DisableUserMovements (qivUserMovementTypes bits).
    uint32_t userMovements() const { return userMovements_; }
    // ZoomBy: the view window's half extents multiplied by factor (0.1 to 10), refused beyond
    // the zoom limits; announce: Zoom's notice and the view change. ZoomStep: kind 1 zooms by
    // 0.93, 2 by 1.07, 3 resets the view.
    void ZoomBy(float factor, bool announce);
    void ZoomStep(int kind);
    // Hover: picks under (x, y) and names the sub-object under the mouse; timer 33 shows the
    // tooltip; EndHover ends it; ForgetHover also names "nothing" when something was hovered.
    void TrackHover(int x, int y);
    void OnHoverSubObject(int32_t index, bool delayed);
    void ShowTooltip();
    void EndHover();
    void ForgetHover();
    HWND tooltipWindow() const { return tooltip_; }
    const std::string& tooltipText() const { return hoverText_.text(); }
    int32_t hoveredSlot() const { return hoverSlot_; }
    int32_t hoveredSubObject() const { return hoverIndex_; }
    // Keyboard: WM_KEYDOWN and WM_KEYUP with the whole key code; KeyInput with Ctrl and Shift
    // given (the message handlers read them from the keyboard).
    void OnKeyDown(UINT key);
    void OnKeyUp(UINT key, bool resetCursor);
    void KeyInput(UINT msg, UINT key, bool ctrl, bool shift);
    // Cursor-state fields of navigation for SetCursorForState.
    void NavCursorState(qivctl::CursorState& cs);
    // WM_CAPTURECHANGED: the capture went to another window.
    void NavCaptureChanged(HWND to);
    // The scene goes: drags over it end, the hover is forgotten.
    void NavSceneGone();
    // Object drags and grouping: the dragged slot (-1: none); CommitObjectDrag keeps a running
    // drag's move so far in its slot's placement; DragObjectAtCursor goes on dragging slot from
    // the cursor, or starts dragging it there as the left button would.
    int32_t DraggedObject() const;
    void CommitObjectDrag();
    void DragObjectAtCursor(int32_t slot);

private:
    void toggleLight(int32_t which);
    void keyCommand(const qivctl::KeyCommand& c);
    qivctl::KeyContext keyContext(bool ctrl, bool shift);
    uint32_t userMovements_ = 0;
    HWND tooltip_ = nullptr;
    qivctl::HoverTooltip hoverText_;
    int hoverX_ = -1, hoverY_ = -1;
    int32_t hoverSlot_ = -1, hoverIndex_ = -1;

    // ---- objects ----
public:
    // Hover picking stores where the last pick hit (world) and what.
    void SetLastPick(const float world[3], int32_t texture, int32_t material);
    // The operations the control offers a scene-building host; lives as long as the control.
    const qivctl::QivHostServices& HostServices();
    // Every used slot's node takes its world placement (its own and its groups').
    void PlaceNodes();

protected:
    // View changes wait while EnableUpdate(false) holds them.
    bool viewChangesHeld() const override { return updateDisabled_ > 0; }

private:
    bool validCurrent() const;
    void currentRoots();
    // A slot's placement or membership changed: nodes placed, and when it is visible (or
    // always with sceneChanged) the roots rebuilt and the frame redrawn unless updates are off.
    void slotChanged(int32_t id, bool sceneChanged = false);
    // The frame set up for the roots when needed (the view reset with resetView), then redrawn.
    void showRoots(bool resetView);
    // Loads a named slot's object from the object cache or its local file; true with a node.
    bool loadSlot(int32_t id);
    // ObjectAddChild and ObjectRemoveChild, with or without the world positions kept.
    HRESULT addChild(LONG group, LONG child, LONG* indexOfChild, bool keepPos);
    HRESULT removeChild(LONG group, LONG index, VARIANT_BOOL* pVal, bool keepPos);
    // A placement member of the current slot: change answers false when it changed nothing.
    HRESULT changePlacement(VARIANT_BOOL* pVal, const std::function<bool(Mat4&)>& change);

    int32_t updateDisabled_ = 0;   // EnableUpdate(false) calls not yet matched
    bool objectDisplayed_ = false; // an object was shown by ObjectShow
    float lastPick_[3] = {0, 0, 0};
    std::shared_ptr<struct QivHostServicesHolder> hostServices_;

    // ---- exchange ----
public:
    struct ExchangeParts;
    ExchangeParts& exchange();
    // The current object's slot when it is a used slot, else null.
    QivObjectSlot* CurrentObjectSlot();
    // Material index of a slot's node replaced by record (the engine's own word of the
    // material it replaces kept); redraws. False for a slot without node or a bad index.
    bool ApplyMaterial(int32_t slot, int64_t index, const struct MatInput& record);
    // Texture place index of a slot's node set to texture (null empties it): the slot holds
    // the new texture in the cache and lets go of the old one; redraws.
    bool SetObjectTexture(int32_t slot, int64_t index, TexRecord* texture);
    // What lies under a client point: the used slot whose node is hit (-1 none), the part,
    // its material index, that material's flags and texture place. ctrl: faces of
    // transparent materials count.
    struct PartUnder {
        int32_t slot = -1;
        uint32_t part = 0, material = 0, materialFlags = 0, area = 0;
    };
    PartUnder PartAt(int x, int y, bool ctrl);
    // Button and move messages of the control window: MouseDown first, then navigation,
    // then the click events of a left release.
    bool MouseButtons(UINT msg, WPARAM wp, LPARAM lp);
    // The same steps with the keys (qivKeyState bits) given.
    void ButtonPressed(int button, int x, int y, int32_t keyFlags);
    void ButtonReleased(int x, int y, int32_t keyFlags);
    // 0 none, 1 a click event is being fired, 2 a sub-animation was started during it.
    int32_t& ClickState();
    IDropTarget* DropTargetInterface();
    // The drop target's steps: 0 DragEnter, 1 DragOver, 2 DragLeave, 3 Drop.
    HRESULT DropEvent(int step, IDataObject* data, DWORD keys, POINTL pt, DWORD* effect);
    const qivctl::PhiPsiLimits& PhiPsiLimits() const { return phiPsiLimits_; }
    // Navigation may turn the view to these angles (radians): false outside active limits.
    bool AnglesAllowed(float phi, float psi) const;
    // An object is shown and no bitmap is being saved.
    bool Ready() const;
    // Progress of this control's bitmap export; false when it is cancelled.
    bool exportProgress(int32_t percent);
    // Tests: sees each progress value of this control's bitmap exports.
    std::function<void(int32_t)> exportProgressHook;

private:
    struct ExchangePartsDeleter {
        void operator()(ExchangeParts* p) const;
    };
    std::unique_ptr<ExchangeParts, ExchangePartsDeleter> exchange_;
    int32_t dragDropEnabled_ = 0;
    qivctl::PhiPsiLimits phiPsiLimits_;
    bool exporting_ = false;
    HRESULT saveBitmapError(HRESULT hr, const std::string& text, DWORD helpContext);
    void showExportProgress(bool on);
    HRESULT setViewing(const qivctl::Viewing& v, bool ex);
    void viewingOf(qivctl::Viewing* out);
    // The save-image dialog, for an untrusted caller's SaveBitmap started with the name's
    // last component and its request (*written: the file was written).
    HRESULT runSaveImageDialog(const std::string& suggested = std::string(),
                               const qivctl::ExportRequest* preset = nullptr, bool presetRayTrace = false,
                               bool* written = nullptr);
    // SaveBitmap into a named file.
    HRESULT saveBitmapFile(qivBitmapQuality quality, bool raytrace, LONG width, LONG height,
                           const std::string& name, VARIANT_BOOL* pVal);

    // ---- stock ----
public:
    // Command group of the control's IOleCommandTarget: the ids of its popup menu.
    static const GUID kCommandGroup;
    // WM_CONTEXTMENU: builds, shows and destroys the popup menu; false leaves the
    // message to the default handling (no window, menus off, or a menu already open).
    bool OnContextMenu(LPARAM lp);
    // A popup-menu command of the control's own; false for ids it does not know.
    bool MenuCommand(UINT id);
    // The sub-animations of a slot's object, in the order of its animation table.
    std::vector<qivctl::MenuSubAnimation> SubAnimations(int32_t slot) const;
    // Starts sub-animation index of slot (with AnimationStarted); true when it started.
    bool StartSubAnimationOf(int32_t slot, int32_t index, bool repeat);
    // The kept preview picture takes the background picture's place and the other way round
    // (the 2D view). SetPreviewPicture replaces the kept preview without letting the old one go.
    void SwapPreviewAndBackground();
    void SetPreviewPicture(PicRecord* picture);
    bool view2D() const { return view2D_; }

protected:
    HRESULT onDoVerb(LONG verb, MSG* msg, IOleClientSite* site, HWND parent, const RECT* pos) override;
    void onInPlaceDeactivating() override;
    HRESULT onQueryCommand(const GUID* group, ULONG id, DWORD* flags) override;
    HRESULT onExecCommand(const GUID* group, DWORD id, DWORD option, VARIANT* in, VARIANT* out) override;

private:
    // The popup menu the control would show now; allMenus ignores EnabledMenus and
    // PopupMenuEnabled (the command target's view of what is available).
    std::vector<qivctl::MenuItem> popupMenuItems(bool allMenus);
    bool ready() const;
    uint32_t enabledMenus_ = 0xFFFFFFFFu;
    bool view2D_ = false, menuOpen_ = false;

    // ---- dialogs ----
public:
    // Parts of the control's own windows and interfaces: the control bar's
    // repeat buttons and link, the host hooks.
    struct DialogParts;
    DialogParts& dialogParts() { return *dialogParts_; }
    // Command of a control-bar repeat button: 1 zoom in, 2 zoom out, 3 zoom reset.
    void BarCommand(int command);
    // Control-bar children of this part: repeat button index 0-2 bound to a command, and the link.
    HWND CreateRepeatButton(int index, const char* caption, int id, int command);
    HWND CreateBarLink(const std::string& text);
    // IQivHostHooks for that identifier, else null.
    void* hostHooksInterface(REFIID iid);
    // The popup menu's entries of the host (before it shows), and one of them picked.
    void AddHostMenuItems(HMENU menu);
    bool RunHostMenuCommand(UINT id);

protected:
    std::vector<CLSID> propertyPages() const override;

private:
    static DialogParts* newDialogParts(CQivPlayerCtl& owner);
    static void freeDialogParts(DialogParts* parts);
    std::unique_ptr<DialogParts, void (*)(DialogParts*)> dialogParts_{newDialogParts(*this), &freeDialogParts};

    // ---- download ----
public:
    // Downloads through URL monikers, one at a time: the object of ObjectURL, then the
    // pending transfers (textures, materials, background pictures, further objects).
    struct DownloadParts;
    // ObjectURL put (and LoadObject with an address): a local name loads at once, an address
    // is stored and its download starts when the window exists.
    HRESULT SetObjectURL(const std::string& url);
    // The local load of both entrances: the file replaces what is shown and ObjectURL names
    // it; false when it could not be read (what was shown stays).
    bool LoadObjectFile(std::string name);
    // The end of a change of the object named: its notices, the bar, a redraw.
    void ObjectNameChanged();
    // The download of ObjectURL. fromPut: what is shown stays until the new object stands;
    // otherwise nothing happens while an object is loaded.
    void StartURLLoad(bool fromPut = false);
    // First activation: the background picture, then ObjectURL (after DelayBeforeLoad).
    void StartLoadsOnActivation();
    // Timer 55 of a delayed load; the draw entry starts a load that found the view hidden.
    void OnDelayedLoadTimer();
    void RunDeferredURLLoad();
    // WM_USER+75: the next pending transfer from the caches or by download.
    void OnTransferDone();
    // Queues a download into the pending list and asks for WM_USER+75. Texture kinds name the
    // slot and index they are for and the texture's own name; material, object and slot
    // texture kinds their slot and index.
    bool QueueTransfer(int32_t kind, std::vector<std::string> candidates, int32_t slot, int32_t index,
                       const std::string& cacheName = std::string(), const std::string& scope = std::string());
    // A further object's download queued or running for the slot.
    bool ObjectDownloadPending(int32_t slot) const;
    // No download runs and none is pending.
    bool TransfersIdle() const;
    // The streaming load of a transfer ended (called by the load's host).
    void StreamTransferEnded(bool success);
    // Background picture named by BackPictureURL: from its cache or a queued download.
    void LoadBackPicture();
    // A picture file read as the background picture, entered in its cache under BackPictureURL.
    bool SetBackgroundPictureFile(const std::string& path);
    // The local file BackPictureURL names, when it exists (saved with the document).
    std::string BackPictureFile();
    // The window goes: the running download is stopped, the pending list dropped.
    void OnWindowClosing();
    // The load's background picture (cached: held from the background picture cache) and the
    // preview-shown flag; defined with the load.
    void SetBackPicture(PicRecord* picture, bool cached);
    void SetPreviewShown(bool shown);
    // Progress display of a transfer: in the control's loading panel and the container's
    // status bar. ShowProgress answers false once the user cancelled.
    void BeginProgress(UINT prefixId);
    void SetStatusText(const std::string& text);
    bool ShowProgress(uint32_t value, uint32_t done, uint32_t total);
    void EndProgress(bool releaseTarget);
    bool PumpMessages(HWND window, UINT first, UINT last);
    // A frame of the scene is drawn: the object's progress bar ends.
    void ProgressOnFrame();
    // Tests: sees each progress value, done and total of the downloads.
    std::function<void(uint32_t, uint32_t, uint32_t)> downloadProgressHook;
    // A container's preview picture read on a thread of its own (DisplayThumbnail).
    void ThumbnailArrived(const std::shared_ptr<qivctl::ThumbnailHandover>& handover);

private:
    class BindCallback;
    struct DownloadPartsDeleter {
        void operator()(DownloadParts* p) const;
    };
    DownloadParts& downloads();
    int bindURL(const std::string& url, bool toFile, bool replace);
    int onFileDownloaded(const std::string& file, const std::string& url);
    void finishTransfer(bool success);
    void startObjectDownload(const std::string& url, bool replace);
    bool serveObjectFromCache(int32_t slot, const std::string& url);
    bool storeTextureFor(const qivctl::PendingTransfer& t, TexRecord* texture);
    void autoSaveObject(const std::string& url);
    void cancelTransfer();
    // A running object download ends without bringing back what was shown before.
    void dropObjectDownload();
    void showStatus(const std::string& status);
    void askCommandTarget();
    bool namesAddress(const std::string& url);
    std::unique_ptr<DownloadParts, DownloadPartsDeleter> downloads_;

    // ---- save ----
public:
    // SaveObjectFile: the current object written to path (raw: the container it came from),
    // its textures into textureDirectory (empty: the object file's folder); 1 or 0. An
    // existing file is never overwritten; the file appears only when complete.
    int SaveObjectFile(const char* path, bool raw, const char* textureDirectory, const char* name, bool combine);
    // SaveAllObjects: every shown object in one PEL file in the world's frame, under the
    // logical name (or the file's name), the shown objects' textures into textureDirectory
    // (empty: none); 1 or 0, never over an existing file.
    int SaveAllObjects(const std::string& path, const char* logicalName, bool combine,
                       const std::string& textureDirectory);
    // A save to target; with replace (the user agreed) it is written beside and renamed over
    // the old file only when complete.
    static bool SaveObjectFileReplacing(const std::string& target, bool replace,
                                        const std::function<bool(const std::string&)>& save);
    // The save-object dialog; true when the chosen file was written. For an untrusted caller's
    // save: suggested starts it with that name's last component, pelOnly offers no Qiv format,
    // preferQiv presets the format box; the file gets the format's extension and the textures
    // go beside it.
    bool SaveObjectDialog(const std::string& suggested = std::string(), bool pelOnly = false, bool preferQiv = true);
    // The document's address and folder from the client site's container moniker.
    void RecordDocumentLocation();
    const QivDocumentState& document() const { return *doc_; }
    // Whether the current object is the one taken from inline data (its cache entry is
    // named document().inlineName) or from a "Qiv" stream.
    bool CurrentIsInline() const;
    bool CurrentIsDocumentContainer() const;
    // The current object's container as inline data carries it: the inline bytes as received,
    // or the compact form of the container it was loaded from. False: it came from none.
    bool InlineContainer(std::vector<uint8_t>* out);

protected:
    HRESULT onInitNew() override;
    HRESULT onLoadStream(IStream* stream) override;
    HRESULT onSaveStream(IStream* stream) override;
    HRESULT onGetSizeMax(ULARGE_INTEGER* size) override;
    HRESULT onLoadPropertyBag(IPropertyBag* bag, IErrorLog* log) override;
    HRESULT onSavePropertyBag(IPropertyBag* bag, bool saveAll) override;
    HRESULT onLoadStorage(IStorage* storage) override;
    HRESULT onSaveStorage(IStorage* storage, bool sameAsLoad) override;

private:
    bool keptIsCurrent(const QivKeptObject& kept) const;
    HRESULT loadPropertyStream(IStream* stream, bool objectFollows);
    std::vector<qivctl::PersistRecord> persistedRecords();
    std::vector<uint8_t> propertyStreamBytes();
    bool getPersisted(DISPID id, qivctl::PersistValue* out);
    HRESULT putPersisted(const qivctl::PersistRecord& record, bool urlOnly);
    int showDocumentObject(const std::string& file, const std::string& sourceName, bool expand);
    bool showDocumentContainer(const std::vector<uint8_t>& bytes, const std::string& name);
    HRESULT saveOwnElements(IStorage* storage);
    HRESULT loadOwnElements(IStorage* storage);
    std::shared_ptr<QivDocumentState> doc_ = std::make_shared<QivDocumentState>();

    // ---- html ----
public:
    // Any device context but the control window's (printers, print preview, metafiles, host
    // DCs): the view rendered off screen at a bounded size and stretched into the bounds.
    HRESULT DrawToForeignContext(const qcom::DrawInfo& info);
    STDMETHODIMP GetViewStatus(DWORD* status) override;

    // HTML export: the fragment that embeds the current view goes to the clipboard as text and
    // as "HTML Format". url: the object's address; null: the user is asked.
    void CopyHtmlToClipboard(bool outlook, const std::string* url);
    // The Outlook style's data: the class identifier, then the persisted stream with the
    // current object's container inline. False without a container.
    bool BuildInlineData(std::vector<uint8_t>* block);
    // The stand-alone viewer's popup-menu entries of the export (its menu callbacks).
    static void AddHtmlMenuItems(HMENU menu, bool exportAllowed);
    int OnHtmlMenuCommand(UINT id);
    // The two notices of a copied fragment, one after the other (dialogs 248 and 249).
    void ShowHtmlCopiedNotices();

    // IQivSceneHost: a program that builds scenes itself hands them to the control.
    HRESULT SetSceneRoots(ScnNode** roots, const float* colour, LONG* ok);
    HRESULT AddObjectContent(TexRecord** textures, PelContent* content, const float* colour, LONG* ok);
    // Frees the node that AddObjectContent made, with its root list while that is the scene's.
    void FreeSceneHostNode();

private:
    void* sceneHostInterface(REFIID iid);

    struct SceneHostTable : IQivSceneHost {
        CQivPlayerCtl* ctl = nullptr;
        STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
        STDMETHODIMP_(ULONG) AddRef() override;
        STDMETHODIMP_(ULONG) Release() override;
        STDMETHODIMP AddObjectContent(TexRecord** textures, PelContent* content, void* reserved, const float* colour,
                                      LONG* ok) override;
        STDMETHODIMP ClearScene() override;
        STDMETHODIMP SetSceneRoots(ScnNode** roots, void* reserved, const float* colour, LONG* ok) override;
        STDMETHODIMP ResolveTexture(const char* name, const char* baseDirectory, TexRecord** handle) override;
        STDMETHODIMP Reserved() override;
        STDMETHODIMP Refresh() override;
    } sceneHostTable_;
    // Textures handed to a scene host: held in the texture cache while the control lives.
    struct HeldTextures {
        std::vector<TexRecord*> list;
        ~HeldTextures();
    } sceneHostTextures_;
    ScnNode* sceneHostNode_ = nullptr;
    ScnNode** sceneHostRoots_ = nullptr;

    // ---- trust ----
public:
    // Whether the caller is untrusted, and what it may do: decided from the safety options the
    // host set and the zone of the container document's address (asked once per client site).
    qivctl::CallerTrust CallerTrust();
    bool CallerUntrusted() { return CallerTrust().untrusted; }
    // An untrusted caller on a page that is not local names no local file or share.
    bool LocalNamesRefused();
    // A name a member takes as a file: false when it breaks the rules of every file name, or
    // names a local file or share that the caller may not reach.
    bool FileNameUsable(const std::string& name);
    // The file an untrusted caller's write goes to: the user chooses it in a save dialog that
    // starts with the given name's last component; the member's extension is forced onto the
    // choice. *replace: the user agreed to replace that very file. False when cancelled.
    bool AskSaveFile(const std::string& given, UINT titleId, UINT filterId, const char* extension,
                     std::string* chosen, bool* replace);
    // The zone mark of a file written for an untrusted caller (nothing for a trusted one).
    void MarkFileForCaller(const std::string& path);
    // A file the user picked in a dialog or dropped is the user's own choice: while it is
    // loaded, local names pass.
    class UserChoice {
    public:
        explicit UserChoice(CQivPlayerCtl& ctl) : ctl_(ctl) { ++ctl_.userChoice_; }
        ~UserChoice() { --ctl_.userChoice_; }
        UserChoice(const UserChoice&) = delete;
        UserChoice& operator=(const UserChoice&) = delete;

    private:
        CQivPlayerCtl& ctl_;
    };
    // IObjectSafety: refused for the private hooks interface whenever mask and options meet.
    STDMETHODIMP SetInterfaceSafetyOptions(REFIID iid, DWORD mask, DWORD enabled) override;

private:
    bool zoneAsked_ = false, zoneKnown_ = false;
    uint32_t zone_ = 0;
    bool texturePathPut_ = false;  // TexturePath was put (it reads back for an untrusted caller)
    int userChoice_ = 0;

    // ---- pan ----
public:
    // PanX and PanY of the current view; false without a view or for a degenerate one.
    bool ViewPan(double* x, double* y) const;
    // The pan changed: PanX and PanY announced, the view marked changed, the scroll bars
    // brought in line and the frame drawn again.
    void OnPanChanged();
    // The view reset: the pan values given before the view existed move the new camera.
    void ApplyPendingPan(const qivctl::PendingViewing& p);
    // Before a view reset that keeps the view (a new frame size): its zoom and pan are handed
    // to the reset as pending values.
    void KeepViewingForReset();

private:
    HRESULT getPan(bool vertical, float* pVal);
    HRESULT putPan(bool vertical, float v);
};
