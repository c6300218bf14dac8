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

}  // namespace

void HeadlessDisplay::QueueKeyPress(unsigned virtualKey, int autoRepeats, bool shifted) {
    ScriptItem press(Kind::kKeyPress);
    press.virtualKey = virtualKey;
    press.autoRepeats = autoRepeats;
    press.shifted = shifted;
    script_.push_back(std::move(press));
}

void HeadlessDisplay::QueueTypedCharacter(char character) {
    ScriptItem typed(Kind::kTypedCharacter);
    typed.character = character;
    script_.push_back(std::move(typed));
}

void HeadlessDisplay::QueueCloseRequest() {
    script_.push_back(ScriptItem(Kind::kCloseRequest));
}

void HeadlessDisplay::QueueIdleStep(std::function<void()> step) {
    ScriptItem idle(Kind::kIdleStep);
    idle.step = std::move(step);
    script_.push_back(std::move(idle));
}

void HeadlessDisplay::QueueTimePassing(unsigned milliseconds) {
    ScriptItem passing(Kind::kTimePassing);
    passing.milliseconds = milliseconds;
    script_.push_back(std::move(passing));
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

void HeadlessDisplay::Press(const ScriptItem& press, std::deque<MSG>& input) const {
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
    switch (item.kind) {
        case Kind::kKeyPress:
            Press(item, input);
            break;
        case Kind::kTypedCharacter:
            input.push_back(MessageFor(FocusedWindow(), WM_CHAR,
                                       static_cast<unsigned char>(item.character), 1));
            break;
        case Kind::kCloseRequest:
            input.push_back(MessageFor(FocusedWindow(), WM_CLOSE, 0, 0));
            break;
        case Kind::kIdleStep:
            item.step();
            break;
        case Kind::kTimePassing: {
            // Time passes in steps that end where a timer falls due, so every tick and its
            // paint happen on the way.
            unsigned step =
                std::min(item.milliseconds, timeoutMilliseconds.value_or(item.milliseconds));
            now_ += step;
            if (step < item.milliseconds) {
                item.milliseconds -= step;
                script_.push_front(std::move(item));
            }
            break;
        }
    }
}

void HeadlessDisplay::ShowMessageBox(HWND owner, const std::string& caption,
                                     const std::string& text, UINT type) {
    boxes_.push_back({owner, caption, text, type});
}

}  // namespace morvala::drivers
