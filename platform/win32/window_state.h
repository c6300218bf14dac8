// Window classes and windows as the subset keeps them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/testing/display_hooks.h"
#include "platform/win32.h"

namespace morvala::win32 {

struct WindowClass {
    std::string name;
    WNDPROC procedure;
    HBRUSH background;
};

struct Window {
    WNDPROC procedure;
    HBRUSH background;
    std::string className;
    std::string title;
    DWORD style;
    HWND parent;
    std::vector<HWND> children;
    RECT outer;  // on the screen for a top-level window, in the parent's client area for a child
    int clientWidth;
    int clientHeight;
    bool visible = false;
    bool destroying = false;

    // The update region, kept as its bounding rectangle in client coordinates.
    bool invalid = false;
    bool eraseRequested = false;
    RECT invalidRect{};

    std::vector<uint32_t> pixels;  // top-level windows: the client area, 0x00RRGGBB
    std::vector<testing::DrawnText> textsInPaint;
    std::vector<testing::DrawnText> textsInLastPaint;
};

Window* LookUpWindow(HWND window);
HWND TopLevelOf(HWND window);
// Where the window's client area lies on its top-level window's surface.
POINT SurfaceOrigin(HWND window);
// The part of the surface the window's client area may draw on: its client area clipped by
// every ancestor's.
RECT SurfaceClip(HWND window);
// Visible, with every ancestor visible: only such a window is painted.
bool IsShown(HWND window);
RECT ClientRect(const Window& window);

}  // namespace morvala::win32
