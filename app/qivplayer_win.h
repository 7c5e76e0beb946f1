#pragma once
// The hosted viewer: the QivPlayer control made from its class identifier
// and reached through its dual interface and its events.
#include <windows.h>

#include <functional>

#include "QivPlayer_h.h"
#include "olehost/olehost.h"

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

class TQivPlayer : public olehost::OleControl {
public:
    // Raises forms::Exception when the control cannot be made.
    explicit TQivPlayer(forms::Component* owner);
    ~TQivPlayer() override;
    IQivPlayer2* Player() const { return player_; }

    std::function<void(long index, const std::string& localName, BSTR* displayName)> OnSubObjectPicked;
    std::function<void(long& subAnimIndex)> OnViewerClick;
    std::function<void(long objID, long button, long flags)> OnViewerMouseDown;
    std::function<void(long event)> OnMouseReleased;
    std::function<void()> OnObjectLoaded;

private:
    IQivPlayer2* player_ = nullptr;
};

}  // namespace stellwerk
