// Fixed metrics, a window that records what a view asks of it, an image
// list of a given size and a canvas that logs what viewers draw.
#pragma once
#include <map>
#include <string>
#include <vector>

#include "forms/imagelistbase.h"
#include "tbview.h"

namespace tbtest {

using namespace toolbars;

// Every character is 6 pixels wide (7 in bold), cells are 13 high.
struct FakeMetrics : TBMetrics {
    int charWidth = 6, boldWidth = 7, height = 13, leading = 0, checkMark = 13;
    int TextWidth(const std::string& text, bool bold) override { return int(text.size()) * (bold ? boldWidth : charWidth); }
    int TextHeight(bool) override { return height; }
    int ExternalLeading(bool) override { return leading; }
    int CheckMarkWidth() override { return checkMark; }
};

struct FakeWindow : TBViewWindow {
    FakeMetrics metrics;
    std::vector<Rect> invalid;
    int updates = 0;
    int width = 0, height = 0;
    std::map<int, int> timers;  // id -> ms
    struct ControlState {
        bool shown = true;
        int w = 40, h = 20;
        Rect bounds;
    };
    std::map<forms::Component*, ControlState> controls;

    TBMetrics& Metrics() override { return metrics; }
    void InvalidateRect(const Rect& r) override { invalid.push_back(r); }
    void Update() override { ++updates; }
    void SetClientSize(int w, int h) override { width = w, height = h; }
    int ClientWidth() override { return width; }
    int ClientHeight() override { return height; }
    uint32_t BackgroundRGB() override { return 0xC0C0C0; }
    uint32_t SysColorRGB(TBColor c) override { return c == TBColor::GrayText ? 0x808080 : c == TBColor::BtnFace ? 0xC0C0C0 : 0; }
    void StartTimer(int id, int ms) override { timers[id] = ms; }
    void StopTimer(int id) override { timers.erase(id); }
    bool ControlInfo(forms::Component* c, int& w, int& h) override {
        auto it = controls.find(c);
        if (it == controls.end() || !it->second.shown) return false;
        w = it->second.w;
        h = it->second.h;
        return true;
    }
    void SetControlBounds(forms::Component* c, const Rect& r) override { controls[c].bounds = r; }
};

struct FakeImages : forms::CustomImageList {
    FakeImages(int w, int h) : CustomImageList(nullptr, w, h) {}
    int Count() const override { return 10; }
    void Resize(int w, int h) {
        w_ = w;
        h_ = h;
        Changed();
    }
};

// Logs each drawing call as one line.
struct LogCanvas : TBCanvas {
    std::vector<std::string> log;
    int ox = 0, oy = 0;
    static std::string rect(const Rect& r) {
        return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
               std::to_string(r.bottom);
    }
    void SetOrigin(int x, int y) override { ox = x, oy = y; }
    void FillRect(const Rect& r, TBColor c) override { log.push_back("fill " + rect(r) + " c" + std::to_string(int(c))); }
    void FillDither(const Rect& r) override { log.push_back("dither " + rect(r)); }
    void DrawEdge(const Rect& r, unsigned edge, unsigned flags) override {
        log.push_back("edge " + rect(r) + " e" + std::to_string(edge) + " f" + std::to_string(flags));
    }
    void DrawText(const std::string& t, const Rect& r, unsigned f, TBColor c) override {
        log.push_back("text " + t + " " + rect(r) + " c" + std::to_string(int(c)) + ((f & tbDtHidePrefix) ? " hide" : ""));
    }
    void DrawRotatedText(const std::string& t, const Rect& r, unsigned, TBColor c) override {
        log.push_back("rtext " + t + " " + rect(r));
    }
    void DrawImage(forms::CustomImageList*, int index, int x, int y, bool enabled, bool, bool) override {
        log.push_back("image " + std::to_string(index) + " at " + std::to_string(x) + "," + std::to_string(y) +
                      (enabled ? "" : " disabled"));
    }
    void Polyline(const std::vector<TBPoint>&, TBColor c) override { log.push_back("polyline c" + std::to_string(int(c))); }
    void FillPolygon(const std::vector<TBPoint>&, TBColor c) override { log.push_back("arrow c" + std::to_string(int(c))); }
    void DrawMenuArrow(const Rect& r, TBColor) override { log.push_back("menuarrow " + rect(r)); }
    uint32_t ColorRGB(TBColor) override { return 0; }
    bool has(const std::string& prefix) const {
        for (const auto& l : log)
            if (l.rfind(prefix, 0) == 0) return true;
        return false;
    }
};

// Makes an item with a caption as a child of parent.
template <class T = TTBItem>
T* child(TTBCustomItem* parent, const std::string& caption = {}) {
    auto* it = new T(nullptr);
    it->SetCaption(caption);
    parent->Add(it);
    return it;
}

}  // namespace tbtest
