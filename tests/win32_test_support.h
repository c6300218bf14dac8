// A logging window class and a fresh headless subset for each test of the Windows subset.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/testing/display_hooks.h"
#include "platform/win32.h"

namespace win32_test {

struct Logged {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// What the logging window procedure saw, and what it does beyond logging: a handler per
// message, DefWindowProcA for the rest.
inline std::vector<Logged> logged;
inline std::map<UINT, std::function<LRESULT(HWND, WPARAM, LPARAM)>> handlers;

inline LRESULT CALLBACK LoggingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    logged.push_back({window, message, wParam, lParam});
    auto handler = handlers.find(message);
    if (handler != handlers.end()) {
        return handler->second(window, wParam, lParam);
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

constexpr const char* kClassName = "Logging Window";

class SubsetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        morvala::testing::UseHeadlessDisplay();
        logged.clear();
        handlers.clear();
        WNDCLASSEXA windowClass{};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.style = CS_HREDRAW | CS_VREDRAW;
        windowClass.lpfnWndProc = LoggingProc;
        windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        windowClass.lpszClassName = kClassName;
        ASSERT_NE(RegisterClassExA(&windowClass), 0);
    }

    // The main window's frame: 330 x 270 outside.
    static HWND CreateMainWindow(DWORD style = WS_OVERLAPPEDWINDOW) {
        return CreateWindowExA(0, kClassName, "Morvala", style, 475, 245, 330, 270, nullptr,
                               nullptr, nullptr, nullptr);
    }

    static HWND CreateChild(HWND parent, int x, int y, int width, int height,
                            DWORD style = WS_CHILD) {
        return CreateWindowExA(0, kClassName, "Child", style, x, y, width, height, parent, nullptr,
                               nullptr, nullptr);
    }

    // Runs the program's loop to its end and gives WM_QUIT's code.
    static int RunMessageLoop() {
        MSG message;
        while (GetMessageA(&message, nullptr, 0, 0)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        return int(message.wParam);
    }

    static void QuitOnDestroy() {
        handlers[WM_DESTROY] = [](HWND, WPARAM, LPARAM) -> LRESULT {
            PostQuitMessage(0);
            return 0;
        };
    }

    // Paints with BeginPaint and EndPaint, running `draw` in between.
    static void PaintWith(std::function<void(HDC)> draw) {
        handlers[WM_PAINT] = [draw](HWND window, WPARAM, LPARAM) -> LRESULT {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            draw(dc);
            EndPaint(window, &paint);
            return 0;
        };
    }

    static std::vector<UINT> MessagesTo(HWND window) {
        std::vector<UINT> messages;
        for (const Logged& entry : logged) {
            if (entry.window == window) {
                messages.push_back(entry.message);
            }
        }
        return messages;
    }
};

}  // namespace win32_test
