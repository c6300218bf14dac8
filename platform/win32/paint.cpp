// The update region and the paint cycle: InvalidateRect, BeginPaint, EndPaint.
#include "platform/win32/paint.h"

#include <utility>

#include "platform/drivers/display.h"
#include "platform/win32.h"
#include "platform/win32/device_context.h"
#include "platform/win32/rect.h"
#include "platform/win32/subset_state.h"

using namespace morvala::win32;

namespace {

constexpr uint32_t kWindowColor = 0xFFFFFF;

// Erases with the class background; false when the window has to erase for itself.
bool EraseBackground(HDC dc, const Window& window, const RECT& rect) {
    if (window.background != reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1)) {
        return false;
    }
    if (auto canvas = CanvasOf(dc)) {
        canvas->Fill(rect, kWindowColor);
    }
    return true;
}

}  // namespace

namespace morvala::win32 {

void AddToUpdateRegion(Window& window, const RECT& rect, bool erase) {
    RECT clipped = Intersection(rect, ClientRect(window));
    if (IsEmpty(clipped)) {
        return;
    }
    window.invalidRect = window.invalid ? Union(window.invalidRect, clipped) : clipped;
    window.invalid = true;
    window.eraseRequested = window.eraseRequested || erase;
}

}  // namespace morvala::win32

BOOL WINAPI InvalidateRect(HWND handle, const RECT* rect, BOOL erase) {
    Window* window = LookUpWindow(handle);
    if (window == nullptr) {
        return FALSE;
    }
    AddToUpdateRegion(*window, rect != nullptr ? *rect : ClientRect(*window), erase != FALSE);
    return TRUE;
}

HDC WINAPI BeginPaint(HWND handle, LPPAINTSTRUCT paint) {
    Window* window = LookUpWindow(handle);
    if (window == nullptr || paint == nullptr) {
        return nullptr;
    }
    // The paint may draw on the update region only; a valid window gets an empty one.
    RECT update = window->invalid ? window->invalidRect : RECT{0, 0, 0, 0};
    bool erase = window->invalid && window->eraseRequested;
    window->invalid = false;
    window->eraseRequested = false;
    window->textsInPaint.clear();

    SubsetState& subset = Subset();
    HDC dc = subset.gdi.contexts.Add(DeviceContext{handle, update, subset.gdi.blackPen});
    *paint = PAINTSTRUCT{};
    paint->hdc = dc;
    paint->rcPaint = update;
    paint->fErase = erase && !EraseBackground(dc, *window, update);
    return dc;
}

BOOL WINAPI EndPaint(HWND handle, const PAINTSTRUCT* paint) {
    if (paint == nullptr) {
        return FALSE;
    }
    Subset().gdi.contexts.Remove(paint->hdc);
    Window* window = LookUpWindow(handle);
    if (window == nullptr) {
        return TRUE;
    }
    window->textsInLastPaint = std::move(window->textsInPaint);
    window->textsInPaint.clear();

    HWND topLevel = TopLevelOf(handle);
    const Window& surface = *LookUpWindow(topLevel);
    morvala::drivers::ActiveDisplay().Present(topLevel, surface.pixels.data(), surface.clientWidth,
                                              surface.clientHeight);
    if (std::function<void(HWND)> hook = Subset().presentHook) {
        hook(topLevel);
    }
    return TRUE;
}
