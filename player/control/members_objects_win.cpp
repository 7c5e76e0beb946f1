// Members not built yet answer E_NOTIMPL; their DISPIDs and v-table slots are final.
#include "qivctl_win.h"

STDMETHODIMP CQivPlayerCtl::put_Lights(LONG newVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::ConfigureCache(LONG cachedObjects, LONG cachedTextures, LONG cachedBackgroundPictures, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
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
STDMETHODIMP CQivPlayerCtl::ObjectSetUserData(LONG objOrGroupID, BSTR userData) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::ObjectGetUserData(LONG objOrGroupID, BSTR *userData) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::DragAndDropObject(BSTR url, LONG moveFlags, LONG *objectID) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::GetLastPickedPosition(qivCoordinateTypes whichCoordinateSystem, float *x, float *y, float *z) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::GetLastPickedPositionX(qivCoordinateTypes whichCoordinateSystem, float *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::GetLastPickedPositionY(qivCoordinateTypes whichCoordinateSystem, float *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::GetLastPickedPositionZ(qivCoordinateTypes whichCoordinateSystem, float *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::GetCollidingObjects(LONG objOrGroupID, VARIANT *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::GetCollidingObjectsAsString(LONG objOrGroupID, BSTR *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::SavePELObject2(BSTR ObjectFileName, BSTR logicalObjectName, BSTR TextureBasePath, VARIANT_BOOL combineTextures, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
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
