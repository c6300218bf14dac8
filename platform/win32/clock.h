// The subset's clock: the active display's (monotonic under SDL, pinned under the headless
// display). Timers, message times and the capture window's time stamps all read it.
#pragma once

#include <cstdint>

namespace morvala::win32 {

uint64_t NowMilliseconds();

}  // namespace morvala::win32
