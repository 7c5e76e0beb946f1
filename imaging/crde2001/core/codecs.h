// Readers and writers of picture files over memory. Readers give the picture in the
// depth closest to the file's own (see each); writers take a picture of the library's
// form at the depth they can store (prepareForWrite makes it) and give the file's bytes.
// Every size, offset and count of a file is checked against its bytes before use.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dib.h"

namespace img {

using Bytes = std::vector<uint8_t>;

// BMP: every header and depth, RLE8, RLE4, bit fields, rows either way up (see decodeDib).
Status readBmp(const uint8_t* data, size_t size, Dib& out, Progress& progress);
// 1, 4, 8, 16, 24 or 32 bits, uncompressed.
Status writeBmp(const Dib& dib, Bytes& out);
// The 14 bytes before the picture's block in its BMP file.
Status bmpFileHeader(const Dib& dib, uint8_t header[14]);

// PCX: 1 bit, 2 or 4 bits (one plane, or 2-4 planes of 1 bit) as 4 bits, 8 bits with
// its 256-colour table, 3 or 4 planes of 8 bits as 24 bits.
Status readPcx(const uint8_t* data, size_t size, Dib& out, Progress& progress);
// 1 bit (one plane), 4 bits (four planes), 8 bits, 24 bits (three planes); run-length.
Status writePcx(const Dib& dib, Bytes& out, Progress& progress);

// TGA: colour-mapped (8 or 16-bit indices), true colour (15, 16, 24, 32 bits) and grey,
// plain or run-length, any origin. 8 bits (colour-mapped or grey), 16, 24 or 32 bits.
Status readTga(const uint8_t* data, size_t size, Dib& out, Progress& progress);
// 8 bits colour-mapped, 16, 24 or 32 bits; run-length when rle; id: the image ID text
// (nothing when null, at most 255 characters).
Status writeTga(const Dib& dib, bool rle, const char* id, Bytes& out, Progress& progress);

// PNG: every colour type and depth; palettes keep their depth (2 bits become 4), grey
// pictures get a grey colour table, 16-bit samples become 8, alpha is dropped.
Status readPng(const uint8_t* data, size_t size, Dib& out, Progress& progress);
// 1, 4 or 8 bits with a palette, or 24 bits; Adam7 when interlaced.
Status writePng(const Dib& dib, bool interlaced, Bytes& out, Progress& progress);

// GIF: the first picture of the file on its logical screen, 1, 4 or 8 bits.
Status readGif(const uint8_t* data, size_t size, Dib& out, Progress& progress);
// 1, 4 or 8 bits, GIF87a.
Status writeGif(const Dib& dib, Bytes& out, Progress& progress);

// JPEG: 8-bit grey (grey table) or 24 bits; scale 1, 2, 4 or 8 reads at that fraction
// of the size.
Status readJpeg(const uint8_t* data, size_t size, int scale, Dib& out, Progress& progress);
// Quality 1-100, smoothing 0-100; grey writes one luminance channel.
Status writeJpeg(const Dib& dib, int quality, int smoothing, bool grey, Bytes& out, Progress& progress);

// TIFF compression codes.
enum TiffCompression : int {
    kTiffNone = 1,
    kTiffCcitt = 2,
    kTiffFax3 = 3,
    kTiffFax4 = 4,
    kTiffLzw = 5,
    kTiffOldJpeg = 6,
    kTiffJpeg = 7,
    kTiffPackBits = 32773,
};
// TIFF: page counted from 0. Bilevel pictures as 1 bit, palette and grey pictures of
// 1-8 bits as 1, 4 or 8 bits, everything else as 24 bits.
Status readTiff(const uint8_t* data, size_t size, int page, Dib& out, Progress& progress);
// One page of 1, 4, 8 or 24 bits; the fax codes need 1 bit, JPEG 8 (grey) or 24. With
// `existing` (a whole TIFF file), the page is appended to its pages.
Status writeTiff(const Dib& dib, int compression, const uint8_t* existing, size_t existingSize, Bytes& out,
                 Progress& progress);
// Number of pages of a TIFF file (0 when it cannot be read).
int tiffPageCount(const uint8_t* data, size_t size);

enum class Format { Bmp, Pcx, Tga, Png, Gif, Jpeg, Tiff };
// The picture at the depth a writer stores for the depth asked (0: the picture's own):
// see each writer. Dithers with Floyd-Steinberg where it needs fewer colours. `use` is
// then src itself or holder with the converted picture.
Status prepareForWrite(const Dib& src, Format format, unsigned bits, int tiffCompression, Dib& holder,
                       const Dib*& use, Progress& progress);

// What a file holds.
struct FileInfo {
    std::string type;  // "bmp", "jpg", "png", "gif", "pcx", "pcd", "tga", "tiff", "eps", "dxf"
    int32_t width = 0, height = 0;
    int16_t bits = 0;         // bits per pixel of the file
    int16_t colours = 0;      // colour table entries, 0 for true colour
    uint16_t compression = 0;  // format's own compression code (TIFF: its codes above)
    int32_t pages = 1;
    std::string text;  // a line for people: "PNG, 640 x 480, 8 bits, palette, interlaced"
};
// The type is found from the bytes; TGA, which has no signature, also from the name's
// extension. Photo CD, EPS and DXF are named but answer their not-supported status.
Status fileInfo(const uint8_t* data, size_t size, std::string_view extension, FileInfo& info);
// A TIFF file's page: the page's values and the page count.
Status tiffInfo(const uint8_t* data, size_t size, int page, FileInfo& info);

}  // namespace img
