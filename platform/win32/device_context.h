// Device contexts over a top-level window's pixel surface, and the pens drawn with.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>

#include "platform/win32.h"
#include "platform/win32/handle_table.h"
#include "platform/win32/rect.h"

namespace morvala::win32 {

struct Pen {
    COLORREF color;
};

struct DeviceContext {
    HWND window;     // whose client area it draws on
    RECT paintRect;  // in client coordinates: what the paint may change
    HGDIOBJ pen;
    COLORREF textColor = RGB(0, 0, 0);
    int backgroundMode = OPAQUE;
    POINT position{0, 0};
};

struct GdiObjects {
    HandleTable<HGDIOBJ, Pen> pens{3};
    HGDIOBJ blackPen = pens.Add(Pen{RGB(0, 0, 0)});  // what a new device context holds
    HandleTable<HDC, DeviceContext> contexts{2};
};

inline uint32_t PixelOf(COLORREF color) {
    return uint32_t(color & 0xFF) << 16 | (color & 0xFF00) | (color >> 16 & 0xFF);
}

// Where one drawing call lands: the surface, with client coordinates and the clip applied.
class Canvas {
  public:
    Canvas(uint32_t* pixels, int width, POINT origin, RECT clip)
        : pixels_(pixels), width_(width), origin_(origin), clip_(clip) {}

    // The clip in client coordinates.
    RECT Clip() const { return Offset(clip_, {-origin_.x, -origin_.y}); }

    void Put(int x, int y, uint32_t pixel) {
        if (uint32_t* target = At(x, y)) {
            *target = pixel;
        }
    }

    void Fill(const RECT& rect, uint32_t pixel) {
        for (int y = rect.top; y < rect.bottom; ++y) {
            int left = rect.left;
            int right = rect.right;
            if (uint32_t* row = Span(y, &left, &right)) {
                std::fill(row, row + (right - left), pixel);
            }
        }
    }

    // Row y's pixels from *left up to *right (client coordinates), cut to the clip: null when
    // none is left, else the first one, with *left and *right moved to the cut.
    uint32_t* Span(int y, int* left, int* right) {
        y += origin_.y;
        int first = std::max(*left + origin_.x, int(clip_.left));
        int end = std::min(*right + origin_.x, int(clip_.right));
        if (y < clip_.top || y >= clip_.bottom || first >= end) {
            return nullptr;
        }
        *left = first - origin_.x;
        *right = end - origin_.x;
        return &pixels_[y * width_ + first];
    }

    // The same canvas, drawing only inside `rect` (client coordinates) as well.
    Canvas Within(const RECT& rect) const {
        return Canvas(pixels_, width_, origin_, Intersection(clip_, Offset(rect, origin_)));
    }

    // Covers the pixel by `coverage` / 255 of `pixel`.
    void Blend(int x, int y, uint32_t pixel, unsigned coverage) {
        uint32_t* target = At(x, y);
        if (target == nullptr) {
            return;
        }
        uint32_t blended = 0;
        for (int shift = 0; shift <= 16; shift += 8) {
            unsigned under = *target >> shift & 0xFF;
            unsigned over = pixel >> shift & 0xFF;
            blended |= ((over * coverage + under * (255 - coverage) + 127) / 255) << shift;
        }
        *target = blended;
    }

  private:
    uint32_t* At(int x, int y) {
        x += origin_.x;
        y += origin_.y;
        return Contains(clip_, x, y) ? &pixels_[y * width_ + x] : nullptr;
    }

    uint32_t* pixels_;
    int width_;
    POINT origin_;
    RECT clip_;  // on the surface
};

DeviceContext* LookUpDeviceContext(HDC dc);
// Null when the device context or its window is gone.
std::optional<Canvas> CanvasOf(HDC dc);

}  // namespace morvala::win32
