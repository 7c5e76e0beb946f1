#pragma once
// What Stellwerk's cores ask of the hosted viewer. The main form implements
// it over the control's COM members; tests fill it with a fake.
#include <string>

#include "common.h"
#include "matentry.h"

namespace stellwerk {

struct Viewing3D {
    Vec3 vrp, eye;
    float tanA = 0;
    bool parallel = false;
};

// One material as GetMaterial gives it.
struct ViewerMaterial {
    Color diffuse = 0, specular = 0;
    float alpha = 0, kDiffuse = 0, kAmbient = 0, kSpecular = 0;
    uint32_t flags = 0;
};

class ViewerHost {
public:
    virtual ~ViewerHost() = default;

    // ObjectIsLoaded(0).
    virtual bool ObjectLoaded() = 0;
    virtual bool GetViewing3DEx(Viewing3D& v) = 0;
    virtual void SetViewing3DEx(const Viewing3D& v) = 0;
    // SetViewing3D: the parallel flag stays as it is.
    virtual void SetViewing3D(const Vec3& vrp, const Vec3& eye, float tanA) = 0;
    virtual float Phi() = 0;
    virtual void SetPhi(float degrees) = 0;
    virtual float Psi() = 0;
    virtual void SetPsi(float degrees) = 0;
    virtual float Zoom() = 0;
    virtual void SetZoom(float zoom) = 0;
    virtual int Lights() = 0;
    virtual void SetLights(int set) = 0;
    virtual Color BackColor() = 0;
    virtual void SetBackColor(Color c) = 0;
    virtual std::string BackPictureURL() = 0;
    virtual void SetBackPictureURL(const std::string& url) = 0;
    virtual int BackPicMode() = 0;
    virtual void SetBackPicMode(int mode) = 0;
    virtual int BackPicOffsetX() = 0;
    virtual int BackPicOffsetY() = 0;
    virtual void SetBackPicOffset(int x, int y) = 0;
    virtual void EnableUpdate(bool on) = 0;
    virtual void Refresh() = 0;
    // ReplaceMaterial with alpha already in the viewer's form (ViewerAlpha).
    virtual void ReplaceMaterial(int index, Color diffuse, Color specular, float alpha, float kDiffuse,
                                 float kAmbient, float kSpecular, uint32_t flags) = 0;
    virtual void ReplaceTexture(int index, const std::string& name) = 0;
    // Posts the lights-changed message (WM_USER + 100) to the application
    // window and processes pending messages.
    virtual void NotifyLightsChanged() = 0;

    // The object and its materials.
    // False when the viewer refused the file (its answer false or a failure).
    virtual bool LoadObject(const std::string& path) = 0;
    virtual void ObjectDelete() = 0;
    virtual int MaterialCount() = 0;
    // GetMaterial as the viewer answers it; false for an index it refused.
    virtual bool GetMaterial(int index, ViewerMaterial& out) = 0;
    virtual int TextureCount() = 0;
    virtual std::string GetTexture(int index) = 0;

    // Commands and switches of the main form.
    virtual void OneTimeRaytrace() = 0;
    virtual void DisableUserMovements(int mask) = 0;
    virtual void SetCursorMode(int mode) = 0;
    virtual void SetEnabledMenus(int mask) = 0;
    virtual void SetDragDropEnabled(int flags) = 0;
    virtual bool Filter() = 0;
    virtual void SetFilter(bool on) = 0;
    virtual bool HideControls() = 0;
    virtual void SetHideControls(bool on) = 0;
};

// Cursor modes and the rotation bit of the viewer's user movements.
constexpr int kCursorContext = 1;
constexpr int kCursorArrow = 3;
constexpr int kUserRotate = 1;

// Sends one material, alpha converted.
void SendMaterial(ViewerHost& viewer, int index, const MatEntry& m);

}  // namespace stellwerk
