// Everything the subset remembers, in one place so that a test can start afresh. The window
// and drawing operations belong to the program's one user-interface thread.
#pragma once

#include <functional>
#include <vector>

#include "platform/win32/device_context.h"
#include "platform/win32/handle_table.h"
#include "platform/win32/message_queue.h"
#include "platform/win32/window_state.h"

namespace morvala::win32 {

struct SubsetState {
    std::vector<WindowClass> classes;
    HandleTable<HWND, Window> windows{1};
    MessageQueue queue;
    GdiObjects gdi;

    // For tests.
    int isWindowCalls = 0;
    std::function<void(HWND)> presentHook;
};

SubsetState& Subset();
void ResetSubset();

}  // namespace morvala::win32
