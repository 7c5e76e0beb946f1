#pragma once
// The hosted viewer: the QivPlayer control made from its class identifier,
// called through the v-table of its dual interface IQivPlayer2, its events
// handed to the handlers by DISPID. It is the ViewerHost of Stellwerk's cores.
#include <windows.h>

#include <functional>

#include "QivPlayer_h.h"
#include "olehost/olehost.h"
#include "viewer.h"

namespace stellwerk {

// DISPIDs of the viewer's events.
enum QivEvent : DISPID {
    kEvSubObjectPicked = 1,
    kEvClick = 2,
    kEvAnimationDone = 3,
    kEvAnimationStarted = 4,
    kEvObjectLoaded = 5,
    kEvThumbnailDone = 6,
    kEvTextureChanged = 7,
    kEvMaterialChanged = 8,
    kEvObjectMove = 9,
    kEvObjectMoving = 10,
    kEvMouseReleased = 11,
    kEvClickWithKeys = 12,
    kEvMouseDown = 13,
    kEvChunkDataAvailable = 14,
};

// The application message that tells the main form the viewer's lights changed.
constexpr UINT kMsgLightsChanged = WM_USER + 100;

class TQivPlayer : public olehost::OleControl, public ViewerHost {
public:
    // Raises forms::Exception when the control cannot be made.
    explicit TQivPlayer(forms::Component* owner);
    ~TQivPlayer() override;
    IQivPlayer2* Player() const { return player_; }

    // ViewerHost
    bool ObjectLoaded() override;
    bool GetViewing3DEx(Viewing3D& v) override;
    void SetViewing3DEx(const Viewing3D& v) override;
    void SetViewing3D(const Vec3& vrp, const Vec3& eye, float tanA) override;
    float Phi() override;
    void SetPhi(float degrees) override;
    float Psi() override;
    void SetPsi(float degrees) override;
    float Zoom() override;
    void SetZoom(float zoom) override;
    int Lights() override;
    void SetLights(int set) override;
    stellwerk::Color BackColor() override;
    void SetBackColor(stellwerk::Color c) override;
    std::string BackPictureURL() override;
    void SetBackPictureURL(const std::string& url) override;
    int BackPicMode() override;
    void SetBackPicMode(int mode) override;
    int BackPicOffsetX() override;
    int BackPicOffsetY() override;
    void SetBackPicOffset(int x, int y) override;
    void EnableUpdate(bool on) override;
    void Refresh() override;
    void ReplaceMaterial(int index, stellwerk::Color diffuse, stellwerk::Color specular, float alpha, float kDiffuse, float kAmbient,
                         float kSpecular, uint32_t flags) override;
    void ReplaceTexture(int index, const std::string& name) override;
    void NotifyLightsChanged() override;
    bool LoadObject(const std::string& path) override;
    void ObjectDelete() override;
    int MaterialCount() override;
    bool GetMaterial(int index, ViewerMaterial& out) override;
    int TextureCount() override;
    std::string GetTexture(int index) override;
    void OneTimeRaytrace() override;
    void DisableUserMovements(int mask) override;
    void SetCursorMode(int mode) override;
    void SetEnabledMenus(int mask) override;
    void SetDragDropEnabled(int flags) override;
    bool Filter() override;
    void SetFilter(bool on) override;
    bool HideControls() override;
    void SetHideControls(bool on) override;
    // The control's own picture of the current view as a new BMP file (an
    // existing file fails); quality 0..2.
    bool SaveBitmap(int quality, bool rayTrace, int width, int height, const std::string& file);

    std::function<void(long index, const std::string& localName, BSTR* displayName)> OnSubObjectPicked;
    std::function<void(long& subAnimIndex)> OnViewerClick;
    std::function<void(long objID, long button, long flags)> OnViewerMouseDown;
    std::function<void(long event)> OnMouseReleased;
    std::function<void()> OnObjectLoaded;

private:
    IQivPlayer2* player_ = nullptr;
};

}  // namespace stellwerk
