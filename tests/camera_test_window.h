// What the capture window's and camera link's tests share: a headless parent window and
// scripted frames that tell apart.
#pragma once

#include <vector>

#include "platform/testing/camera_hooks.h"
#include "platform/testing/display_hooks.h"
#include "platform/win32.h"

namespace morvala::test {

// A fresh headless subset with a visible top-level window to hold the capture window.
inline HWND MakeParentWindow() {
    ::morvala::testing::UseHeadlessDisplay();
    WNDCLASSEXA parentClass = {};
    parentClass.cbSize = sizeof parentClass;
    parentClass.lpfnWndProc = DefWindowProcA;
    parentClass.lpszClassName = "CaptureTestParent";
    RegisterClassExA(&parentClass);
    HWND parent = CreateWindowExA(0, "CaptureTestParent", "Parent", WS_OVERLAPPEDWINDOW, 0, 0, 330,
                                  270, nullptr, nullptr, nullptr, nullptr);
    ShowWindow(parent, SW_SHOW);
    return parent;
}

// A 320 x 240 BGR frame whose every byte depends on its position and on `seed`.
inline std::vector<unsigned char> PatternFrame(int seed) {
    std::vector<unsigned char> frame(230400);
    for (size_t i = 0; i < frame.size(); ++i) {
        frame[i] = static_cast<unsigned char>((i * 31 + i / 960 + seed * 77) % 251);
    }
    return frame;
}

// Scripted capture drivers.
inline ::morvala::testing::ScriptedCameraIndex FailsToConnect() {
    return {};
}
inline ::morvala::testing::ScriptedCameraIndex Connects(
    std::vector<std::vector<unsigned char>> frames = {}) {
    ::morvala::testing::ScriptedCameraIndex driver;
    driver.connects = true;
    driver.frames = std::move(frames);
    return driver;
}
inline ::morvala::testing::ScriptedCameraIndex RefusesTheFormat() {
    ::morvala::testing::ScriptedCameraIndex driver = Connects();
    driver.acceptsFormat = false;
    return driver;
}

}  // namespace morvala::test
