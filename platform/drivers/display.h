// What the window subset runs on: native top-level windows, their input, message boxes and
// the clock. A driver turns native input into the subset's own messages (a key press becomes
// WM_KEYDOWN, the close button WM_CLOSE) and never calls a window procedure.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "platform/win32.h"

namespace morvala::drivers {

// A message as the queue holds it; the time is set when the thread takes it.
inline MSG MessageFor(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG result{};
    result.hwnd = window;
    result.message = message;
    result.wParam = wParam;
    result.lParam = lParam;
    return result;
}

class Display {
  public:
    virtual ~Display() = default;

    // Opens a hidden native window for the top-level `window`, whose client area is
    // clientWidth x clientHeight; `title` is UTF-8. On failure says why in `reason`.
    virtual bool OpenWindow(HWND window, const std::string& title, int outerX, int outerY,
                            int clientWidth, int clientHeight, std::string& reason) = 0;
    virtual void SetWindowVisible(HWND window, bool visible) = 0;
    virtual void CloseWindow(HWND window) = 0;
    // Shows the client area's pixels: 0x00RRGGBB, the top row first.
    virtual void Present(HWND window, const uint32_t* pixels, int width, int height) = 0;

    // Appends the input that is already waiting, without blocking.
    virtual void CollectInput(std::deque<MSG>& input) = 0;
    // Blocks until input arrives or timeoutMilliseconds pass (forever without one), then
    // appends what arrived.
    virtual void WaitForInput(std::optional<unsigned> timeoutMilliseconds,
                              std::deque<MSG>& input) = 0;

    // Modal: returns when the box is dismissed. `owner` is a top-level window or null; the
    // texts are UTF-8.
    virtual void ShowMessageBox(HWND owner, const std::string& caption, const std::string& text,
                                UINT type) = 0;

    virtual uint64_t NowMilliseconds() = 0;
};

// The display in use: chosen on first use from MORVALA_DISPLAY ("sdl", the default, or
// "headless").
Display& ActiveDisplay();

// Puts a fresh headless display in place of the current one. Aborts when a real display is
// already in use, since its windows cannot be taken back.
void ResetToHeadlessDisplay();

}  // namespace morvala::drivers
