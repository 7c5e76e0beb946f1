#include "webpublish.h"

#include <charconv>
#include <cmath>

#include "filenames.h"
#include "forms/fileio.h"
#include "forms/textutil.h"
#include "msgstrs.h"

namespace stellwerk {

namespace {

constexpr const char* kPlayer = "qiv";
// Message texts of the page.
constexpr int kTxtPubCodebase = 1;
constexpr int kTxtPubBrowser = 2;
constexpr int kTxtPubBrowserMore = 3;
constexpr int kTxtPubJava = 4;
constexpr int kTxtPubObject = 9;
constexpr int kTxtPubSlideShow = 10;
constexpr int kTxtPubFirst = 11;
constexpr int kTxtPubPrevious = 12;
constexpr int kTxtPubStart = 13;
constexpr int kTxtPubNext = 14;
constexpr int kTxtPubLast = 15;
constexpr int kTxtPubStartStop = 16;
constexpr int kTxtPubViews = 17;
constexpr int kTxtPubSchemes = 18;
constexpr int kTxtOwnMaterials = 166;

// "%f" in the invariant format.
std::string fixed6(double v) {
    if (!std::isfinite(v)) v = 0;
    char buf[400];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 6);
    return ec == std::errc() ? std::string(buf, end) : "0.000000";
}

class Page {
public:
    void line(int level, const std::string& text = {}) {
        out_.append(size_t(level) * 3, ' ');
        out_ += text;
        out_ += "\r\n";
    }
    std::string take() { return std::move(out_); }

private:
    std::string out_;
};

struct NamedFunction {
    std::string name, function;
};

const NamedFunction* findName(const std::vector<NamedFunction>& list, const std::string& name) {
    for (const auto& f : list)
        if (forms::SameText(f.name, name)) return &f;
    return nullptr;
}

class Publisher {
public:
    Publisher(const std::string& pagePath, const PublishOptions& o, PublishHost& host)
        : o_(o), host_(host), folderName_(CompanionFolderName(pagePath)), folder_(FolderOf(pagePath) + folderName_) {}

    std::string build();

private:
    std::string msg(int n) const { return HtmlEscape(GetMsgText(n)); }
    // Copied into the companion folder when needed; the reference the page uses.
    std::string copyReference(const std::string& file);
    void copyIn(const std::string& file);
    const NamedFunction* schemeFunction(const std::string& name);
    void viewFunction(const ViewRecord& v, const std::string& function, const NamedFunction* scheme);
    void head();
    void slideScript();
    void viewerBlock();
    void linkTable();
    void slideForm();

    const PublishOptions& o_;
    PublishHost& host_;
    std::string folderName_, folder_;
    Page p_;
    bool views_ = false, pictures_ = false;
    std::vector<NamedFunction> schemeFunctions_, viewFunctions_;
    std::vector<std::string> published_;
};

void Publisher::copyIn(const std::string& file) {
    if (file.empty()) return;
    const std::string target = folder_ + FileNameOf(file);
    if (forms::SameText(target, file)) return;
    if (NeedsCopy(host_.Stamp(file), host_.Stamp(target))) host_.CopyFile(file, target);
}

std::string Publisher::copyReference(const std::string& file) {
    copyIn(file);
    return ReplaceAll(folderName_ + FileNameOf(file), "\\", "//");
}

const NamedFunction* Publisher::schemeFunction(const std::string& name) {
    if (const NamedFunction* f = findName(schemeFunctions_, name)) return f;
    std::string file;
    std::string registered = name;
    bool found = false;
    for (const auto& item : o_.schemeMenu)
        if (forms::SameText(item.caption, name)) {
            file = item.file;
            found = true;
            break;
        }
    // A view without a scheme shows the object's own materials; a scheme that
    // is gone has them written under their label once, but no view calls them.
    const bool called = found || name.empty();
    if (!found) {
        registered = GetMsgText(kTxtOwnMaterials);
        if (const NamedFunction* f = findName(schemeFunctions_, registered)) return called ? f : nullptr;
    }
    const MaterialSet own = host_.LoadScheme("");
    const MaterialSet set = file.empty() ? own : host_.LoadScheme(file);
    const std::string function = forms::Format("stellwerk_schemem_%d()", int(schemeFunctions_.size()));
    schemeFunctions_.push_back({registered, function});
    p_.line(3, "function " + function + "{");
    for (size_t i = 0; i < set.materials.size(); ++i) {
        const MatEntry& m = set.materials[i];
        const double alpha = m.alpha == 100 ? 0 : m.alpha / 100.0;
        p_.line(4, forms::Format("%s%s(%d,%d,%d,", kPlayer, ".ReplaceMaterial", int(i), int(m.diffuse & 0xFFFFFF),
                                 int(m.specular & 0xFFFFFF)) +
                       fixed6(alpha) + "," + fixed6(m.kDiffuse) + "," + fixed6(m.kAmbient) + "," +
                       fixed6(m.kSpecular) + "," + std::to_string(int32_t(m.flags)) + ");");
    }
    for (size_t i = 0; i < set.textures.size(); ++i) {
        const std::string& name = set.textures[i];
        const bool own_ = i < own.textures.size() && forms::SameText(name, own.textures[i]);
        const std::string ref = own_ ? name : name.empty() ? std::string() : copyReference(name);
        p_.line(4, forms::Format("%s%s(%d,\"", kPlayer, ".ReplaceTexture", int(i)) + ScriptEscape(ref) + "\");");
    }
    p_.line(3, "}");
    p_.line(3);
    return called ? &schemeFunctions_.back() : nullptr;
}

void Publisher::viewFunction(const ViewRecord& v, const std::string& function, const NamedFunction* scheme) {
    const uint32_t flags = ViewFlags(v);
    p_.line(3, "function " + function + "{");
    p_.line(4, "qiv.SetViewing3DEx(" + FloatText(v.Vrpx) + "," + FloatText(v.Vrpy) + "," + FloatText(v.Vrpz) + "," +
                   FloatText(v.Eyex) + "," + FloatText(v.Eyey) + "," + FloatText(v.Eyez) + "," + FloatText(v.TanA) +
                   ((flags & kViewParallel) ? ",1);" : ",0);"));
    p_.line(4, "qiv.phi = " + FloatText(v.ZRot) + ";");
    p_.line(4, "qiv.psi = " + FloatText(v.XRot) + ";");
    p_.line(4, "qiv.zoom = " + FloatText(v.Zoom) + ";");
    p_.line(4, "qiv.lights = " + std::to_string(flags & 31) + ";");
    p_.line(4, "qiv.BackColor = " + std::to_string(v.BackColor & 0xFFFFFF) + ";");
    if (v.BackImage.empty()) {
        p_.line(4, "qiv.BackPictureURL = \"\";");
        p_.line(4, "qiv.BackPicMode = 0;");
    } else {
        p_.line(4, "qiv.BackPictureURL = \"" + ScriptEscape(copyReference(v.BackImage)) + "\";");
        if (flags & kViewTiled) {
            p_.line(4, "qiv.BackPicMode = 2;");
            p_.line(4, "qiv.BackPicOffsetX = " + std::to_string(v.TileOffsetX) + ";");
            p_.line(4, "qiv.BackPicOffsetY = " + std::to_string(v.TileOffsetY) + ";");
        } else {
            p_.line(4, "qiv.BackPicMode = 1;");
        }
    }
    if (scheme) p_.line(4, scheme->function + ";");
    p_.line(3, "}");
    p_.line(0);
}

void Publisher::head() {
    p_.line(0, "<!---   DOCUMENT GENERATED BY stellwerk!.   ---!>");
    p_.line(0, "<HTML>");
    p_.line(1, "<HEAD>");
    p_.line(2, "<TITLE>" + HtmlEscape(o_.makerAddress) + " -- Stellwerk!</TITLE>");
    p_.line(1);
    if (views_) {
        p_.line(2, "<SCRIPT LANGUAGE=JavaScript>");
        p_.line(3, "if ((navigator.appName==\"Microsoft Internet Explorer\") ||");
        p_.line(4, "((navigator.appName==\"Netscape\") && (parseInt(navigator.appVersion)<=4))){");
        p_.line(5, "if (!navigator.javaEnabled())");
        p_.line(6, "alert(\"" + ScriptEscape(GetMsgText(kTxtPubJava)) + "\");");
        p_.line(3, "} else {");
        p_.line(4, "alert(\"" + ScriptEscape(GetMsgText(kTxtPubBrowser)) + "\\n" +
                       ScriptEscape(GetMsgText(kTxtPubBrowserMore)) + "\");");
        p_.line(3, "}");
        p_.line(2, "</SCRIPT>");
    }
    if (pictures_) slideScript();
    if (views_) {
        p_.line(2, "<SCRIPT LANGUAGE=javascript>");
        for (const auto& s : o_.schemes) {
            published_.push_back(s);
            schemeFunction(s);
        }
        for (const auto& v : o_.views) {
            const std::string function = forms::Format("stellwerk_view_%d()", int(viewFunctions_.size()));
            viewFunctions_.push_back({v.Name, function});
            const NamedFunction* scheme = schemeFunction(v.Scheme);
            viewFunction(v, function, scheme);
        }
        p_.line(2, "</SCRIPT>");
        if (!viewFunctions_.empty()) {
            p_.line(2, forms::Format("<SCRIPT LANGUAGE=javascript FOR=%s EVENT=ObjectLoaded>", kPlayer));
            p_.line(3, viewFunctions_.front().function);
            p_.line(2, "</SCRIPT>");
            p_.line(0);
        }
    }
    p_.line(1, "</HEAD>");
}

void Publisher::slideScript() {
    p_.line(2, "<SCRIPT LANGUAGE=JavaScript>");
    p_.line(3, "var rotate_delay = " + std::to_string(int64_t(o_.slideDelay) * 1000) + ";");
    p_.line(3, "current = 0;");
    p_.line(1);
    const std::vector<std::vector<std::string>> functions = {
        {"function setcurrent(newcurrent){", "current = newcurrent;",
         "document.images.show.src = document.SlideShowForm.ImageSelector[current].value;",
         "document.SlideShowForm.ImageSelector.selectedIndex = current;"},
        {"function next() {",
         "setcurrent((current == document.SlideShowForm.ImageSelector.length-1) ? 0 : current+1);"},
        {"function previous() {",
         "setcurrent((current == 0) ? document.SlideShowForm.ImageSelector.length-1 : current-1);"},
        {"function first() {", "setcurrent(0);"},
        {"function last() {", "setcurrent(document.SlideShowForm.ImageSelector.length-1);"},
        {"function ap(text) {", "document.SlideShowForm.slidebutton.value = (text == \"Stop\") ? \"Start\" : \"Stop\";",
         "rotate();"},
        {"function change() {", "setcurrent(document.SlideShowForm.ImageSelector.selectedIndex);"},
    };
    for (const auto& f : functions) {
        p_.line(3, f[0]);
        for (size_t i = 1; i < f.size(); ++i) p_.line(4, f[i]);
        p_.line(3, "}");
        p_.line(1);
    }
    p_.line(3, "function rotate() {");
    p_.line(4, "if (document.SlideShowForm.slidebutton.value == \"Stop\") {");
    p_.line(5, "next();");
    p_.line(5, "window.setTimeout(\"rotate()\", rotate_delay);");
    p_.line(4, "}");
    p_.line(3, "}");
    p_.line(1);
    p_.line(2, "</script>");
}

void Publisher::viewerBlock() {
    const std::string cell = "<p style=\"margin-top: 0; margin-bottom: 0\">&nbsp;</td>";
    p_.line(1, "<div align=\"center\">");
    p_.line(2, "<center>");
    p_.line(2, "<table border=\"0\" cellpadding=\"0\" cellspacing=\"0\" style=\"border-collapse: collapse\" "
               "bordercolor=\"#111111\" width=\"512\" bgcolor=\"#73176C\">");
    p_.line(3, "<tr>");
    p_.line(4, "<td height=\"1%\">");
    p_.line(5, "<p align=\"center\" style=\"margin-top: 0; margin-bottom: 0\"><b>");
    p_.line(5, "<font size=\"2\" color=\"#FFFFFF\" face=\"Verdana\">" + msg(kTxtPubObject) + " " +
                   HtmlEscape(BaseNameOf(o_.objectPath)) + "</font></b>");
    p_.line(4, "</td>");
    p_.line(3, "</tr>");
    p_.line(3, "<tr>");
    p_.line(4, "<td bgcolor=\"#CC99FF\">");
    p_.line(5, cell);
    p_.line(3, "</tr>");
    p_.line(3, "<tr>");
    p_.line(4, "<td bgcolor=\"#CC99FF\">");
    p_.line(5, "<p style=\"margin-top: 0; margin-bottom: 0\" align=\"center\">");
    p_.line(6, "<font size=\"1\" face=\"Verdana\">");
    p_.line(7, "<OBJECT CLASSID=\"CLSID:" + HtmlEscape(o_.classId) + "\"");
    p_.line(8, "CODEBASE=\"" + msg(kTxtPubCodebase) + "\"");
    p_.line(8, forms::Format("NAME=%s ID=%s width=%d height=%d align=center>", kPlayer, kPlayer, o_.viewerWidth,
                             o_.viewerHeight));
    p_.line(9, "<PARAM NAME=ObjectURL VALUE=\"" + HtmlEscape(copyReference(o_.objectPath)) + "\">");
    p_.line(9, "<PARAM NAME=LOADOBJECTMENUENABLED VALUE=\"0\">");
    p_.line(9, "<PARAM NAME=FILTER VALUE=\"0\">");
    if (!o_.hideControls) p_.line(9, "<PARAM NAME=HIDECONTROLS VALUE=\"0\">");
    p_.line(7, "</OBJECT>");
    p_.line(6, "</font></td>");
    p_.line(3, "</tr>");
    p_.line(3, "<tr>");
    p_.line(4, "<td bgcolor=\"#CC99FF\">&nbsp;</td>");
    p_.line(3, "</tr>");
    p_.line(3, "<tr>");
    p_.line(4, "<td height=\"1%\">");
    p_.line(5, cell);
    p_.line(3, "</tr>");
    p_.line(2, "</table>");
    p_.line(2, "</center>");
    p_.line(1, "</div>");
    p_.line(1);
}

void Publisher::linkTable() {
    const size_t rows = std::max(viewFunctions_.size(), published_.size());
    if (rows == 0) return;
    const bool hasViews = !viewFunctions_.empty(), hasSchemes = !published_.empty();
    const int columns = hasViews && hasSchemes ? 2 : 1;
    const std::string td = "<td bgcolor=\"#FFFF99\" width=\"50%\" align=\"center\" height=\"18\">";
    auto spanRow = [&] {
        p_.line(5, "<tr>");
        p_.line(6, forms::Format("<td height=\"18\" colspan=\"%d\" align=\"center\">", columns));
        p_.line(7, "<p style=\"margin-top: 0; margin-bottom: 0\">&nbsp;</td>");
        p_.line(5, "</tr>");
    };
    p_.line(1, "<p style=\"margin-top: 0; margin-bottom: 0\">&nbsp;</p>");
    p_.line(2, "<div align=\"center\">");
    p_.line(3, "<center>");
    p_.line(4, "<table border=\"0\" cellpadding=\"0\" cellspacing=\"0\" style=\"border-collapse: collapse\" "
               "bordercolor=\"#111111\" width=\"320\" bgcolor=\"#FBE14D\">");
    spanRow();
    p_.line(5, "<tr>");
    for (int heading : {kTxtPubViews, kTxtPubSchemes}) {
        if ((heading == kTxtPubViews && !hasViews) || (heading == kTxtPubSchemes && !hasSchemes)) continue;
        p_.line(6, td);
        p_.line(7, "<p style=\"margin-top: 0; margin-bottom: 0\"><b>");
        p_.line(8, "<font size=\"1\" face=\"Verdana\">" + msg(heading) + "</font></b></td>");
    }
    p_.line(5, "</tr>");
    auto linkCell = [&](const std::string* name, const std::string* function) {
        p_.line(6, td);
        p_.line(7, "<p style=\"margin-top: 0; margin-bottom: 0\"><font size=\"1\" face=\"Verdana\">");
        if (name && function)
            p_.line(8, "<a href=\"JavaScript:" + HtmlEscape(*function) + "\">" + HtmlEscape(*name) +
                           "</a></font></td>");
        else
            p_.line(8, "&nbsp;</font></td>");
    };
    for (size_t i = 0; i < rows; ++i) {
        p_.line(5, "<tr>");
        if (hasViews) {
            const bool has = i < viewFunctions_.size();
            linkCell(has ? &viewFunctions_[i].name : nullptr, has ? &viewFunctions_[i].function : nullptr);
        }
        if (hasSchemes) {
            const NamedFunction* f = i < published_.size() ? findName(schemeFunctions_, published_[i]) : nullptr;
            linkCell(f ? &published_[i] : nullptr, f ? &f->function : nullptr);
        }
        p_.line(5, "</tr>");
    }
    spanRow();
    p_.line(4, "</table>");
    p_.line(3, "</center>");
    p_.line(2, "</div>");
    p_.line(1);
}

void Publisher::slideForm() {
    p_.line(2, "<center>");
    p_.line(3, "<form name=SlideShowForm>");
    p_.line(4, "<table border=\"0\" cellpadding=\"0\" cellspacing=\"0\" style=\"border-collapse: collapse\" "
               "bordercolor=\"#111111\" bgcolor=\"#73176C\">");
    p_.line(5, "<tr>");
    p_.line(6, "<td align=center>");
    p_.line(6, "<font size=\"2\" color=\"#FFFFFF\" face=\"Verdana\"><b>" + msg(kTxtPubSlideShow) + "</b></font>");
    p_.line(6, "</td>");
    p_.line(5, "</tr>");
    p_.line(5, "<tr>");
    p_.line(6, "<td align=center width=100 height=100>");
    p_.line(7, "<img name=\"show\">");
    p_.line(6, "</td>");
    p_.line(5, "</tr>");
    p_.line(5, "<tr>");
    p_.line(6, "<td align=center bgcolor=\"#FBE14D\">");
    p_.line(7, "<select name=\"ImageSelector\" onChange=\"change();\">");
    for (const auto& s : o_.slides) {
        const std::string name = BaseNameOf(s.file) + o_.pictureExt;
        host_.ConvertPicture(s.file, folder_ + name, o_.pictureSize);
        p_.line(8, "<option value=\"" + HtmlEscape(folderName_ + name) + "\">" + HtmlEscape(s.caption));
    }
    p_.line(7, "</select>");
    p_.line(6, "</td>");
    p_.line(5, "</tr>");
    p_.line(5, "<tr>");
    p_.line(6, "<td align=center bgcolor=\"#FBE14D\">");
    p_.line(7, "<input type=button onClick=\"first();\" value=\"|&lt;&lt;\" title=\"" + msg(kTxtPubFirst) + "\">");
    p_.line(7, "<input type=button onClick=\"previous();\" value=\"&lt;&lt;\" title=\"" + msg(kTxtPubPrevious) + "\">");
    p_.line(7, "<input type=button name=\"slidebutton\" onClick=\"ap(this.value);\" value=\"" + msg(kTxtPubStart) +
                   "\" title=\"" + msg(kTxtPubStartStop) + "\">");
    p_.line(7, "<input type=button onClick=\"next();\" value=\"&gt;&gt;\" title=\"" + msg(kTxtPubNext) + "\">");
    p_.line(7, "<input type=button onClick=\"last();\" value=\"&gt;&gt;|\" title=\"" + msg(kTxtPubLast) + "\">");
    p_.line(6, "</td>");
    p_.line(5, "</tr>");
    p_.line(4, "</table>");
    p_.line(3, "</form>");
    p_.line(2, "</center>");
}

std::string Publisher::build() {
    views_ = o_.publish == 0 || o_.publish == 2;
    pictures_ = (o_.publish == 1 || o_.publish == 2) && !o_.slides.empty();
    head();
    host_.SaveTile(folder_ + "Tile.bmp");
    p_.line(1, "<BODY background=\"" + HtmlEscape(folderName_) + "\\Tile.bmp\" " +
                   (pictures_ ? "onload=\"first()\"" : " ") + ">");
    if (views_) {
        viewerBlock();
        linkTable();
    }
    if (pictures_) slideForm();
    p_.line(1, "<p style=\"margin-top: 0; margin-bottom: 0\">&nbsp;</p>");
    p_.line(1, "<p style=\"margin-top: 0; margin-bottom: 0\" align=\"center\">");
    p_.line(2, "<font size=\"2\" face=\"Verdana\"><a href=\"" + HtmlEscape(o_.homePage) + "\" TARGET=\"_blank\">");
    p_.line(3, "Stellwerk Home</a></font></p>");
    p_.line(1, "</BODY>");
    p_.line(0, "</HTML>");
    return p_.take();
}

}  // namespace

bool NeedsCopy(const std::optional<FileStamp>& source, const std::optional<FileStamp>& copy) {
    if (!source) return false;
    if (!copy) return true;
    return source->modified > copy->modified || source->size != copy->size;
}

std::string CompanionFolderName(const std::string& pagePath) { return BaseNameOf(pagePath) + "_files\\"; }

PublishResult BuildPage(const std::string& pagePath, const PublishOptions& options, PublishHost& host) {
    PublishResult r;
    if (options.objectPath.empty()) return r;
    const bool views = options.publish == 0 || options.publish == 2;
    const bool pictures = (options.publish == 1 || options.publish == 2) && !options.slides.empty();
    if (!views && !pictures) {
        r.status = PublishStatus::NothingToPublish;
        return r;
    }
    host.CreateFolder(FolderOf(pagePath) + CompanionFolderName(pagePath));
    r.page = Publisher(pagePath, options, host).build();
    r.status = PublishStatus::Written;
    return r;
}

PublishResult PublishPage(const std::string& pagePath, const PublishOptions& options, PublishHost& host) {
    PublishResult r = BuildPage(pagePath, options, host);
    if (r.status == PublishStatus::Written && !forms::WriteFileAtomically(pagePath, r.page))
        r.status = PublishStatus::WriteFailed;
    return r;
}

std::string HtmlEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string ScriptEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\'': out += "\\'"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '<': out += "\\x3C"; break;  // no "</script>" inside a string
        case '>': out += "\\x3E"; break;
        case '&': out += "\\x26"; break;
        default:
            if (static_cast<unsigned char>(c) < ' ')
                out += forms::Format("\\x%02X", unsigned(static_cast<unsigned char>(c)));
            else
                out += c;
        }
    }
    return out;
}

int SizeBoxValue(const std::string& text, int def) {
    const auto v = forms::ToInt(text);
    return v && *v > 0 ? *v : def;
}

PictureSize SlidePictureSize(bool resizeAll, int mode, const std::string& width, const std::string& height) {
    PictureSize s;
    s.resize = resizeAll;
    if (!resizeAll) return s;
    s.width = SizeBoxValue(width, 640);
    s.height = SizeBoxValue(height, 480);
    s.keepAspect = mode != 2;
    if (mode == 0) s.height = 0;
    if (mode == 1) s.width = 0;
    return s;
}

void AddSlidePictures(std::vector<SlidePicture>& rows, const std::vector<std::string>& files) {
    for (const auto& f : files) {
        const std::string base = BaseNameOf(f);
        bool taken = false;
        for (const auto& r : rows) taken = taken || forms::SameText(BaseNameOf(r.file), base);
        if (!taken) rows.push_back({f, base});
    }
}

}  // namespace stellwerk
