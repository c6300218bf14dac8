// The display for tests: no windows, a pinned clock, and input that a test scripts ahead.
// Each script item is taken when the program would otherwise block waiting for input, so
// the paints and timer ticks between items happen exactly as in a real run.
#pragma once

#include <functional>
#include <vector>

#include "platform/drivers/display.h"
#include "platform/testing/display_hooks.h"

namespace morvala::drivers {

class HeadlessDisplay final : public Display {
  public:
    void QueueKeyPress(unsigned virtualKey, int autoRepeats, bool shifted);
    void QueueTypedCharacter(char character);
    void QueueCloseRequest();
    void QueueIdleStep(std::function<void()> step);
    void QueueTimePassing(unsigned milliseconds);

    void AdvanceClock(unsigned milliseconds) { now_ += milliseconds; }
    const std::vector<testing::ShownMessageBox>& MessageBoxesShown() const { return boxes_; }

    bool OpenWindow(HWND window, const std::string& title, int outerX, int outerY, int clientWidth,
                    int clientHeight, std::string& reason) override;
    void SetWindowVisible(HWND window, bool visible) override;
    void CloseWindow(HWND window) override;
    void Present(HWND window, const uint32_t* pixels, int width, int height) override;
    void CollectInput(std::deque<MSG>& input) override;
    void WaitForInput(std::optional<unsigned> timeoutMilliseconds, std::deque<MSG>& input) override;
    void ShowMessageBox(HWND owner, const std::string& caption, const std::string& text,
                        UINT type) override;
    uint64_t NowMilliseconds() override { return now_; }

  private:
    struct ScriptItem {
        enum class Kind { kKeyPress, kTypedCharacter, kCloseRequest, kIdleStep, kTimePassing };
        explicit ScriptItem(Kind itsKind) : kind(itsKind) {}
        Kind kind;
        unsigned virtualKey = 0;
        int autoRepeats = 0;
        bool shifted = false;
        char character = 0;
        std::function<void()> step;
        unsigned milliseconds = 0;
    };
    using Kind = ScriptItem::Kind;

    HWND FocusedWindow() const;
    void Press(const ScriptItem& press, std::deque<MSG>& input) const;

    std::deque<ScriptItem> script_;
    std::vector<HWND> shownWindows_;  // the most recently shown, which has the focus, last
    uint64_t now_ = 0;
    std::vector<testing::ShownMessageBox> boxes_;
};

}  // namespace morvala::drivers
