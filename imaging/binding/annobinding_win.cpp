#include "annobinding_win.h"

#include "crdebinding_win.h"

namespace imaging {

namespace {

template <class P>
P bindOrRaise(const char* procedure) {
    P proc = nullptr;
    if (!BindCrde(procedure, proc)) throw ErrorInvalid(MissingProcText(procedure));
    return proc;
}

// One guarded call; a fault gives the restart advice and a result of 0.
template <class F>
int call(F&& f) {
    int result = 0;
    if (!CallLibrary([&] { result = f(); })) return 0;
    return result;
}

}  // namespace

std::string MissingProcText(const char* procedure) {
    return std::string("Error. Could not get a procaddress for ") + procedure + ". This could be" +
           "related to a dll name or version missmatch of " + kCrdeLibrary;
}

int AnnoMouseMon(void* control, UINT message, WPARAM wParam, LPARAM lParam) {
    auto proc = bindOrRaise<CrdeMouseMon>("MouseMon");
    return call([&] { return proc(control, message, wParam, lParam); });
}

int AnnoInit(void* control, HWND window, void* owner, const std::string& iniFile, const CrdeAnnoCallbacks& callbacks,
             HWND windows[2]) {
    windows[0] = windows[1] = nullptr;
    auto proc = bindOrRaise<CrdeInitAnnotation>("InitAnnotation");
    return call([&] { return proc(control, window, owner, iniFile.c_str(), &callbacks, windows); });
}

int AnnoDestroy(void* control) {
    auto proc = bindOrRaise<CrdeControlProc>("DestroyAnnotation");
    return call([&] { return proc(control); });
}

int AnnoDrawX(void* control, HDC dc, int destLeft, int destTop, int destWidth, int destHeight, int picWidth,
              int picHeight, int page, int flags) {
    CrdeDrawAnnotationX proc = nullptr;
    if (!BindCrde("DrawAnnotationX", proc))
        return AnnoDraw(control, destLeft, destTop, destWidth, destHeight, picWidth, picHeight, page, flags);
    return call([&] {
        return proc(control, dc, destLeft, destTop, destWidth, destHeight, picWidth, picHeight, short(page), short(flags));
    });
}

int AnnoDraw(void* control, int destLeft, int destTop, int destWidth, int destHeight, int picWidth, int picHeight,
             int page, int flags) {
    auto proc = bindOrRaise<CrdeDrawAnnotation>("DrawAnnotation");
    return call([&] {
        return proc(control, destLeft, destTop, destWidth, destHeight, picWidth, picHeight, short(page), short(flags));
    });
}

int AnnoMenuMsg(void* control, int command) {
    auto proc = bindOrRaise<CrdeMenuMsg>("MenuMsg");
    return call([&] { return proc(control, command); });
}

int AnnoClear(void* control) {
    auto proc = bindOrRaise<CrdeControlProc>("ClearAnnotation");
    return call([&] { return proc(control); });
}

int AnnoRubberBandOff(void* control) {
    auto proc = bindOrRaise<CrdeControlProc>("RubberBandOFF");
    return call([&] { return proc(control); });
}

int AnnoLoad(void* control, int page, const std::string& file) {
    auto proc = bindOrRaise<CrdeAnnotationFile>("LoadAnnotation");
    return call([&] { return proc(control, short(page), file.c_str()); });
}

int AnnoSave(void* control, int page, const std::string& file) {
    auto proc = bindOrRaise<CrdeAnnotationFile>("SaveAnnotation");
    return call([&] { return proc(control, short(page), file.c_str()); });
}

}  // namespace imaging
