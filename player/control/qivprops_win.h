// Display, menu-name and pending viewing values of the control that live beside
// its state; read by the members that set them and by the load and menu paths.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "viewing.h"

struct QivDisplayProps {
    bool flatTexturePath = false, animateOnClick = true, loadObjectMenu = true;
    bool walkthrough = false, incrementalDisplay = true;
    int32_t backPicMode = 0;  // 0 colour, 1 scaled picture, 2 tiled picture
    int32_t delayBeforeLoad = 0, delayAfterPreview = 0;  // ms
    int32_t backPicOffsetX = 0, backPicOffsetY = 0;      // pixels
    std::optional<std::string> menuNameForPreview, menuNameFor3D;  // none: the default text
    // Viewing values given while no view exists; the view reset takes them over.
    std::unique_ptr<qivctl::PendingViewing> pending;
};
