// Events, in-process only, and the process's end. Unlike the window operations, events may
// be set from any thread (a capture driver may deliver its frames on its own).
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <mutex>
#include <string>

#include "platform/win32.h"

namespace {

struct Event {
    bool manualReset;
    bool signalled;
};

// Events live as long as the process: the program never closes one.
struct EventTable {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Event> events;  // the handle's value gives the index
    std::map<std::string, HANDLE> named;
};

EventTable& Events() {
    static EventTable table;
    return table;
}

constexpr uintptr_t kFirstEventHandle = uintptr_t(4) << 32;

HANDLE HandleOf(size_t index) {
    return reinterpret_cast<HANDLE>(kFirstEventHandle + 4 * index);
}

Event* LookUpEvent(EventTable& table, HANDLE handle) {
    uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    if (value < kFirstEventHandle || value % 4 != 0) {
        return nullptr;
    }
    size_t index = (value - kFirstEventHandle) / 4;
    return index < table.events.size() ? &table.events[index] : nullptr;
}

}  // namespace

// Opening a name that exists gives that event again, as the system does.
HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState,
                           LPCSTR name) {
    EventTable& table = Events();
    std::lock_guard<std::mutex> lock(table.mutex);
    if (name != nullptr) {
        auto existing = table.named.find(name);
        if (existing != table.named.end()) {
            return existing->second;
        }
    }
    table.events.push_back({manualReset != FALSE, initialState != FALSE});
    HANDLE handle = HandleOf(table.events.size() - 1);
    if (name != nullptr) {
        table.named.emplace(name, handle);
    }
    return handle;
}

BOOL WINAPI SetEvent(HANDLE handle) {
    EventTable& table = Events();
    {
        std::lock_guard<std::mutex> lock(table.mutex);
        Event* event = LookUpEvent(table, handle);
        if (event == nullptr) {
            return FALSE;
        }
        event->signalled = true;
    }
    table.changed.notify_all();
    return TRUE;
}

// Waits in real time under either display: a pinned clock must not stall a kernel wait.
DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    EventTable& table = Events();
    std::unique_lock<std::mutex> lock(table.mutex);
    Event* event = LookUpEvent(table, handle);
    if (event == nullptr) {
        return WAIT_FAILED;
    }
    auto signalled = [event] { return event->signalled; };
    if (milliseconds == INFINITE) {
        table.changed.wait(lock, signalled);
    } else if (!table.changed.wait_for(lock, std::chrono::milliseconds(milliseconds), signalled)) {
        return WAIT_TIMEOUT;
    }
    if (!event->manualReset) {
        event->signalled = false;
    }
    return WAIT_OBJECT_0;
}

// At once: no exit handlers and no static destructors run, only stdio is flushed.
VOID WINAPI ExitProcess(UINT exitCode) {
    std::fflush(nullptr);
    std::_Exit(int(exitCode));
}
