#include "platform/camera_link.h"

#include <string.h>

BITMAPINFO VideoFormat;
HANDLE FrameReady;
HWND CaptureWindow;
LPBYTE LatestFrame;

// How long a grab waits for its frame: a driver that never answers (a camera unplugged while
// running) then costs each refresh this much, and the window still answers its user.
static const DWORD GrabPatienceMs = 100;
// Shown until a first frame comes: the link's own, so it needs no driver.
static BYTE BlackFrame[320 * 240 * 3];

// A message the capture window never got counts as refused.
static LRESULT SendToCaptureWindow(UINT message, WPARAM wParam, LPARAM lParam) {
    if (!IsWindow(CaptureWindow)) {
        return 0;
    }
    return SendMessageA(CaptureWindow, message, wParam, lParam);
}

[[noreturn]] static void FailStartUp(HWND parent, LPCSTR text) {
    MessageBoxA(parent, text, "Error", MB_ICONERROR);
    ExitProcess(1);
}

void InitVideoFormat() {
    memset(&VideoFormat, 0, sizeof(VideoFormat));
    VideoFormat.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    VideoFormat.bmiHeader.biWidth = 320;
    VideoFormat.bmiHeader.biHeight = 240;
    VideoFormat.bmiHeader.biPlanes = 1;
    VideoFormat.bmiHeader.biBitCount = 24;
    VideoFormat.bmiHeader.biCompression = BI_RGB;
}

void OpenCamera(HWND parent) {
    // Without a name: a named event is shared with every process that opens the name, so two
    // copies of the program would take each other's frames.
    FrameReady = CreateEventA(NULL, FALSE, FALSE, NULL);
    CaptureWindow = capCreateCaptureWindowA("Capture Window", WS_CHILD, 0, 0, 320, 240, parent, 1);

    WPARAM driver = 0;
    while (driver < 10 && SendToCaptureWindow(WM_CAP_DRIVER_CONNECT, driver, 0) == 0) {
        ++driver;
    }
    if (driver == 10) {
        FailStartUp(parent, "Error: cannot connect to camera!");
    }
    if (SendToCaptureWindow(WM_CAP_SET_VIDEOFORMAT, sizeof(VideoFormat), (LPARAM)&VideoFormat) ==
        0) {
        FailStartUp(parent, "Error: cannot set video format!");
    }
}

void InstallFrameCallback() {
    SendToCaptureWindow(WM_CAP_SET_CALLBACK_FRAME, 0, (LPARAM)OnFrameCaptured);
}

LRESULT CALLBACK OnFrameCaptured(HWND, LPVIDEOHDR header) {
    LatestFrame = header->lpData;
    SetEvent(FrameReady);
    return TRUE;
}

void GrabFrame() {
    // A signal left by a frame that came after an earlier wait gave up belongs to no grab.
    WaitForSingleObject(FrameReady, 0);
    SendToCaptureWindow(WM_CAP_GRAB_FRAME, 0, 0);
    if (WaitForSingleObject(FrameReady, GrabPatienceMs) != WAIT_OBJECT_0 && LatestFrame == NULL) {
        LatestFrame = BlackFrame;
    }
}
