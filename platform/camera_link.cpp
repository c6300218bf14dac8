#include "platform/camera_link.h"

#include <string.h>

BITMAPINFO VideoFormat;
HANDLE FrameReady;
HWND CaptureWindow;
LPBYTE LatestFrame;

// How long a grab waits for its frame: a driver that never answers (a camera unplugged while
// running) then costs each refresh this much, and the window still answers its user.
static const DWORD GrabPatienceMs = 100;
// The link's own copy of the last frame: a driver lends its buffer only for the callback, and
// takes it away with the capture window. Black until the camera's first frame comes.
static BYTE LastFrame[320 * 240 * 3];

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
    memset(LastFrame, 0, sizeof(LastFrame));
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
    DWORD size = header->dwBytesUsed < sizeof(LastFrame) ? header->dwBytesUsed : sizeof(LastFrame);
    memcpy(LastFrame, header->lpData, size);
    SetEvent(FrameReady);
    return TRUE;
}

void GrabFrame() {
    // A signal left by a frame that came after an earlier wait gave up belongs to no grab.
    WaitForSingleObject(FrameReady, 0);
    SendToCaptureWindow(WM_CAP_GRAB_FRAME, 0, 0);
    // Whether the frame came or not, the last one is shown.
    WaitForSingleObject(FrameReady, GrabPatienceMs);
    LatestFrame = LastFrame;
}
