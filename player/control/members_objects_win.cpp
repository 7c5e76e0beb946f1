// Objects and groups of the control: slots named, loaded, placed, shown, grouped, measured,
// dropped, saved and deleted; the scene roots built from them; picked positions,
// collisions, lights, the cursor mode, the cache limits and the host services table.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "caches.h"
#include "com/guard.h"
#include "localfile.h"
#include "navhost_win.h"
#include "objectname.h"
#include "navigation.h"
#include "objectops.h"
#include "picks.h"
#include "ctlmodule_win.h"
#include "qivctl_win.h"
#include "render/collision.h"
#include "render/renderer.h"
#include "saveobj.h"
#include "scene/engine.h"
#include "scene/objnode.h"
#include "scene/pelwrite.h"
#include "scene/qivstream.h"
#include "scene/sceneops.h"
#include "slots.h"
#include "transfers.h"
#include "viewing.h"
#include "win/wintext.h"
#include "window_win.h"


struct QivHostServicesHolder {
    qivctl::HostServicesContext context;
    qivctl::QivHostServices table{};
};

namespace {

VARIANT_BOOL vb(bool b) { return b ? VARIANT_TRUE : VARIANT_FALSE; }

bool finite(std::initializer_list<float> values) {
    for (float v : values)
        if (!std::isfinite(v)) return false;
    return true;
}

// A member given values that are not numbers.
HRESULT refused(VARIANT_BOOL* pVal) {
    if (!pVal) return E_POINTER;
    *pVal = VARIANT_FALSE;
    return E_INVALIDARG;
}

// One component of a member that answers a point.
using PointMember = std::function<HRESULT(float* x, float* y, float* z)>;
HRESULT component(float* out, int axis, const PointMember& get) {
    if (!out) return E_POINTER;
    float p[3] = {0, 0, 0};
    const HRESULT hr = get(&p[0], &p[1], &p[2]);
    *out = p[axis];
    return hr;
}

bool nodeExtent(ScnNode* node, Box3* box) { return scnGetExtent(node, &box->min, &box->max) != 0; }

// The local path of an object name: "file://" names and plain paths; false for addresses.
bool localPathOf(const std::string& name, std::string* path) {
    const qivctl::ObjectName n = qivctl::resolveObjectName(name, [](const std::string&) { return true; });
    if (n.kind == qivctl::ObjectName::Kind::Address) return false;
    *path = n.path;
    std::replace(path->begin(), path->end(), '/', '\\');
    return !path->empty();
}

}  // namespace

// ---- scene roots and slot changes ----

void CQivPlayerCtl::PlaceNodes() {
    for (int32_t id = 0; id < state_.usedCount && size_t(id) < state_.slots.size(); ++id) {
        QivObjectSlot& s = state_.slots[size_t(id)];
        Mat4 world;
        if (s.inUse && s.node && qivctl::slotWorldPlacement(state_, id, &world))
            scnSetObjectIds(s.node, uint32_t(id), 0, &world);
    }
    // An object being dragged stays where the drag has it.
    if (nav_) navigation().keepObjectDrag();
}

// The scene roots: the nodes of the visible root slots and, through visible groups, of their
// visible members, each at its world placement.
void CQivPlayerCtl::rebuildRoots() {
    PlaceNodes();
    if (state_.ownRoots && state_.sceneRoots) scnFreeIdList(&state_.sceneRoots);
    state_.sceneRoots = nullptr;
    state_.ownRoots = false;
    std::vector<ScnNode*> nodes;
    for (const auto& n : qivctl::slotSceneNodes(state_)) nodes.push_back(n.first);
    if (nodes.empty()) return;
    if (scnMakeIdList(uint32_t(nodes.size()), nodes.data(), &state_.sceneRoots)) state_.ownRoots = true;
}

// The roots as the slots make them; a list a scene-building host handed in stays.
void CQivPlayerCtl::currentRoots() {
    if (state_.ownRoots || !state_.sceneRoots)
        rebuildRoots();
    else
        PlaceNodes();
}

bool CQivPlayerCtl::validCurrent() const { return qivctl::slotValid(state_, state_.currentSlot); }

void CQivPlayerCtl::showRoots(bool resetView) {
    state_.frameValid = false;
    if (state_.sceneRoots && (resetView || !state_.frame || !state_.viewValid))
        PrepareScene(state_.sceneRoots, true, false, !resetView);
    if (updateDisabled_ == 0) Redraw(true);
}

void CQivPlayerCtl::slotChanged(int32_t id, bool sceneChanged) {
    PlaceNodes();
    if (!sceneChanged && !(qivctl::slotValid(state_, id) && state_.slots[size_t(id)].visible)) return;
    state_.sceneChanged = true;
    rebuildRoots();
    showRoots(false);
}

bool CQivPlayerCtl::loadSlot(int32_t id) {
    if (!qivctl::slotValid(state_, id)) return false;
    QivObjectSlot& slot = state_.slots[size_t(id)];
    if (slot.isGroup || slot.node) return slot.node != nullptr;
    const std::string name = slot.sourceName;
    if (name.empty()) return false;
    std::string path;
    const bool local = localPathOf(name, &path);
    // An untrusted caller's page names no local file (nor a cached one); its relative names
    // lie below the page.
    const bool belowPage = local && LocalNamesRefused();
    if (belowPage && qivctl::namesLocalFile(name)) return false;
    if (local && !belowPage && !qivctl::fileNameAllowed(path)) return false;
    // A local object is cached under its absolute path.
    const std::string key = local && !belowPage ? qivAbsoluteObjectName(path) : name;
    std::string displayName;
    std::vector<uint8_t> chunk21;
    if (PelContent* cached = qivctl::ObjectCacheFind(key, &displayName, &chunk21, nullptr, document().inlineName)) {
        state_.loadingSlot = id;
        ScnNode* node =
            AddObjectToScene(cached, true, qivctl::objectBaseDirectory(local ? path : name, name), false, false);
        state_.loadingSlot = -1;
        if (!node) return false;
        QivObjectSlot& s = state_.slots[size_t(id)];
        s.sourceKind = 2;
        s.chunkData = chunk21;
        char* text = nullptr;
        if (pelGetObjectText(cached, 1, state_.language, &text) && text) {
            s.objectName = text;
            memFreeRef(reinterpret_cast<void**>(&text));
        }
        return true;
    }
    // An address is downloaded into the slot; the object arrives later.
    if (!local || belowPage) {
        if (!ObjectDownloadPending(id)) QueueTransfer(qivctl::kTransferObject, {name}, id, 0, name);
        return false;
    }
    LoadLocalFile(path.c_str(), key.c_str(), false, id);
    return qivctl::slotValid(state_, id) && state_.slots[size_t(id)].node != nullptr;
}

// ---- slots ----

STDMETHODIMP CQivPlayerCtl::AddObject(BSTR urlOrFile, LONG* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = -1;
    std::string name = win::AnsiOfBstr(urlOrFile);
    if (name.empty()) return E_INVALIDARG;
    const int32_t id = qivctl::slotAllocate(state_);
    QivObjectSlot& slot = state_.slots[size_t(id)];
    slot.sourceName = std::move(name);
    slot.visible = false;
    *pVal = id;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::NewGroup(LONG* newGrpID) try {
    if (!newGrpID) return E_POINTER;
    *newGrpID = -1;
    const int32_t id = qivctl::slotNewGroup(state_);
    state_.slots[size_t(id)].visible = false;
    *newGrpID = id;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::ObjectForceLoad(LONG objOrGrpID, VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = VARIANT_FALSE;
    if (!qivctl::slotValid(state_, objOrGrpID)) return E_FAIL;
    const QivObjectSlot& slot = state_.slots[size_t(objOrGrpID)];
    if (slot.isGroup || slot.node || slot.visible) return S_OK;
    *pVal = vb(loadSlot(objOrGrpID));
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::ObjectShow(VARIANT_BOOL displayObject, VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = VARIANT_FALSE;
    if (!validCurrent()) return E_FAIL;
    const int32_t id = state_.currentSlot;
    const bool show = displayObject != VARIANT_FALSE;
    QivObjectSlot& slot = state_.slots[size_t(id)];
    if (!slot.isGroup && !slot.node) {
        // An object not loaded yet: shown, it starts loading.
        if (!show || slot.visible) {
            slot.visible = show;
            return S_OK;
        }
        slot.visible = true;
        if (!loadSlot(id)) return S_OK;
    } else if (slot.visible == show) {
        return S_OK;
    } else {
        slot.visible = show;
    }
    PlaceNodes();
    rebuildRoots();
    const QivObjectSlot& shown = state_.slots[size_t(id)];
    bool resetView = false;
    if (show && !objectDisplayed_ && state_.sceneRoots) {
        objectDisplayed_ = true;
        if (shown.node && shown.node->content) {
            uint32_t vertices = 0, triangles = 0, quads = 0;
            if (pelCountFaces(shown.node->content, &vertices, &triangles, &quads, nullptr, nullptr))
                win_->stats.triangles = qivctl::triangleStatistic(triangles, quads);
        }
        resetView = scnListLength(state_.sceneRoots) == 1;
    }
    state_.sceneChanged = true;
    showRoots(resetView);
    *pVal = VARIANT_TRUE;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::ObjectDelete(VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = VARIANT_FALSE;
    if (!validCurrent()) return E_FAIL;
    if (state_.loadingSlot == state_.currentSlot) state_.loadingSlot = -1;
    qivctl::slotDelete(state_, state_.currentSlot, qivctl::ReleaseSlot);
    rebuildRoots();
    qivctl::ObjectCacheTrim();
    RefreshBarState();
    if (HWND w = hwnd()) {
        RECT client;
        GetClientRect(w, &client);
        Layout(client);
    }
    state_.sceneChanged = true;
    showRoots(false);
    *pVal = VARIANT_TRUE;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::ObjectIsLoaded(LONG objID, VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = vb(qivctl::slotValid(state_, objID) && !state_.slots[size_t(objID)].isGroup &&
               state_.slots[size_t(objID)].node);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::ObjectIsGroup(LONG grpID, VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = VARIANT_FALSE;
    if (!qivctl::slotValid(state_, grpID)) return E_FAIL;
    *pVal = vb(state_.slots[size_t(grpID)].isGroup);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::ObjectGetParent(LONG objOrGrpID, LONG* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = -1;
    if (qivctl::slotValid(state_, objOrGrpID)) {
        const int32_t p = state_.slots[size_t(objOrGrpID)].parent;
        if (qivctl::slotIsGroup(state_, p)) *pVal = p;
    }
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::ObjectGetChildCount(LONG grpID, LONG* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = 0;
    if (!qivctl::slotValid(state_, grpID)) return E_FAIL;
    *pVal = qivctl::slotChildCount(state_, grpID);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::ObjectGetChild(LONG objOrGrpID, LONG Index, LONG* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = -1;
    if (!qivctl::slotValid(state_, objOrGrpID)) return E_FAIL;
    *pVal = qivctl::slotChild(state_, objOrGrpID, Index);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

HRESULT CQivPlayerCtl::addChild(LONG group, LONG child, LONG* indexOfChild, bool keepPos) {
    if (!indexOfChild) return E_POINTER;
    *indexOfChild = -1;
    if (!qivctl::slotValid(state_, group)) return E_FAIL;
    try {
        // A running object drag keeps its move so far before the membership changes.
        const int32_t dragged = DraggedObject();
        if (dragged >= 0) CommitObjectDrag();
        PlaceNodes();
        *indexOfChild = keepPos ? qivctl::slotAddChildKeepPos(state_, group, child, nodeExtent)
                                : qivctl::slotAddChild(state_, group, child);
        if (*indexOfChild >= 0) slotChanged(child, true);
        if (*indexOfChild >= 0 && dragged >= 0 && qivctl::slotValid(state_, dragged)) {
            if (qivctl::slotIsWithin(state_, dragged, child) && (state_.slots[size_t(group)].moveFlags & 1)) {
                // The group now carries the dragged object: it becomes the moved thing.
                FireObjectMove(dragged, group, qivMvEvObjChanged, 0, 0, 0);
                if (qivctl::slotValid(state_, group) && DraggedObject() >= 0) DragObjectAtCursor(group);
            } else if (qivctl::slotIsWithin(state_, dragged, group)) {
                DragObjectAtCursor(dragged);  // the moved nodes follow the new membership
            }
        }
    } catch (...) {
        return E_FAIL;
    }
    return S_OK;
}

HRESULT CQivPlayerCtl::removeChild(LONG group, LONG index, VARIANT_BOOL* pVal, bool keepPos) {
    if (!pVal) return E_POINTER;
    *pVal = VARIANT_FALSE;
    if (!qivctl::slotValid(state_, group)) return E_FAIL;
    const int32_t child = qivctl::slotChild(state_, group, index);
    const int32_t dragged = DraggedObject();
    if (dragged >= 0 && child >= 0) CommitObjectDrag();
    // The drag reached the group through this child: the child goes on alone.
    const bool through = dragged >= 0 && child >= 0 && state_.slots[size_t(group)].activeChild == child;
    const bool affected = dragged >= 0 && child >= 0 &&
                          (qivctl::slotIsWithin(state_, dragged, group) || qivctl::slotIsWithin(state_, group, dragged));
    PlaceNodes();
    if (!(keepPos ? qivctl::slotRemoveChildKeepPos(state_, group, index, nodeExtent)
                  : qivctl::slotRemoveChild(state_, group, index)))
        return S_OK;
    *pVal = VARIANT_TRUE;
    slotChanged(child, true);
    if (through) {
        state_.slots[size_t(group)].activeChild = -1;
        FireObjectMove(child, child, qivMvEvObjChanged, 0, 0, 0);
        if (qivctl::slotValid(state_, child) && DraggedObject() >= 0) DragObjectAtCursor(child);
    } else if (affected && qivctl::slotValid(state_, dragged) && DraggedObject() == dragged) {
        DragObjectAtCursor(dragged);
    }
    return S_OK;
}

STDMETHODIMP CQivPlayerCtl::ObjectAddChild(LONG objOrGrpID, LONG idOfChild, LONG* indexOfChild) try {
    return addChild(objOrGrpID, idOfChild, indexOfChild, false);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::ObjectRemoveChild(LONG objOrGrpID, LONG Index, VARIANT_BOOL* pVal) try {
    return removeChild(objOrGrpID, Index, pVal, false);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::ObjectAddChildKeepPos(LONG objOrGrpID, LONG idOfChild, LONG* indexOfChild) try {
    return addChild(objOrGrpID, idOfChild, indexOfChild, true);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::ObjectRemoveChildKeepPos(LONG objOrGrpID, LONG Index, VARIANT_BOOL* pVal) try {
    return removeChild(objOrGrpID, Index, pVal, true);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::ObjectMayMove(LONG objOrGrpID, LONG flags, VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = VARIANT_FALSE;
    if (!qivctl::slotValid(state_, objOrGrpID)) return E_FAIL;
    state_.slots[size_t(objOrGrpID)].moveFlags = uint32_t(flags);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::ObjectSetUserData(LONG objOrGroupID, BSTR userData) try {
    if (!qivctl::slotValid(state_, objOrGroupID)) return E_FAIL;
    state_.slots[size_t(objOrGroupID)].userData = win::AnsiOfBstr(userData);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::ObjectGetUserData(LONG objOrGroupID, BSTR* userData) try {
    if (!userData) return E_POINTER;
    *userData = nullptr;
    if (!qivctl::slotValid(state_, objOrGroupID)) return E_FAIL;
    *userData = win::AllocBstr(state_.slots[size_t(objOrGroupID)].userData);
    return *userData ? S_OK : E_OUTOFMEMORY;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::EnableUpdate(VARIANT_BOOL updateEnabled) try {
    if (updateEnabled == VARIANT_FALSE)
        ++updateDisabled_;
    else if (updateDisabled_ > 0)
        --updateDisabled_;
    if (hwnd() && updateDisabled_ == 0) Redraw(true);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

// ---- placements ----

HRESULT CQivPlayerCtl::changePlacement(VARIANT_BOOL* pVal, const std::function<bool(Mat4&)>& change) {
    if (!pVal) return E_POINTER;
    *pVal = VARIANT_FALSE;
    if (!validCurrent()) return E_FAIL;
    if (!change(state_.slots[size_t(state_.currentSlot)].placement)) return S_OK;
    slotChanged(state_.currentSlot);
    *pVal = VARIANT_TRUE;
    return S_OK;
}

STDMETHODIMP CQivPlayerCtl::ObjectRotate(float x, float y, float z, float angle, VARIANT_BOOL* pVal) try {
    if (!finite({x, y, z, angle})) return refused(pVal);
    return changePlacement(pVal, [&](Mat4& m) { return mtxRotateAxis(x, y, z, angle, &m) != 0; });
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::ObjectTurn(float x, float y, float z, float angle, VARIANT_BOOL* pVal) try {
    if (!finite({x, y, z, angle})) return refused(pVal);
    return changePlacement(pVal, [&](Mat4& m) { return qivctl::placementTurn(&m, x, y, z, angle); });
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::ObjectTranslate(float x, float y, float z, VARIANT_BOOL* pVal) try {
    if (!finite({x, y, z})) return refused(pVal);
    return changePlacement(pVal, [&](Mat4& m) {
        mtxTranslate(x, y, z, &m);
        return true;
    });
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::ObjectTranslate2(float x, float y, float z, VARIANT_BOOL* pVal) try {
    if (!finite({x, y, z})) return refused(pVal);
    return changePlacement(pVal, [&](Mat4& m) {
        qivctl::placementTranslateAfter(&m, x, y, z);
        return true;
    });
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::ObjectScale(float scaleX, float scaleY, float scaleZ, VARIANT_BOOL* pVal) try {
    if (!finite({scaleX, scaleY, scaleZ})) return refused(pVal);
    return changePlacement(pVal, [&](Mat4& m) {
        mtxScale(scaleX, scaleY, scaleZ, &m);
        return true;
    });
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::ObjectResetPosition(VARIANT_BOOL* pVal) try {
    return changePlacement(pVal, [](Mat4& m) {
        mtxIdentity(&m);
        return true;
    });
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::ObjectGetPositionAsString(LONG objOrGroupID, BSTR* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = nullptr;
    if (!qivctl::slotValid(state_, objOrGroupID)) return E_FAIL;
    Mat4 m = state_.slots[size_t(objOrGroupID)].placement;
    if (mtxIsMarked(&m)) mtxIdentity(&m);
    *pVal = win::AllocBstr(qivctl::placementAsString(m.m));
    return *pVal ? S_OK : E_OUTOFMEMORY;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::ObjectSetPositionFromString(LONG objOrGroupID, BSTR position, VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = VARIANT_FALSE;
    if (!qivctl::slotValid(state_, objOrGroupID)) return E_FAIL;
    Mat4 m;
    if (!qivctl::parsePlacement(win::AnsiOfBstr(position), m.m)) return S_OK;
    state_.slots[size_t(objOrGroupID)].placement = m;
    slotChanged(objOrGroupID);
    *pVal = VARIANT_TRUE;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::ObjectGetRealPositionAsString(LONG objOrGroupID, BSTR* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = nullptr;
    // Only a loaded object has a node whose world matrix can be told.
    if (!qivctl::slotValid(state_, objOrGroupID) || !state_.slots[size_t(objOrGroupID)].node) return E_FAIL;
    PlaceNodes();
    Mat4 m = state_.slots[size_t(objOrGroupID)].node->base;
    if (mtxIsMarked(&m)) mtxIdentity(&m);
    *pVal = win::AllocBstr(qivctl::placementAsString(m.m));
    return *pVal ? S_OK : E_OUTOFMEMORY;
} catch (...) { return qcom::exceptionResult(); }

// ---- positions and extents ----

STDMETHODIMP CQivPlayerCtl::ObjectGetCurPos(LONG objOrGrpID, float* x, float* y, float* z, VARIANT_BOOL* pVal) try {
    if (!x || !y || !z || !pVal) return E_POINTER;
    *x = *y = *z = 0;
    Mat4 world;
    *pVal = vb(qivctl::slotWorldPlacement(state_, objOrGrpID, &world));
    if (*pVal) {
        if (mtxIsMarked(&world)) mtxIdentity(&world);
        *x = world.m[12], *y = world.m[13], *z = world.m[14];
    }
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::ObjectGetCurPosX(LONG objOrGrpID, float* pVal) try {
    return component(pVal, 0, [&](float* x, float* y, float* z) {
        VARIANT_BOOL ok;
        return ObjectGetCurPos(objOrGrpID, x, y, z, &ok);
    });
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::ObjectGetCurPosY(LONG objOrGrpID, float* pVal) try {
    return component(pVal, 1, [&](float* x, float* y, float* z) {
        VARIANT_BOOL ok;
        return ObjectGetCurPos(objOrGrpID, x, y, z, &ok);
    });
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::ObjectGetCurPosZ(LONG objOrGrpID, float* pVal) try {
    return component(pVal, 2, [&](float* x, float* y, float* z) {
        VARIANT_BOOL ok;
        return ObjectGetCurPos(objOrGrpID, x, y, z, &ok);
    });
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::ObjectGetRealPos(LONG objOrGrpID, float* x, float* y, float* z, VARIANT_BOOL* pVal) try {
    float centre[3] = {0, 0, 0};
    bool found = false;
    // Only a visible slot, or the one being dragged, has a real position.
    if (qivctl::slotValid(state_, objOrGrpID) &&
        (state_.slots[size_t(objOrGrpID)].visible || objOrGrpID == DraggedObject())) {
        PlaceNodes();
        Box3 b;
        found = qivctl::slotWorldBox(state_, objOrGrpID, qivctl::Members::Visible, nodeExtent, &b);
        if (found) {
            centre[0] = (b.min.x + b.max.x) * 0.5f;
            centre[1] = (b.min.y + b.max.y) * 0.5f;
            centre[2] = (b.min.z + b.max.z) * 0.5f;
        }
    }
    if (x) *x = centre[0];
    if (y) *y = centre[1];
    if (z) *z = centre[2];
    if (pVal) *pVal = vb(found);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::ObjectGetRealPosX(LONG objOrGrpID, float* pVal) try {
    if (!pVal) return E_POINTER;
    return ObjectGetRealPos(objOrGrpID, pVal, nullptr, nullptr, nullptr);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::ObjectGetRealPosY(LONG objOrGrpID, float* pVal) try {
    if (!pVal) return E_POINTER;
    return ObjectGetRealPos(objOrGrpID, nullptr, pVal, nullptr, nullptr);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::ObjectGetRealPosZ(LONG objOrGrpID, float* pVal) try {
    if (!pVal) return E_POINTER;
    return ObjectGetRealPos(objOrGrpID, nullptr, nullptr, pVal, nullptr);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::ObjectGetExtend(VARIANT_BOOL scaled, float* dx, float* dy, float* dz,
                                            VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = VARIANT_FALSE;
    if (dx) *dx = 0;
    if (dy) *dy = 0;
    if (dz) *dz = 0;
    bool any = false;
    for (int32_t id = 0; id < state_.usedCount && !any; ++id) any = qivctl::slotValid(state_, id);
    if (!any) return S_OK;
    if (!validCurrent()) return E_FAIL;
    const int32_t id = state_.currentSlot;
    const QivObjectSlot& slot = state_.slots[size_t(id)];
    Box3 box;
    bool found = false;
    if (scaled == VARIANT_FALSE) {
        if (!slot.isGroup && slot.node && slot.node->content) {
            box = slot.node->content->box;
            found = true;
        }
    } else {
        PlaceNodes();
        found = qivctl::slotWorldBox(state_, id, qivctl::Members::Visible, nodeExtent, &box);
    }
    if (!found) return S_OK;
    if (dx) *dx = std::fabs(box.max.x - box.min.x);
    if (dy) *dy = std::fabs(box.max.y - box.min.y);
    if (dz) *dz = std::fabs(box.max.z - box.min.z);
    *pVal = VARIANT_TRUE;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::ObjectGetExtendX(VARIANT_BOOL scaled, float* dx) try {
    if (!dx) return E_POINTER;
    VARIANT_BOOL ok;
    return ObjectGetExtend(scaled, dx, nullptr, nullptr, &ok);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::ObjectGetExtendY(VARIANT_BOOL scaled, float* dy) try {
    if (!dy) return E_POINTER;
    VARIANT_BOOL ok;
    return ObjectGetExtend(scaled, nullptr, dy, nullptr, &ok);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::ObjectGetExtendZ(VARIANT_BOOL scaled, float* dz) try {
    if (!dz) return E_POINTER;
    VARIANT_BOOL ok;
    return ObjectGetExtend(scaled, nullptr, nullptr, dz, &ok);
} catch (...) { return qcom::exceptionResult(); }

// ---- lights, highlight, cursor ----

STDMETHODIMP CQivPlayerCtl::put_Lights(LONG newVal) try {
    state_.lights = uint32_t(newVal);
    qivctl::applyOwnLights(state_, state_.lights);
    FireOnChanged(qivdispid::Lights);
    Redraw(true);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::ObjectSwitchLight(VARIANT_BOOL lightsOn, VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = VARIANT_FALSE;
    if (!validCurrent()) return E_FAIL;
    ScnNode* node = state_.slots[size_t(state_.currentSlot)].node;
    if (!node) return S_OK;
    *pVal = vb(scnSwitchLights(node, lightsOn != VARIANT_FALSE ? 1 : 0) != 0);
    Redraw(true);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::ObjectSetHighlightedSubObject(LONG SubObjectIndex, VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = VARIANT_FALSE;
    if (!validCurrent()) return E_FAIL;
    ScnNode* node = state_.slots[size_t(state_.currentSlot)].node;
    if (!node) return S_OK;
    *pVal = vb(scnSetHighlight(node, SubObjectIndex) != 0);
    if (*pVal) slotChanged(state_.currentSlot);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::SetCursorMode(qivCursorTypes newCursorMode) try {
    // Any mode is kept; one without a cursor of its own leaves the cursor to the window.
    if (state_.cursorType == int32_t(newCursorMode)) return S_OK;
    state_.cursorType = int32_t(newCursorMode);
    // The cursor changes now when it is over the view.
    if (HWND w = hwnd()) {
        POINT pt;
        GetCursorPos(&pt);
        HWND over = WindowFromPoint(pt);
        if (over && (over == w || over == win_->hardwareWindow)) SetCursorForState(HTCLIENT);
    }
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

// ---- picked positions and collisions ----

void CQivPlayerCtl::SetLastPick(const float world[3], int32_t texture, int32_t material) {
    std::memcpy(lastPick_, world, sizeof lastPick_);
    lastPickedTexture_ = texture;
    lastPickedMaterial_ = material;
}

STDMETHODIMP CQivPlayerCtl::GetLastPickedPosition(qivCoordinateTypes which, float* x, float* y, float* z) try {
    if (!x || !y || !z) return E_POINTER;
    float out[3] = {0, 0, 0};
    const qivctl::PickedPosition r = qivctl::lastPickedPosition(state_, lastPick_, int32_t(which), out);
    if (r == qivctl::PickedPosition::NotWritten) return S_OK;
    // Without an object the outputs are zeros.
    *x = out[0], *y = out[1], *z = out[2];
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::GetLastPickedPositionX(qivCoordinateTypes which, float* pVal) try {
    return component(pVal, 0, [&](float* x, float* y, float* z) { return GetLastPickedPosition(which, x, y, z); });
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::GetLastPickedPositionY(qivCoordinateTypes which, float* pVal) try {
    return component(pVal, 1, [&](float* x, float* y, float* z) { return GetLastPickedPosition(which, x, y, z); });
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::GetLastPickedPositionZ(qivCoordinateTypes which, float* pVal) try {
    return component(pVal, 2, [&](float* x, float* y, float* z) { return GetLastPickedPosition(which, x, y, z); });
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::GetCollidingObjects(LONG objOrGroupID, VARIANT* pVal) try {
    if (!pVal) return E_POINTER;
    VariantInit(pVal);
    if (!qivctl::slotValid(state_, objOrGroupID)) return S_OK;
    try {
        currentRoots();
        const std::vector<int32_t> ids = qivctl::collidingObjects(state_, state_.sceneRoots, objOrGroupID);
        SAFEARRAY* a = SafeArrayCreateVector(VT_I4, 0, ULONG(ids.size()));
        if (!a) return E_OUTOFMEMORY;
        for (LONG i = 0; i < LONG(ids.size()); ++i) {
            LONG v = ids[size_t(i)];
            SafeArrayPutElement(a, &i, &v);
        }
        V_VT(pVal) = VT_ARRAY | VT_I4;
        V_ARRAY(pVal) = a;
    } catch (...) {
        VariantClear(pVal);
        return E_OUTOFMEMORY;
    }
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::GetCollidingObjectsAsString(LONG objOrGroupID, BSTR* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = nullptr;
    if (!qivctl::slotValid(state_, objOrGroupID)) return S_OK;
    currentRoots();
    const auto text = qivctl::idListText(qivctl::collidingObjects(state_, state_.sceneRoots, objOrGroupID));
    if (!text) return S_OK;
    *pVal = win::AllocBstr(*text);
    if (!*pVal) return E_OUTOFMEMORY;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

// ---- dropping ----

STDMETHODIMP CQivPlayerCtl::ObjectDrop(VARIANT_BOOL animated, float minDropHeight, VARIANT_BOOL dropsDown,
                                       VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = VARIANT_FALSE;
    if (!validCurrent()) return E_FAIL;
    const int32_t id = state_.currentSlot;
    if (!state_.slots[size_t(id)].isGroup && !state_.slots[size_t(id)].node) return S_OK;
    currentRoots();
    std::vector<ScnNode*> moved = qivctl::collisionSubjects(state_, id);
    std::vector<ScnNode*> others = qivctl::collisionObstacles(state_.sceneRoots, moved);
    Box3 movedBox = qivctl::emptyBox(), sceneBox = qivctl::emptyBox();
    for (ScnNode* n : moved) {
        Box3 b;
        if (nodeExtent(n, &b)) movedBox = qivctl::boxUnion(movedBox, b);
    }
    for (ScnNode* n : others) {
        Box3 b;
        if (nodeExtent(n, &b)) sceneBox = qivctl::boxUnion(sceneBox, b);
    }
    if (moved.empty() || qivctl::boxEmpty(movedBox)) return S_OK;
    sceneBox = qivctl::boxUnion(sceneBox, movedBox);
    moved.push_back(nullptr);
    others.push_back(nullptr);
    const bool filter = win_->filter;
    win_->filter = false;
    ScnNode** contacts = nullptr;
    qivctl::DropWorld world;
    world.placeAt = [&](float z) {
        state_.slots[size_t(id)].placement.m[14] = z;
        PlaceNodes();
        Box3 box = qivctl::emptyBox();
        for (ScnNode* n : moved) {
            Box3 b;
            if (n && nodeExtent(n, &b)) box = qivctl::boxUnion(box, b);
        }
        return box;
    };
    world.collides = [&] {
        uint32_t hit = 0;
        return colTestMove(moved.data(), others.data(), &contacts, &hit) && hit;
    };
    world.redraw = [&] {
        state_.frameValid = false;
        if (HWND w = hwnd()) RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    };
    Mat4& placement = state_.slots[size_t(id)].placement;
    if (mtxIsMarked(&placement)) mtxIdentity(&placement);
    qivctl::dropSlot(placement.m[14], movedBox, sceneBox, minDropHeight, dropsDown != VARIANT_FALSE,
                     animated != VARIANT_FALSE, world);
    if (contacts) memFree(contacts);
    win_->filter = filter;
    slotChanged(id, true);
    const Mat4& p = state_.slots[size_t(id)].placement;
    FireObjectMove(id, id, qivMvEvObjDropped, p.m[12], p.m[13], p.m[14]);
    *pVal = VARIANT_TRUE;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::DragAndDropObject(BSTR url, LONG moveFlags, LONG* objectID) try {
    return DragAndDropObjectWithDefault(url, moveFlags, -1, objectID);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::DragAndDropObjectWithDefault(BSTR url, LONG moveFlags, LONG DefaultObjectID,
                                                         LONG* objectID) try {
    if (!objectID) return E_POINTER;
    *objectID = DefaultObjectID;
    std::string name = win::AnsiOfBstr(url);
    HWND w = hwnd();
    if (name.empty() || !w || DraggedObject() >= 0) return S_OK;
    // Only while the left button holds the drop over this control's window.
    HWND fg = GetForegroundWindow();
    const bool foreground = fg && (fg == w || IsChild(w, fg) || GetAncestor(w, GA_ROOT) == fg);
    const bool left = GetAsyncKeyState(GetSystemMetrics(SM_SWAPBUTTON) ? VK_RBUTTON : VK_LBUTTON) < 0;
    if (!foreground || !left) return S_OK;
    VARIANT_BOOL walking = VARIANT_FALSE;
    if (SUCCEEDED(get_Walkthrough(&walking)) && walking) put_Walkthrough(VARIANT_FALSE);
    // The anchor: the world point under the cursor at the view reference point's depth.
    POINT pt;
    GetCursorPos(&pt);
    ScreenToClient(w, &pt);
    const CamRecord& cam = state_.camera;
    Vec3 at{0, 0, 0};
    if (state_.viewValid) {
        const float y = cam.rowsUp ? float(state_.frameHeight - pt.y) : float(pt.y);
        at = navUnproject(cam.pixelToWorld, float(pt.x), y, navProject(cam.worldToPixel, cam.vrp).z);
        if (!finite({at.x, at.y, at.z})) at = Vec3{0, 0, 0};
    }
    const int32_t id = qivctl::slotAllocate(state_);
    QivObjectSlot& slot = state_.slots[size_t(id)];
    slot.sourceName = std::move(name);
    slot.visible = false;
    slot.moveFlags = uint32_t(moveFlags);
    slot.placement.m[12] = at.x, slot.placement.m[13] = at.y, slot.placement.m[14] = at.z;
    *objectID = id;
    // The object lands at the anchor and is dragged on from there with the held button.
    if (loadSlot(id)) {
        state_.slots[size_t(id)].visible = true;
        slotChanged(id, true);
    }
    DragObjectAtCursor(id);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

// ---- saving ----

STDMETHODIMP CQivPlayerCtl::SavePELObject(BSTR ObjectFileName, BSTR logicalObjectName, BSTR TextureBasePath,
                                          VARIANT_BOOL* pVal) try {
    return SavePELObject2(ObjectFileName, logicalObjectName, TextureBasePath, VARIANT_TRUE, pVal);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::SavePELObject2(BSTR ObjectFileName, BSTR logicalObjectName, BSTR TextureBasePath,
                                           VARIANT_BOOL combineTextures, VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = VARIANT_FALSE;
    std::string path = win::AnsiOfBstr(ObjectFileName);
    if (path.empty()) return S_OK;
    if (!validCurrent()) return E_FAIL;
    std::string textureDir = win::AnsiOfBstr(TextureBasePath);
    if (textureDir.empty()) textureDir = win_->textureBaseUrl;
    // An untrusted caller's name is a suggestion for the user's choice; the textures go
    // beside the chosen file.
    bool replace = false;
    if (CallerUntrusted()) {
        std::string chosen;
        if (!AskSaveFile(path, IDS_SAVE_OBJECT, IDS_FILTER_PEL, ".pel", &chosen, &replace)) return S_OK;
        path = chosen;
        const size_t cut = path.find_last_of("\\/");
        textureDir = cut == std::string::npos ? std::string(".") : path.substr(0, cut);
    } else if (!qivctl::fileNameAllowed(path) || !qivctl::fileNameAllowed(textureDir)) {
        return S_OK;
    }
    std::string dir;
    if (!textureDir.empty() && !localPathOf(textureDir, &dir)) dir.clear();
    const std::string name = win::AnsiOfBstr(logicalObjectName);
    const bool ok = SaveObjectFileReplacing(path, replace, [&](const std::string& target) {
        return SaveObjectFile(target.c_str(), false, dir.c_str(), name.empty() ? nullptr : name.c_str(),
                              combineTextures != VARIANT_FALSE) != 0;
    });
    if (ok) MarkFileForCaller(path);
    *pVal = vb(ok);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

int CQivPlayerCtl::SaveAllObjects(const std::string& path, const char* logicalName, bool combine,
                                  const std::string& textureDirectory) {
    // The writer turns what it writes half round about z: the nodes are written turned back
    // in the world's frame and placed again after.
    Mat4 turn;
    mtxMakeRotation(3, 180.0f, &turn);
    std::vector<std::pair<ScnNode*, Mat4>> poses;
    for (const auto& n : qivctl::slotSceneNodes(state_)) {
        Mat4 pose;
        mtxMultiply(&n.second, &turn, &pose);
        poses.emplace_back(n.first, pose);
    }
    if (poses.empty() || GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) return 0;
    {
        struct PlacedAgain {
            CQivPlayerCtl* ctl;
            ~PlacedAgain() { ctl->PlaceNodes(); }
        } placedAgain{this};
        std::vector<ScnNode*> nodes;
        for (auto& p : poses) {
            scnSetPose(p.first, &p.second, p.first->reqTime);
            nodes.push_back(p.first);
        }
        nodes.push_back(nullptr);
        std::string name = logicalName && *logicalName ? std::string(logicalName)
                                                       : path.substr(path.find_last_of("\\/") + 1);
        if (name.size() > 98) name.resize(98);  // the header's name field
        PelWriteInfo info{};
        info.objectName = name.c_str();
        info.switches[0] = info.switches[1] = info.switches[3] = 1;
        Vec3 centre{};
        qivctl::FileBeside out(path);
        if (!pelSaveObject(combine ? 1 : 0, out.path().c_str(), nodes.data(), &info, &centre, 0, nullptr) ||
            !out.commit())
            return 0;
    }
    // The textures of the shown objects beside, in a local texture folder.
    if (textureDirectory.empty()) return 1;
    const bool pictureNames = CallerUntrusted();
    for (int32_t id = 0; id < state_.usedCount; ++id) {
        const QivObjectSlot& slot = state_.slots[size_t(id)];
        if (!qivctl::slotValid(state_, id) || !slot.node || !slot.visible) continue;
        for (const TexRecord* t : slot.textureHandles)
            if (t && !qivctl::SaveTextureFile(t, textureDirectory, pictureNames)) return 0;
    }
    return 1;
}

// ---- caches ----

STDMETHODIMP CQivPlayerCtl::ConfigureCache2(LONG cachedObjects, LONG cachedTextures, LONG cachedMaterials,
                                            LONG cachedBackgroundPictures, VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    // The process's caches serve every page: an untrusted caller does not size them.
    const bool ok = !CallerUntrusted() && cachedObjects >= 0 && cachedTextures >= 0 && cachedMaterials >= 0 &&
                    cachedBackgroundPictures >= 0 &&
                    qivctl::ConfigureCache2(uint32_t(cachedObjects), uint32_t(cachedTextures),
                                            uint32_t(cachedMaterials), uint32_t(cachedBackgroundPictures));
    *pVal = vb(ok);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::ConfigureCache(LONG cachedObjects, LONG cachedTextures, LONG cachedBackgroundPictures,
                                           VARIANT_BOOL* pVal) try {
    return ConfigureCache2(cachedObjects, cachedTextures, LONG(qivctl::kDefaultMaterials), cachedBackgroundPictures,
                           pVal);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::FlushCaches(VARIANT_BOOL flushObjectCache, VARIANT_BOOL flushTextureCache,
                                        VARIANT_BOOL flushMaterialCache, VARIANT_BOOL flushBackPicCache) try {
    qivctl::FlushCaches(flushObjectCache != VARIANT_FALSE, flushTextureCache != VARIANT_FALSE,
                        flushMaterialCache != VARIANT_FALSE, flushBackPicCache != VARIANT_FALSE);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

// ---- host services ----

const qivctl::QivHostServices& CQivPlayerCtl::HostServices() {
    if (!hostServices_) {
        hostServices_ = std::make_shared<QivHostServicesHolder>();
        qivctl::HostServicesContext& c = hostServices_->context;
        c.control = this;
        c.hooks.ready = [](void* control) {
            // Without roots the scene preparation only makes the display back end ready.
            static_cast<CQivPlayerCtl*>(control)->PrepareScene(nullptr, false, true, true);
            return true;
        };
        c.hooks.loadObjectFile = [](void* control, const std::string& name, uint32_t) -> int32_t {
            auto* ctl = static_cast<CQivPlayerCtl*>(control);
            try {
                if (name.empty()) return -1;
                const int32_t id = qivctl::slotAllocate(ctl->state_);
                ctl->state_.slots[size_t(id)].sourceName = name;
                if (!ctl->loadSlot(id)) {
                    if (ctl->ObjectDownloadPending(id)) return id;  // its object comes with the download
                    qivctl::slotDelete(ctl->state_, id, qivctl::ReleaseSlot);
                    return -1;
                }
                ctl->slotChanged(id, true);
                return id;
            } catch (...) {
                return -1;
            }
        };
        c.hooks.enterPicture = [](void*, const wchar_t* name, TexRecord* texture, float sx, float sy) {
            return CacheTexture(name, texture, sx, sy);
        };
        c.hooks.state = [](void* control) -> const QivControlState* {
            return &static_cast<CQivPlayerCtl*>(control)->state_;
        };
        // The roots follow every change of the slots, so the list is current.
        c.hooks.sceneRoots = [](void* control) { return static_cast<CQivPlayerCtl*>(control)->state_.sceneRoots; };
        c.hooks.toAnsi = [](const wchar_t* name) {
            BSTR b = SysAllocString(name);
            std::string s = win::AnsiOfBstr(b);
            SysFreeString(b);
            return s;
        };
        hostServices_->table = qivctl::makeHostServices(&c);
    }
    return hostServices_->table;
}
