// The published page in a real browser: headless Chromium loads it with a
// stand-in for the viewer control that records every property set and
// method called, and the page's links, slide-show buttons and picture list
// are worked through; the test reads what the stand-in recorded from the
// document Chromium prints after its scripts ran.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>

#include "apptest.h"
#include "forms/stringlist.h"
#include "msgstrs.h"
#include "webpublish.h"

namespace {

using namespace stellwerk;

class PageHost : public PublishHost {
public:
    MaterialSet own, red;
    bool CreateFolder(const std::string&) override { return true; }
    std::optional<FileStamp> Stamp(const std::string&) override { return FileStamp{10, 1}; }
    bool CopyFile(const std::string&, const std::string&) override { return true; }
    bool SaveTile(const std::string&) override { return true; }
    bool ConvertPicture(const std::string&, const std::string&, const PictureSize&) override { return true; }
    MaterialSet LoadScheme(const std::string& file) override { return file.empty() ? own : red; }
};

// Placed first in HEAD: the viewer's stand-in, alerts and errors recorded.
const char kStandIn[] = R"JS(<script>
var calls = [];
window.onerror = function(m) { calls.push("error " + m); };
window.alert = function(m) { calls.push("alert"); };
window.qiv = new Proxy({}, {
  get: function(t, k) {
    if (k in t) return t[k];
    return function() { calls.push(String(k) + "(" + Array.prototype.join.call(arguments, ",") + ")"); };
  },
  set: function(t, k, v) { calls.push(String(k) + "=" + v); t[k] = v; return true; }
});
</script>)JS";

// Placed last in BODY: every link, button and list entry, one line each.
const char kHarness[] = R"JS(<script>
var out = ["load: " + calls.join(" ; ")];
function run(label, f) {
  calls = [];
  try { f(); } catch (e) { calls.push("throw " + e); }
  out.push(label + ": " + calls.join(" ; "));
}
var links = document.querySelectorAll("a");
for (var i = 0; i < links.length; i++) (function(a) {
  var href = a.getAttribute("href");
  if (href.indexOf("JavaScript:") == 0) run("link " + a.textContent, function() { eval(href.substring(11)); });
})(links[i]);
function shown() {
  var sel = document.SlideShowForm.ImageSelector;
  calls.push("show " + document.images.show.getAttribute("src") + " #" + sel.selectedIndex);
}
if (document.SlideShowForm) {
  var buttons = document.SlideShowForm.querySelectorAll("input[type=button]");
  for (var b = 0; b < buttons.length; b++) (function(btn) {
    run("button " + btn.value, function() { btn.click(); shown(); });
  })(buttons[b]);
  run("list 1", function() {
    var sel = document.SlideShowForm.ImageSelector;
    sel.selectedIndex = 1;
    sel.dispatchEvent(new Event("change"));
    shown();
  });
}
var pre = document.createElement("pre");
pre.id = "result";
pre.textContent = out.join("\n");
document.body.appendChild(pre);
</script>)JS";

std::string chromium() {
#ifndef _WIN32  // the browser runs beside the native build only
    for (const char* p : {"/usr/bin/chromium", "/usr/bin/chromium-browser"})
        if (forms::FileExists(p)) return p;
#endif
    return {};
}

std::string unescape(std::string s) {
    const std::pair<const char*, const char*> entities[] = {{"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&amp;", "&"}};
    for (const auto& [from, to] : entities)
        for (size_t at = 0; (at = s.find(from, at)) != std::string::npos; at += std::string(to).size())
            s.replace(at, std::string(from).size(), to);
    return s;
}

class Browser : public ::testing::Test {
protected:
    void SetUp() override {
        browser_ = chromium();
        // CI installs the browser (scripts/setup.sh); a machine without it skips.
        if (browser_.empty()) GTEST_SKIP() << "no chromium";
        SetProgramFolder("C:\\Prog\\");
        forms::StringList& m = MsgLines();
        m.Clear();
        for (int i = 0; i < 230; ++i) m.Add(forms::Format("%03d Text %d", i, i));
        m.SetString(13, "013 Start");
        m.SetString(166, "166 Own materials");
        MatEntry a;
        a.diffuse = 255, a.specular = 0xFFFFFF, a.alpha = 100, a.kDiffuse = 0.4f, a.kAmbient = 0.5f, a.kSpecular = 0.1f;
        host.own.materials = {a};
        host.own.textures = {};
        host.red = host.own;
        host.red.materials[0].diffuse = 0xFF0000;
        host.red.materials[0].alpha = 30;

        o.objectPath = "C:\\Obj\\Chair.qiv";
        o.classId = "138301F1-E2CD-44C4-BD02-DE847F77B26B";
        o.schemeMenu = {{"Own materials", ""}, {"Red <&> 'x'", "C:\\Obj\\Chair.Red.msc"}};
        ViewRecord front;
        front.Name = "Front \"1\"";
        front.Scheme = "Red <&> 'x'";
        front.Eyey = -10, front.Vrpz = 1.5f, front.TanA = 0.5f, front.ZRot = 180, front.XRot = 10, front.Zoom = 1.5f;
        front.Lights = 5, front.BackColor = RGB3(1, 2, 3);
        ViewRecord top = front;
        top.Name = "Top";
        top.Scheme = "Gone";  // no such scheme: no scheme function
        top.Zoom = 2.25f;
        o.views = {front, top};
        o.schemes = {"Own materials"};
        o.slides = {{"C:\\Pics\\a.bmp", "First"}, {"C:\\Pics\\b.bmp", "Second"}, {"C:\\Pics\\c.bmp", "Third"}};
        o.slideDelay = 60;  // no rotation step while the page is read
    }

    // The harness's lines for the page (nothing when the browser failed).
    std::vector<std::string> run(const std::string& page) {
        std::string text = page;
        const size_t head = text.find("<HEAD>");
        const size_t body = text.find("</BODY>");
        if (head == std::string::npos || body == std::string::npos) return {};
        text.insert(body, kHarness);
        text.insert(head + 6, kStandIn);
        const std::string dir = apptest::tempFolder("webpage");
        apptest::writeFile(dir + "page.htm", text);
        const std::string cmd = "timeout 120 " + browser_ +
                                " --headless --no-sandbox --disable-gpu --no-first-run --user-data-dir=" + dir +
                                "profile --dump-dom file://" + dir + "page.htm 2>/dev/null";
        std::string dom;
        if (FILE* p = popen(cmd.c_str(), "r")) {
            char buf[4096];
            size_t n;
            while ((n = fread(buf, 1, sizeof buf, p)) > 0) dom.append(buf, n);
            pclose(p);
        }
        const size_t from = dom.find("<pre id=\"result\">"), to = dom.find("</pre>", from);
        if (from == std::string::npos || to == std::string::npos) return {};
        std::vector<std::string> lines;
        std::string all = unescape(dom.substr(from + 17, to - from - 17));
        for (size_t at = 0; at <= all.size();) {
            const size_t nl = all.find('\n', at);
            lines.push_back(all.substr(at, nl == std::string::npos ? std::string::npos : nl - at));
            if (nl == std::string::npos) break;
            at = nl + 1;
        }
        return lines;
    }

    std::string browser_;
    PageHost host;
    PublishOptions o;
};

TEST_F(Browser, LinksSetViewsAndSchemesOnTheViewer) {
    o.publish = 0;
    const PublishResult r = BuildPage("C:\\Out\\chair.htm", o, host);
    ASSERT_EQ(PublishStatus::Written, r.status);
    const auto lines = run(r.page);
    ASSERT_FALSE(lines.empty()) << "the harness did not report";
    EXPECT_EQ("load: alert", lines[0]) << "the browser check alerts once, no script error";
    const std::string own = "ReplaceMaterial(0,255,16777215,0,0.4,0.5,0.1,0)";
    const std::string red = "ReplaceMaterial(0,16711680,16777215,0.3,0.4,0.5,0.1,0)";
    const std::string frontView =
        "SetViewing3DEx(0,0,1.5,0,-10,0,0.5,0) ; phi=180 ; psi=10 ; zoom=1.5 ; lights=5 ; BackColor=197121 ; "
        "BackPictureURL= ; BackPicMode=0";
    const std::map<std::string, std::string> want = {
        {"link Front \"1\"", frontView + " ; " + red},
        {"link Top",
         "SetViewing3DEx(0,0,1.5,0,-10,0,0.5,0) ; phi=180 ; psi=10 ; zoom=2.25 ; lights=5 ; BackColor=197121 ; "
         "BackPictureURL= ; BackPicMode=0"},
        {"link Own materials", own},
    };
    std::map<std::string, std::string> got;
    for (size_t i = 1; i < lines.size(); ++i) {
        const size_t colon = lines[i].find(": ");
        if (colon != std::string::npos) got[lines[i].substr(0, colon)] = lines[i].substr(colon + 2);
    }
    for (const auto& [label, calls] : want) {
        ASSERT_TRUE(got.count(label)) << "no " << label;
        EXPECT_EQ(calls, got[label]) << label;
    }
    EXPECT_EQ(want.size(), got.size()) << "one line per link";
}

TEST_F(Browser, SlideShowButtonsAndListStepThroughThePictures) {
    o.publish = 1;
    const PublishResult r = BuildPage("C:\\Out\\chair.htm", o, host);
    ASSERT_EQ(PublishStatus::Written, r.status);
    const auto lines = run(r.page);
    ASSERT_FALSE(lines.empty()) << "the harness did not report";
    EXPECT_EQ("load: ", lines[0]) << "no script error";
    // The body's onload shows the first picture before the buttons run.
    const std::vector<std::string> want = {
        "button |<<: show chair_files\\a.jpg #0",
        "button <<: show chair_files\\c.jpg #2",
        "button Start: show chair_files\\a.jpg #0",
        "button >>: show chair_files\\b.jpg #1",
        "button >>|: show chair_files\\c.jpg #2",
        "list 1: show chair_files\\b.jpg #1",
    };
    ASSERT_EQ(want.size() + 1, lines.size());
    for (size_t i = 0; i < want.size(); ++i) EXPECT_EQ(want[i], lines[i + 1]);
}

}  // namespace
