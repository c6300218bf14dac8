#include "platform/drivers/display_headless.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "platform/drivers/display_keys.h"

namespace morvala::drivers {
namespace {

// A test whose script has run out would otherwise wait for ever: end it loudly instead.
[[noreturn]] void FailScript(const char* why) {
    std::fprintf(stderr, "morvala headless display: %s\n", why);
    std::abort();
}

template <class... Handlers>
struct Overloaded : Handlers... {
    using Handlers::operator()...;
};
template <class... Handlers>
Overloaded(Handlers...) -> Overloaded<Handlers...>;

MSG MessageTo(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG result{};
    result.hwnd = window;
    result.message = message;
    result.wParam = wParam;
    result.lParam = lParam;
    return result;
}

}  // namespace

void HeadlessDisplay::QueueKeyPress(unsigned virtualKey, int autoRepeats, bool shifted) {
    script_.push_back(KeyPress{virtualKey, autoRepeats, shifted});
}

void HeadlessDisplay::QueueTypedCharacter(char character) {
    script_.push_back(TypedCharacter{character});
}

void HeadlessDisplay::QueueCloseRequest() {
    script_.push_back(CloseRequest{});
}

void HeadlessDisplay::QueueIdleStep(std::function<void()> step) {
    script_.push_back(IdleStep{std::move(step)});
}

void HeadlessDisplay::QueueTimePassing(unsigned milliseconds) {
    script_.push_back(TimePassing{milliseconds});
}

bool HeadlessDisplay::OpenWindow(HWND, const std::string&, int, int, int, int, std::string&) {
    return true;
}

void HeadlessDisplay::SetWindowVisible(HWND window, bool visible) {
    shownWindows_.erase(std::remove(shownWindows_.begin(), shownWindows_.end(), window),
                        shownWindows_.end());
    if (visible) {
        shownWindows_.push_back(window);
    }
}

void HeadlessDisplay::CloseWindow(HWND window) {
    SetWindowVisible(window, false);
}

void HeadlessDisplay::Present(HWND, const uint32_t*, int, int) {}

void HeadlessDisplay::CollectInput(std::deque<MSG>&) {}

HWND HeadlessDisplay::FocusedWindow() const {
    if (shownWindows_.empty()) {
        FailScript("scripted input for the focused window, but no window is shown");
    }
    return shownWindows_.back();
}

void HeadlessDisplay::Press(const KeyPress& press, std::deque<MSG>& input) const {
    HWND window = FocusedWindow();
    if (press.shifted) {
        input.push_back(KeyMessage(window, WM_KEYDOWN, VK_SHIFT, false));
    }
    input.push_back(KeyMessage(window, WM_KEYDOWN, press.virtualKey, false));
    for (int repeat = 0; repeat < press.autoRepeats; ++repeat) {
        input.push_back(KeyMessage(window, WM_KEYDOWN, press.virtualKey, true));
    }
    input.push_back(KeyMessage(window, WM_KEYUP, press.virtualKey, true));
    if (press.shifted) {
        input.push_back(KeyMessage(window, WM_KEYUP, VK_SHIFT, true));
    }
}

void HeadlessDisplay::WaitForInput(std::optional<unsigned> timeoutMilliseconds,
                                   std::deque<MSG>& input) {
    if (script_.empty()) {
        FailScript("the scripted input ran out while the program waits for input");
    }
    ScriptItem item = std::move(script_.front());
    script_.pop_front();
    std::visit(Overloaded{
                   [&](const KeyPress& press) { Press(press, input); },
                   [&](const TypedCharacter& typed) {
                       input.push_back(MessageTo(FocusedWindow(), WM_CHAR,
                                                 static_cast<unsigned char>(typed.character), 1));
                   },
                   [&](const CloseRequest&) {
                       input.push_back(MessageTo(FocusedWindow(), WM_CLOSE, 0, 0));
                   },
                   [](const IdleStep& idle) { idle.step(); },
                   // Time passes in steps that end where a timer falls due, so every tick
                   // and its paint happen on the way.
                   [&](const TimePassing& passing) {
                       unsigned step = std::min(passing.milliseconds,
                                                timeoutMilliseconds.value_or(passing.milliseconds));
                       now_ += step;
                       if (step < passing.milliseconds) {
                           script_.push_front(TimePassing{passing.milliseconds - step});
                       }
                   },
               },
               item);
}

void HeadlessDisplay::ShowMessageBox(HWND owner, const std::string& caption,
                                     const std::string& text, UINT type) {
    boxes_.push_back({owner, caption, text, type});
}

}  // namespace morvala::drivers
