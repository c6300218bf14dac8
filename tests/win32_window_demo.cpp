// A real window for the virtual-display test: it paints a red line across row 10, writes each
// character it receives to stdout, and ends with code 0 when closed.
#include <cstdio>

#include "platform/win32.h"

namespace {

constexpr const char* kTitle = "Morvala Window Test";

void Paint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    HPEN red = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
    HGDIOBJ previous = SelectObject(dc, red);
    MoveToEx(dc, 0, 10, nullptr);
    LineTo(dc, 320, 10);
    SelectObject(dc, previous);
    DeleteObject(red);
    EndPaint(window, &paint);
    std::printf("painted\n");
    std::fflush(stdout);
}

LRESULT CALLBACK DemoWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            Paint(window);
            return 0;
        case WM_CHAR:
            std::printf("WM_CHAR %u\n", unsigned(wParam));
            std::fflush(stdout);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = DemoWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = "DemoWindow";
    RegisterClassExA(&windowClass);
    HWND window = CreateWindowExA(0, "DemoWindow", kTitle, WS_OVERLAPPEDWINDOW, 475, 245, 330, 270,
                                  nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        return 2;
    }
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return int(message.wParam);
}
