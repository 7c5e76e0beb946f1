// Figures of the imaging libraries: for one picture (4000 x 3000 unless given), the read
// and write times of each format through the binding and CRDE2001.DLL beside the bare
// codec on the same bytes (libjpeg, libpng, libtiff, giflib; the library's own codec for
// BMP, PCX and TGA): the bare codec reads the file with fread and decodes into a buffer
// of its own, or encodes into one and writes it with fwrite. And ScaleDib to half the
// size beside a plain 2 x 2 box filter into a new buffer. Medians of several runs, with
// the machine's load. Run under wine64 beside the DLLs:
//   bench_imaging_win.exe [width height [runs]]
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gif_lib.h>
#include <png.h>
#include <tiffio.h>
extern "C" {
#include <jpeglib.h>
}

#include "codecs.h"
#include "convert.h"
#include "crdebinding_win.h"
#include "ispbinding_win.h"

namespace {

using Clock = std::chrono::steady_clock;
using img::Bytes;

int g_runs = 5;

double medianMs(const std::function<void()>& f) {
    std::vector<double> t;
    for (int i = 0; i < g_runs; ++i) {
        const auto a = Clock::now();
        f();
        t.push_back(std::chrono::duration<double, std::milli>(Clock::now() - a).count());
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

std::string loadAverage() {
    FILE* f = std::fopen("Z:\\proc\\loadavg", "rb");
    char buf[64] = "?";
    if (f) {
        if (!std::fgets(buf, sizeof buf, f)) buf[0] = 0;
        std::fclose(f);
    }
    std::string s(buf);
    return s.substr(0, s.find(' '));
}

// --- bare codecs over memory ------------------------------------------------------------

struct JErr {
    jpeg_error_mgr pub;
    jmp_buf jump;
};
void jexit(j_common_ptr c) { std::longjmp(reinterpret_cast<JErr*>(c->err)->jump, 1); }

bool jpegRead(const Bytes& in, std::vector<uint8_t>& out) {
    jpeg_decompress_struct c;
    JErr e;
    c.err = jpeg_std_error(&e.pub);
    e.pub.error_exit = jexit;
    if (setjmp(e.jump)) {
        jpeg_destroy_decompress(&c);
        return false;
    }
    jpeg_create_decompress(&c);
    jpeg_mem_src(&c, in.data(), static_cast<unsigned long>(in.size()));
    jpeg_read_header(&c, TRUE);
    c.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&c);
    out.resize(size_t(c.output_width) * 3 * c.output_height);
    while (c.output_scanline < c.output_height) {
        JSAMPROW row = out.data() + size_t(c.output_scanline) * c.output_width * 3;
        jpeg_read_scanlines(&c, &row, 1);
    }
    jpeg_finish_decompress(&c);
    jpeg_destroy_decompress(&c);
    return true;
}

bool jpegWrite(const std::vector<uint8_t>& bgr, int w, int h, Bytes& out) {
    jpeg_compress_struct c;
    JErr e;
    c.err = jpeg_std_error(&e.pub);
    e.pub.error_exit = jexit;
    unsigned char* buf = nullptr;
    unsigned long len = 0;
    if (setjmp(e.jump)) {
        jpeg_destroy_compress(&c);
        std::free(buf);
        return false;
    }
    jpeg_create_compress(&c);
    jpeg_mem_dest(&c, &buf, &len);
    c.image_width = JDIMENSION(w);
    c.image_height = JDIMENSION(h);
    c.input_components = 3;
    c.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    jpeg_start_compress(&c, TRUE);
    for (int y = 0; y < h; ++y) {
        JSAMPROW row = const_cast<uint8_t*>(bgr.data()) + size_t(y) * size_t(w) * 3;
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    out.assign(buf, buf + len);
    std::free(buf);
    return true;
}

bool pngRead(const Bytes& in, std::vector<uint8_t>& out) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, in.data(), in.size())) return false;
    image.format = PNG_FORMAT_BGR;
    out.resize(PNG_IMAGE_SIZE(image));
    const bool ok = png_image_finish_read(&image, nullptr, out.data(), 0, nullptr);
    png_image_free(&image);
    return ok;
}

bool pngWrite(const std::vector<uint8_t>& bgr, int w, int h, Bytes& out) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(w);
    image.height = png_uint_32(h);
    image.format = PNG_FORMAT_BGR;
    png_alloc_size_t size = 0;
    if (!png_image_write_get_memory_size(image, size, 0, bgr.data(), 0, nullptr)) return false;
    out.resize(size);
    return png_image_write_to_memory(&image, out.data(), &size, 0, bgr.data(), 0, nullptr) && (out.resize(size), true);
}

struct Mem {
    const Bytes* in = nullptr;
    Bytes* out = nullptr;
    uint64_t pos = 0;
    uint64_t size() const { return in ? in->size() : out->size(); }
};
tmsize_t mRead(thandle_t h, void* b, tmsize_t n) {
    Mem* m = static_cast<Mem*>(h);
    const uint64_t k = std::min<uint64_t>(uint64_t(n), m->size() - std::min(m->pos, m->size()));
    std::memcpy(b, (m->in ? m->in->data() : m->out->data()) + m->pos, size_t(k));
    m->pos += k;
    return tmsize_t(k);
}
tmsize_t mWrite(thandle_t h, void* b, tmsize_t n) {
    Mem* m = static_cast<Mem*>(h);
    if (m->pos + uint64_t(n) > m->out->size()) m->out->resize(size_t(m->pos + uint64_t(n)));
    std::memcpy(m->out->data() + m->pos, b, size_t(n));
    m->pos += uint64_t(n);
    return n;
}
toff_t mSeek(thandle_t h, toff_t o, int w) {
    Mem* m = static_cast<Mem*>(h);
    m->pos = w == SEEK_SET ? o : w == SEEK_CUR ? m->pos + o : m->size() + o;
    return m->pos;
}
int mClose(thandle_t) { return 0; }
toff_t mSize(thandle_t h) { return static_cast<Mem*>(h)->size(); }
int mMap(thandle_t, void**, toff_t*) { return 0; }
void mUnmap(thandle_t, void*, toff_t) {}

bool tiffRead(const Bytes& in, std::vector<uint8_t>& out) {
    Mem m;
    m.in = &in;
    TIFF* t = TIFFClientOpen("m", "r", &m, mRead, mWrite, mSeek, mClose, mSize, mMap, mUnmap);
    if (!t) return false;
    uint32_t w = 0, h = 0;
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h);
    out.resize(size_t(TIFFScanlineSize(t)) * h);
    for (uint32_t y = 0; y < h; ++y) TIFFReadScanline(t, out.data() + size_t(TIFFScanlineSize(t)) * y, y, 0);
    TIFFClose(t);
    return true;
}

bool tiffWrite(const std::vector<uint8_t>& rgb, int w, int h, Bytes& out) {
    Mem m;
    out.clear();
    m.out = &out;
    TIFF* t = TIFFClientOpen("m", "w", &m, mRead, mWrite, mSeek, mClose, mSize, mMap, mUnmap);
    if (!t) return false;
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, uint32_t(w));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, uint32_t(h));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, 0));
    for (int y = 0; y < h; ++y) TIFFWriteScanline(t, const_cast<uint8_t*>(rgb.data()) + size_t(y) * size_t(w) * 3, uint32_t(y), 0);
    TIFFClose(t);
    return true;
}

struct GIn {
    const Bytes* in;
    size_t at;
};
int gRead(GifFileType* g, GifByteType* b, int n) {
    GIn* s = static_cast<GIn*>(g->UserData);
    const size_t k = std::min(size_t(n), s->in->size() - s->at);
    std::memcpy(b, s->in->data() + s->at, k);
    s->at += k;
    return int(k);
}
int gWrite(GifFileType* g, const GifByteType* b, int n) {
    static_cast<Bytes*>(g->UserData)->insert(static_cast<Bytes*>(g->UserData)->end(), b, b + n);
    return n;
}

bool gifRead(const Bytes& in, std::vector<uint8_t>&) {
    GIn s{&in, 0};
    int err = 0;
    GifFileType* g = DGifOpen(&s, gRead, &err);
    if (!g) return false;
    const bool ok = DGifSlurp(g) == GIF_OK;
    DGifCloseFile(g, &err);
    return ok;
}

bool gifWrite(const img::Dib& pic, Bytes& out) {
    out.clear();
    int err = 0;
    GifColorType colours[256];
    for (int i = 0; i < 256; ++i) colours[i] = GifColorType{pic.palette()[i].red, pic.palette()[i].green, pic.palette()[i].blue};
    ColorMapObject* map = GifMakeMapObject(256, colours);
    GifFileType* g = EGifOpen(&out, gWrite, &err);
    EGifPutScreenDesc(g, pic.width(), pic.height(), 8, 0, map);
    EGifPutImageDesc(g, 0, 0, pic.width(), pic.height(), false, nullptr);
    for (int32_t y = 0; y < pic.height(); ++y) EGifPutLine(g, const_cast<uint8_t*>(pic.row(y)), pic.width());
    EGifCloseFile(g, &err);
    GifFreeMapObject(map);
    return true;
}

// --- the picture --------------------------------------------------------------------------

img::Dib makePicture(int w, int h) {
    img::Dib d;
    img::Dib::create(w, h, 24, d);
    uint32_t noise = 12345;
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* p = d.row(y);
        for (int32_t x = 0; x < w; ++x, p += 3) {
            noise = noise * 1103515245u + 12345u;
            const int n = int(noise >> 28) - 8;
            p[0] = uint8_t(std::clamp(x * 255 / w + n, 0, 255));
            p[1] = uint8_t(std::clamp(y * 255 / h + n, 0, 255));
            p[2] = uint8_t(std::clamp(((x / 64 + y / 64) % 2) * 120 + 60 + n, 0, 255));
        }
    }
    return d;
}

// The rows top first, tightly packed, blue-green-red (or red-green-blue).
std::vector<uint8_t> packedRows(const img::Dib& d, bool rgb) {
    std::vector<uint8_t> out(size_t(d.width()) * 3 * size_t(d.height()));
    for (int32_t y = 0; y < d.height(); ++y) {
        uint8_t* o = out.data() + size_t(y) * size_t(d.width()) * 3;
        std::memcpy(o, d.row(y), size_t(d.width()) * 3);
        if (rgb)
            for (int32_t x = 0; x < d.width(); ++x) std::swap(o[3 * x], o[3 * x + 2]);
    }
    return out;
}

HGLOBAL handleOf(const img::Dib& d) {
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, d.size());
    std::memcpy(GlobalLock(h), d.data(), d.size());
    GlobalUnlock(h);
    return h;
}

Bytes readWhole(const std::string& path) {
    Bytes b;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        std::fseek(f, 0, SEEK_END);
        b.resize(size_t(std::ftell(f)));
        std::fseek(f, 0, SEEK_SET);
        if (std::fread(b.data(), 1, b.size(), f) != b.size()) b.clear();
        std::fclose(f);
    }
    return b;
}

bool writeFile(const std::string& path, const Bytes& b) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(b.data(), 1, b.size(), f) == b.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    const int w = argc > 2 ? std::atoi(argv[1]) : 4000, h = argc > 2 ? std::atoi(argv[2]) : 3000;
    if (argc > 3) g_runs = std::max(1, std::atoi(argv[3]));
    char tmp[MAX_PATH];
    GetTempPathA(MAX_PATH, tmp);
    const std::string dir = std::string(tmp) + "qivimagingbench";
    CreateDirectoryA(dir.c_str(), nullptr);
    imaging::SetMessageLog([](void*, const std::string& t) { std::printf("message: %s\n", t.c_str()); }, nullptr);

    std::printf("imaging libraries: %d x %d picture, medians of %d runs, load %s\n", w, h, g_runs, loadAverage().c_str());
    const img::Dib pic = makePicture(w, h);
    img::Dib pic8;
    img::Progress none;
    img::reduceColours(pic, 8, img::kDitherFloyd, 0, nullptr, 0, pic8, none);
    const std::vector<uint8_t> bgr = packedRows(pic, false), rgb = packedRows(pic, true);
    HGLOBAL dib24 = handleOf(pic), dib8 = handleOf(pic8);

    struct Row {
        const char* name;
        const char* ext;
        HGLOBAL dib;
        std::function<bool(const std::string&, HGLOBAL&)> dllRead;
        std::function<bool(const std::string&, HGLOBAL)> dllWrite;
        std::function<bool(const Bytes&)> bareRead;
        std::function<bool(Bytes&)> bareWrite;
    };
    std::vector<uint8_t> scratch;
    img::Dib decoded;
    const Row rows[] = {
        {"BMP 24", ".bmp", dib24,
         [](auto& f, HGLOBAL& d) { return imaging::DllReadBmp(f, 0, 0, nullptr, nullptr, nullptr, d); },
         [](auto& f, HGLOBAL d) { return imaging::DllWriteBmp(f, 24, d, nullptr, nullptr); },
         [&](const Bytes& b) { return img::readBmp(b.data(), b.size(), decoded, none) == img::kOk; },
         [&](Bytes& out) { return img::writeBmp(pic, out) == img::kOk; }},
        {"PCX 24", ".pcx", dib24,
         [](auto& f, HGLOBAL& d) { return imaging::DllReadPcx(f, 0, 0, nullptr, nullptr, nullptr, d); },
         [](auto& f, HGLOBAL d) { return imaging::DllWritePcx(f, 24, d, nullptr, nullptr); },
         [&](const Bytes& b) { return img::readPcx(b.data(), b.size(), decoded, none) == img::kOk; },
         [&](Bytes& out) { return img::writePcx(pic, out, none) == img::kOk; }},
        {"TGA 24", ".tga", dib24,
         [](auto& f, HGLOBAL& d) { return imaging::DllReadTga(f, 0, 0, nullptr, nullptr, d); },
         [](auto& f, HGLOBAL d) { return imaging::DllWriteTga(f, 24, d, nullptr, nullptr); },
         [&](const Bytes& b) { return img::readTga(b.data(), b.size(), decoded, none) == img::kOk; },
         [&](Bytes& out) { return img::writeTga(pic, false, nullptr, out, none) == img::kOk; }},
        {"PNG 24", ".png", dib24,
         [](auto& f, HGLOBAL& d) { return imaging::DllReadPng(f, 0, 0, nullptr, nullptr, nullptr, d); },
         [](auto& f, HGLOBAL d) { return imaging::DllWritePng(f, 24, false, d, nullptr, nullptr); },
         [&](const Bytes& b) { return pngRead(b, scratch); }, [&](Bytes& out) { return pngWrite(bgr, w, h, out); }},
        {"GIF 8", ".gif", dib8,
         [](auto& f, HGLOBAL& d) { return imaging::DllReadGif(f, 0, 0, nullptr, nullptr, nullptr, d); },
         [](auto& f, HGLOBAL d) { return imaging::DllWriteGif(f, 8, d, nullptr, nullptr); },
         [&](const Bytes& b) { return gifRead(b, scratch); }, [&](Bytes& out) { return gifWrite(pic8, out); }},
        {"JPEG 24", ".jpg", dib24,
         [](auto& f, HGLOBAL& d) { return imaging::DllReadJpg(f, 0, 0, nullptr, nullptr, nullptr, d); },
         [](auto& f, HGLOBAL d) { return imaging::DllWriteJpg(f, 90, 0, 24, d, nullptr, nullptr); },
         [&](const Bytes& b) { return jpegRead(b, scratch); }, [&](Bytes& out) { return jpegWrite(bgr, w, h, out); }},
        {"TIFF 24 LZW", ".tiff", dib24,
         [](auto& f, HGLOBAL& d) { return imaging::DllReadTiff(f, 0, 0, 0, nullptr, nullptr, d); },
         [](auto& f, HGLOBAL d) { return imaging::DllWriteTiff(f, 5, 24, false, d, nullptr, nullptr); },
         [&](const Bytes& b) { return tiffRead(b, scratch); }, [&](Bytes& out) { return tiffWrite(rgb, w, h, out); }},
    };
    std::printf("%-12s %10s %10s %6s   %10s %10s %6s\n", "format", "read dll", "bare", "ratio", "write dll", "bare",
                "ratio");
    for (const Row& r : rows) {
        const std::string file = dir + "\\bench" + r.ext, out = dir + "\\out" + r.ext;
        // The same bytes for both: the file the library writes.
        if (!r.dllWrite(file, r.dib)) {
            std::printf("%-12s write failed: %s\n", r.name, imaging::LastDllErrorText().c_str());
            continue;
        }
        const Bytes bytes = readWhole(file);
        bool ok = true;
        const double readDll = medianMs([&] {
            HGLOBAL d = nullptr;
            ok = r.dllRead(file, d) && ok;
            imaging::FreeDibHandle(d);
        });
        const double readBare = medianMs([&] {
            const Bytes fromFile = readWhole(file);
            ok = r.bareRead(fromFile) && ok;
            scratch = std::vector<uint8_t>();
            decoded.reset();
        });
        const double writeDll = medianMs([&] { ok = r.dllWrite(out, r.dib) && ok; });
        const double writeBare = medianMs([&] {
            Bytes encoded;
            ok = r.bareWrite(encoded) && writeFile(out, encoded) && ok;
        });
        std::printf("%-12s %8.1fms %8.1fms %6.2f   %8.1fms %8.1fms %6.2f  (%zu kB)%s\n", r.name, readDll, readBare,
                    readDll / readBare, writeDll, writeBare, writeDll / writeBare, bytes.size() / 1024,
                    ok ? "" : "  FAILED");
        DeleteFileA(file.c_str());
        DeleteFileA(out.c_str());
    }

    // ScaleDib to half beside a plain 2 x 2 box filter on the same rows.
    const double scaleDll = medianMs([&] {
        HGLOBAL half = imaging::DllScaleDib(dib24, w / 2, h / 2);
        imaging::FreeDibHandle(half);
    });
    const double scaleBox = medianMs([&] {
        img::Dib box;
        img::Dib::create(w / 2, h / 2, 24, box);
        for (int32_t y = 0; y < h / 2; ++y) {
            const uint8_t* a = pic.row(2 * y);
            const uint8_t* b = pic.row(2 * y + 1);
            uint8_t* o = box.row(y);
            for (int32_t x = 0; x < w / 2; ++x)
                for (int c = 0; c < 3; ++c)
                    o[3 * x + c] = uint8_t((a[6 * x + c] + a[6 * x + 3 + c] + b[6 * x + c] + b[6 * x + 3 + c] + 2) / 4);
        }
    });
    std::printf("ScaleDib to %d x %d: %.1f ms, box filter %.1f ms, ratio %.2f\n", w / 2, h / 2, scaleDll, scaleBox,
                scaleDll / scaleBox);
    std::printf("load %s\n", loadAverage().c_str());
    imaging::FreeDibHandle(dib24);
    imaging::FreeDibHandle(dib8);
    return 0;
}
