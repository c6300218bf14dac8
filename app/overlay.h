// What the main window shows over the camera picture: texts and the patch frame.
#pragma once

#include "platform/win32.h"

// Where a text goes within TextRect, as DrawTextA format flags.
enum TextPlacement : UINT {
    PlaceCentre = DT_CENTER | DT_VCENTER | DT_SINGLELINE,
    PlaceBottomCentre = DT_CENTER | DT_BOTTOM | DT_SINGLELINE,
    PlaceBottomRight = DT_RIGHT | DT_BOTTOM | DT_SINGLELINE,
};

// The rectangle all texts are laid out in: the picture's area, taken from the capture window.
extern RECT TextRect;

void SetOverlayTextStyle(HDC dc);
void DrawCameraImage(HDC dc);
#ifdef __GNUC__
__attribute__((format(printf, 1, 2)))
#endif
void FormatText(const char* format, ...);
void DrawOverlayText(HDC dc, TextPlacement placement);
COLORREF PatchFrameColour(double distance);
void DrawPatchFrame(HDC dc, double distance);
