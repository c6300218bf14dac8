// The update region of a window, which WM_PAINT, BeginPaint and EndPaint work on.
#pragma once

#include "platform/win32/window_state.h"

namespace morvala::win32 {

// Adds `rect` (client coordinates) to the window's update region.
void AddToUpdateRegion(Window& window, const RECT& rect, bool erase);

}  // namespace morvala::win32
