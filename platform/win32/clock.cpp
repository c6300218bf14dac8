#include "platform/win32/clock.h"

#include "platform/drivers/display.h"

namespace morvala::win32 {

uint64_t NowMilliseconds() {
    return drivers::ActiveDisplay().NowMilliseconds();
}

}  // namespace morvala::win32
