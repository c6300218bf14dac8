#include "platform/win32/window_state.h"

#include "platform/win32/rect.h"
#include "platform/win32/subset_state.h"

namespace morvala::win32 {

Window* LookUpWindow(HWND window) {
    return Subset().windows.Find(window);
}

HWND TopLevelOf(HWND window) {
    for (Window* w = LookUpWindow(window); w != nullptr && w->parent != nullptr;
         w = LookUpWindow(window)) {
        window = w->parent;
    }
    return window;
}

POINT SurfaceOrigin(HWND window) {
    POINT origin{0, 0};
    for (Window* w = LookUpWindow(window); w != nullptr && w->parent != nullptr;
         w = LookUpWindow(w->parent)) {
        origin.x += w->outer.left;
        origin.y += w->outer.top;
    }
    return origin;
}

RECT SurfaceClip(HWND window) {
    RECT clip = Offset(ClientRect(*LookUpWindow(window)), SurfaceOrigin(window));
    for (HWND ancestor = LookUpWindow(window)->parent; ancestor != nullptr;
         ancestor = LookUpWindow(ancestor)->parent) {
        clip = Intersection(clip,
                            Offset(ClientRect(*LookUpWindow(ancestor)), SurfaceOrigin(ancestor)));
    }
    return clip;
}

bool IsShown(HWND window) {
    for (Window* w = LookUpWindow(window); w != nullptr; w = LookUpWindow(w->parent)) {
        if (!w->visible) {
            return false;
        }
        if (w->parent == nullptr) {
            return true;
        }
    }
    return false;
}

RECT ClientRect(const Window& window) {
    return {0, 0, window.clientWidth, window.clientHeight};
}

}  // namespace morvala::win32
