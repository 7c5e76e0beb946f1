// CRDE2001.DLL's annotations: one set per control, its two message windows, the mouse
// editing, the drawing and the annotation files.
#include <windows.h>
#include <windowsx.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "annotations.h"
#include "crde2001.h"
#include "dibhandle_win.h"
#include "gdi_win.h"

namespace {

struct AnnoSet {
    HWND window = nullptr;  // the control's window
    void* owner = nullptr;
    CrdeAnnoCallbacks callbacks{};
    HWND edit = nullptr, view = nullptr;
    img::AnnoPages pages;
    int32_t page = 0;  // the page drawn last
    img::AnnoView mapping;
    img::AnnoEditor editor;
    bool selecting = false;  // the select tool
    int selected = -1;
    bool editing = false;
};

// Annotation calls come from the controls' threads and may call back into the library
// from the callbacks: one recursive lock.
std::recursive_mutex g_lock;
std::map<void*, AnnoSet> g_sets;

constexpr char kWindowClass[] = "QivAnnotationWindow";
constexpr size_t kMaxAnnotationFile = 64u << 20;

AnnoSet* find(void* control) {
    auto it = g_sets.find(control);
    return it == g_sets.end() ? nullptr : &it->second;
}

// The set of a control; made without windows when Init was never called, so that files
// still load and save.
AnnoSet& setOf(void* control) { return g_sets[control]; }

void redraw(const AnnoSet& s) {
    if (s.window) InvalidateRect(s.window, nullptr, FALSE);
}

img::AnnoPage& currentPage(AnnoSet& s) { return s.pages[s.page]; }

LRESULT CALLBACK annoWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    void* control = reinterpret_cast<void*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    AnnoSet* s = control ? find(control) : nullptr;
    if (!s) return DefWindowProcA(hwnd, msg, wParam, lParam);
    switch (msg) {
        case kAnnoMsgRefresh: redraw(*s); return 0;
        case kAnnoMsgEditMode:
            s->editing = wParam != 0;
            if (!s->editing) s->editor.cancel();
            redraw(*s);
            return 0;
        case kAnnoMsgDone:
        case kAnnoMsgSelect:
            s->selected = int(wParam) < int(currentPage(*s).size()) ? int(wParam) : -1;
            redraw(*s);
            return 0;
        case kAnnoMsgKey:
            if (wParam == VK_ESCAPE) {
                s->editor.cancel();
            } else if (wParam == VK_DELETE && s->selected >= 0 && s->selected < int(currentPage(*s).size())) {
                currentPage(*s).erase(currentPage(*s).begin() + s->selected);
                s->selected = -1;
            }
            redraw(*s);
            return 0;
        case kAnnoMsgRelease:
        case kAnnoMsgMove: return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

HWND makeWindow(void* control) {
    static const bool registered = [] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = annoWindowProc;
        wc.hInstance = crdeInstance();
        wc.lpszClassName = kWindowClass;
        return RegisterClassA(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    if (!registered) return nullptr;
    HWND w = CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, crdeInstance(), nullptr);
    if (w) SetWindowLongPtrA(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(control));
    return w;
}

void destroyWindows(AnnoSet& s) {
    if (s.edit) DestroyWindow(s.edit);
    if (s.view) DestroyWindow(s.view);
    s.edit = s.view = nullptr;
}

// Defaults of new annotations from the settings file: section "Annotation", keys Colour
// ("r g b"), Width, TextHeight, Text.
void readSettings(AnnoSet& s, const char* iniFile) {
    if (!iniFile || !imgwin::validFileName(iniFile)) return;
    img::AnnoTool& t = s.editor.tool;
    char text[256];
    GetPrivateProfileStringA("Annotation", "Colour", "", text, sizeof text, iniFile);
    int r = 0, g = 0, b = 0;
    if (std::sscanf(text, "%d %d %d", &r, &g, &b) == 3) {
        t.red = uint8_t(std::clamp(r, 0, 255));
        t.green = uint8_t(std::clamp(g, 0, 255));
        t.blue = uint8_t(std::clamp(b, 0, 255));
    }
    t.width = std::clamp(int(GetPrivateProfileIntA("Annotation", "Width", t.width, iniFile)), 1, 64);
    t.textHeight = std::clamp(int(GetPrivateProfileIntA("Annotation", "TextHeight", t.textHeight, iniFile)), 4, 512);
    GetPrivateProfileStringA("Annotation", "Text", t.text.c_str(), text, sizeof text, iniFile);
    t.text = text;
}

void drawOne(HDC dc, const img::AnnoView& v, const img::Annotation& a) {
    if (a.points.empty()) return;
    const COLORREF colour = RGB(a.red, a.green, a.blue);
    if (a.kind == img::AnnoKind::Text) {
        const img::AnnoPoint at = v.toDevice(a.points[0]);
        HFONT font = CreateFontA(-v.lengthToDevice(a.height), 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0,
                                 "Arial");
        HGDIOBJ oldFont = SelectObject(dc, font);
        const int oldMode = SetBkMode(dc, TRANSPARENT);
        const COLORREF oldColour = SetTextColor(dc, colour);
        RECT r{at.x, at.y, at.x, at.y};
        DrawTextA(dc, a.text.c_str(), int(a.text.size()), &r, DT_LEFT | DT_TOP | DT_NOCLIP | DT_NOPREFIX);
        SetTextColor(dc, oldColour);
        SetBkMode(dc, oldMode);
        SelectObject(dc, oldFont);
        DeleteObject(font);
        return;
    }
    HPEN pen = CreatePen(PS_SOLID, v.lengthToDevice(a.width), colour);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    const img::AnnoPoint p0 = v.toDevice(a.points.front()), p1 = v.toDevice(a.points.back());
    switch (a.kind) {
        case img::AnnoKind::Line:
            MoveToEx(dc, p0.x, p0.y, nullptr);
            LineTo(dc, p1.x, p1.y);
            break;
        case img::AnnoKind::Rect: Rectangle(dc, p0.x, p0.y, p1.x, p1.y); break;
        case img::AnnoKind::Ellipse: Ellipse(dc, p0.x, p0.y, p1.x, p1.y); break;
        case img::AnnoKind::Marker: {
            std::vector<POINT> pts;
            for (const img::AnnoPoint& p : a.points) {
                const img::AnnoPoint d = v.toDevice(p);
                pts.push_back(POINT{d.x, d.y});
            }
            Polyline(dc, pts.data(), int(pts.size()));
            break;
        }
        case img::AnnoKind::Text: break;
    }
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    DeleteObject(pen);
}

// The selection: a dotted frame around the annotation's points.
void drawSelection(HDC dc, const img::AnnoView& v, const img::Annotation& a) {
    if (a.points.empty()) return;
    LONG l = LONG_MAX, t = LONG_MAX, r = LONG_MIN, b = LONG_MIN;
    for (const img::AnnoPoint& p : a.points) {
        const img::AnnoPoint d = v.toDevice(p);
        l = std::min<LONG>(l, d.x);
        t = std::min<LONG>(t, d.y);
        r = std::max<LONG>(r, d.x);
        b = std::max<LONG>(b, d.y);
    }
    if (a.kind == img::AnnoKind::Text) b = t + v.lengthToDevice(a.height);
    RECT frame{l - 3, t - 3, r + 4, b + 4};
    DrawFocusRect(dc, &frame);
}

short draw(AnnoSet& s, HDC dc, int destLeft, int destTop, int destWidth, int destHeight, int picWidth, int picHeight,
           short page, short flags, bool hard) {
    s.mapping = img::AnnoView{destLeft, destTop, destWidth, destHeight, picWidth, picHeight};
    if (page < 0) return img::kBadArgument;
    if (page != s.page) {
        s.editor.cancel();
        s.selected = -1;
    }
    s.page = page;
    if (!s.mapping.valid()) return img::kBadArgument;
    const CrdeAnnoCallbacks cb = s.callbacks;
    void* owner = s.owner;
    if (cb.before) cb.before(owner, dc);
    const int saved = SaveDC(dc);
    auto ownDraw = hard ? cb.hardDraw : cb.customDraw;
    const img::AnnoPage annotations = currentPage(s);  // the callbacks may change the set
    for (size_t i = 0; i < annotations.size(); ++i)
        if (!ownDraw || !ownDraw(owner, dc, int(i))) drawOne(dc, s.mapping, annotations[i]);
    if (!hard && s.editor.active()) drawOne(dc, s.mapping, s.editor.current());
    if ((flags & kCrdeDrawSelection) && s.selected >= 0 && s.selected < int(annotations.size()))
        drawSelection(dc, s.mapping, annotations[size_t(s.selected)]);
    RestoreDC(dc, saved);
    if (cb.after) cb.after(owner, dc);
    return img::kOk;
}

void showMenu(HWND window, POINT at) {
    HMENU menu = CreatePopupMenu();
    if (!menu) return;
    const struct {
        int command;
        const char* text;
    } items[] = {{kAnnoCmdSelect, "Select"},       {kAnnoCmdLine, "Line"},      {kAnnoCmdRect, "Rectangle"},
                 {kAnnoCmdEllipse, "Ellipse"},     {kAnnoCmdMark, "Marker"},    {kAnnoCmdText, "Text"},
                 {0, nullptr},                     {kAnnoCmdDelete, "Delete"},  {kAnnoCmdClearPage, "Clear page"}};
    for (const auto& item : items)
        if (item.text) AppendMenuA(menu, MF_STRING, UINT_PTR(item.command), item.text);
        else AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    ClientToScreen(window, &at);
    TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_RIGHTBUTTON, at.x, at.y, 0, window, nullptr);
    DestroyMenu(menu);
}

}  // namespace

extern "C" {

short WINAPI InitAnnotation(void* control, HWND window, void* owner, const char* iniFile,
                            const CrdeAnnoCallbacks* callbacks, HWND* windows) {
    try {
        if (!control) return img::kBadArgument;
        std::lock_guard<std::recursive_mutex> guard(g_lock);
        AnnoSet& s = setOf(control);
        destroyWindows(s);
        s.window = window;
        s.owner = owner;
        s.callbacks = callbacks ? *callbacks : CrdeAnnoCallbacks{};
        readSettings(s, iniFile);
        s.edit = makeWindow(control);
        s.view = makeWindow(control);
        if (windows) {
            windows[0] = s.edit;
            windows[1] = s.view;
        }
        return s.edit && s.view ? short(img::kOk) : short(img::kNoMemory);
    } catch (...) {
        return img::kUnknownError;
    }
}

short WINAPI DestroyAnnotation(void* control) {
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    auto it = g_sets.find(control);
    if (it == g_sets.end()) return img::kNoAnnotationSet;
    destroyWindows(it->second);
    g_sets.erase(it);
    return img::kOk;
}

int WINAPI MouseMon(void* control, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        std::unique_lock<std::recursive_mutex> guard(g_lock);
        AnnoSet* s = find(control);
        if (!s) return 0;
        const img::AnnoPoint device{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        const img::AnnoPoint p = s->mapping.toPicture(device);
        switch (message) {
            case WM_LBUTTONDOWN:
                if (s->selecting) {
                    const int tolerance = std::max(2, s->mapping.valid() ? 3 * s->mapping.picWidth / s->mapping.destWidth : 3);
                    const int hit = img::hitTest(currentPage(*s), p, tolerance);
                    s->selected = hit;
                    if (hit >= 0 && s->window) PostMessageA(s->window, kAnnoMsgClicked, WPARAM(hit), 1);
                } else {
                    s->editor.press(p);
                }
                redraw(*s);
                return 1;
            case WM_MOUSEMOVE:
                if (!s->editor.active()) return 0;
                s->editor.move(p);
                redraw(*s);
                return 1;
            case WM_LBUTTONUP: {
                img::Annotation a;
                if (!s->editor.release(p, a)) return 0;
                img::AnnoPage& page = currentPage(*s);
                if (page.size() >= img::kMaxAnnoPerPage) return 0;
                page.push_back(std::move(a));
                const int index = int(page.size()) - 1;
                redraw(*s);
                if (s->callbacks.done) s->callbacks.done(s->owner, index);
                return 1;
            }
            case WM_RBUTTONDOWN: {
                if (wParam != 0 || !s->window) return 0;  // the menu is off
                const HWND window = s->window;
                guard.unlock();
                showMenu(window, POINT{device.x, device.y});
                return 1;
            }
        }
        return 0;
    } catch (...) {
        return 0;
    }
}

short WINAPI DrawAnnotationX(void* control, HDC dc, int destLeft, int destTop, int destWidth, int destHeight,
                             int picWidth, int picHeight, short page, short flags) {
    try {
        std::lock_guard<std::recursive_mutex> guard(g_lock);
        AnnoSet* s = find(control);
        if (!s) return img::kNoAnnotationSet;
        if (!dc) return img::kBadArgument;
        return draw(*s, dc, destLeft, destTop, destWidth, destHeight, picWidth, picHeight, page, flags, true);
    } catch (...) {
        return img::kUnknownError;
    }
}

short WINAPI DrawAnnotation(void* control, int destLeft, int destTop, int destWidth, int destHeight, int picWidth,
                            int picHeight, short page, short flags) {
    try {
        std::lock_guard<std::recursive_mutex> guard(g_lock);
        AnnoSet* s = find(control);
        if (!s) return img::kNoAnnotationSet;
        if (!s->window) return img::kBadArgument;
        HDC dc = GetDC(s->window);
        if (!dc) return img::kNoMemory;
        const short r = draw(*s, dc, destLeft, destTop, destWidth, destHeight, picWidth, picHeight, page, flags, false);
        ReleaseDC(s->window, dc);
        return r;
    } catch (...) {
        return img::kUnknownError;
    }
}

short WINAPI MenuMsg(void* control, int command) {
    static const COLORREF kColours[] = {RGB(255, 0, 0),   RGB(0, 160, 0), RGB(0, 0, 255),
                                        RGB(255, 255, 0), RGB(0, 0, 0),   RGB(255, 255, 255)};
    static const int kWidths[] = {1, 2, 4, 8};
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    AnnoSet* s = find(control);
    if (!s) return img::kNoAnnotationSet;
    img::AnnoTool& t = s->editor.tool;
    s->selecting = false;
    switch (command) {
        case kAnnoCmdSelect: s->selecting = true; break;
        case kAnnoCmdLine: t.kind = img::AnnoKind::Line; break;
        case kAnnoCmdRect: t.kind = img::AnnoKind::Rect; break;
        case kAnnoCmdEllipse: t.kind = img::AnnoKind::Ellipse; break;
        case kAnnoCmdMark: t.kind = img::AnnoKind::Marker; break;
        case kAnnoCmdText: t.kind = img::AnnoKind::Text; break;
        case kAnnoCmdDelete:
            if (s->selected >= 0 && s->selected < int(currentPage(*s).size()))
                currentPage(*s).erase(currentPage(*s).begin() + s->selected);
            s->selected = -1;
            break;
        case kAnnoCmdClearPage:
            currentPage(*s).clear();
            s->selected = -1;
            break;
        default:
            if (command >= kAnnoCmdColourFirst && command <= kAnnoCmdColourLast) {
                const COLORREF c = kColours[command - kAnnoCmdColourFirst];
                t.red = GetRValue(c);
                t.green = GetGValue(c);
                t.blue = GetBValue(c);
            } else if (command >= kAnnoCmdWidthFirst && command <= kAnnoCmdWidthLast) {
                t.width = kWidths[command - kAnnoCmdWidthFirst];
            } else {
                return 0;
            }
    }
    redraw(*s);
    return img::kOk;
}

short WINAPI ClearAnnotation(void* control) {
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    AnnoSet* s = find(control);
    if (!s) return img::kNoAnnotationSet;
    s->pages.clear();
    s->editor.cancel();
    s->selected = -1;
    redraw(*s);
    return img::kOk;
}

short WINAPI RubberBandOFF(void* control) {
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    AnnoSet* s = find(control);
    if (!s) return img::kNoAnnotationSet;
    if (s->editor.active()) {
        s->editor.cancel();
        redraw(*s);
    }
    return img::kOk;
}

short WINAPI LoadAnnotation(void* control, short page, const char* file) {
    try {
        if (page < 0) return img::kBadArgument;
        imgwin::MappedFile mapped(file);
        if (mapped.status() != img::kOk) return mapped.status();
        if (mapped.size() > kMaxAnnotationFile) return img::kBadAnnotations;
        img::AnnoPages pages;
        const img::Status st =
            img::parseAnnotations(std::string_view(reinterpret_cast<const char*>(mapped.data()), mapped.size()), pages);
        if (st != img::kOk) return st;
        std::lock_guard<std::recursive_mutex> guard(g_lock);
        AnnoSet& s = setOf(control);
        auto it = pages.find(page);
        s.pages[page] = it == pages.end() ? img::AnnoPage{} : std::move(it->second);
        if (page == s.page) {
            s.editor.cancel();
            s.selected = -1;
        }
        redraw(s);
        return img::kOk;
    } catch (const std::bad_alloc&) {
        return img::kNoMemory;
    } catch (...) {
        return img::kUnknownError;
    }
}

short WINAPI SaveAnnotation(void* control, short page, const char* file) {
    try {
        if (page < 0) return img::kBadArgument;
        if (!imgwin::validFileName(file)) return img::kBadFileName;
        // The file's other pages stay; a file that cannot be read is not replaced.
        img::AnnoPages pages;
        if (GetFileAttributesA(file) != INVALID_FILE_ATTRIBUTES) {
            imgwin::MappedFile mapped(file);
            if (mapped.status() == img::kOk) {
                if (mapped.size() > kMaxAnnotationFile) return img::kBadAnnotations;
                const img::Status st = img::parseAnnotations(
                    std::string_view(reinterpret_cast<const char*>(mapped.data()), mapped.size()), pages);
                if (st != img::kOk) return st;
            } else if (mapped.status() != img::kTruncated) {
                return mapped.status();
            }
        }
        std::string text;
        {
            std::lock_guard<std::recursive_mutex> guard(g_lock);
            AnnoSet& s = setOf(control);
            auto it = s.pages.find(page);
            if (it == s.pages.end() || it->second.empty()) pages.erase(page);
            else pages[page] = it->second;
            text = img::formatAnnotations(pages);
        }
        return imgwin::writeFileAtomic(file, std::vector<uint8_t>(text.begin(), text.end()));
    } catch (const std::bad_alloc&) {
        return img::kNoMemory;
    } catch (...) {
        return img::kUnknownError;
    }
}

}  // extern "C"
