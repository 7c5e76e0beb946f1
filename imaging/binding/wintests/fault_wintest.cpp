// The binding against a stand-in CRDE2001.DLL beside the program that faults, answers
// -1 or counts its calls.
#include <gtest/gtest.h>

#include "annobinding_win.h"
#include "crdebinding_win.h"
#include "wintestfiles.h"

namespace {

using namespace imaging;

int fakeCount(const char* name) {
    auto f = reinterpret_cast<int(WINAPI*)()>(reinterpret_cast<void*>(GetProcAddress(CrdeModule(), name)));
    return f ? f() : -1;
}

class Fault : public ::testing::Test {
protected:
    imgtest::MessageCapture log;
    std::string dir = imgtest::tempDir("qivimagingfault");
    std::string file = dir + "\\picture.bin";
    void SetUp() override { ASSERT_TRUE(imgtest::writeFile(file, std::vector<uint8_t>(64, 'x'))); }
};

TEST_F(Fault, AFaultInsideACallGivesTheRestartAdviceAndFalse) {
    HGLOBAL dib = nullptr;
    EXPECT_FALSE(DllReadBmp(file, 0, 0, nullptr, nullptr, nullptr, dib));
    ASSERT_EQ(1u, log.messages.size());
    EXPECT_EQ(kRestartAdvice, log.messages[0]);
    // The program goes on, and the next call works.
    EXPECT_FALSE(DllReadBmp(file, 0, 0, nullptr, nullptr, nullptr, dib));
    EXPECT_EQ(2u, log.messages.size());
    EXPECT_EQ(2, fakeCount("fakeCalls"));
    // A division by zero in an annotation procedure: the same advice, a result of 0.
    EXPECT_EQ(0, AnnoMouseMon(this, WM_LBUTTONDOWN, 0, 0));
    EXPECT_EQ(3u, log.messages.size());
}

TEST_F(Fault, StatusMinusOneGivesTheUnknownErrorText) {
    HGLOBAL dib = nullptr;
    EXPECT_FALSE(DllReadPng(file, 0, 0, nullptr, nullptr, nullptr, dib));
    EXPECT_EQ(-1, LastDllErrorCode());
    EXPECT_EQ("Unknown error in imaging Dll", LastDllErrorText());
    // A library without a text for its status.
    EXPECT_FALSE(DllReadGif(file, 0, 0, nullptr, nullptr, nullptr, dib));
    EXPECT_EQ(-4, LastDllErrorCode());
    EXPECT_EQ("Unknown error in imaging Dll", LastDllErrorText());
    EXPECT_TRUE(log.messages.empty());
}

TEST_F(Fault, AShortFileIsRefusedBeforeTheLibraryIsAsked) {
    HGLOBAL dib = nullptr;
    EXPECT_FALSE(DllReadGif(file, 0, 0, nullptr, nullptr, nullptr, dib));
    const int before = fakeCount("fakeCalls");
    ASSERT_TRUE(imgtest::writeFile(file, std::vector<uint8_t>(29, 'x')));
    EXPECT_FALSE(DllReadGif(file, 0, 0, nullptr, nullptr, nullptr, dib));
    EXPECT_EQ(before, fakeCount("fakeCalls"));
}

TEST_F(Fault, AMissingProcedureIsFalseForReadersAndAnErrorForAnnotations) {
    HGLOBAL dib = nullptr;
    EXPECT_FALSE(DllReadTga(file, 0, 0, nullptr, nullptr, dib));  // not in this library
    EXPECT_TRUE(log.messages.empty());
    try {
        AnnoClear(this);
        ADD_FAILURE() << "no exception";
    } catch (const ErrorInvalid& e) {
        EXPECT_STREQ("Error. Could not get a procaddress for ClearAnnotation. This could berelated to a dll name or "
                     "version missmatch of CRDE2001.DLL",
                     e.what());
    }
    // Without DrawAnnotationX, DrawAnnotation draws.
    const int draws = fakeCount("fakeDraws");
    EXPECT_EQ(1, AnnoDrawX(this, nullptr, 0, 0, 10, 10, 10, 10, 0, 0));
    EXPECT_EQ(draws + 1, fakeCount("fakeDraws"));
}

}  // namespace
