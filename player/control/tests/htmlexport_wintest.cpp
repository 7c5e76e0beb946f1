// The HTML export of the sited control read back through the clipboard: "HTML Format" with
// its offsets, the OBJECT's and EMBED's parameters against the control's properties, the
// Outlook style's data decoded to the persisted stream, the dialogs that ask for the URL,
// a clipboard held elsewhere, and the viewer's menu entries.
#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "dispids.h"
#include "languages.h"
#include "persiststream.h"
#include "qiv_sample.h"
#include "render/sample.h"
#include "sitedcontrol.h"

namespace {

using Params = std::vector<std::pair<std::string, std::string>>;

std::string clipboardBytes(UINT format) {
    std::string out;
    if (!OpenClipboard(nullptr)) return out;
    if (HANDLE h = GetClipboardData(format))
        if (const char* p = static_cast<const char*>(GlobalLock(h))) {
            out = std::string(p, strnlen(p, GlobalSize(h)));
            GlobalUnlock(h);
        }
    CloseClipboard();
    return out;
}

UINT htmlFormat() { return RegisterClipboardFormatA("HTML Format"); }

void putMarker(HWND owner) {
    ASSERT_TRUE(OpenClipboard(owner));
    EmptyClipboard();
    HGLOBAL g = GlobalAlloc(GMEM_MOVEABLE, 7);
    std::memcpy(GlobalLock(g), "marker", 7);
    GlobalUnlock(g);
    SetClipboardData(CF_TEXT, g);
    CloseClipboard();
}

std::string unescape(std::string s) {
    static const std::pair<const char*, const char*> entities[] = {
        {"&quot;", "\""}, {"&lt;", "<"}, {"&gt;", ">"}, {"&amp;", "&"}};
    for (const auto& [from, to] : entities)
        for (size_t p; (p = s.find(from)) != std::string::npos;) s.replace(p, std::strlen(from), to);
    return s;
}

// "<PARAM NAME=n VALUE=v>" of the OBJECT and "PARAM_n=v" of the EMBED, in order.
Params objectParams(const std::string& html) {
    Params out;
    for (size_t p = 0; (p = html.find("<PARAM NAME=", p)) != std::string::npos;) {
        p += 12;
        size_t v = html.find(" VALUE=", p), e = html.find(">\r\n", p);
        out.emplace_back(html.substr(p, v - p), html.substr(v + 7, e - v - 7));
    }
    return out;
}
Params embedParams(const std::string& html) {
    Params out;
    for (size_t p = html.find("<EMBED"); (p = html.find("PARAM_", p)) != std::string::npos;) {
        p += 6;
        size_t eq = html.find('=', p), e = html.find("\r\n", p);
        out.emplace_back(html.substr(p, eq - p), html.substr(eq + 1, e - eq - 1));
    }
    return out;
}

size_t headerValue(const std::string& fmt, const char* key) {
    size_t p = fmt.find(key);
    return p == std::string::npos ? 0 : size_t(std::strtoul(fmt.c_str() + p + std::strlen(key), nullptr, 10));
}

// What a parameter should say for the property of that name, read as a host reads it.
std::string expectedText(IDispatch* d, const std::string& name) {
    const qivctl::PersistProperty* row = qivctl::persistPropertyByName(name);
    if (!row) return "<not a persisted property>";
    DISPPARAMS none{};
    VARIANT v;
    VariantInit(&v);
    if (FAILED(d->Invoke(row->dispid, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &v, nullptr, nullptr)))
        return "<get failed>";
    char buf[128];
    std::string out;
    switch (row->type) {
        case qivctl::PersistType::Long:
            std::snprintf(buf, sizeof buf, "%d", v.vt == VT_UI4 ? int(v.ulVal) : (VariantChangeType(&v, &v, 0, VT_I4), int(v.lVal)));
            out = buf;
            break;
        case qivctl::PersistType::Float:
            VariantChangeType(&v, &v, 0, VT_R4);
            std::snprintf(buf, sizeof buf, "%.6f", v.fltVal);
            out = buf;
            break;
        case qivctl::PersistType::Bool:
            out = v.boolVal ? "true" : "false";
            break;
        case qivctl::PersistType::String: {
            int n = WideCharToMultiByte(CP_UTF8, 0, v.bstrVal, int(SysStringLen(v.bstrVal)), nullptr, 0, nullptr, nullptr);
            std::string s(size_t(n), '\0');
            WideCharToMultiByte(CP_UTF8, 0, v.bstrVal, int(SysStringLen(v.bstrVal)), s.data(), n, nullptr, nullptr);
            out = "\"" + s + "\"";
            break;
        }
    }
    VariantClear(&v);
    return out;
}

// Answers the next dialog of this thread: reads the URL field, types text into it, and
// presses OK or Cancel.
struct DialogAnswer {
    bool seen = false;
    std::wstring proposed, type;
    bool ok = true;
    UINT_PTR timer = 0;
};
DialogAnswer* g_answer = nullptr;

BOOL CALLBACK findDialog(HWND w, LPARAM out) {
    wchar_t cls[16] = {};
    GetClassNameW(w, cls, 16);
    if (IsWindowVisible(w) && std::wcscmp(cls, L"#32770") == 0) {
        *reinterpret_cast<HWND*>(out) = w;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK answerDialog(HWND, UINT, UINT_PTR, DWORD) {
    HWND dlg = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), findDialog, reinterpret_cast<LPARAM>(&dlg));
    if (!dlg || !g_answer || g_answer->seen) return;
    g_answer->seen = true;
    if (HWND edit = GetDlgItem(dlg, 234)) {
        wchar_t text[512] = {};
        GetWindowTextW(edit, text, 512);
        g_answer->proposed = text;
        SetWindowTextW(edit, g_answer->type.c_str());
    }
    PostMessageW(dlg, WM_COMMAND, g_answer->ok ? IDOK : IDCANCEL, 0);
}

// Answers every dialog of this thread with OK once, noting whether it had the URL field.
std::vector<bool> g_noticesSeen;
void CALLBACK answerEveryDialog(HWND, UINT, UINT_PTR, DWORD) {
    HWND dlg = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), findDialog, reinterpret_cast<LPARAM>(&dlg));
    if (!dlg || GetPropW(dlg, L"answered")) return;
    SetPropW(dlg, L"answered", HANDLE(1));
    g_noticesSeen.push_back(GetDlgItem(dlg, 234) != nullptr);
    PostMessageW(dlg, WM_COMMAND, IDOK, 0);
}

class HtmlExport : public qivtest::SitedControl {
protected:
    void SetUp() override {
        SitedControl::SetUp();
        embed();
        putMarker(site_.window());
    }
    void TearDown() override {
        if (answer_.timer) KillTimer(nullptr, answer_.timer);
        g_answer = nullptr;
        SitedControl::TearDown();
    }
    void answerNextDialog(const std::wstring& type, bool ok) {
        answer_ = DialogAnswer{};
        answer_.type = type;
        answer_.ok = ok;
        g_answer = &answer_;
        answer_.timer = SetTimer(nullptr, 0, 20, answerDialog);
    }
    void loadSample() {
        const std::string object = tempDir("qivhtml") + "\\sample object.pel";
        ASSERT_TRUE(sampleWriteObjectFile(object.c_str(), false));
        ASSERT_TRUE(loadObject(object));
    }
    // The HTML Format block checked against its header; the HTML text.
    std::string readHtml() {
        const std::string fmt = clipboardBytes(htmlFormat());
        EXPECT_EQ(0u, fmt.find("Version: 0.9\r\nStartHTML:00000098\r\nEndHTML:"));
        const size_t startHtml = headerValue(fmt, "StartHTML:"), endHtml = headerValue(fmt, "EndHTML:");
        const size_t startFragment = headerValue(fmt, "StartFragment:"), endFragment = headerValue(fmt, "EndFragment:");
        EXPECT_EQ(98u, startHtml);
        EXPECT_EQ(fmt.size(), endHtml) << "EndHTML is just past the last byte";
        EXPECT_EQ(198u, startFragment);
        EXPECT_EQ(0u, fmt.compare(startHtml, 9, "<!DOCTYPE"));
        EXPECT_EQ(0u, fmt.compare(startFragment, 7, "<OBJECT"));
        EXPECT_EQ(0u, fmt.compare(endFragment, 18, "<!--EndFragment-->")) << "EndFragment is just past the fragment";
        EXPECT_EQ(0u, fmt.compare(endFragment - 2, 2, "\r\n"));
        return fmt.size() > startHtml ? fmt.substr(startHtml) : std::string();
    }
    DialogAnswer answer_;
};

}  // namespace

TEST_F(HtmlExport, ParametersAreTheControlsProperties) {
    loadSample();
    ASSERT_EQ(S_OK, p2_->put_BackColor(0x00123456));
    BSTR lang = SysAllocString(L"DE"), menu = SysAllocString(L"say \"3D\" <now> & then");
    ASSERT_EQ(S_OK, p2_->put_Language(lang));
    ASSERT_EQ(S_OK, p2_->put_MenuNameFor3D(menu));
    ASSERT_EQ(S_OK, p2_->put_TooltipTimeout(500));
    ASSERT_EQ(S_OK, p2_->put_HideScrollBars(VARIANT_TRUE));
    SysFreeString(lang);
    SysFreeString(menu);

    BSTR url = SysAllocString(L"objects/K\u00fcche.qiv");
    ASSERT_EQ(S_OK, p2_->CopyHtmlCode(qivHtmlPlain, url));
    SysFreeString(url);
    EXPECT_FALSE(answer_.seen) << "no dialog with a given URL";
    const std::string html = readHtml();
    ASSERT_FALSE(html.empty());

    Params params = objectParams(html);
    ASSERT_FALSE(params.empty());
    EXPECT_EQ(params, embedParams(html)) << "the EMBED carries the same parameters";
    std::map<std::string, std::string> byName(params.begin(), params.end());
    EXPECT_EQ(params.size(), byName.size());
    // The given URL comes last, UTF-8 encoded; the stored ObjectURL never appears.
    EXPECT_EQ("ObjectURL", params.back().first);
    EXPECT_EQ("\"objects/K\xC3\xBC" "che.qiv\"", params.back().second);
    IDispatch* d = p2_;
    for (size_t i = 0; i + 1 < params.size(); ++i)
        EXPECT_EQ(expectedText(d, params[i].first), unescape(params[i].second)) << params[i].first;
    for (const char* changed : {"BackColor", "Language", "MenuNameFor3D", "TooltipTimeout", "HideScrollBars"})
        EXPECT_EQ(1u, byName.count(changed)) << changed;
    for (const char* unchanged : {"DelayBeforeLoad", "VisuDLL", "TextureBaseURL", "_cx", "_cy"})
        EXPECT_EQ(0u, byName.count(unchanged)) << unchanged;
    // A quote in a property stays inside its value.
    EXPECT_EQ("\"say &quot;3D&quot; &lt;now&gt; &amp; then\"", byName["MenuNameFor3D"]);

    RECT client;
    GetClientRect(ctl_->hwnd(), &client);
    char size[64];
    std::snprintf(size, sizeof size, "WIDTH=%ld HEIGHT=%ld", client.right, client.bottom);
    EXPECT_EQ(2u, [&] { size_t n = 0; for (size_t p = 0; (p = html.find(size, p)) != std::string::npos; ++p) ++n; return n; }());
    EXPECT_EQ(std::string::npos, html.find("DATA="));
    EXPECT_NE(std::string::npos, html.find("CLASSID=\"CLSID:138301F1-E2CD-44C4-BD02-DE847F77B26B\""));

    // The text format holds the same page in the ANSI code page.
    const std::string text = clipboardBytes(CF_TEXT);
    EXPECT_EQ(html.size() - 2, text.size()) << "the two-byte character of both elements";
    EXPECT_NE(std::string::npos, text.find("objects/K\xFC" "che.qiv"));
}

TEST_F(HtmlExport, OutlookDataDecodesToThePersistedStream) {
    loadSample();
    // Without a container the page carries no data.
    BSTR url = SysAllocString(L"x.qiv");
    ASSERT_EQ(S_OK, p2_->CopyHtmlCode(qivHtmlOutlook, url));
    EXPECT_EQ(std::string::npos, readHtml().find("DATA="));

    // An object from a container with room between its header and payload: the data carries
    // the container with its payload right behind the header.
    qivw::Container c = qivsample::container("");
    c.gapBytes = 12;
    const std::vector<uint8_t> file = qivw::build(c);
    c.gapBytes = 0;
    const std::vector<uint8_t> container = qivw::build(c);
    ASSERT_EQ(1, ctl_->LoadContainerBytes(file, "cubes.qiv", true));
    ASSERT_EQ(S_OK, p2_->put_DisplayMode(qivDispFLAT));
    ASSERT_EQ(S_OK, p2_->CopyHtmlCode(qivHtmlOutlook, url));
    SysFreeString(url);
    const std::string html = readHtml();
    const std::string head = "DATA=\"DATA:application/x-oleobject;BASE64,";
    size_t p = html.find(head);
    ASSERT_NE(std::string::npos, p);
    p += head.size();
    const std::string b64 = html.substr(p, html.find('"', p) - p);
    DWORD n = 0;
    ASSERT_TRUE(CryptStringToBinaryA(b64.c_str(), DWORD(b64.size()), CRYPT_STRING_BASE64, nullptr, &n, nullptr, nullptr));
    std::vector<uint8_t> block(n);
    ASSERT_TRUE(CryptStringToBinaryA(b64.c_str(), DWORD(b64.size()), CRYPT_STRING_BASE64, block.data(), &n, nullptr, nullptr));

    uint8_t clsid[16];
    std::memcpy(clsid, &CLSID_QivPlayer, 16);
    qivctl::PersistMemorySource src(block.data(), block.size());
    qivctl::PersistLoadResult r;
    ASSERT_EQ(qivctl::PersistStatus::Ok, qivctl::decodeInlineBlock(src, clsid, &r));
    EXPECT_EQ(block.size(), src.position()) << "nothing after the end record";
    EXPECT_EQ(qivctl::kPersistKindInline, r.kind);
    EXPECT_EQ(container, r.inlineData);
    IOleObject* ole = nullptr;
    p2_->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&ole));
    SIZEL extent{};
    ole->GetExtent(DVASPECT_CONTENT, &extent);
    ole->Release();
    EXPECT_EQ(extent.cx, r.extentX);
    EXPECT_EQ(extent.cy, r.extentY);
    // The stream's records are the page's parameters (the given URL aside).
    Params params = objectParams(html);
    ASSERT_EQ("ObjectURL", params.back().first);
    params.pop_back();
    std::vector<std::string> recordNames, paramNames;
    for (const qivctl::PersistRecord& rec : r.records)
        if (rec.dispid != qivdispid::ObjectURL) recordNames.push_back(qivctl::persistPropertyByDispid(rec.dispid)->name);
    for (const auto& pr : params) paramNames.push_back(pr.first);
    EXPECT_EQ(recordNames, paramNames);
    for (const qivctl::PersistRecord& rec : r.records) {
        if (rec.dispid == qivdispid::DisplayMode) {
            EXPECT_EQ(1, rec.value.i) << "DisplayMode";
        }
    }
}

TEST_F(HtmlExport, PlainStyleAsksForTheUrl) {
    loadSample();
    // The proposal is the file part of ObjectURL; what the user types is taken.
    answerNextDialog(L"elsewhere/car.qiv", true);
    ASSERT_EQ(S_OK, p2_->CopyHtmlCode(qivHtmlPlain, nullptr));
    ASSERT_TRUE(answer_.seen);
    EXPECT_EQ(L"sample object.pel", answer_.proposed);
    Params params = objectParams(readHtml());
    ASSERT_FALSE(params.empty());
    EXPECT_EQ(std::make_pair(std::string("ObjectURL"), std::string("\"elsewhere/car.qiv\"")), params.back());
    KillTimer(nullptr, answer_.timer);

    // An empty field gives an empty URL.
    answerNextDialog(L"", true);
    BSTR empty = SysAllocString(L"");
    ASSERT_EQ(S_OK, p2_->CopyHtmlCode(qivHtmlPlain, empty));
    SysFreeString(empty);
    ASSERT_TRUE(answer_.seen) << "an empty URL asks too";
    params = objectParams(readHtml());
    EXPECT_EQ(std::make_pair(std::string("ObjectURL"), std::string("\"\"")), params.back());
    KillTimer(nullptr, answer_.timer);

    // Cancel leaves the clipboard alone.
    putMarker(site_.window());
    answerNextDialog(L"ignored", false);
    ASSERT_EQ(S_OK, p2_->CopyHtmlCode(qivHtmlPlain, nullptr));
    ASSERT_TRUE(answer_.seen);
    EXPECT_EQ("marker", clipboardBytes(CF_TEXT));
    KillTimer(nullptr, answer_.timer);
}

TEST_F(HtmlExport, OutlookStyleNoticeAndNoUrl) {
    answerNextDialog(L"", true);
    ASSERT_EQ(S_OK, p2_->CopyHtmlCode(qivHtmlOutlook, nullptr));
    ASSERT_TRUE(answer_.seen);
    Params params = objectParams(readHtml());
    for (const auto& pr : params) EXPECT_NE("ObjectURL", pr.first);
    KillTimer(nullptr, answer_.timer);

    putMarker(site_.window());
    answerNextDialog(L"", false);
    ASSERT_EQ(S_OK, p2_->CopyHtmlCode(qivHtmlOutlook, nullptr));
    ASSERT_TRUE(answer_.seen);
    EXPECT_EQ("marker", clipboardBytes(CF_TEXT));
}

// The window's copied message shows the two notices, the URL entry first, and leaves the
// clipboard alone.
TEST_F(HtmlExport, CopiedMessageShowsBothNotices) {
    g_noticesSeen.clear();
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, answerEveryDialog);
    SendMessageW(ctl_->hwnd(), WM_USER + 251, 0, 0);
    KillTimer(nullptr, timer);
    EXPECT_EQ((std::vector<bool>{true, false}), g_noticesSeen);
    EXPECT_EQ("marker", clipboardBytes(CF_TEXT));
}

TEST_F(HtmlExport, ClipboardHeldElsewhere) {
    HANDLE opened = CreateEventW(nullptr, TRUE, FALSE, nullptr), done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread holder([&] {
        OpenClipboard(nullptr);
        SetEvent(opened);
        WaitForSingleObject(done, 10000);
        CloseClipboard();
    });
    WaitForSingleObject(opened, 10000);
    BSTR url = SysAllocString(L"x.qiv");
    EXPECT_EQ(S_OK, p2_->CopyHtmlCode(qivHtmlPlain, url));
    SysFreeString(url);
    SetEvent(done);
    holder.join();
    CloseHandle(opened);
    CloseHandle(done);
    EXPECT_EQ("marker", clipboardBytes(CF_TEXT)) << "nothing placed";
    EXPECT_TRUE(clipboardBytes(htmlFormat()).empty());
}

TEST_F(HtmlExport, ViewerMenuEntriesKeepTheControlsLook) {
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, 32789, L"Show all");
    CQivPlayerCtl::AddHtmlMenuItems(menu, false);
    EXPECT_EQ(1, GetMenuItemCount(menu));
    CQivPlayerCtl::AddHtmlMenuItems(menu, true);
    ASSERT_EQ(4, GetMenuItemCount(menu));
    EXPECT_EQ(40001u, GetMenuItemID(menu, 0));
    EXPECT_EQ(40002u, GetMenuItemID(menu, 1));
    EXPECT_EQ(MF_SEPARATOR, GetMenuState(menu, 2, MF_BYPOSITION) & MF_SEPARATOR);
    EXPECT_EQ(32789u, GetMenuItemID(menu, 3));
    wchar_t text[128] = {};
    GetMenuStringW(menu, 0, text, 128, MF_BYPOSITION);
    EXPECT_STREQ(L"HTML source text copied...", text);
    DestroyMenu(menu);

    // The page shows a flat control without border; afterwards the control looks as before.
    ASSERT_EQ(S_OK, p2_->put_Appearance(qivAppearance3D));
    ASSERT_EQ(S_OK, p2_->put_BorderStyle(qivBorderStyleSingle));
    answerNextDialog(L"car.qiv", true);
    EXPECT_EQ(0, ctl_->OnHtmlMenuCommand(40001));
    ASSERT_TRUE(answer_.seen);
    std::map<std::string, std::string> params;
    for (const auto& pr : objectParams(readHtml())) params.insert(pr);
    EXPECT_EQ("0", params["Appearance"]);
    EXPECT_EQ(0u, params.count("BorderStyle")) << "no border is the default";
    qivAppearance a = qivAppearanceFlat;
    qivBorderStyle b = qivBorderStyleNone;
    p2_->get_Appearance(&a);
    p2_->get_BorderStyle(&b);
    EXPECT_EQ(qivAppearance3D, a);
    EXPECT_EQ(qivBorderStyleSingle, b);
    KillTimer(nullptr, answer_.timer);

    // A flat control without border stays so.
    ASSERT_EQ(S_OK, p2_->put_Appearance(qivAppearanceFlat));
    ASSERT_EQ(S_OK, p2_->put_BorderStyle(qivBorderStyleNone));
    answerNextDialog(L"", true);
    EXPECT_EQ(0, ctl_->OnHtmlMenuCommand(40002));
    p2_->get_Appearance(&a);
    p2_->get_BorderStyle(&b);
    EXPECT_EQ(qivAppearanceFlat, a);
    EXPECT_EQ(qivBorderStyleNone, b);
}

namespace {

// The caption of a DIALOGEX template.
std::wstring dialogCaption(const void* data) {
    const WORD* w = reinterpret_cast<const WORD*>(static_cast<const BYTE*>(data) + 26);
    auto skip = [&w] {
        if (*w == 0) ++w;
        else if (*w == 0xFFFF) w += 2;
        else while (*w++) {}
    };
    skip();  // menu
    skip();  // class
    return reinterpret_cast<const wchar_t*>(w);
}

}  // namespace

TEST(HtmlExportDialogs, EveryLanguageHasBoth) {
    HMODULE self = GetModuleHandleW(nullptr);
    std::map<std::wstring, int> captions;
    for (LANGID lang : qivtest::kResourceLanguages)
        for (WORD id : {WORD(248), WORD(249)}) {
            HRSRC r = FindResourceExW(self, MAKEINTRESOURCEW(5), MAKEINTRESOURCEW(id), lang);  // RT_DIALOG
            ASSERT_NE(nullptr, r) << "dialog " << id << " language " << std::hex << lang;
            std::wstring caption = dialogCaption(LockResource(LoadResource(self, r)));
            EXPECT_FALSE(caption.empty());
            ++captions[caption];
        }
    EXPECT_EQ(26u, captions.size()) << "each its own caption";
    EXPECT_EQ(1, captions[L"HTML \u30b3\u30fc\u30c9\u3092\u30b3\u30d4\u30fc\u3057\u307e\u3057\u305f"]) << "code page 932 read right";
    EXPECT_EQ(1, captions[L"\u0418\u0441\u0445\u043e\u0434\u043d\u044b\u0439 \u043a\u043e\u0434 HTML \u0441\u043a\u043e\u043f\u0438\u0440\u043e\u0432\u0430\u043d"]) << "code page 1251 read right";
}
