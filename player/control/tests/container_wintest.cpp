// Containers to files and document streams: written whole with their file time or not at
// all, read back from the length-prefixed stream form, short and lying streams refused.
#include <windows.h>
#include <objidl.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "container_win.h"
#include "loaddriver.h"
#include "tests/qiv_writer.h"

namespace {

using qivw::Bytes;

std::string tempDir() {
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    return dir;
}

Bytes readFile(const std::string& path) {
    Bytes b;
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return b;
    DWORD size = GetFileSize(f, nullptr), got = 0;
    b.resize(size);
    if (size) ReadFile(f, b.data(), size, &got, nullptr);
    CloseHandle(f);
    return b;
}

// The kept container of a load of file.
struct KeepSink : QivLoadSink {
    std::unique_ptr<uint8_t[]> payload;
    void payloadComplete(std::unique_ptr<uint8_t[]> p, uint32_t) override { payload = std::move(p); }
};
struct Loaded {
    KeepSink sink;  // a stored container's kept image points into its payload
    QivLoadDriver driver{&sink, QivLoadOptions{}};
    QivKeptContainer kept;
    explicit Loaded(const Bytes& file) {
        driver.feed(file.data(), file.size(), file.size());
        driver.endOfTransfer(true);
        kept = driver.takeKept();
    }
};

IStream* streamOf(const Bytes& b) {
    IStream* s = nullptr;
    EXPECT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, &s));
    ULONG wrote = 0;
    if (!b.empty()) s->Write(b.data(), ULONG(b.size()), &wrote);
    LARGE_INTEGER zero{};
    s->Seek(zero, STREAM_SEEK_SET, nullptr);
    return s;
}

}  // namespace

TEST(ContainerFiles, SavedWholeWithTheFileTime) {
    const std::string path = tempDir() + "qiv_saved.qiv";
    DeleteFileA(path.c_str());
    for (uint32_t method : {1u, 0u}) {
        qivw::Container c;
        c.method = method;
        c.gapBytes = 8;  // a stored one is written back with payload offset 40
        const Bytes file = qivw::build(c);
        Loaded l(file);
        DeleteFileA(path.c_str());
        ASSERT_TRUE(qivSaveContainerFile(path.c_str(), l.kept, c.fileTime)) << method;
        const Bytes saved = readFile(path);
        std::vector<uint8_t> image;
        ASSERT_EQ(1, qivSaveImage(l.kept, &image));
        EXPECT_EQ(image, saved);
        if (method == 1) EXPECT_EQ(file, saved) << "a deflated container as it was received";
        else EXPECT_EQ(qivw::wrap(qivw::payload(c), 0, 0, c.fileTime), saved);
        HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, f);
        FILETIME created{}, written{};
        GetFileTime(f, &created, nullptr, &written);
        CloseHandle(f);
        EXPECT_EQ(c.fileTime, uint64_t(written.dwLowDateTime) | uint64_t(written.dwHighDateTime) << 32);
        EXPECT_EQ(c.fileTime, uint64_t(created.dwLowDateTime) | uint64_t(created.dwHighDateTime) << 32);
    }
    // Nothing kept, no folder, or a file there already: false, and that file stays as it was.
    const Bytes before = readFile(path);
    EXPECT_FALSE(qivSaveContainerFile(path.c_str(), QivKeptContainer{}, 0));
    EXPECT_EQ(before, readFile(path));
    Loaded l(qivw::build(qivw::Container{}));
    EXPECT_FALSE(qivSaveContainerFile(path.c_str(), l.kept, 0)) << "never replaced";
    EXPECT_EQ(before, readFile(path));
    EXPECT_FALSE(qivSaveContainerFile((tempDir() + "no such folder\\x.qiv").c_str(), l.kept, 0));
    DeleteFileA(path.c_str());
}

TEST(ContainerStreams, LengthPrefixedFormRoundTrips) {
    const Bytes file = qivw::build(qivw::Container{});
    Loaded l(file);
    IStream* s = streamOf({});
    ASSERT_EQ(S_OK, qivWriteContainerToStream(s, l.kept));
    LARGE_INTEGER zero{};
    s->Seek(zero, STREAM_SEEK_SET, nullptr);
    std::vector<uint8_t> back;
    ASSERT_EQ(S_OK, qivReadContainerFromStream(s, &back));
    EXPECT_EQ(file, back);
    s->Release();
    IStream* e = streamOf({});
    EXPECT_EQ(E_FAIL, qivWriteContainerToStream(e, QivKeptContainer{})) << "nothing kept";
    e->Release();
}

TEST(ContainerStreams, ShortAndLyingStreamsAreRefused) {
    const Bytes file = qivw::build(qivw::Container{});
    auto prefixed = [&](uint32_t length, size_t bodyBytes) {
        Bytes b = {uint8_t(length), uint8_t(length >> 8), uint8_t(length >> 16), uint8_t(length >> 24)};
        b.insert(b.end(), file.begin(), file.begin() + ptrdiff_t(std::min(bodyBytes, file.size())));
        return b;
    };
    const struct {
        Bytes bytes;
        HRESULT want;
    } cases[] = {
        {Bytes{1, 0}, E_FAIL},                                     // no whole length word
        {prefixed(uint32_t(file.size()), file.size() - 1), E_FAIL}, // one byte short
        {prefixed(0x7FFFFFF0u, file.size()), E_FAIL},               // beyond the limit
        {prefixed(400u << 20, file.size()), E_FAIL},                // within it, but the data stop
        {prefixed(8, 8), E_FAIL},                                   // shorter than a header
    };
    for (const auto& c : cases) {
        IStream* s = streamOf(c.bytes);
        std::vector<uint8_t> out(3, 1);
        EXPECT_EQ(c.want, qivReadContainerFromStream(s, &out));
        EXPECT_TRUE(out.empty());
        s->Release();
    }
    uint8_t buf[4];
    EXPECT_EQ(E_POINTER, ReadStreamFully(nullptr, buf, 4));
}
