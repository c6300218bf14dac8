#include <cstdio>
#include <cstdlib>
#include <utility>

#include "platform/drivers/display.h"
#include "platform/drivers/display_headless.h"
#include "platform/testing/display_hooks.h"
#include "platform/win32/subset_state.h"

namespace morvala::testing {
namespace {

drivers::HeadlessDisplay& Headless() {
    auto* headless = dynamic_cast<drivers::HeadlessDisplay*>(&drivers::ActiveDisplay());
    if (headless == nullptr) {
        std::fprintf(stderr, "morvala: a headless-display hook was used with a real display\n");
        std::abort();
    }
    return *headless;
}

}  // namespace

void UseHeadlessDisplay() {
    drivers::ResetToHeadlessDisplay();
    win32::ResetSubset();
}

void PressKey(unsigned virtualKey, int autoRepeats) {
    Headless().QueueKeyPress(virtualKey, autoRepeats, false);
}

void PressShiftedKey(unsigned virtualKey) {
    Headless().QueueKeyPress(virtualKey, 0, true);
}

void TypeCharacter(char character) {
    Headless().QueueTypedCharacter(character);
}

void RequestClose() {
    Headless().QueueCloseRequest();
}

void RunWhenIdle(std::function<void()> step) {
    Headless().QueueIdleStep(std::move(step));
}

void LetTimePass(unsigned milliseconds) {
    Headless().QueueTimePassing(milliseconds);
}

uint64_t Now() {
    return Headless().NowMilliseconds();
}

void AdvanceClock(unsigned milliseconds) {
    Headless().AdvanceClock(milliseconds);
}

Surface WindowSurface(HWND topLevel) {
    win32::Window* window = win32::LookUpWindow(topLevel);
    if (window == nullptr || window->parent != nullptr) {
        return {nullptr, 0, 0};
    }
    return {window->pixels.data(), window->clientWidth, window->clientHeight};
}

void OnPresent(std::function<void(HWND)> hook) {
    win32::Subset().presentHook = std::move(hook);
}

std::vector<DrawnText> TextsDrawnInLastPaint(HWND window) {
    win32::Window* found = win32::LookUpWindow(window);
    return found != nullptr ? found->textsInLastPaint : std::vector<DrawnText>{};
}

std::vector<ShownMessageBox> MessageBoxesShown() {
    return Headless().MessageBoxesShown();
}

WindowDescription DescribeWindow(HWND window) {
    win32::Window* found = win32::LookUpWindow(window);
    if (found == nullptr) {
        return {};
    }
    return {found->className, found->title, found->style,
            found->parent,    found->outer, found->visible};
}

int IsWindowCallCount() {
    return win32::Subset().isWindowCalls;
}

}  // namespace morvala::testing
