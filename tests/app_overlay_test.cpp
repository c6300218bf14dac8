// The patch frame drawn into a window for each distance of the colour table.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "app/overlay.h"
#include "platform/camera_link.h"
#include "platform/testing/display_hooks.h"

namespace {

double distanceToDraw = 0;
unsigned char blackFrame[320 * 240 * 3];

LRESULT CALLBACK PatchFrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        DrawCameraImage(dc);
        DrawPatchFrame(dc, distanceToDraw);
        EndPaint(window, &paint);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// A window that shows a black picture with the patch frame over it.
HWND MakeWindow() {
    morvala::testing::UseHeadlessDisplay();
    InitVideoFormat();
    LatestFrame = blackFrame;
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = PatchFrameProc;
    windowClass.lpszClassName = "Patch Frame";
    RegisterClassExA(&windowClass);
    HWND window = CreateWindowExA(0, "Patch Frame", "Patch Frame", WS_OVERLAPPEDWINDOW, 0, 0, 330,
                                  270, nullptr, nullptr, nullptr, nullptr);
    ShowWindow(window, SW_SHOW);
    return window;
}

bool OnPatchFrame(int x, int y) {
    for (int offset : {0, 1}) {
        const int left = 95 - offset, top = 55 - offset, right = 224 - offset,
                  bottom = 184 - offset;
        const bool onVertical = (x == left || x == right) && y >= top && y <= bottom;
        const bool onHorizontal = (y == top || y == bottom) && x >= left && x <= right;
        if (onVertical || onHorizontal) {
            return true;
        }
    }
    return false;
}

struct ColourCase {
    const char* name;
    double distance;
    uint32_t surfaceColour;  // 0x00RRGGBB
};

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInfinity = std::numeric_limits<double>::infinity();

const std::vector<ColourCase> kColourTable = {
    {"zero", 0.0, 0xFFFFFF},
    {"below 3500", 3499.9, 0xFFFFFF},
    {"exactly 3500", 3500.0, 0xFFFFFF},
    {"above 3500, below one step", 3500.0 + 3500.0 / 255.0 - 0.001, 0xFFFFFF},
    {"just above one step", 3500.0 + 3500.0 / 255.0 + 0.001, 0xFFFEFE},
    {"halfway", 5250.0, 0xFF8080},
    {"just below 7000", 6999.999, 0xFF0101},
    {"exactly 7000", 7000.0, 0xFF0000},
    {"above 7000", 12000.0, 0xFF0000},
    {"infinite", kInfinity, 0xFF0000},
    {"not a number", kNaN, 0xFFFFFF},
};

TEST(PatchFrame, IsDrawnExactlyAroundThePatchInTheColourOfTheDistance) {
    HWND window = MakeWindow();
    for (const ColourCase& colourCase : kColourTable) {
        SCOPED_TRACE(colourCase.name);
        distanceToDraw = colourCase.distance;
        InvalidateRect(window, nullptr, FALSE);
        UpdateWindow(window);
        auto surface = morvala::testing::WindowSurface(window);
        ASSERT_EQ(surface.width, 320);
        ASSERT_EQ(surface.height, 240);
        for (int y = 0; y < 240; ++y) {
            for (int x = 0; x < 320; ++x) {
                const uint32_t expected = OnPatchFrame(x, y) ? colourCase.surfaceColour : 0;
                ASSERT_EQ(surface.At(x, y), expected) << "at " << x << ", " << y;
            }
        }
    }
}

TEST(PatchFrame, ColourIsRedWithEqualGreenAndBlue) {
    for (const ColourCase& colourCase : kColourTable) {
        SCOPED_TRACE(colourCase.name);
        const uint32_t rgb = colourCase.surfaceColour;
        const COLORREF expected = RGB(rgb >> 16, (rgb >> 8) & 0xFF, rgb & 0xFF);
        EXPECT_EQ(PatchFrameColour(colourCase.distance), expected);
    }
}

}  // namespace
