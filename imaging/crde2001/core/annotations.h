// Annotations: lines, rectangles, ellipses, freehand marks and texts over a picture, in
// picture pixels, kept per page; their text file and the editing that makes them.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "status.h"

namespace img {

enum class AnnoKind { Line, Rect, Ellipse, Marker, Text };

struct AnnoPoint {
    int32_t x = 0, y = 0;
    bool operator==(const AnnoPoint&) const = default;
};

struct Annotation {
    AnnoKind kind = AnnoKind::Rect;
    uint8_t red = 255, green = 0, blue = 0;
    int32_t width = 2;   // pen width in picture pixels
    int32_t height = 0;  // texts: character height in picture pixels
    std::vector<AnnoPoint> points;  // two corners; a mark's path; a text's top left
    std::string text;
    bool operator==(const Annotation&) const = default;
};

using AnnoPage = std::vector<Annotation>;
using AnnoPages = std::map<int32_t, AnnoPage>;  // by page, 0-32767

// Limits of a file and of what the editor makes.
constexpr size_t kMaxAnnoPoints = 65536;
constexpr size_t kMaxAnnoPerPage = 100000;
constexpr size_t kMaxAnnoText = 4096;
constexpr int32_t kMaxAnnoCoordinate = 1 << 28;

// The text file: a first line "QivAnnotations 1", then per page a line "page <n>"
// followed by one line per annotation, for example
//   rect colour=255,0,0 width=2 points=10,20;110,80
//   text colour=0,0,255 height=16 points=30,40 text="Hello"
// and a last line "end". Numbers are decimal integers; texts are quoted with \\, \",
// \n and \xHH escapes. A file of a later version or with anything else in it is refused.
constexpr int kAnnoFileVersion = 1;
Status parseAnnotations(std::string_view file, AnnoPages& pages);
std::string formatAnnotations(const AnnoPages& pages);

// Where the picture lies on a device: the whole picture's rectangle there (it may reach
// beyond the window) and the picture's size.
struct AnnoView {
    int32_t destLeft = 0, destTop = 0, destWidth = 0, destHeight = 0;
    int32_t picWidth = 0, picHeight = 0;
    bool valid() const { return destWidth > 0 && destHeight > 0 && picWidth > 0 && picHeight > 0; }
    AnnoPoint toDevice(AnnoPoint p) const;
    AnnoPoint toPicture(AnnoPoint d) const;
    int32_t lengthToDevice(int32_t v) const;  // a pen width or text height
};

// The index of the topmost annotation within `tolerance` picture pixels of p; -1 if none.
int hitTest(const AnnoPage& page, AnnoPoint p, int32_t tolerance);

// Drawing a new annotation with the mouse.
struct AnnoTool {
    AnnoKind kind = AnnoKind::Rect;
    uint8_t red = 255, green = 0, blue = 0;
    int32_t width = 2;
    int32_t textHeight = 16;
    std::string text = "Text";
};

class AnnoEditor {
public:
    AnnoTool tool;
    void press(AnnoPoint p);
    void move(AnnoPoint p);
    // The finished annotation; false when nothing was drawn (a click without a move
    // draws a text, nothing else).
    bool release(AnnoPoint p, Annotation& done);
    void cancel() { active_ = false; }
    bool active() const { return active_; }
    const Annotation& current() const { return current_; }

private:
    bool active_ = false;
    Annotation current_;
};

}  // namespace img
