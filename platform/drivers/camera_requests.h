// The capture window's account of the requests each driver index received, read by the
// test hooks.
#pragma once

#include "platform/testing/camera_hooks.h"

namespace morvala::drivers {

using CameraRequest = int testing::CameraRequests::*;

// Adds one to that count of the index, e.g. &CameraRequests::grabs.
void CountCameraRequest(int index, CameraRequest request);

}  // namespace morvala::drivers
