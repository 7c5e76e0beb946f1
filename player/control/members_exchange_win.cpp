// Members not built yet answer E_NOTIMPL; their DISPIDs and v-table slots are final.
#include "qivctl_win.h"

STDMETHODIMP CQivPlayerCtl::get_DragDropEnabled(LONG *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::put_DragDropEnabled(LONG newVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::SaveBitmap(qivBitmapQuality quality, VARIANT_BOOL raytrace, LONG PixelWidth, LONG PixelHeight, BSTR FileName, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
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
STDMETHODIMP CQivPlayerCtl::GetViewing3DEx(float *VRPx, float *VRPy, float *VRPz, float *EyeX, float *EyeY, float *EyeZ, float *tanViewAngleHalf, VARIANT_BOOL *parallel, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::SetViewing3DEx(float VRPx, float VRPy, float VRPz, float EyeX, float EyeY, float EyeZ, float tanViewAngleHalf, VARIANT_BOOL parallel, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::SaveTextureToLocalFile(BSTR textureURL, BSTR localFile, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::GetMaterialAsString(LONG Index, BSTR *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::GetAnimationParametersAsString(BSTR *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::GetSubAnimationInfoAsString(LONG Index, BSTR *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::GetViewing3DExAsString(BSTR *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::DragAndDropMaterial(LONG colDifuse, LONG colSpecular, float alpha, float coDifuse, float coAmbient, float coSpecular, LONG flags, float refractionCoef) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::ReplaceMaterialEx(LONG Index, LONG colDifuse, LONG colSpecular, float alpha, float coDifuse, float coAmbient, float coSpecular, LONG flags, float refractionCoef, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::SetPhiPsiRanges(float minPhi, float maxPhi, float minPsi, float maxPsi) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::NumberOfPredefinedViewings(LONG *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::NameOfPredefinedViewing(LONG viewingID, BSTR Language, BSTR *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::SetPredefinedViewing(LONG viewingID, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::GetPredefinedViewing(LONG viewingID, float *VRPx, float *VRPy, float *VRPz, float *EyeX, float *EyeY, float *EyeZ, float *tanViewAngleHalf, VARIANT_BOOL *parallel, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::GetPredefinedViewingAsString(LONG viewingID, BSTR *pVal) { return E_NOTIMPL; }
