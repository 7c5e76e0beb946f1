// State of one viewer control that needs no window system: the object slots,
// the view and display values with their construction defaults, and the part
// of unloading that frees what the slots own.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "render/fzbuffer.h"
#include "render/renderer.h"
#include "render/updregion.h"
#include "scene/camera.h"
#include "scene/scene.h"
#include "scene/texture.h"
#include "scene/vecmath.h"

// One loaded object or one group of objects.
struct QivObjectSlot {
    ScnNode* node = nullptr;  // null for a group and for an object not loaded yet
    Mat4 placement{};         // identity when allocated
    // Animation state
    float animStart = 0, animEnd = 0, animTime = 0;
    float animSpeed = 1.0f, animRate = 0;
    uint32_t animStartTick = 0;
    int32_t subAnimCount = 0;
    bool hasAnimation = false, animPlaying = false, autoRepeat = false;
    std::vector<TexRecord*> textureHandles;  // owned
    std::vector<uint8_t> chunkData;          // owned
    std::string sourceName, userData, objectName;
    int32_t parent = -1, activeChild = -1;
    uint32_t moveFlags = 0;
    std::vector<int32_t> children;  // a group's members, in order
    int32_t sourceKind = 0;         // 2: object file
    bool visible = true, isGroup = false, inUse = false;
};

// Makes a slot as allocation leaves it (identity placement, speed 1).
QivObjectSlot qivNewSlot();
// Frees what a slot owns (node, textures, chunk data, strings, children) and
// leaves an unused slot.
void qivFreeSlot(QivObjectSlot& slot);

constexpr uint32_t kQivDefaultBackColor = 0x00C0C0C0;
constexpr float kQivDefaultPsi = 0.5235988f;  // 30 degrees
constexpr float kQivDefaultPhi = 3.926991f;   // 225 degrees
constexpr uint32_t kQivDefaultLights = 31;
constexpr uint32_t kQivDefaultDisplayMode = 3;
constexpr int32_t kQivDefaultTooltipTimeout = 750;
constexpr uint32_t kQivDefaultPreviewMode = 3;
constexpr int32_t kQivDefaultCursorType = 1;
constexpr int32_t kQivWalkZoneNone = 4;
constexpr size_t kQivFirstSlotCapacity = 10;

// Values a new control takes from the user options.
struct QivStateOptions {
    bool saveFilesWithDocument = false;
    bool use4DVision = false;
    std::string objectPath;
};

struct QivControlState {
    uint32_t displayMode = kQivDefaultDisplayMode;  // the mode drawn
    int32_t displayModeValue = int32_t(kQivDefaultDisplayMode);  // DisplayMode as put, bits 8-15 cleared
    bool allTransparent = false;  // set by bits 8-15 of a DisplayMode put
    int32_t displayFlagBits = 0;  // 0x4000 while allTransparent is set
    uint32_t bytesPerPixel = 0;
    bool frameValid = false;
    bool sceneChanged = false;
    ScnRenderJob job{};
    PicRecord* frame = nullptr;
    int32_t frameWidth = 0, frameHeight = 0;
    ScnNode** sceneRoots = nullptr;  // zero-terminated
    bool ownRoots = false;
    CamRecord camera{};
    uint32_t lights = kQivDefaultLights;
    BgRecord background{};
    uint32_t backColor = kQivDefaultBackColor;

    std::vector<QivObjectSlot> slots;
    int32_t currentSlot = -1, eventSlot = -1, loadingSlot = -1;
    int32_t usedCount = 0;

    float spinPhi = 0, spinPsi = 0;  // radians per second
    bool keepSpinning = false;
    float psi = kQivDefaultPsi, phi = kQivDefaultPhi;

    int32_t tooltipTimeout = kQivDefaultTooltipTimeout;
    uint32_t previewMode = kQivDefaultPreviewMode;
    int32_t cursorType = kQivDefaultCursorType;
    int32_t walkZone = kQivWalkZoneNone;
    bool viewValid = false;

    std::string objectURL;
    char language[3] = {'X', 'X', 0};
    char statusText[256] = {};
    char objectPath[260] = {};
    uint32_t saveFiles[2] = {0, 0};
    bool cancelRequested = false;
    int32_t rendererKind = 0;  // 1 Direct3D hardware, 2 software
    bool multiView = false;
    float multiViewAngle = 1.0f;

    // Stock properties and flags of the interface
    bool flat = false, singleBorder = false, transparent = false;
    bool enabled = true, uiDead = false, popupMenu = true;
    bool localSaveAllowed = false;
};

// The defaults of construction and the values from the user options.
void qivStateInit(QivControlState& state, const QivStateOptions& options);
// BackColor (0x00BBGGRR) and the background's clear colour in 0..1.
void qivStateSetBackColor(QivControlState& state, uint32_t color);
// The content language from an ISO 639 name: its first two characters upper
// case, "XX" when it has fewer than two. Result is two letters and a zero.
void qivLanguageFromIso639(const char* name, char out[3]);

// The slot part of unloading a scene in full: every used slot's node, strings,
// textures, chunk data and child list are freed; the array keeps its capacity
// with unused slots; current slot -1, used count 0, scene changed, frame and
// view invalid.
void qivUnloadSlots(QivControlState& state);
