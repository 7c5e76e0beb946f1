// Window-side state of the viewer control: the control bar's children, the paint path's
// regions and flags, the hardware child window, the animation and spin clocks, and the
// texture search settings. Owned by CQivPlayerCtl; the window, paint and local-file layers
// share it.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "controlbar.h"
#include "cursors.h"
#include "navigation.h"
#include "paintpath.h"
#include "scene/vecmath.h"
#include "viewmaths.h"

struct QivWindowParts {
    bool initialised = false;
    bool suppressInit = false;
    bool startAnimationPending = false;  // a start request came before the window existed
    bool loadDue = false;                // timer 55 found the view hidden

    // Control bar
    bool hideControls = false, hideScrollBars = false;
    bool rayTraceButton = false, vrButton = false;
    bool hasAnimation = false;     // ObjectHasAnimation of the current object
    bool animationRunning = false; // some slot plays
    bool loadingPanel = false;
    HWND bar[10] = {};             // children by identifier - 58000
    HWND link = nullptr, progress = nullptr;
    SIZE linkText{};
    qivctl::BarLayout layout;

    // Paint path
    qivctl::PaintRegions regions;
    bool frameShown = false;  // a frame was copied since the set-up
    bool showAgain = false;
    bool exposed = false;     // the system asked for an erase: part of the window lost its content
    uint32_t frameMode = 3;   // mode of the frame being drawn (127: one ray-traced frame)
    HWND hardwareWindow = nullptr;
    bool sharedLightsHeld = false;
    bool renderingHeldBack = false;
    bool filter = true;  // Filter
    qivctl::FrameStats stats;
    void (*statusCallback)(void* context, const char* text, const char* path) = nullptr;
    void* statusContext = nullptr;
    uint32_t copies = 0;      // rectangles copied to the window (region copies)
    uint32_t frames = 0;      // frames rendered

    // View
    Box3 sceneBox{};
    bool boxValid = false;
    float homeHalfWidth = 0, homeHalfHeight = 0;
    float zoomBase = 1.0f;
    NavSpin spin;

    // Local files and textures
    std::string texturePath, textureBaseUrl, workingDirectory;
    bool inhibitLocalTextures = false;
    std::string tempCopy;  // temporary expanded copy of the loaded object, deleted with it
};
