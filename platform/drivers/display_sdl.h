// The real display: SDL2 windows, keyboard, close button and message boxes.
#pragma once

#include <memory>

#include "platform/drivers/display.h"

namespace morvala::drivers {

std::unique_ptr<Display> CreateSdlDisplay();

}  // namespace morvala::drivers
