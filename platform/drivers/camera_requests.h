// The capture window's account of the requests each driver index received, read by the
// test hooks.
#pragma once

namespace morvala::drivers {

enum class CameraRequest { kConnect, kFormat, kCallback, kGrab, kDelivery };

void CountCameraRequest(int index, CameraRequest request);

}  // namespace morvala::drivers
