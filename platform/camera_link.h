// The program's camera link: the video format, opening the camera through a hidden capture
// window, the frame callback, and grabbing one frame at a time.
#pragma once

#include "platform/win32.h"

// The one picture format: 320 x 240, 24-bit uncompressed, rows bottom-up. Configures the
// driver and draws its frames.
extern BITMAPINFO VideoFormat;
// Signalled by the frame callback when a grabbed frame has arrived; resets itself.
extern HANDLE FrameReady;
extern HWND CaptureWindow;
// The pixels of the most recently delivered frame, copied: the link's own, black before any.
// Null until the first grab.
extern LPBYTE LatestFrame;

void InitVideoFormat();
// Ends the process with an error box when no driver connects or the format is refused.
void OpenCamera(HWND parent);
void InstallFrameCallback();
LRESULT CALLBACK OnFrameCaptured(HWND window, LPVIDEOHDR header);
// Returns once a new frame has arrived and LatestFrame shows it; or, when none came in a tenth
// of a second, with LatestFrame still showing the last one (black before any).
void GrabFrame();
