// Seeds of the imaging targets, made with the library's own writers and the tests' DIB
// builder: every format in several depths and layouts, packed DIBs, annotation files,
// the display control's ticker files.
//   fuzz_seeds_imgseeds <dir>  ->  <dir>/img*/*, <dir>/annotations/*
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "../imaging/core/tests/dibbuilder.h"
#include "annotations.h"
#include "codecs.h"

namespace {

std::filesystem::path g_root;
int g_failed = 0;

void put(const std::string& corpus, const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::filesystem::path dir = g_root / corpus;
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    std::FILE* f = std::fopen((dir / name).string().c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) g_failed = 1;
    if (f) std::fclose(f);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    g_root = argv[1];
    img::Progress none;
    // Files of every writer.
    for (unsigned bits : {1u, 4u, 8u, 16u, 24u, 32u}) {
        const img::Dib pic = dibb::toDib(dibb::randomPic(13, 9, bits, bits));
        const std::string b = std::to_string(bits);
        img::Bytes file;
        if (img::writeBmp(pic, file) == img::kOk) put("imgbmp", "w" + b, file), put("imginfo", "bmp" + b, file);
        if (img::writePcx(pic, file, none) == img::kOk) put("imgpcx", "w" + b, file);
        for (bool rle : {false, true})
            if (img::writeTga(pic, rle, "id", file, none) == img::kOk) put("imgtga", "w" + b + (rle ? "r" : ""), file);
        for (bool interlaced : {false, true})
            if (img::writePng(pic, interlaced, file, none) == img::kOk) put("imgpng", "w" + b + (interlaced ? "i" : ""), file);
        if (img::writeGif(pic, file, none) == img::kOk) put("imggif", "w" + b, file), put("imginfo", "gif" + b, file);
        for (int c : {img::kTiffNone, img::kTiffLzw, img::kTiffPackBits, img::kTiffFax3, img::kTiffFax4, img::kTiffJpeg})
            if (img::writeTiff(pic, c, nullptr, 0, file, none) == img::kOk) put("imgtiff", "w" + b + "c" + std::to_string(c), file);
        if (img::writeJpeg(pic, 75, 0, bits <= 8, file, none) == img::kOk) put("imgjpeg", "w" + b, file), put("imginfo", "jpg" + b, file);
    }
    // Two pages.
    {
        const img::Dib a = dibb::toDib(dibb::randomPic(8, 8, 8, 1)), b = dibb::toDib(dibb::randomPic(5, 3, 24, 2));
        img::Bytes one, two;
        if (img::writeTiff(a, img::kTiffLzw, nullptr, 0, one, none) == img::kOk &&
            img::writeTiff(b, img::kTiffNone, one.data(), one.size(), two, none) == img::kOk)
            put("imgtiff", "pages", two), put("imginfo", "tiffpages", two);
    }
    // BMP files and packed DIBs of every layout.
    const struct {
        unsigned bits;
        dibb::Layout layout;
    } layouts[] = {
        {1, {12}}, {2, {}}, {4, {40, false, 2}}, {8, {40, false, 1}}, {8, {124, true}},
        {16, {40, false, 3, {0xF800, 0x7E0, 0x1F}}}, {24, {56, true}}, {32, {40, false, 6, {0xFF00, 0xFF0000, 0xFF000000, 0xFF}}},
    };
    int n = 0;
    for (const auto& l : layouts) {
        const dibb::Pic pic = dibb::randomPic(11, 5, l.bits, l.bits + 40);
        put("imgbmp", "layout" + std::to_string(n), dibb::bmpFile(pic, l.layout));
        put("imgdib", "layout" + std::to_string(n), dibb::packed(pic, l.layout));
        ++n;
    }
    // Annotation files.
    img::AnnoPages pages;
    img::Annotation rect;
    rect.points = {{1, 2}, {30, 40}};
    img::Annotation text;
    text.kind = img::AnnoKind::Text;
    text.height = 12;
    text.text = "Quote \" and \\ and\nline";
    text.points = {{5, 6}};
    img::Annotation mark;
    mark.kind = img::AnnoKind::Marker;
    mark.points = {{0, 0}, {3, 4}, {9, -2}};
    pages[0] = {rect, text};
    pages[7] = {mark};
    const std::string anno = img::formatAnnotations(pages);
    put("annotations", "pages", std::vector<uint8_t>(anno.begin(), anno.end()));
    // The display control's ticker files.
    const std::string scm = "/fc|65280/fh|-20/fn|Arial/fs|12/ft|0110/bc|0/sp|3/sm|Hello there/eo|";
    const std::string cms = "x\r\n255\r\n-16\r\nCourier\r\n10\r\n1000\r\n0\r\n2\r\nFirst\r\nSecond\r\n";
    put("imgtickers", "scm", std::vector<uint8_t>(scm.begin(), scm.end()));
    put("imgtickers", "cms", std::vector<uint8_t>(cms.begin(), cms.end()));
    return g_failed;
}
