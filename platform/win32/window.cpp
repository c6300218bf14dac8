// Window classes and windows: creation, showing, painting on demand, destruction, and the
// default handling of messages.
#include <strings.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/drivers/display.h"
#include "platform/win32.h"
#include "platform/win32/ansi.h"
#include "platform/win32/message_queue.h"
#include "platform/win32/paint.h"
#include "platform/win32/subset_state.h"
#include "platform/win32/window_state.h"

using namespace morvala::win32;

namespace {

// The frame of a top-level window: 5-pixel borders on the left, right and bottom, and a
// 25-pixel caption on top, so that 330 x 270 outside leaves a 320 x 240 client area.
// (Other systems measure their frames differently: the program asks AdjustWindowRect.)
constexpr int kBorderWidth = 5;
constexpr int kCaptionHeight = 25;

// What WM_CREATE's lParam points at, laid out as the system's creation record.
struct CreationRecord {
    LPVOID lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy;
    int cx;
    int y;
    int x;
    LONG style;
    LPCSTR lpszName;
    LPCSTR lpszClass;
    DWORD dwExStyle;
};

// Names below 0x10000 are atoms, which the subset does not hand out to look classes up by.
bool IsName(LPCSTR name) {
    return reinterpret_cast<uintptr_t>(name) > 0xFFFF;
}

const WindowClass* LookUpClass(LPCSTR name) {
    if (!IsName(name)) {
        return nullptr;
    }
    for (const WindowClass& windowClass : Subset().classes) {
        if (strcasecmp(windowClass.name.c_str(), name) == 0) {
            return &windowClass;
        }
    }
    return nullptr;
}

// Opens the display's window for a new top-level window; says why not on stderr.
bool OpenNativeWindow(HWND handle, const Window& window) {
    std::string reason;
    if (morvala::drivers::ActiveDisplay().OpenWindow(
            handle, AnsiToUtf8(window.title), window.outer.left, window.outer.top,
            window.clientWidth, window.clientHeight, reason)) {
        return true;
    }
    std::fprintf(stderr, "morvala: cannot open a window: %s\n", reason.c_str());
    return false;
}

// The last of a window's destruction, once it and its children have had WM_DESTROY.
void RemoveWindow(HWND handle) {
    Window& window = *LookUpWindow(handle);
    if (Window* parent = LookUpWindow(window.parent)) {
        parent->children.erase(
            std::remove(parent->children.begin(), parent->children.end(), handle),
            parent->children.end());
    } else {
        morvala::drivers::ActiveDisplay().CloseWindow(handle);
    }
    ForgetWindowMessages(handle);
    Subset().windows.Remove(handle);
}

HICON__ arrowCursor;

}  // namespace

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR cursorName) {
    return instance == nullptr && cursorName == IDC_ARROW ? &arrowCursor : nullptr;
}

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* windowClass) {
    if (windowClass == nullptr || windowClass->cbSize != sizeof(WNDCLASSEXA) ||
        windowClass->lpfnWndProc == nullptr || !IsName(windowClass->lpszClassName) ||
        LookUpClass(windowClass->lpszClassName) != nullptr) {
        return 0;
    }
    std::vector<WindowClass>& classes = Subset().classes;
    classes.push_back(
        {windowClass->lpszClassName, windowClass->lpfnWndProc, windowClass->hbrBackground});
    return ATOM(0xC000 + classes.size() - 1);
}

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                            int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID param) {
    const WindowClass* windowClass = LookUpClass(className);
    bool isChild = (style & WS_CHILD) != 0;
    if (windowClass == nullptr || (isChild && LookUpWindow(parent) == nullptr)) {
        return nullptr;
    }
    // A child has no frame; every top-level window is overlapped, with border and caption.
    int frameWidth = isChild ? 0 : 2 * kBorderWidth;
    int frameHeight = isChild ? 0 : kCaptionHeight + kBorderWidth;

    Window window{};
    window.procedure = windowClass->procedure;
    window.background = windowClass->background;
    window.className = windowClass->name;
    window.title = windowName != nullptr ? windowName : "";
    window.style = style;
    window.parent = isChild ? parent : nullptr;  // a top-level window's owner changes nothing here
    window.outer = {x, y, x + width, y + height};
    window.clientWidth = std::max(0, width - frameWidth);
    window.clientHeight = std::max(0, height - frameHeight);
    AddToUpdateRegion(window, ClientRect(window), true);  // a new window is wholly invalid
    if (!isChild) {
        window.pixels.assign(size_t(window.clientWidth) * size_t(window.clientHeight), 0);
    }
    HWND handle = Subset().windows.Add(std::move(window));

    if (isChild) {
        LookUpWindow(parent)->children.push_back(handle);
    } else if (!OpenNativeWindow(handle, *LookUpWindow(handle))) {
        Subset().windows.Remove(handle);
        return nullptr;
    }

    CreationRecord creation{param, instance, menu,        parent,     height,    width,
                            y,     x,        LONG(style), windowName, className, exStyle};
    if (SendMessageA(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&creation)) == -1) {
        DestroyWindow(handle);
        return nullptr;
    }
    if (LookUpWindow(handle) == nullptr) {  // destroyed while being created
        return nullptr;
    }
    if (style & WS_VISIBLE) {
        ShowWindow(handle, SW_SHOW);
    }
    return handle;
}

BOOL WINAPI ShowWindow(HWND handle, int showCommand) {
    Window* window = LookUpWindow(handle);
    if (window == nullptr) {
        return FALSE;
    }
    bool wasVisible = window->visible;
    window->visible = showCommand != SW_HIDE;
    if (window->visible && !wasVisible) {
        AddToUpdateRegion(*window, ClientRect(*window), true);
    }
    if (window->parent == nullptr) {
        morvala::drivers::ActiveDisplay().SetWindowVisible(handle, window->visible);
    }
    return wasVisible;
}

BOOL WINAPI UpdateWindow(HWND handle) {
    Window* window = LookUpWindow(handle);
    if (window == nullptr) {
        return FALSE;
    }
    if (window->invalid && IsShown(handle)) {
        SendMessageA(handle, WM_PAINT, 0, 0);
    }
    return TRUE;
}

BOOL WINAPI DestroyWindow(HWND handle) {
    Window* window = LookUpWindow(handle);
    if (window == nullptr) {
        return FALSE;
    }
    if (window->destroying) {  // asked again from its own WM_DESTROY
        return TRUE;
    }
    window->destroying = true;
    window->visible = false;
    if (window->parent == nullptr) {
        morvala::drivers::ActiveDisplay().SetWindowVisible(handle, false);
    }
    // A window hears of its destruction before its children do, and is still a window then.
    SendMessageA(handle, WM_DESTROY, 0, 0);
    std::vector<HWND> children = LookUpWindow(handle)->children;
    for (HWND child : children) {
        DestroyWindow(child);
    }
    RemoveWindow(handle);
    return TRUE;
}

BOOL WINAPI IsWindow(HWND handle) {
    ++Subset().isWindowCalls;
    return LookUpWindow(handle) != nullptr;
}

BOOL WINAPI GetClientRect(HWND handle, LPRECT rect) {
    Window* window = LookUpWindow(handle);
    if (window == nullptr || rect == nullptr) {
        return FALSE;
    }
    *rect = ClientRect(*window);
    return TRUE;
}

// The subset draws no menu bar, so `menu` adds nothing.
BOOL WINAPI AdjustWindowRect(LPRECT rect, DWORD style, BOOL) {
    if (rect == nullptr) {
        return FALSE;
    }
    if ((style & WS_CHILD) == 0) {
        rect->left -= kBorderWidth;
        rect->right += kBorderWidth;
        rect->top -= kCaptionHeight;
        rect->bottom += kBorderWidth;
    }
    return TRUE;
}

LRESULT WINAPI SendMessageA(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* window = LookUpWindow(handle);
    return window != nullptr ? window->procedure(handle, message, wParam, lParam) : 0;
}

LRESULT WINAPI DefWindowProcA(HWND handle, UINT message, WPARAM, LPARAM) {
    switch (message) {
        case WM_CLOSE:
            DestroyWindow(handle);
            return 0;
        case WM_PAINT: {
            // Validates, so that a window that draws nothing is not asked again and again.
            PAINTSTRUCT paint;
            if (BeginPaint(handle, &paint) != nullptr) {
                EndPaint(handle, &paint);
            }
            return 0;
        }
        default:
            return 0;
    }
}
