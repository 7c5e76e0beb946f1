// The preview open dialog under the real common dialog: a picture's
// thumbnail (read once, then from the cache), the preview box, an object in
// the second viewer, and the file opened on OK, from the picture chooser and
// the main form's open command. The dialog is driven by messages from a timer.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <vector>

#include "../../../imaging/binding/wintests/wintestfiles.h"
#include "common.h"
#include "common_win.h"
#include "forms/application.h"
#include "forms/textutil.h"
#include "mainqiv_win.h"
#include "msgstrs.h"
#include "picdlg_win.h"
#include "textnums.h"
#include "wintestutil.h"

bool WriteSamplePel(const std::string& path);

namespace {

using namespace stellwerk;

// A 24-bit BMP of a colour ramp.
void writeBmp(const std::string& path, int w, int h) {
    const int stride = (w * 3 + 3) / 4 * 4;
    const uint32_t size = 54 + uint32_t(stride * h);
    std::vector<uint8_t> b(size, 0);
    auto put = [&](size_t at, uint32_t v, int n) {
        for (int i = 0; i < n; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
    };
    b[0] = 'B', b[1] = 'M';
    put(2, size, 4), put(10, 54, 4), put(14, 40, 4), put(18, uint32_t(w), 4), put(22, uint32_t(h), 4);
    put(26, 1, 2), put(28, 24, 2), put(34, uint32_t(stride * h), 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &b[54 + size_t(y) * size_t(stride) + size_t(x) * 3];
            p[0] = uint8_t(x * 255 / w), p[1] = uint8_t(y * 255 / h), p[2] = 200;
        }
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

// Steps run from a timer while the dialog's own loop runs; each step is
// retried until it answers true (or the script gives up after 10 s).
class DialogScript {
public:
    explicit DialogScript(std::vector<std::function<bool(TPreviewOpenDialog&)>> steps) {
        steps_ = std::move(steps), next_ = 0, started_ = GetTickCount64();
        timer_ = SetTimer(nullptr, 0, 50, tick);
    }
    ~DialogScript() { KillTimer(nullptr, timer_); }
    bool finished() const { return next_ == steps_.size(); }

private:
    static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD) {
        // A step that lets messages run (a picture read) sees no tick inside.
        if (busy_) return;
        struct Busy {
            Busy() { busy_ = true; }
            ~Busy() { busy_ = false; }
        } busy;
        TPreviewOpenDialog* d = TPreviewOpenDialog::Showing();
        if (!d || !d->Handle() || !d->Host) return;
        if (GetTickCount64() - started_ > 10000) {
            ADD_FAILURE() << "the dialog script stalled at step " << next_;
            PostMessageW(d->Handle(), WM_COMMAND, IDCANCEL, 0);
            return;
        }
        if (next_ < steps_.size() && steps_[next_](*d)) ++next_, started_ = GetTickCount64();
    }
    static inline std::vector<std::function<bool(TPreviewOpenDialog&)>> steps_;
    static inline size_t next_ = 0;
    static inline bool busy_ = false;
    static inline ULONGLONG started_ = 0;
    UINT_PTR timer_ = 0;
};

// Selects the file of that name in the dialog's list (as a click does).
bool selectFile(TPreviewOpenDialog& d, const char* name) {
    HWND list = wintest::findDescendant(d.Handle(), L"SysListView32");
    if (!list) return false;
    LVFINDINFOA fi = {};
    fi.flags = LVFI_STRING;
    fi.psz = name;
    int i = int(SendMessageA(list, LVM_FINDITEMA, WPARAM(-1), LPARAM(&fi)));
    if (i < 0) {
        // The list may show names without their extensions.
        std::string base = name;
        base = base.substr(0, base.rfind('.'));
        fi.psz = base.c_str();
        i = int(SendMessageA(list, LVM_FINDITEMA, WPARAM(-1), LPARAM(&fi)));
    }
    if (i < 0) return false;
    LVITEMA clear = {};
    clear.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(list, LVM_SETITEMSTATE, WPARAM(-1), LPARAM(&clear));
    LVITEMA it = {};
    it.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    it.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(list, LVM_SETITEMSTATE, WPARAM(i), LPARAM(&it));
    return true;
}

bool showsPicture(TPreviewOpenDialog& d, int w, int h) {
    return d.FPaintBox && d.FPaintBox->Visible() && d.FPaintBox->Picture().Width() == w &&
           d.FPaintBox->Picture().Height() == h;
}

class PreviewDialog : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        software_ = new wintest::SoftwareViewer;
        ASSERT_EQ("", wintest::startHostingSuite(QIV_PLAYER_DLL, STELLWERK_SUPPORT,
            [](const std::string&, const std::string&, UINT) { return IDOK; }));
        dir_ = wintest::tempFolder("stellwerk preview");
        writeBmp(dir_ + "wide.bmp", 600, 300);
        ASSERT_TRUE(WriteSamplePel(dir_ + "sample.pel"));
        std::ofstream(dir_ + "broken.bmp", std::ios::binary) << "not a picture at all";
    }
    static void TearDownTestSuite() {
        delete software_;
        software_ = nullptr;
    }
    void SetUp() override {
        SetProgramFolder(dir_);
        DeleteFileA(GetIniPath().c_str());
        std::ofstream(GetIniPath(), std::ios::binary)
            << "[AppWindow]\r\nMax=0\r\nLeft=0\r\nTop=0\r\nWidth=900\r\nHeight=700\r\n";
        GlobalIni() = TGlobalIni();
        TPreviewOpenDialog::ClearThumbnails();
    }
    // The imaging libraries' messages (a picture they cannot read) are logged.
    imgtest::MessageCapture imagingMessages;
    static inline wintest::SoftwareViewer* software_ = nullptr;
    static inline std::string dir_;
};

TEST_F(PreviewDialog, PictureThumbnailFromTheCacheAndThePreviewBox) {
    const int reads = TPreviewOpenDialog::ThumbnailReads();
    DialogScript script({
        [](TPreviewOpenDialog& d) { return selectFile(d, "wide.bmp"); },
        [](TPreviewOpenDialog& d) { return showsPicture(d, 150, 75); },
        [&](TPreviewOpenDialog& d) {
            // The panel stands right of the file list, 150 wide.
            EXPECT_EQ(kThumbSide, d.Host->Width());
            EXPECT_TRUE(IsWindowVisible(d.Host->Handle()));
            const auto px = wintest::clientPixels(d.FPaintBox->Handle());
            EXPECT_GT(wintest::shareUnlike(px, wintest::commonColour(px)), 0.2) << "the ramp is painted";
            EXPECT_FALSE(d.FQiv && d.FQiv->Visible());
            EXPECT_EQ(reads + 1, TPreviewOpenDialog::ThumbnailReads());
            return selectFile(d, "broken.bmp");
        },
        [](TPreviewOpenDialog& d) { return !d.FPaintBox->Visible(); },
        [](TPreviewOpenDialog& d) { return selectFile(d, "wide.bmp"); },
        [&](TPreviewOpenDialog& d) {
            if (!showsPicture(d, 150, 75)) return false;
            EXPECT_EQ(reads + 2, TPreviewOpenDialog::ThumbnailReads()) << "the second time from the cache";
            // Unchecked, the preview clears at once.
            d.ChkPreview->SetChecked(false);
            EXPECT_TRUE(d.FPaintBox->Picture().Empty());
            d.ChkPreview->SetChecked(true);
            EXPECT_TRUE(showsPicture(d, 150, 75));
            EXPECT_EQ(reads + 2, TPreviewOpenDialog::ThumbnailReads());
            PostMessageW(d.Handle(), WM_COMMAND, IDOK, 0);
            return true;
        },
    });
    const std::string chosen = ChooseImageFile(kTxtAddPicturesTitle.number, dir_ + "other.bmp");
    EXPECT_TRUE(script.finished());
    EXPECT_TRUE(forms::SameText(dir_ + "wide.bmp", chosen)) << chosen;
    EXPECT_TRUE(GlobalIni().FilePreview);
}

TEST_F(PreviewDialog, ObjectInTheSecondViewerOpensInTheMainForm) {
    auto f = std::make_unique<TFMainqiv>(nullptr);
    f->Show();
    wintest::pump();
    DialogScript script({
        [](TPreviewOpenDialog& d) { return selectFile(d, "sample.pel"); },
        [](TPreviewOpenDialog& d) { return d.FQiv && d.FQiv->Visible() && d.FQiv->ObjectLoaded(); },
        [](TPreviewOpenDialog& d) {
            EXPECT_FALSE(d.FPaintBox->Visible());
            HWND w = wintest::viewerWindow(d.FQiv->Handle());
            EXPECT_TRUE(w && IsWindowVisible(w));
            PostMessageW(d.Handle(), WM_COMMAND, IDOK, 0);
            return true;
        },
    });
    f->mOpen->Click();
    EXPECT_TRUE(script.finished());
    EXPECT_TRUE(f->Session().IsOpen());
    EXPECT_TRUE(forms::SameText(dir_ + "sample.pel", f->Session().Path())) << f->Session().Path();
}

}  // namespace
