#include "colourviews_win.h"

#include <windows.h>
#include <GL/gl.h>

#include <functional>

namespace stellwerk {

namespace {

int bitmapFormat(HDC dc, PIXELFORMATDESCRIPTOR& want);

// Runs draw in a context on a 32-bit DIB section of that size and copies
// the frame from the section's bytes into out. Four bytes a pixel: rows hold
// no padding (Wine's bitmap OpenGL skews padded rows of 24-bit sections).
bool renderInto(forms::Bitmap& out, int width, int height, const std::function<void()>& draw) {
    if (width <= 0 || height <= 0 || width > 0x8000 || height > 0x8000) return false;
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
    HBITMAP dib = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!dc || !dib) {
        if (dib) DeleteObject(dib);
        if (dc) DeleteDC(dc);
        return false;
    }
    HGDIOBJ old = SelectObject(dc, dib);
    PIXELFORMATDESCRIPTOR pfd = {};
    pfd.nSize = sizeof pfd;
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_BITMAP | PFD_SUPPORT_OPENGL | PFD_SUPPORT_GDI;
    pfd.iPixelType = PFD_TYPE_RGBA;
    pfd.cColorBits = 32;
    pfd.cDepthBits = 16;
    pfd.iLayerType = PFD_MAIN_PLANE;
    bool ok = false;
    const int format = bitmapFormat(dc, pfd);
    if (format && SetPixelFormat(dc, format, &pfd)) {
        if (HGLRC rc = wglCreateContext(dc)) {
            if (wglMakeCurrent(dc, rc)) {
                glViewport(0, 0, width, height);
                // Which byte holds which colour: a red, a green and a blue
                // frame first (Wine has been seen to swap red and blue).
                const unsigned char* first = static_cast<const unsigned char*>(bits);
                auto byteOf = [&](float r, float g, float b) {
                    glClearColor(r, g, b, 0);
                    glClear(GL_COLOR_BUFFER_BIT);
                    glFinish();
                    GdiFlush();
                    int at = -1;
                    for (int i = 0; i < 4; ++i)
                        if (first[i] >= 128) at = at < 0 ? i : 4;
                    return at;
                };
                const int redAt = byteOf(1, 0, 0), greenAt = byteOf(0, 1, 0), blueAt = byteOf(0, 0, 1);
                const bool reached = redAt >= 0 && redAt < 4 && greenAt >= 0 && greenAt < 4 && blueAt >= 0 &&
                                     blueAt < 4 && redAt != greenAt && redAt != blueAt && greenAt != blueAt;
                draw();
                glFinish();
                GdiFlush();
                ok = reached && glGetError() == GL_NO_ERROR;
                wglMakeCurrent(nullptr, nullptr);
                if (ok) {
                    // Rows of the section run bottom up.
                    const size_t stride = size_t(width) * 4;
                    out.SetSize(width, height);
                    uint32_t* px = out.Bits();
                    for (int y = 0; y < height; ++y) {
                        const unsigned char* row = first + size_t(height - 1 - y) * stride;
                        for (int x = 0; x < width; ++x) {
                            const unsigned char* p = row + size_t(x) * 4;
                            px[size_t(y) * size_t(width) + size_t(x)] =
                                uint32_t(p[redAt]) << 16 | uint32_t(p[greenAt]) << 8 | p[blueAt];
                        }
                    }
                    out.Changed();
                }
            }
            wglDeleteContext(rc);
        }
    }
    SelectObject(dc, old);
    DeleteObject(dib);
    DeleteDC(dc);
    return ok;
}

// A pixel format that draws with OpenGL into a bitmap of 32 bits, the one
// ChoosePixelFormat offers when it is such a format, else the first listed.
int bitmapFormat(HDC dc, PIXELFORMATDESCRIPTOR& want) {
    auto fits = [](const PIXELFORMATDESCRIPTOR& p) {
        const DWORD need = PFD_DRAW_TO_BITMAP | PFD_SUPPORT_OPENGL;
        return (p.dwFlags & need) == need && p.iPixelType == PFD_TYPE_RGBA && p.cColorBits == 32;
    };
    PIXELFORMATDESCRIPTOR p = {};
    const int chosen = ChoosePixelFormat(dc, &want);
    if (chosen && DescribePixelFormat(dc, chosen, sizeof p, &p) && fits(p)) return want = p, chosen;
    const int count = DescribePixelFormat(dc, 1, sizeof p, &p);
    for (int i = 1; i <= count; ++i)
        if (DescribePixelFormat(dc, i, sizeof p, &p) && fits(p)) return want = p, i;
    return 0;
}

void glColour(Color c) { glColor3ub(GLubyte(RedOf(c)), GLubyte(GreenOf(c)), GLubyte(BlueOf(c))); }

}  // namespace

bool RenderColourCube(forms::Bitmap& out, int width, int height, CubeAngles angles, Color back) {
    return renderInto(out, width, height, [&] {
        glClearColor(RedOf(back) / 255.0f, GreenOf(back) / 255.0f, BlueOf(back) / 255.0f, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glEnable(GL_DEPTH_TEST);
        glShadeModel(GL_SMOOTH);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        // The cube's diagonal fits the shorter side.
        const double aspect = double(width) / double(height), r = 0.9;
        if (aspect >= 1)
            glOrtho(-r * aspect, r * aspect, -r, r, -2, 2);
        else
            glOrtho(-r, r, -r / aspect, r / aspect, -2, 2);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glRotatef(float(angles.x), 1, 0, 0);
        glRotatef(float(angles.y), 0, 1, 0);
        static const float corner[8][3] = {{-.5f, -.5f, -.5f}, {.5f, -.5f, -.5f}, {.5f, .5f, -.5f}, {-.5f, .5f, -.5f},
                                           {-.5f, -.5f, .5f},  {.5f, -.5f, .5f},  {.5f, .5f, .5f},  {-.5f, .5f, .5f}};
        static const int face[6][4] = {{0, 1, 2, 3}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                       {3, 2, 6, 7}, {0, 3, 7, 4}, {1, 2, 6, 5}};
        glBegin(GL_QUADS);
        for (const auto& f : face)
            for (int v : f) {
                const float* p = corner[v];
                glColour(CubeCornerColour(p[0], p[1], p[2]));
                glVertex3fv(p);
            }
        glEnd();
    });
}

bool RenderColourGradient(forms::Bitmap& out, int width, int height, Color colour) {
    return renderInto(out, width, height, [&] {
        glDisable(GL_DEPTH_TEST);
        glShadeModel(GL_SMOOTH);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, 1, 0, 1, -1, 1);  // y up: 1 is the top row
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glBegin(GL_QUADS);
        glColour(RGB3(255, 255, 255));
        glVertex2f(0, 1);
        glVertex2f(1, 1);
        glColour(colour);
        glVertex2f(1, 0.5f);
        glVertex2f(0, 0.5f);
        glVertex2f(0, 0.5f);
        glVertex2f(1, 0.5f);
        glColour(0);
        glVertex2f(1, 0);
        glVertex2f(0, 0);
        glEnd();
    });
}

}  // namespace stellwerk
