// A camera of the desktop's PipeWire session as a capture source.
#pragma once

#include <memory>
#include <string>

#include "platform/drivers/camera.h"

namespace morvala::drivers {

// wanted: a camera node's name or description; empty for the session's default camera.
std::unique_ptr<CameraSource> MakePipeWireCamera(const std::string& wanted);

}  // namespace morvala::drivers
