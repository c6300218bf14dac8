// Drawing on a device context: pens and lines, device-independent bitmaps, text settings.
#include <algorithm>
#include <cstdlib>

#include "platform/win32.h"
#include "platform/win32/device_context.h"
#include "platform/win32/rect.h"
#include "platform/win32/subset_state.h"

using namespace morvala::win32;

namespace morvala::win32 {

DeviceContext* LookUpDeviceContext(HDC dc) {
    return Subset().gdi.contexts.Find(dc);
}

std::optional<Canvas> CanvasOf(HDC dc) {
    DeviceContext* context = LookUpDeviceContext(dc);
    Window* window = context != nullptr ? LookUpWindow(context->window) : nullptr;
    if (window == nullptr) {
        return std::nullopt;
    }
    Window& surface = *LookUpWindow(TopLevelOf(context->window));
    POINT origin = SurfaceOrigin(context->window);
    RECT clip = Intersection(SurfaceClip(context->window), Offset(context->paintRect, origin));
    return Canvas(surface.pixels.data(), surface.clientWidth, origin, clip);
}

}  // namespace morvala::win32

int WINAPI SetBkMode(HDC dc, int mode) {
    DeviceContext* context = LookUpDeviceContext(dc);
    if (context == nullptr || (mode != TRANSPARENT && mode != OPAQUE)) {
        return 0;
    }
    int previous = context->backgroundMode;
    context->backgroundMode = mode;
    return previous;
}

COLORREF WINAPI SetTextColor(HDC dc, COLORREF color) {
    DeviceContext* context = LookUpDeviceContext(dc);
    if (context == nullptr) {
        return 0xFFFFFFFF;  // CLR_INVALID
    }
    COLORREF previous = context->textColor;
    context->textColor = color;
    return previous;
}

// Only solid pens one pixel wide (width 0 means that too) are drawn.
HPEN WINAPI CreatePen(int style, int width, COLORREF color) {
    if (style != PS_SOLID || width < 0 || width > 1) {
        return nullptr;
    }
    return static_cast<HPEN>(Subset().gdi.pens.Add(Pen{color & 0xFFFFFF}));
}

HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object) {
    DeviceContext* context = LookUpDeviceContext(dc);
    if (context == nullptr || Subset().gdi.pens.Find(object) == nullptr) {
        return nullptr;
    }
    HGDIOBJ previous = context->pen;
    context->pen = object;
    return previous;
}

BOOL WINAPI DeleteObject(HGDIOBJ object) {
    GdiObjects& gdi = Subset().gdi;
    if (gdi.pens.Find(object) == nullptr) {
        return FALSE;
    }
    bool selected = false;
    gdi.contexts.ForEach(
        [&](HDC, const DeviceContext& context) { selected = selected || context.pen == object; });
    // A selected pen, and the stock pen, stay.
    if (selected) {
        return FALSE;
    }
    if (object != gdi.blackPen) {
        gdi.pens.Remove(object);
    }
    return TRUE;
}

BOOL WINAPI MoveToEx(HDC dc, int x, int y, LPPOINT previous) {
    DeviceContext* context = LookUpDeviceContext(dc);
    if (context == nullptr) {
        return FALSE;
    }
    if (previous != nullptr) {
        *previous = context->position;
    }
    context->position = {x, y};
    return TRUE;
}

// Bresenham's line from the current position, which moves to the end point; the end point
// itself is left for the next line to start from.
BOOL WINAPI LineTo(HDC dc, int x, int y) {
    DeviceContext* context = LookUpDeviceContext(dc);
    std::optional<Canvas> canvas = CanvasOf(dc);
    if (context == nullptr) {
        return FALSE;
    }
    POINT from = context->position;
    context->position = {x, y};
    if (!canvas) {
        return TRUE;
    }
    uint32_t pixel = PixelOf(Subset().gdi.pens.Find(context->pen)->color);
    int dx = std::abs(x - from.x);
    int dy = -std::abs(y - from.y);
    int stepX = from.x < x ? 1 : -1;
    int stepY = from.y < y ? 1 : -1;
    int error = dx + dy;
    for (POINT at = from; at.x != x || at.y != y;) {
        canvas->Put(at.x, at.y, pixel);
        int doubled = 2 * error;
        if (doubled >= dy) {
            error += dy;
            at.x += stepX;
        }
        if (doubled <= dx) {
            error += dx;
            at.y += stepY;
        }
    }
    return TRUE;
}

// 24-bit uncompressed bitmaps. `startScan` and `lines` say which of the bitmap's rows `bits`
// holds, counted from its first row in memory: the bottom one for a bottom-up bitmap.
int WINAPI SetDIBitsToDevice(HDC dc, int xDest, int yDest, DWORD width, DWORD height, int xSrc,
                             int ySrc, UINT startScan, UINT lines, const VOID* bits,
                             const BITMAPINFO* info, UINT colorUse) {
    std::optional<Canvas> canvas = CanvasOf(dc);
    if (!canvas || bits == nullptr || info == nullptr || colorUse != DIB_RGB_COLORS) {
        return 0;
    }
    const BITMAPINFOHEADER& header = info->bmiHeader;
    if (header.biBitCount != 24 || header.biCompression != BI_RGB || header.biWidth <= 0 ||
        header.biHeight == 0) {
        return 0;
    }
    bool bottomUp = header.biHeight > 0;
    long long bitmapHeight = std::llabs(header.biHeight);
    long long stride = (header.biWidth * 3LL + 3) / 4 * 4;
    const BYTE* rows = static_cast<const BYTE*>(bits);
    // The destination columns whose source column lies in the bitmap.
    long long firstColumn = std::max(0LL, -(long long)xSrc);
    long long endColumn = std::min((long long)width, (long long)header.biWidth - xSrc);
    if (firstColumn >= endColumn) {
        return int(lines);
    }
    // Far outside any surface either way, whatever the caller passed.
    constexpr long long kFar = 1 << 30;
    const int destinationLeft = int(std::clamp(xDest + firstColumn, -kFar, kFar));
    const int destinationRight = int(std::clamp(xDest + endColumn, -kFar, kFar));
    for (long long row = 0; row < height; ++row) {
        // The source rectangle's origin is the bitmap's lower left corner when it is bottom-up.
        long long scan = bottomUp ? ySrc + (long long)height - 1 - row : ySrc + row;
        if (scan < startScan || scan >= (long long)startScan + lines || scan >= bitmapHeight) {
            continue;
        }
        int left = destinationLeft;
        int right = destinationRight;
        uint32_t* target = canvas->Span(int(yDest + row), &left, &right);
        if (target == nullptr) {
            continue;
        }
        const BYTE* bgr = rows + (scan - startScan) * stride + (xSrc + left - xDest) * 3;
        for (int x = left; x < right; ++x, bgr += 3) {
            *target++ = uint32_t(bgr[2]) << 16 | uint32_t(bgr[1]) << 8 | bgr[0];
        }
    }
    return int(lines);
}
