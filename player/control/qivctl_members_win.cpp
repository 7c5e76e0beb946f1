// Members whose bodies are not built yet: they answer E_NOTIMPL. Their DISPIDs
// and v-table slots are final.
#include "qivctl_win.h"

STDMETHODIMP CQivPlayerCtl::get_VisuDLL(BSTR *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::get_ObjectUID(BSTR *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::get_BackPictureURL(BSTR *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::put_BackPictureURL(BSTR newVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::get_HasThumbnail(VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::get_EnabledMenus(LONG *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::put_EnabledMenus(LONG newVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::get_DragDropEnabled(LONG *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::put_DragDropEnabled(LONG newVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::put_Lights(LONG newVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::GetSubAnimationInfo(LONG Index, BSTR *Name, float *StartTime, float *EndTime, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::StartSubAnimation(LONG Index, VARIANT_BOOL repeat, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::BrowseForTexturePath() { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::SaveMiniBitmap(BSTR FileName, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::SaveBitmap(qivBitmapQuality quality, VARIANT_BOOL raytrace, LONG PixelWidth, LONG PixelHeight, BSTR FileName, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::DisplayThumbnail(BSTR FileName, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::Show2DView(VARIANT_BOOL view2D) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::SaveObject(BSTR ObjectFileName, VARIANT_BOOL useQivFormat, BSTR TextureBasePath, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::ConfigureCache(LONG cachedObjects, LONG cachedTextures, LONG cachedBackgroundPictures, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::CopyHtmlCode(qivHtmlType htmlStyle, BSTR realObjectUrl) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::GetMaterialCount(LONG *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::GetMaterial(LONG Index, LONG *colDifuse, LONG *colSpecular, float *alpha, float *coDifuse, float *coAmbient, float *coSpecular, LONG *flags, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::ReplaceMaterial(LONG Index, LONG colDifuse, LONG colSpecular, float alpha, float coDifuse, float coAmbient, float coSpecular, LONG flags, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::LoadMaterial(LONG Index, BSTR MaterialFile, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::GetTextureCount(LONG *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::GetTexture(LONG Index, BSTR *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::ReplaceTexture(LONG Index, BSTR TextureName, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::SubObjectCount(LONG *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::GetSubObjectName(LONG Index, BSTR Language, BSTR *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::GetViewing3D(float *VRPx, float *VRPy, float *VRPz, float *EyeX, float *EyeY, float *EyeZ, float *tanViewAngleHalf, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::SetViewing3D(float VRPx, float VRPy, float VRPz, float EyeX, float EyeY, float EyeZ, float tanViewAngleHalf, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::AddObject(BSTR urlOrFile, LONG *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::ObjectRotate(float axisVectorX, float axisVectorY, float axisVectorZ, float angle, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::ObjectTranslate(float x, float y, float z, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::ObjectScale(float scaleX, float scaleY, float scaleZ, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::ObjectShow(VARIANT_BOOL displayObject, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::ObjectResetPosition(VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::SavePELObject(BSTR ObjectFileName, BSTR logicalObjectName, BSTR TextureBasePath, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::ConfigureCache2(LONG cachedObjects, LONG cachedTextures, LONG cachedMaterials, LONG cachedBackgroundPictures, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::EnableUpdate(VARIANT_BOOL updateEnabled) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::FlushCaches(VARIANT_BOOL flushObjectCache, VARIANT_BOOL flushTextureCache, VARIANT_BOOL flushMaterialCache, VARIANT_BOOL flushBackPicCache) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::ObjectDelete(VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::ObjectSwitchLight(VARIANT_BOOL lightsOn, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::ObjectSetHighlightedSubObject(LONG SubObjectIndex, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::ObjectGetExtend(VARIANT_BOOL scaled, float *dx, float *dy, float *dz, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::ObjectGetExtendX(VARIANT_BOOL scaled, float *dx) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::ObjectGetExtendY(VARIANT_BOOL scaled, float *dy) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::ObjectGetExtendZ(VARIANT_BOOL scaled, float *dz) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::SetCursorMode(qivCursorTypes newCursorMode) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::GetViewing3DEx(float *VRPx, float *VRPy, float *VRPz, float *EyeX, float *EyeY, float *EyeZ, float *tanViewAngleHalf, VARIANT_BOOL *parallel, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::SetViewing3DEx(float VRPx, float VRPy, float VRPz, float EyeX, float EyeY, float EyeZ, float tanViewAngleHalf, VARIANT_BOOL parallel, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::ObjectIsLoaded(LONG objID, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::ObjectIsGroup(LONG grpID, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::ObjectGetParent(LONG objOrGrpID, LONG *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::ObjectGetChildCount(LONG grpID, LONG *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::ObjectGetChild(LONG objOrGrpID, LONG Index, LONG *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::ObjectAddChild(LONG objOrGrpID, LONG idOfChild, LONG *indexOfChild) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::ObjectRemoveChild(LONG objOrGrpID, LONG Index, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::NewGroup(LONG *newGrpID) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::ObjectForceLoad(LONG objOrGrpID, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::ObjectDrop(VARIANT_BOOL animated, float minDropHeight, VARIANT_BOOL dropsDown, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::ObjectMayMove(LONG objOrGrpID, LONG flags, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::ObjectGetCurPos(LONG objOrGrpID, float *x, float *y, float *z, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::ObjectGetCurPosX(LONG objOrGrpID, float *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::ObjectGetCurPosY(LONG objOrGrpID, float *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::ObjectGetCurPosZ(LONG objOrGrpID, float *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::DisableUserMovements(LONG newMask, LONG *oldMask) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::ObjectSetUserData(LONG objOrGroupID, BSTR userData) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::ObjectGetUserData(LONG objOrGroupID, BSTR *userData) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::DragAndDropObject(BSTR url, LONG moveFlags, LONG *objectID) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::SaveTextureToLocalFile(BSTR textureURL, BSTR localFile, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::GetLastPickedPosition(qivCoordinateTypes whichCoordinateSystem, float *x, float *y, float *z) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::GetLastPickedPositionX(qivCoordinateTypes whichCoordinateSystem, float *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::GetLastPickedPositionY(qivCoordinateTypes whichCoordinateSystem, float *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::GetLastPickedPositionZ(qivCoordinateTypes whichCoordinateSystem, float *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::GetMaterialAsString(LONG Index, BSTR *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::GetAnimationParametersAsString(BSTR *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::GetSubAnimationInfoAsString(LONG Index, BSTR *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::GetViewing3DExAsString(BSTR *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::DragAndDropMaterial(LONG colDifuse, LONG colSpecular, float alpha, float coDifuse, float coAmbient, float coSpecular, LONG flags, float refractionCoef) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::ReplaceMaterialEx(LONG Index, LONG colDifuse, LONG colSpecular, float alpha, float coDifuse, float coAmbient, float coSpecular, LONG flags, float refractionCoef, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::GetCollidingObjects(LONG objOrGroupID, VARIANT *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::GetCollidingObjectsAsString(LONG objOrGroupID, BSTR *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::SavePELObject2(BSTR ObjectFileName, BSTR logicalObjectName, BSTR TextureBasePath, VARIANT_BOOL combineTextures, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::SetPhiPsiRanges(float minPhi, float maxPhi, float minPsi, float maxPsi) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::WalkThroughStep(qivWalkThroughDirection dir, float howFar, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::NumberOfPredefinedViewings(LONG *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::NameOfPredefinedViewing(LONG viewingID, BSTR Language, BSTR *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::SetPredefinedViewing(LONG viewingID, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::GetPredefinedViewing(LONG viewingID, float *VRPx, float *VRPy, float *VRPz, float *EyeX, float *EyeY, float *EyeZ, float *tanViewAngleHalf, VARIANT_BOOL *parallel, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::GetPredefinedViewingAsString(LONG viewingID, BSTR *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::ObjectGetPositionAsString(LONG objOrGroupID, BSTR *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::ObjectSetPositionFromString(LONG objOrGroupID, BSTR position, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::ObjectTurn(float axisVectorX, float axisVectorY, float axisVectorZ, float angle, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::ObjectTranslate2(float x, float y, float z, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::ObjectAddChildKeepPos(LONG objOrGrpID, LONG idOfChild, LONG *indexOfChild) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::ObjectRemoveChildKeepPos(LONG objOrGrpID, LONG Index, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::ObjectGetRealPos(LONG objOrGrpID, float *x, float *y, float *z, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::ObjectGetRealPosX(LONG objOrGrpID, float *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::ObjectGetRealPosY(LONG objOrGrpID, float *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::ObjectGetRealPosZ(LONG objOrGrpID, float *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::ObjectGetRealPositionAsString(LONG objOrGroupID, BSTR *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::DragAndDropObjectWithDefault(BSTR url, LONG moveFlags, LONG DefaultObjectID, LONG *objectID) { return E_NOTIMPL; }
