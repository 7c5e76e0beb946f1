// The viewer control object: both dual interfaces of the type library over
// one set of members, the OLE control plumbing of the COM layer, the control's
// state, its events and property-change notices.
#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "qivplayer_idl.h"
#include "com/control.h"
#include "com/dispatch.h"
#include "ctlstate.h"
#include "qivprops_win.h"

// The legacy class, registered to be treated as the control; it has no class object.
extern const CLSID CLSID_QivPlayerLegacy;

constexpr int kQivCursorCount = 20;
extern const WORD kQivCursorIds[kQivCursorCount];

struct QivWindowParts;
class QivNavigation;
struct PelContent;
struct ScnNode;
struct TexRecord;

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
    int LoadLocalFile(const char* path, const char* sourceName, bool replace);
    ScnNode* AddObjectToScene(PelContent* content, bool withTextures, const std::string& baseDirectory, bool noSlot,
                              bool byIndex);
    int ResolveTexture(const char* name, const std::string& baseDirectory, TexRecord** handle, int index);
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

    // ---- nav ----

    // ---- objects ----

    // ---- exchange ----

    // ---- stock ----

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

    // ---- save ----

    // ---- html ----
};
