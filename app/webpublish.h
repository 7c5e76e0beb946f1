#pragma once
// The web page of the open object: the viewer control in an OBJECT element,
// script functions that set saved views and material schemes on it, a
// table of links that call them, and a slide show of converted pictures,
// with a companion folder "<page name>_files" beside the page.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "schemes.h"
#include "viewsfile.h"

namespace stellwerk {

struct SchemeMenuEntry {
    std::string caption;
    std::string file;  // empty for item 0, the object's own materials
};

struct SlidePicture {
    std::string file;     // full path of the source picture
    std::string caption;  // its base name at first
};

struct PictureSize {
    bool resize = false;
    int width = 640, height = 480;  // 0: follows the other with the aspect kept
    bool keepAspect = true;
};

struct PublishOptions {
    std::string objectPath;  // local path of the object file
    int publish = 2;         // 0 views and schemes, 1 pictures, 2 both
    std::vector<std::string> schemes;  // checked scheme captions, in list order
    std::vector<ViewRecord> views;     // the saved views at the checked positions
    std::vector<SchemeMenuEntry> schemeMenu;
    int viewerWidth = 640, viewerHeight = 480;
    bool hideControls = false;  // the main viewer's HideControls
    std::string classId;        // the control's class identifier without braces
    int slideDelay = 3;         // seconds
    std::vector<SlidePicture> slides;
    std::string pictureExt = ".jpg";
    PictureSize pictureSize;
    std::string makerAddress = "www.stellwerk.example";
    std::string homePage = "http://www.stellwerk.example/";
};

struct FileStamp {
    uint64_t size = 0;
    int64_t modified = 0;  // any monotonic time unit
};
// A copy is made when there is none, or when the source is newer or of
// another size than the copy.
bool NeedsCopy(const std::optional<FileStamp>& source, const std::optional<FileStamp>& copy);

// What publishing needs of the platform and of the main form.
class PublishHost {
public:
    virtual ~PublishHost() = default;
    virtual bool CreateFolder(const std::string& folder) = 0;  // with every missing parent
    virtual std::optional<FileStamp> Stamp(const std::string& file) = 0;
    virtual bool CopyFile(const std::string& from, const std::string& to) = 0;
    // The main form's tile picture as a BMP file.
    virtual bool SaveTile(const std::string& file) = 0;
    virtual bool ConvertPicture(const std::string& from, const std::string& to, const PictureSize& size) = 0;
    // The scheme file read over the object's own materials (empty file: the
    // object's own), without touching the main form's lists.
    virtual MaterialSet LoadScheme(const std::string& file) = 0;
};

enum class PublishStatus { Written, NoObject, NothingToPublish, WriteFailed };
struct PublishResult {
    PublishStatus status = PublishStatus::NoObject;
    std::string page;  // the page's text (CR LF lines)
};

// "<page base name>_files\" and the folder beside the page.
std::string CompanionFolderName(const std::string& pagePath);
// Writes the page (through a temporary file) and its companion folder.
// Nothing to publish gives message 227 to the caller.
PublishResult PublishPage(const std::string& pagePath, const PublishOptions& options, PublishHost& host);
// The page's text alone (the host still copies and converts).
PublishResult BuildPage(const std::string& pagePath, const PublishOptions& options, PublishHost& host);

// Texts placed in HTML and in script strings.
std::string HtmlEscape(const std::string& text);
std::string ScriptEscape(const std::string& text);

// The size boxes: a positive integer, else the default.
int SizeBoxValue(const std::string& text, int def);
// The resize group: mode 0 proportional width, 1 proportional height, 2
// fixed width and height.
PictureSize SlidePictureSize(bool resizeAll, int mode, const std::string& width, const std::string& height);
// Adds the files to the picture list unless a row has the same base name
// (letter case ignored).
void AddSlidePictures(std::vector<SlidePicture>& rows, const std::vector<std::string>& files);

}  // namespace stellwerk
