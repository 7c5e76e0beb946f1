#include "render/dxpure.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

TEST(DxPure, DesktopCheck) {
    struct Case {
        uint32_t bits, w, h, depths;
        uint64_t vidFree;
        int accepted, windowed;
        uint32_t bytes;
    };
    const Case cases[] = {
        {32, 1600, 1200, DX_BD_32, 11520000, 1, 1, 4},  // exactly enough
        {32, 1600, 1200, DX_BD_32, 11519999, 1, 0, 4},
        {16, 1024, 768, DX_BD_16 | DX_BD_32, 4 * 1024 * 768, 1, 1, 2},
        {16, 1024, 768, DX_BD_32, ~0ull, 0, 1, 0},  // depth not rendered
        {24, 1024, 768, DX_BD_16 | DX_BD_32, ~0ull, 0, 1, 0},
        {8, 1024, 768, DX_BD_16 | DX_BD_32, ~0ull, 0, 1, 0},
        {32, 65535, 65535, DX_BD_32, 0xFFFFFFFFull, 1, 0, 4},  // no 32-bit wrap
    };
    for (const Case& c : cases) {
        const DxDesktopResult r = dxCheckDesktop(c.bits, c.w, c.h, c.depths, c.vidFree);
        EXPECT_EQ(r.accepted, c.accepted) << c.bits << " " << c.w;
        EXPECT_EQ(r.windowedOk, c.windowed) << c.bits << " " << c.w;
        EXPECT_EQ(r.pixelBytes, c.bytes) << c.bits << " " << c.w;
    }
}

TEST(DxPure, ModeFilterAndTableLimit) {
    struct Case {
        dxDisplayMode m;
        uint64_t vidTotal;
        int ok;
    };
    const uint32_t depths = DX_BD_16 | DX_BD_32;
    const Case cases[] = {
        {{640, 480, 16}, ~0ull, 1},      {{320, 240, 16}, ~0ull, 0},    {{640, 479, 16}, ~0ull, 0},
        {{1024, 768, 32}, ~0ull, 1},     {{1280, 768, 32}, ~0ull, 0},   {{1024, 1024, 32}, ~0ull, 0},
        {{800, 600, 24}, ~0ull, 0},      {{800, 600, 8}, ~0ull, 0},     {{800, 600, 16}, 6 * 800 * 600, 1},
        {{800, 600, 16}, 6 * 800 * 600 - 1, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(dxModeAccepted(c.m, 1024, 768, depths, c.vidTotal), c.ok) << c.m.width << "x" << c.m.height;
    EXPECT_EQ(dxModeAccepted({800, 600, 32}, 1024, 768, DX_BD_16, ~0ull), 0);

    std::vector<dxDisplayMode> table(DX_MAX_MODES);
    uint32_t count = 0;
    int goOn = 1, calls = 0;
    while (goOn && calls < 200) {
        goOn = dxAppendMode(table.data(), &count, {640, 480, 16});
        ++calls;
    }
    EXPECT_EQ(count, DX_MAX_MODES);
    EXPECT_EQ(calls, int(DX_MAX_MODES));
    EXPECT_EQ(dxAppendMode(table.data(), &count, {640, 480, 16}), 0);
    EXPECT_EQ(count, DX_MAX_MODES);
}

TEST(DxPure, DevicePreference) {
    // HAL without hardware rasterisation is ignored; a later T&L HAL wins and stops.
    DxDeviceChoice c{};
    EXPECT_EQ(dxDevicePick(&c, DX_DEVICE_OTHER, 1, 0x111), 1);
    EXPECT_EQ(dxDevicePick(&c, DX_DEVICE_HAL, 0, 0x222), 1);
    EXPECT_EQ(c.renderDepths, 0u);
    EXPECT_EQ(dxDevicePick(&c, DX_DEVICE_HAL, 1, DX_BD_16), 1);
    EXPECT_EQ(c.renderDepths, DX_BD_16);
    EXPECT_EQ(c.tnl, 0u);
    EXPECT_EQ(dxDevicePick(&c, DX_DEVICE_TNLHAL, 1, DX_BD_32), 0);
    EXPECT_EQ(c.renderDepths, DX_BD_32);
    EXPECT_EQ(c.tnl, 1u);
}

namespace {
struct Fmt {
    uint32_t flags, bits;
};
uint32_t runZ(std::initializer_list<Fmt> list) {
    uint32_t chosen = 0;
    for (const Fmt& f : list) {
        int take = 0;
        if (!dxZFormatPick(f.flags, f.bits, &chosen, &take)) break;
    }
    return chosen;
}
uint32_t runTex(std::initializer_list<Fmt> list, int* seen) {
    uint32_t best = DX_TEXFORMAT_NONE;
    *seen = 0;
    for (const Fmt& f : list) {
        int take = 0;
        ++*seen;
        if (!dxTexFormatPick(f.flags, f.bits, &best, &take)) break;
    }
    return best;
}
}  // namespace

TEST(DxPure, ZAndTextureFormatChoice) {
    EXPECT_EQ(runZ({{DX_PF_ZBUFFER, 32}, {DX_PF_ZBUFFER, 16}, {DX_PF_ZBUFFER, 32}}), 16u);
    EXPECT_EQ(runZ({{DX_PF_ZBUFFER, 32}, {DX_PF_ZBUFFER, 24}}), 32u);
    EXPECT_EQ(runZ({{DX_PF_ZBUFFER, 24}}), 0u);                         // only 24-bit: none
    EXPECT_EQ(runZ({{DX_PF_ZBUFFER | 0x4000, 16}}), 0u);                // stencil formats skipped

    const uint32_t rgb = 0x40;
    int seen = 0;
    EXPECT_EQ(runTex({{rgb, 32}, {rgb, 16}, {rgb | DX_PF_ALPHA, 16}, {rgb, 16}}, &seen), 16u);
    EXPECT_EQ(runTex({{rgb, 16}, {DX_PF_PALETTEINDEXED8 | rgb, 8}, {rgb, 16}}, &seen), 8u);
    EXPECT_EQ(seen, 2);  // palettised 8-bit ends the enumeration
    EXPECT_EQ(runTex({{rgb, 8}, {DX_PF_LUMINANCE, 16}, {DX_PF_FOURCC, 16}, {rgb, 12}, {rgb, 64}}, &seen),
              DX_TEXFORMAT_NONE);
    EXPECT_EQ(runTex({{rgb, 24}, {rgb, 32}}, &seen), 24u);
}

TEST(DxPure, VertexConversion) {
    DxVertex v{};
    DxEngineVertex in{10.5f, 20.0f, -32767.0f, 4.0f, 1.0f, 0.5f, 0.0f, 0.25f, 0.75f};
    dxConvertVertex(in, 0x01 | 0x08 | 0x10, 0.5f, 64, &v);
    EXPECT_FLOAT_EQ(v.x, 10.0f);
    EXPECT_FLOAT_EQ(v.y, 43.5f);
    EXPECT_FLOAT_EQ(v.z, 0.0f);
    EXPECT_FLOAT_EQ(v.rhw, 0.25f);
    EXPECT_FLOAT_EQ(v.u, 0.25f);
    EXPECT_FLOAT_EQ(v.v, 0.75f);
    EXPECT_EQ(v.diffuse, 0x7FFF7F00u);

    in.sz = 32767.0f;
    in.r = 2.0f;   // held at 255, no carry into alpha
    in.g = -1.0f;  // held at 0
    dxConvertVertex(in, 0x01, 0.5f, 64, &v);
    EXPECT_FLOAT_EQ(v.z, 65534.0f / 65536.0f);
    EXPECT_FLOAT_EQ(v.rhw, 0.001f);
    EXPECT_EQ(v.u, 0.0f);
    EXPECT_EQ(v.diffuse, 0x00FF0000u);  // no alpha without blending
    dxConvertVertex(in, 0, 0.0f, 64, &v);
    EXPECT_FLOAT_EQ(v.z, 1.0f);
}

TEST(DxPure, LevelPlanAndColourKey) {
    struct Case {
        uint32_t lw, lh, levels, maxW, maxH;
        int ok;
        uint32_t w, h, skipped, used, filter;
    };
    const Case cases[] = {
        {8, 8, 9, 128, 128, 1, 128, 128, 1, 8, 2},   // 256x256 on a 128 device
        {4, 2, 5, 2048, 2048, 1, 16, 4, 0, 5, 1},    // 16x4: point filter
        {4, 4, 5, 2048, 2048, 1, 16, 16, 0, 5, 2},   // 16x16: linear
        {3, 3, 4, 0, 0, 1, 8, 8, 0, 4, 1},           // no limit given
        {8, 8, 1, 128, 128, 0, 0, 0, 0, 0, 0},       // too few levels to fit
        {20, 2, 5, 2048, 2048, 0, 0, 0, 0, 0, 0},    // absurd size refused
    };
    for (const Case& c : cases) {
        DxLevelPlan p{};
        ASSERT_EQ(dxPlanLevels(c.lw, c.lh, c.levels, c.maxW, c.maxH, &p), c.ok) << c.lw;
        if (!c.ok) continue;
        EXPECT_EQ(p.width, c.w);
        EXPECT_EQ(p.height, c.h);
        EXPECT_EQ(p.skipped, c.skipped);
        EXPECT_EQ(p.levels, c.used);
        EXPECT_EQ(p.filter, c.filter);
    }

    uint32_t pal[16] = {0, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0, 0x80};
    EXPECT_EQ(dxColourKeyIndex(pal, 16), 7u);
    pal[7] = 0x70;
    for (uint32_t i = 9; i < 16; ++i) pal[i] = 0xFFFFFF;
    EXPECT_EQ(dxColourKeyIndex(pal, 16), 0u);
    EXPECT_EQ(dxColourKeyIndex(nullptr, 0), 0u);

    uint8_t table[256][3];
    const float half[3] = {0.5f, 1.0f, 2.0f};
    const uint32_t p2[2] = {0x00FF8040, 0x00102030};
    dxBuildColourTable(p2, 2, half, table);
    EXPECT_EQ(table[0][0], 127);
    EXPECT_EQ(table[0][1], 0x80);
    EXPECT_EQ(table[0][2], 0x80);
    EXPECT_EQ(table[1][2], 0x60);
    EXPECT_EQ(table[2][0], 0);
    dxBuildColourTable(nullptr, 0, nullptr, table);
    EXPECT_EQ(table[200][1], 200);
}

TEST(DxPure, MaskShift) {
    struct Case {
        uint32_t mask, bits, shift;
    };
    const Case cases[] = {{0x7C00, 5, 10}, {0xF800, 5, 11}, {0x07E0, 6, 5}, {0x001F, 5, 0}, {0, 0, 0},
                          {0xFF000000, 8, 24}};
    for (const Case& c : cases) {
        uint32_t s = 99;
        EXPECT_EQ(dxMaskShift(c.mask, &s), c.bits) << std::hex << c.mask;
        EXPECT_EQ(s, c.shift) << std::hex << c.mask;
    }
}

// Frame rows through every device layout and back: channels keep their values within the
// precision of the narrower format, and BGR layouts put red where their mask says.
TEST(DxPure, RowRoundTrips) {
    struct Layout {
        const char* name;
        DxPixelLayout l;
        uint32_t keep;  // mask of the channel bits that survive
    };
    const Layout layouts[] = {
        {"555", dxLayoutFromMasks(2, 0x7C00, 0x03E0, 0x001F), 0xF8},
        {"565", dxLayoutFromMasks(2, 0xF800, 0x07E0, 0x001F), 0xF8},
        {"bgr565", dxLayoutFromMasks(2, 0x001F, 0x07E0, 0xF800), 0xF8},
        {"888", dxLayoutFromMasks(3, 0xFF0000, 0xFF00, 0xFF), 0xFF},
        {"x888", dxLayoutFromMasks(4, 0xFF0000, 0xFF00, 0xFF), 0xFF},
        {"xbgr", dxLayoutFromMasks(4, 0xFF, 0xFF00, 0xFF0000), 0xFF},
    };
    const uint32_t colours[][3] = {{0xFF, 0x00, 0x00}, {0x00, 0xFF, 0x00}, {0x12, 0x9A, 0xE7}, {0xF8, 0x08, 0x80}};
    for (const Layout& L : layouts) {
        for (uint32_t fz : {2u, 3u, 4u}) {
            uint8_t src[4 * 4] = {}, dev[4 * 4] = {}, back[4 * 4] = {};
            for (int i = 0; i < 4; ++i) {
                const uint32_t r = colours[i][0], g = colours[i][1], b = colours[i][2];
                uint8_t* p = src + i * fz;
                if (fz == 2) {
                    const uint32_t v = ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
                    p[0] = uint8_t(v);
                    p[1] = uint8_t(v >> 8);
                } else if (fz == 3) {
                    p[0] = uint8_t(r), p[1] = uint8_t(g), p[2] = uint8_t(b);
                } else {
                    p[0] = uint8_t(b), p[1] = uint8_t(g), p[2] = uint8_t(r);
                }
            }
            dxConvertRowToDevice(src, fz, dev, L.l, 4, 1);
            for (int i = 0; i < 4; ++i) {
                uint32_t r, g, b;
                dxUnpackPixel(L.l, dxLoadPixel(dev + i * L.l.bytes, L.l.bytes), &r, &g, &b);
                const uint32_t fzKeep = fz == 2 ? 0xF8 : 0xFF;
                auto keep = [&](uint32_t bits) { return fzKeep & (0xFFu << (8 - bits)) & 0xFF; };
                EXPECT_EQ(r, colours[i][0] & keep(L.l.r.bits)) << L.name << " fz" << fz << " px" << i;
                EXPECT_EQ(g, colours[i][1] & keep(L.l.g.bits)) << L.name << " fz" << fz << " px" << i;
                EXPECT_EQ(b, colours[i][2] & keep(L.l.b.bits)) << L.name << " fz" << fz << " px" << i;
            }
            dxConvertRowFromDevice(dev, L.l, back, fz, 4, 1);
            if (fz == 2 || L.keep == 0xFF) {
                EXPECT_EQ(std::memcmp(src, back, 4 * fz), 0) << L.name << " fz" << fz;
            }
        }
    }
    // Red in a BGR 32-bit layout is the low byte.
    uint8_t red[4] = {0, 0, 0xFF, 0}, dev[4] = {};
    dxConvertRowToDevice(red, 4, dev, dxLayoutFromMasks(4, 0xFF, 0xFF00, 0xFF0000), 1, 1);
    EXPECT_EQ(dxLoadPixel(dev, 4), 0xFFu);
}

TEST(DxPure, DepthRowsAndTextureRows) {
    const int16_t depth[4] = {-32767, 0, 1000, 32767};
    for (uint32_t zb : {2u, 4u}) {
        uint8_t dev[16] = {};
        int16_t back[4] = {};
        dxConvertDepthToDevice(depth, dev, zb, 4, 1);
        // Nearer engine depth gives a smaller device Z, as the vertex z does.
        for (int i = 1; i < 4; ++i) EXPECT_LT(dxLoadPixel(dev + (i - 1) * zb, zb), dxLoadPixel(dev + i * zb, zb));
        dxConvertDepthFromDevice(dev, zb, back, 4, 1);
        EXPECT_EQ(std::memcmp(back, depth, sizeof depth), 0) << zb;
        dxConvertDepthToDevice(depth, dev, zb, 4, 0);
        dxConvertDepthFromDevice(dev, zb, back, 4, 0);
        EXPECT_EQ(std::memcmp(back, depth, sizeof depth), 0) << zb;
    }
    uint8_t table[256][3] = {};
    table[3][0] = 0xFF;  // red
    table[4][2] = 0xFF;  // blue
    const uint8_t idx[2] = {3, 4};
    uint8_t out[8] = {};
    dxConvertTexRow(idx, table, out, dxLayoutFromMasks(2, 0xF800, 0x07E0, 0x001F), 2);
    EXPECT_EQ(dxLoadPixel(out, 2), 0xF800u);
    EXPECT_EQ(dxLoadPixel(out + 2, 2), 0x001Fu);
    dxConvertTexRow(idx, table, out, dxLayoutFromMasks(4, 0xFF, 0xFF00, 0xFF0000), 2);
    EXPECT_EQ(dxLoadPixel(out, 4), 0xFFu);
    EXPECT_EQ(dxLoadPixel(out + 4, 4), 0xFF0000u);
}

TEST(DxPure, CopyClipAndEdgeRemap) {
    struct Case {
        int32_t x, y, w, h, ox, oy;
        int ok;
        DxCopyRect r;
    };
    const Case cases[] = {
        {0, 0, 64, 64, 0, 0, 1, {0, 0, 0, 64, 64}},
        {10, 10, 100, 100, 0, 0, 1, {10, 10, 10, 54, 54}},   // cut to both buffers
        {-5, -3, 20, 20, 0, 0, 1, {0, 0, 0, 15, 17}},        // negative start
        {0, 0, 0, 10, 0, 0, 0, {}},
        {0, 0, -4, 10, 0, 0, 0, {}},
        {70, 0, 10, 10, 0, 0, 0, {}},                        // wholly outside
    };
    for (const Case& c : cases) {
        DxCopyRect r{};
        ASSERT_EQ(dxClipCopy(c.x, c.y, c.w, c.h, c.ox, c.oy, 64, 64, 64, 64, &r), c.ok) << c.x << "," << c.y;
        if (!c.ok) continue;
        EXPECT_EQ(r.srcX, c.r.srcX);
        EXPECT_EQ(r.srcY, c.r.srcY);
        EXPECT_EQ(r.width, c.r.width) << c.x;
        EXPECT_EQ(r.height, c.r.height) << c.y;
    }
    EXPECT_EQ(dxRemapEdges(1, 0), 1u);
    EXPECT_EQ(dxRemapEdges(1, 4), 4u);
    EXPECT_EQ(dxRemapEdges(3, 3), 6u);
    EXPECT_EQ(dxRemapEdges(7, 5), 7u);
}
