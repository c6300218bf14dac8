#include "app/main_window.h"

#include "app/mode_controller.h"
#include "app/overlay.h"
#include "engine/face_space.h"
#include "platform/camera_link.h"

HWND MainWindow = nullptr;

static const char MainWindowClass[] = "CameraWindow";
static const UINT_PTR RefreshTimer = 0;
static const UINT RefreshPeriodMs = 24;

void RegisterMainWindowClass(HINSTANCE instance) {
    WNDCLASSEXA windowClass;
    windowClass.cbSize = sizeof(WNDCLASSEXA);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = instance;
    windowClass.hIcon = nullptr;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    windowClass.lpszMenuName = nullptr;
    windowClass.lpszClassName = MainWindowClass;
    windowClass.hIconSm = nullptr;
    RegisterClassExA(&windowClass);
}

BOOL CreateMainWindow(HINSTANCE instance, int showCommand) {
    // The camera is opened while the window is created, and is handed this format.
    InitVideoFormat();
    // The outside of a 320 x 240 client area: frames differ from one system and theme to
    // another (330 x 270 here, 322 x 243 of client area in Wine's, less in today's Windows).
    RECT frame = {0, 0, 320, 240};
    AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
    MainWindow = CreateWindowExA(0, MainWindowClass, "Morvala", WS_OVERLAPPEDWINDOW, 475, 245,
                                 frame.right - frame.left, frame.bottom - frame.top, nullptr,
                                 nullptr, instance, nullptr);
    if (MainWindow == nullptr) {
        return FALSE;
    }
    ShowWindow(MainWindow, showCommand);
    UpdateWindow(MainWindow);
    return TRUE;
}

static void StartUp(HWND window) {
    OpenCamera(window);
    SetTimer(window, RefreshTimer, RefreshPeriodMs, nullptr);
    // Installed here, not later: the first paint inside UpdateWindow already grabs a frame.
    InstallFrameCallback();
    CreateSampleStorage();
    GetClientRect(CaptureWindow, &TextRect);
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            StartUp(window);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            RefreshView(dc);
            EndPaint(window, &paint);
            return 0;
        }
        case WM_CHAR:
            if ((wParam & 0xFF) == ' ') {
                OnSpaceKey();
            }
            return 0;
        case WM_TIMER:
            InvalidateRect(MainWindow, nullptr, FALSE);
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    RegisterMainWindowClass(instance);
    // Without a window there is nothing to run: that is a failure, not a clean exit.
    if (!CreateMainWindow(instance, showCommand)) {
        return 1;
    }
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}
