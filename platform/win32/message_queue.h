// The thread's message queue and timers.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "platform/win32.h"

namespace morvala::win32 {

struct Timer {
    HWND window;
    UINT_PTR id;
    UINT period;
    uint64_t due;
    TIMERPROC procedure;
};

struct MessageQueue {
    std::deque<MSG> posted;
    std::deque<MSG> input;  // from the display, in arrival order
    std::optional<int> quitCode;
    bool shiftDown = false;  // as of the last key message taken from the queue
    std::vector<Timer> timers;
    UINT_PTR nextThreadTimerId = 1;
};

// A window going away takes its queued messages and its timers with it.
void ForgetWindowMessages(HWND window);

}  // namespace morvala::win32
