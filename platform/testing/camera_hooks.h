// Test hooks for the capture side: scripted cameras in place of the real sources, the
// requests each capture driver index received, and a capture window that cannot be made.
#pragma once

#include <vector>

#include "platform/drivers/camera.h"

namespace morvala::testing {

struct ScriptedCameraIndex {
    bool connects = false;
    bool acceptsFormat = true;
    // Each 230400 bytes (320 x 240 BGR, bottom-up), delivered in turn, the last repeated;
    // black when there are none.
    std::vector<std::vector<unsigned char>> frames;
    // What each take gives, in turn (a picture takes the next frame); once the list is used
    // up, every take gives a picture.
    std::vector<drivers::Take> takes;
    // Whether each reconnect after a loss opens, in turn; once used up, they all do.
    std::vector<bool> reconnects;
};

// Element i is capture driver index i; indices past the end have no source. Also clears the
// request counts.
void UseScriptedCamera(std::vector<ScriptedCameraIndex> indices);

// What one capture driver index received, counted for every source since the last
// UseScriptedCamera.
struct CameraRequests {
    int connects;    // WM_CAP_DRIVER_CONNECT with this index
    int formats;     // WM_CAP_SET_VIDEOFORMAT while this index was connected
    int callbacks;   // WM_CAP_SET_CALLBACK_FRAME while this index was connected
    int grabs;       // WM_CAP_GRAB_FRAME while this index was connected
    int reconnects;  // attempts to open this index again after it was lost
    int deliveries;  // frames from this index handed to the frame callback
};
CameraRequests RequestsReceived(int index);

// The next capCreateCaptureWindowA returns null.
void FailCaptureWindowCreation();

}  // namespace morvala::testing
