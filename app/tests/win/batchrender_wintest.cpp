// Batch rendering in the main form with the real viewer: three saved views of
// the sample object rendered in software and ray traced into two output
// types; every picture has the chosen size and matches the viewer's own
// SaveBitmap of that view.
#include <windows.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>

#include "../../../imaging/binding/wintests/wintestfiles.h"
#include "batchrender_win.h"
#include "common.h"
#include "forms/application.h"
#include "forms/inifile.h"
#include "getname_win.h"
#include "imageconvert_win.h"
#include "mainqiv_win.h"
#include "msgstrs.h"
#include "textnums.h"
#include "wintestutil.h"

bool WriteSamplePel(const std::string& path);

namespace {

using namespace stellwerk;
using wintest::ModalScript;
using wintest::pump;

std::vector<std::string> g_messages;
int g_answer = IDYES;

constexpr int kW = 96, kH = 72;

img::Dib readPicture(const std::string& file) {
    HGLOBAL h = nullptr;
    img::Dib d;
    if (!LoadAnyImage(file, h, nullptr, nullptr)) return d;
    d = imgtest::dibOf(h);
    imaging::FreeDibHandle(h);
    return d;
}

// Mean and largest difference per channel of two pictures of 24 or 32 bits.
struct Difference {
    double mean = 1e9;
    int most = 999;
};
Difference compare(const img::Dib& a, const img::Dib& b) {
    Difference d;
    if (a.empty() || b.empty() || a.width() != b.width() || a.height() != b.height() || a.bits() < 24 ||
        b.bits() < 24)
        return d;
    double sum = 0;
    d.most = 0;
    const int sa = int(a.bits() / 8), sb = int(b.bits() / 8);
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            for (int c = 0; c < 3; ++c) {
                const int diff = std::abs(int(a.row(y)[x * sa + c]) - int(b.row(y)[x * sb + c]));
                sum += diff;
                d.most = std::max(d.most, diff);
            }
    d.mean = sum / (3.0 * a.width() * a.height());
    return d;
}

// The share of pixels unlike the first one.
double variety(const img::Dib& d) {
    if (d.empty() || d.bits() < 24) return 0;
    const int s = int(d.bits() / 8);
    size_t n = 0;
    for (int y = 0; y < d.height(); ++y)
        for (int x = 0; x < d.width(); ++x)
            for (int c = 0; c < 3; ++c)
                if (std::abs(int(d.row(y)[x * s + c]) - int(d.row(0)[c])) > 16) {
                    ++n;
                    break;
                }
    return double(n) / (double(d.width()) * d.height());
}

std::vector<std::string> filesIn(const std::string& dir) {
    std::vector<std::string> out;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return out;
    do
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) out.push_back(fd.cFileName);
    while (FindNextFileA(h, &fd));
    FindClose(h);
    std::sort(out.begin(), out.end());
    return out;
}

void emptyFolder(const std::string& dir) {
    for (const std::string& f : filesIn(dir)) DeleteFileA((dir + f).c_str());
}

class BatchRender : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        software_ = new wintest::SoftwareViewer;
        ASSERT_EQ("", wintest::startHostingSuite(QIV_PLAYER_DLL, STELLWERK_SUPPORT,
            [](const std::string& text, const std::string&, UINT) {
                g_messages.push_back(text);
                return g_answer;
            }));
        dir_ = wintest::tempFolder("stellwerk batch");
        out_ = wintest::tempFolder("stellwerk batch\\out");
        pel_ = dir_ + "sample.pel";
        ASSERT_TRUE(WriteSamplePel(pel_));
    }
    static void TearDownTestSuite() {
        delete software_;
        software_ = nullptr;
    }
    void SetUp() override {
        SetProgramFolder(dir_);
        DeleteFileA(GetIniPath().c_str());
        DeleteFileA((dir_ + "sample.vad").c_str());
        emptyFolder(out_);
        std::ofstream(GetIniPath(), std::ios::binary)
            << "[AppWindow]\r\nMax=0\r\nLeft=0\r\nTop=0\r\nWidth=900\r\nHeight=700\r\n";
        GlobalIni() = TGlobalIni();
        g_messages.clear();
        g_answer = IDYES;
        form_ = std::make_unique<TFMainqiv>(nullptr);
        form_->Show();
        pump();
        ASSERT_TRUE(form_->LoadObjectFile(pel_));
        for (float phi : {0.f, 60.f, 150.f}) {
            form_->qivobj->SetPhi(phi);
            ModalScript<TFGetName> s({[](TFGetName& d) { d.BtnOk->Click(); }});
            form_->mAddView->Click();
        }
        ASSERT_EQ(3, form_->mAvailViews->Count());
    }
    void TearDown() override { form_.reset(); }

    // Runs the batch command with the form's settings; true when it rendered.
    void runBatch(int type, int quality, bool rayTrace) {
        ModalScript<TFBatchRender> s({[=](TFBatchRender& d) {
            EXPECT_EQ(3, d.ChkLBRender->Items().Count());
            EXPECT_EQ(6, d.ComboFiletype->Items().Count());
            d.EBmpSizeX->SetText(std::to_string(kW));
            d.EBmpSizeY->SetText(std::to_string(kH));
            d.ComboFiletype->SetItemIndex(type);
            d.RGBmpQuality->SetItemIndex(quality);
            d.ChkRayTrace->SetChecked(rayTrace);
            d.ChooseOutputFolder = [](std::string& folder) {
                folder = out_;
                return true;
            };
            d.BtnOk->Click();
        }});
        form_->mBatchViews->Click();
        EXPECT_TRUE(s.finished());
    }

    // The viewer's own picture of each view at the batch size.
    std::vector<img::Dib> references(int quality, bool rayTrace) {
        std::vector<img::Dib> pics;
        TQivPlayer* v = form_->qivobj;
        v->SetAlign(forms::Align::None);
        v->SetBounds(v->Left(), v->Top(), kW, kH);
        pump();
        for (int i = 0; i < 3; ++i) {
            form_->mAvailViews->Items(i)->Click();
            const std::string ref = dir_ + "reference.bmp";
            DeleteFileA(ref.c_str());
            EXPECT_TRUE(v->SaveBitmap(quality, rayTrace, kW, kH, ref)) << i;
            pics.push_back(readPicture(ref));
        }
        v->SetAlign(forms::Align::Client);
        return pics;
    }

    void expectBatch(const char* ext, int quality, bool rayTrace, double meanTolerance) {
        const std::vector<img::Dib> want = references(quality, rayTrace);
        for (int i = 0; i < 3; ++i) {
            const std::string name = "View " + std::to_string(i + 1) + ext;
            const img::Dib got = readPicture(out_ + name);
            ASSERT_FALSE(got.empty()) << name;
            EXPECT_EQ(kW, got.width()) << name;
            EXPECT_EQ(kH, got.height()) << name;
            EXPECT_GT(variety(want[size_t(i)]), 0.05) << name << ": the view shows the object";
            const Difference d = compare(want[size_t(i)], got);
            EXPECT_LE(d.mean, meanTolerance) << name << " (largest difference " << d.most << ")";
        }
        // The views differ, so each file holds its own view.
        EXPECT_GT(compare(want[0], want[1]).mean, 2.0);
    }

    static inline wintest::SoftwareViewer* software_ = nullptr;
    static inline std::string dir_, out_, pel_;
    std::unique_ptr<TFMainqiv> form_;
};

TEST_F(BatchRender, SoftwarePngAndRayTracedJpegMatchTheViewersOwnPictures) {
    // Lossless: the control's picture to the pixel (within rounding).
    runBatch(2, 0, false);
    const std::vector<std::string> png = {"View 1.png", "View 2.png", "View 3.png"};
    EXPECT_EQ(png, filesIn(out_)) << "no work file stays";
    expectBatch(".png", 0, false, 0.5);

    // Ray traced at medium quality into JPEG (quality 90): a small mean difference.
    emptyFolder(out_);
    runBatch(1, 1, true);
    EXPECT_EQ((std::vector<std::string>{"View 1.jpg", "View 2.jpg", "View 3.jpg"}), filesIn(out_));
    expectBatch(".jpg", 1, true, 4.0);
    EXPECT_TRUE(g_messages.empty()) << g_messages.front();

    // The settings went into the views file.
    forms::IniFile vad(dir_ + "sample.vad");
    EXPECT_EQ(kW, vad.ReadInteger("BatchRender", "BmpWidth", 0));
    EXPECT_EQ(kH, vad.ReadInteger("BatchRender", "BmpHeight", 0));
    EXPECT_EQ(1, vad.ReadInteger("BatchRender", "OutputFile", -1));
    EXPECT_TRUE(vad.ReadBool("BatchRender", "RayTrace", false));
}

TEST_F(BatchRender, ExistingTargetsAreAskedAboutAndKeptOnNo) {
    runBatch(0, 0, false);
    ASSERT_EQ((std::vector<std::string>{"View 1.bmp", "View 2.bmp", "View 3.bmp"}), filesIn(out_))
        << "a BMP goes through the conversion too";
    std::ofstream(out_ + "View 2.bmp", std::ios::binary) << "kept";
    g_answer = IDNO;
    runBatch(0, 0, false);
    ASSERT_EQ(1u, g_messages.size());
    EXPECT_NE(std::string::npos, g_messages[0].find(out_ + "View 1.bmp\r")) << g_messages[0];
    EXPECT_EQ(0u, g_messages[0].find(GetMsgText(kTxtBatchReplace.number))) << g_messages[0];
    EXPECT_EQ("kept", wintest::readAll(out_ + "View 2.bmp"));
    EXPECT_EQ(3u, filesIn(out_).size());

    // A size above the limit is rendered at 2048 wide, the height as typed.
    g_answer = IDYES;
    emptyFolder(out_);
    ModalScript<TFBatchRender> s({[](TFBatchRender& d) {
        d.EBmpSizeX->SetText("5000");
        d.EBmpSizeY->SetText("3");
        d.BtnClearAll->Click();
        d.ChkLBRender->SetChecked(0, true);
        d.ChooseOutputFolder = [](std::string& folder) {
            folder = out_;
            return true;
        };
        d.BtnOk->Click();
    }});
    form_->mBatchViews->Click();
    const img::Dib wide = readPicture(out_ + "View 1.bmp");
    EXPECT_EQ(2048, wide.width());
    EXPECT_EQ(3, wide.height());
    EXPECT_EQ(1u, filesIn(out_).size());
}

TEST_F(BatchRender, NamedBatchesAreStoredOnceAndChooseTheirViews) {
    // The name dialog shows inside the batch form's loop; a timer answers it.
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) {
        auto* d = dynamic_cast<TFGetName*>(forms::Control::FromHandle(GetActiveWindow()));
        if (!d || !d->Modal()) return;
        d->EditName->SetText("Tour");
        d->BtnOk->Click();
    });
    ModalScript<TFBatchRender> s({
        [](TFBatchRender& d) {
            EXPECT_EQ(1, d.ComboBatchName->Items().Count());
            d.BtnClearAll->Click();
            d.ChkLBRender->SetChecked(1, true);
            d.BtnAddUpdateBatchName->Click();
            EXPECT_EQ(2, d.ComboBatchName->Items().Count());
            EXPECT_EQ(1, d.ComboBatchName->ItemIndex());
            // Updating the batch keeps one entry for it.
            d.ChkLBRender->SetChecked(2, true);
            d.BtnAddUpdateBatchName->Click();
            d.BtnSelectAll->Click();
            d.ComboBatchName->SetItemIndex(1);
            d.ComboBatchNameChange();
            EXPECT_FALSE(d.ChkLBRender->Checked(0));
            EXPECT_TRUE(d.ChkLBRender->Checked(1));
            EXPECT_TRUE(d.ChkLBRender->Checked(2));
            d.BtnCancel->Click();
        },
    });
    form_->mBatchViews->Click();
    KillTimer(nullptr, timer);
    EXPECT_TRUE(s.finished());
    forms::IniFile vad(dir_ + "sample.vad");
    EXPECT_EQ(1u, vad.ReadSection("BatchNames").size()) << vad.Text();
    EXPECT_EQ("View 2,View 3", vad.ReadString("Tour", "1", ""));

    // Deleting it takes it out of the file.
    ModalScript<TFBatchRender> del({[](TFBatchRender& d) {
        ASSERT_EQ(2, d.ComboBatchName->Items().Count());
        d.ComboBatchName->SetItemIndex(1);
        d.BtnDeleteBatchNameClick();
        EXPECT_EQ(1, d.ComboBatchName->Items().Count());
        d.BtnCancel->Click();
    }});
    form_->mBatchViews->Click();
    EXPECT_EQ(0u, forms::IniFile(dir_ + "sample.vad").ReadSection("BatchNames").size());
}

}  // namespace
