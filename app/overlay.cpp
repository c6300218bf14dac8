#include "app/overlay.h"

#include <math.h>
#include <stdarg.h>

#include "platform/camera_link.h"

RECT TextRect;

// Room for one line of text; the formatter is held to 255 bytes of it.
static char TextBuffer[260];
static const size_t TextLimit = 255;

static const double WhiteUpTo = 3500.0;
static const double RedFrom = 7000.0;

void SetOverlayTextStyle(HDC dc) {
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
}

void DrawCameraImage(HDC dc) {
    SetDIBitsToDevice(dc, 0, 0, 320, 240, 0, 0, 0, 240, LatestFrame, &VideoFormat, DIB_RGB_COLORS);
}

void FormatText(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    vsprintf_s(TextBuffer, TextLimit, format, arguments);
    va_end(arguments);
}

void DrawOverlayText(HDC dc, TextPlacement placement) {
    DrawTextA(dc, TextBuffer, -1, &TextRect, placement);
}

COLORREF PatchFrameColour(double distance) {
    double blend;
    if (distance < WhiteUpTo) {
        blend = 0.0;
    } else if (distance > RedFrom) {
        blend = 255.0;
    } else {
        blend = (distance - WhiteUpTo) / (RedFrom - WhiteUpTo) * 255.0;
    }
    // A distance that is not a number fails both comparisons above and lands here as one;
    // it shows white, as its integer conversion would have a low byte of 0.
    int level = isnan(blend) ? 0 : (static_cast<int>(blend) & 0xFF);
    int others = 255 - level;
    return RGB(255, others, others);
}

// Two closed squares around the patch: one a pixel outside it, one moved a pixel up and left.
static const POINT PatchFrameSquares[2][5] = {
    {{95, 55}, {95, 184}, {224, 184}, {224, 55}, {95, 55}},
    {{94, 54}, {94, 183}, {223, 183}, {223, 54}, {94, 54}},
};

void DrawPatchFrame(HDC dc, double distance) {
    HPEN pen = CreatePen(PS_SOLID, 1, PatchFrameColour(distance));
    HGDIOBJ replaced = SelectObject(dc, pen);
    for (const POINT* square : PatchFrameSquares) {
        MoveToEx(dc, square[0].x, square[0].y, nullptr);
        for (int corner = 1; corner < 5; ++corner) {
            LineTo(dc, square[corner].x, square[corner].y);
        }
    }
    SelectObject(dc, replaced);
    DeleteObject(pen);
}
