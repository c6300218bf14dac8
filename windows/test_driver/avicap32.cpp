// A stand-in avicap32.dll for running the whole program under Wine without a camera: one
// capture driver (index 0) whose frames are the numbered test pictures.
//
// The test steers it through a control file, named by MORVALA_TEST_DRIVER_CONTROL and read on
// every grab, so the frames do not depend on when the program's refreshes happen:
//   picture N     the picture each grab delivers (0 when not said)
//   deliveries N  frames delivered in all before the driver goes quiet: later grabs are
//                 accepted but never answered (no limit when not said)
// It also writes the number of frames delivered so far to the file MORVALA_TEST_DRIVER_STATUS
// names, when set.
#include <windows.h>
// After windows.h, whose types it uses.
#include <vfw.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "windows/test_driver/test_picture.h"

namespace {

const char CaptureClassName[] = "MorvalaTestCaptureWindow";
const DWORD FrameBytes = 320 * 240 * 3;

struct Control {
    int picture = 0;
    long deliveries = -1;  // no limit
};

CAPVIDEOCALLBACK FrameCallback;
bool Connected;
long Delivered;
// Used in turn, so the frame handed out before stays intact until the grab after.
unsigned char Frames[2][FrameBytes];
int NextFrame;
VIDEOHDR Header;

Control ReadControl() {
    Control control;
    const char* path = getenv("MORVALA_TEST_DRIVER_CONTROL");
    FILE* file = path != NULL ? fopen(path, "r") : NULL;
    if (file == NULL) {
        return control;
    }
    char word[32];
    long value;
    while (fscanf(file, "%31s %ld", word, &value) == 2) {
        if (strcmp(word, "picture") == 0) {
            control.picture = int(value);
        } else if (strcmp(word, "deliveries") == 0) {
            control.deliveries = value;
        }
    }
    fclose(file);
    return control;
}

void WriteStatus() {
    const char* path = getenv("MORVALA_TEST_DRIVER_STATUS");
    FILE* file = path != NULL ? fopen(path, "wb") : NULL;  // "\n", not "\r\n"
    if (file != NULL) {
        fprintf(file, "delivered %ld\n", Delivered);
        fclose(file);
    }
}

bool IsFrameFormat(WPARAM size, const BITMAPINFO* format) {
    if (format == NULL || size < sizeof(BITMAPINFOHEADER)) {
        return false;
    }
    const BITMAPINFOHEADER& header = format->bmiHeader;
    return header.biWidth == 320 && header.biHeight == 240 && header.biPlanes == 1 &&
           header.biBitCount == 24 && header.biCompression == BI_RGB;
}

LRESULT GrabFrame(HWND window) {
    if (!Connected) {
        return FALSE;
    }
    Control control = ReadControl();
    if (FrameCallback == NULL || (control.deliveries >= 0 && Delivered >= control.deliveries)) {
        return TRUE;
    }
    unsigned char* frame = Frames[NextFrame];
    NextFrame = 1 - NextFrame;
    FillTestPicture(control.picture, frame);
    memset(&Header, 0, sizeof Header);
    Header.lpData = frame;
    Header.dwBufferLength = FrameBytes;
    Header.dwBytesUsed = FrameBytes;
    Header.dwTimeCaptured = GetTickCount();
    Header.dwFlags = VHDR_DONE | VHDR_KEYFRAME;
    ++Delivered;
    WriteStatus();
    FrameCallback(window, &Header);
    return TRUE;
}

LRESULT CALLBACK CaptureWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CAP_DRIVER_CONNECT:
            Connected = wParam == 0;
            return Connected;
        case WM_CAP_SET_VIDEOFORMAT:
            return Connected && IsFrameFormat(wParam, (const BITMAPINFO*)lParam);
        case WM_CAP_SET_CALLBACK_FRAME:
            FrameCallback = (CAPVIDEOCALLBACK)lParam;
            return TRUE;
        case WM_CAP_GRAB_FRAME:
            return GrabFrame(window);
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace

extern "C" __declspec(dllexport) HWND VFWAPI
    capCreateCaptureWindowA(LPCSTR windowName, DWORD style, int x, int y, int width, int height,
                            HWND parent, int id) {
    WNDCLASSA captureClass;
    memset(&captureClass, 0, sizeof captureClass);
    captureClass.lpfnWndProc = CaptureWindowProc;
    captureClass.hInstance = GetModuleHandleA("avicap32.dll");
    captureClass.lpszClassName = CaptureClassName;
    RegisterClassA(&captureClass);  // refused when it already exists, which is as good
    return CreateWindowExA(0, CaptureClassName, windowName, style, x, y, width, height, parent,
                           (HMENU)(INT_PTR)id, captureClass.hInstance, NULL);
}
