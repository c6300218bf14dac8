// DrawTextA: one line of text placed in a rectangle, anti-aliased, clipped to the rectangle.
#include <SDL.h>

#include <string>

#include "platform/win32.h"
#include "platform/win32/ansi.h"
#include "platform/win32/device_context.h"
#include "platform/win32/font.h"
#include "platform/win32/subset_state.h"

using namespace morvala::win32;

namespace {

constexpr uint32_t kBackgroundColor = 0xFFFFFF;  // a device context's default

// Where the line's box goes in `rect`, as the format flags say.
POINT Placement(const RECT& rect, UINT format, int width, int height) {
    POINT at{rect.left, rect.top};
    if (format & DT_CENTER) {
        at.x = rect.left + (rect.right - rect.left - width) / 2;
    } else if (format & DT_RIGHT) {
        at.x = rect.right - width;
    }
    // Vertical placement is for single lines only.
    if (format & DT_SINGLELINE) {
        if (format & DT_VCENTER) {
            at.y = rect.top + (rect.bottom - rect.top - height) / 2;
        } else if (format & DT_BOTTOM) {
            at.y = rect.bottom - height;
        }
    }
    return at;
}

// Blends the glyphs' coverage in `pixel` onto the canvas, with the line's box at `at`.
void DrawGlyphs(Canvas& canvas, TTF_Font* font, const std::string& utf8, POINT at, uint32_t pixel) {
    SDL_Surface* glyphs = TTF_RenderUTF8_Blended(font, utf8.c_str(), SDL_Color{255, 255, 255, 255});
    if (glyphs == nullptr) {
        return;
    }
    SDL_LockSurface(glyphs);
    for (int y = 0; y < glyphs->h; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(
            static_cast<const uint8_t*>(glyphs->pixels) + y * glyphs->pitch);
        for (int x = 0; x < glyphs->w; ++x) {
            Uint8 r, g, b, coverage;
            SDL_GetRGBA(row[x], glyphs->format, &r, &g, &b, &coverage);
            if (coverage != 0) {
                canvas.Blend(at.x + x, at.y + y, pixel, coverage);
            }
        }
    }
    SDL_UnlockSurface(glyphs);
    SDL_FreeSurface(glyphs);
}

}  // namespace

int WINAPI DrawTextA(HDC dc, LPCSTR text, int length, LPRECT rect, UINT format) {
    DeviceContext* context = LookUpDeviceContext(dc);
    std::optional<Canvas> canvas = CanvasOf(dc);
    if (context == nullptr || !canvas || text == nullptr || rect == nullptr) {
        return 0;
    }
    std::string line = length < 0 ? std::string(text) : std::string(text, size_t(length));
    LookUpWindow(context->window)
        ->textsInPaint.push_back({line, *rect, format, context->textColor});
    TTF_Font* font = UserInterfaceFont();
    if (font == nullptr) {
        return 0;
    }

    std::string utf8 = AnsiToUtf8(line);
    int width = 0;
    int height = UserInterfaceLineHeight();
    if (!utf8.empty()) {
        TTF_SizeUTF8(font, utf8.c_str(), &width, nullptr);
    }
    POINT at = Placement(*rect, format, width, height);
    Canvas inRect = canvas->Within(*rect);
    if (context->backgroundMode == OPAQUE) {
        inRect.Fill({at.x, at.y, at.x + width, at.y + height}, kBackgroundColor);
    }
    if (!utf8.empty()) {
        DrawGlyphs(inRect, font, utf8, at, PixelOf(context->textColor));
    }
    // Placed lower than the top, the result is where the text ends, counted from the top.
    bool placedVertically = (format & DT_SINGLELINE) && (format & (DT_VCENTER | DT_BOTTOM));
    return placedVertically ? at.y + height - rect->top : height;
}
