// The message loop: posted messages and input first, then WM_PAINT for an invalid window, then
// WM_TIMER for a due timer; only then does the thread block, in the display, until input
// comes or the next timer falls due.
#include <algorithm>
#include <optional>

#include "platform/drivers/display.h"
#include "platform/drivers/display_keys.h"
#include "platform/win32.h"
#include "platform/win32/clock.h"
#include "platform/win32/message_queue.h"
#include "platform/win32/subset_state.h"

using morvala::drivers::MessageFor;
using namespace morvala::win32;

namespace {

// The shortest and longest periods a timer runs at.
constexpr UINT kShortestTimerPeriod = 10;
constexpr UINT kLongestTimerPeriod = 0x7FFFFFFF;

MSG TakeFront(std::deque<MSG>& messages) {
    MSG front = messages.front();
    messages.pop_front();
    return front;
}

// Windows are painted in the order they were created, so a parent before its children.
std::optional<MSG> PaintMessage() {
    std::optional<MSG> paint;
    Subset().windows.ForEach([&](HWND handle, const Window& window) {
        if (!paint && window.invalid && IsShown(handle)) {
            paint = MessageFor(handle, WM_PAINT, 0, 0);
        }
    });
    return paint;
}

Timer* EarliestTimer() {
    std::vector<Timer>& timers = Subset().queue.timers;
    auto earliest = std::min_element(timers.begin(), timers.end(),
                                     [](const Timer& a, const Timer& b) { return a.due < b.due; });
    return earliest == timers.end() ? nullptr : &*earliest;
}

// A due timer gives one WM_TIMER, and the periods it missed are dropped: a busy thread sees
// one tick, never a pile of them.
std::optional<MSG> TimerMessage(uint64_t now) {
    Timer* timer = EarliestTimer();
    if (timer == nullptr || timer->due > now) {
        return std::nullopt;
    }
    timer->due += ((now - timer->due) / timer->period + 1) * timer->period;
    return MessageFor(timer->window, WM_TIMER, timer->id,
                      reinterpret_cast<LPARAM>(timer->procedure));
}

std::optional<unsigned> TimeUntilNextTimer(uint64_t now) {
    Timer* timer = EarliestTimer();
    if (timer == nullptr) {
        return std::nullopt;
    }
    return unsigned(timer->due - now);
}

// The keyboard state follows the key messages as the thread takes them.
void NoteKeyState(const MSG& message) {
    if ((message.message == WM_KEYDOWN || message.message == WM_KEYUP) &&
        message.wParam == VK_SHIFT) {
        Subset().queue.shiftDown = message.message == WM_KEYDOWN;
    }
}

// The next message, or WM_QUIT.
MSG NextMessage() {
    for (;;) {
        MessageQueue& queue = Subset().queue;
        morvala::drivers::ActiveDisplay().CollectInput(queue.input);
        if (!queue.posted.empty()) {
            return TakeFront(queue.posted);
        }
        if (!queue.input.empty()) {
            MSG input = TakeFront(queue.input);
            NoteKeyState(input);
            return input;
        }
        if (queue.quitCode) {
            MSG quit = MessageFor(nullptr, WM_QUIT, WPARAM(*queue.quitCode), 0);
            queue.quitCode.reset();
            return quit;
        }
        if (std::optional<MSG> paint = PaintMessage()) {
            return *paint;
        }
        uint64_t now = NowMilliseconds();
        if (std::optional<MSG> tick = TimerMessage(now)) {
            return *tick;
        }
        morvala::drivers::ActiveDisplay().WaitForInput(TimeUntilNextTimer(now), queue.input);
    }
}

}  // namespace

namespace morvala::win32 {

void ForgetWindowMessages(HWND window) {
    MessageQueue& queue = Subset().queue;
    auto isForWindow = [window](const MSG& message) { return message.hwnd == window; };
    queue.posted.erase(std::remove_if(queue.posted.begin(), queue.posted.end(), isForWindow),
                       queue.posted.end());
    queue.input.erase(std::remove_if(queue.input.begin(), queue.input.end(), isForWindow),
                      queue.input.end());
    queue.timers.erase(
        std::remove_if(queue.timers.begin(), queue.timers.end(),
                       [window](const Timer& timer) { return timer.window == window; }),
        queue.timers.end());
}

}  // namespace morvala::win32

// The filter arguments are not looked at: the program never filters.
BOOL WINAPI GetMessageA(LPMSG message, HWND, UINT, UINT) {
    if (message == nullptr) {
        return -1;
    }
    *message = NextMessage();
    message->time = DWORD(NowMilliseconds());
    return message->message != WM_QUIT;
}

BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (window != nullptr && LookUpWindow(window) == nullptr) {
        return FALSE;
    }
    Subset().queue.posted.push_back(MessageFor(window, message, wParam, lParam));
    return TRUE;
}

VOID WINAPI PostQuitMessage(int exitCode) {
    Subset().queue.quitCode = exitCode;
}

BOOL WINAPI TranslateMessage(const MSG* message) {
    if (message == nullptr) {
        return FALSE;
    }
    if (message->message == WM_KEYDOWN) {
        char character =
            morvala::drivers::CharacterOf(unsigned(message->wParam), Subset().queue.shiftDown);
        if (character != 0) {
            // The key message's flags go with it: repeat count, scan code, previous state.
            Subset().queue.posted.push_back(MessageFor(
                message->hwnd, WM_CHAR, static_cast<unsigned char>(character), message->lParam));
        }
    }
    return message->message == WM_KEYDOWN || message->message == WM_KEYUP;
}

LRESULT WINAPI DispatchMessageA(const MSG* message) {
    if (message == nullptr) {
        return 0;
    }
    if (message->message == WM_TIMER && message->lParam != 0) {
        reinterpret_cast<TIMERPROC>(message->lParam)(message->hwnd, WM_TIMER, message->wParam,
                                                     message->time);
        return 0;
    }
    return SendMessageA(message->hwnd, message->message, message->wParam, message->lParam);
}

UINT_PTR WINAPI SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC timerProc) {
    if (window != nullptr && LookUpWindow(window) == nullptr) {
        return 0;
    }
    MessageQueue& queue = Subset().queue;
    if (window == nullptr) {
        id = queue.nextThreadTimerId++;  // a thread's timer gets an identifier of its own
    }
    UINT period = std::clamp(elapse, kShortestTimerPeriod, kLongestTimerPeriod);
    Timer timer{window, id, period, NowMilliseconds() + period, timerProc};
    auto existing = std::find_if(queue.timers.begin(), queue.timers.end(),
                                 [&](const Timer& t) { return t.window == window && t.id == id; });
    if (existing != queue.timers.end()) {
        *existing = timer;
    } else {
        queue.timers.push_back(timer);
    }
    // Non-zero on success, even for a window's timer 0.
    return id != 0 ? id : 1;
}

BOOL WINAPI KillTimer(HWND window, UINT_PTR id) {
    std::vector<Timer>& timers = Subset().queue.timers;
    auto found = std::find_if(timers.begin(), timers.end(), [&](const Timer& timer) {
        return timer.window == window && timer.id == id;
    });
    if (found == timers.end()) {
        return FALSE;
    }
    timers.erase(found);
    return TRUE;
}
