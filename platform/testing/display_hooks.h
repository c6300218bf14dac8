// Test hooks for the window subset: only tests include this header.
//
// Call UseHeadlessDisplay() at the start of every test. The headless display then runs the
// program without a screen: input is scripted ahead and taken one item each time the program
// would block waiting for input (no posted message, no window to paint, no timer due), so
// paints and timer ticks happen between the items exactly as in a real run.
//
// When the program would wait while the script is empty, the headless display writes one line
// to stderr ("... the scripted input ran out ...") and aborts: a test that forgot to end the
// program fails at once instead of hanging.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace morvala::testing {

// Chooses the headless display and forgets every window, class, message, timer, pen, record
// and scripted item, with the clock back at 0. Aborts when a real display is already in use.
// MORVALA_DISPLAY=headless in the environment chooses the headless display too.
void UseHeadlessDisplay();

// Scripted input, to the focused window: the most recently shown top-level window.
// A key press is WM_KEYDOWN, autoRepeats more WM_KEYDOWNs with the previous-state bit set,
// then WM_KEYUP.
void PressKey(unsigned virtualKey, int autoRepeats = 0);
// The same press with VK_SHIFT held around it.
void PressShiftedKey(unsigned virtualKey);
// A WM_CHAR as is, with no key message before it.
void TypeCharacter(char character);
// The close button: WM_CLOSE.
void RequestClose();
// Runs `step` on the program's thread at that point of the script, e.g. to inspect state.
void RunWhenIdle(std::function<void()> step);
// The pinned clock moves on by `milliseconds`, stopping at each timer that falls due so that
// every tick and its paint happen on the way.
void LetTimePass(unsigned milliseconds);

// The pinned clock, in milliseconds; it starts at 0 and moves only when told.
uint64_t Now();
void AdvanceClock(unsigned milliseconds);

// A top-level window's client area as last drawn: 0x00RRGGBB, row 0 at the top.
// Empty (null pixels) for a handle that is not a top-level window.
struct Surface {
    const uint32_t* pixels;
    int width;
    int height;

    uint32_t At(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};
Surface WindowSurface(HWND topLevel);

// Called after every EndPaint has presented its window's top-level surface.
void OnPresent(std::function<void(HWND window)> hook);

// What one DrawTextA call was given, with the text colour in force.
struct DrawnText {
    std::string text;
    RECT rect;
    UINT format;
    COLORREF color;
};
// The texts drawn into `window` during its most recent completed paint, in order.
std::vector<DrawnText> TextsDrawnInLastPaint(HWND window);

struct ShownMessageBox {
    HWND owner;  // the owner's top-level window, or null
    std::string caption;
    std::string text;
    UINT type;
};
std::vector<ShownMessageBox> MessageBoxesShown();

// How a window was created and where it is now.
struct WindowDescription {
    std::string className;
    std::string title;
    DWORD style;
    HWND parent;
    RECT outer;  // on the screen for a top-level window, in the parent's client area for a child
    bool visible;
};
WindowDescription DescribeWindow(HWND window);

// How often IsWindow has been asked since UseHeadlessDisplay().
int IsWindowCallCount();

}  // namespace morvala::testing
