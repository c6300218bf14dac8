#include "platform/drivers/display.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/drivers/display_headless.h"
#include "platform/drivers/display_sdl.h"

namespace morvala::drivers {
namespace {

// The display lives as long as the process: shutting SDL down at exit would only unload
// libraries while the leak checker still needs their symbols.
std::unique_ptr<Display>& ActiveSlot() {
    static auto* display = new std::unique_ptr<Display>();
    return *display;
}

std::unique_ptr<Display> DisplayFromEnvironment() {
    const char* choice = std::getenv("MORVALA_DISPLAY");
    if (choice != nullptr && std::strcmp(choice, "headless") == 0) {
        return std::make_unique<HeadlessDisplay>();
    }
    if (choice != nullptr && *choice != '\0' && std::strcmp(choice, "sdl") != 0) {
        std::fprintf(stderr, "morvala: MORVALA_DISPLAY=%s is neither sdl nor headless; using sdl\n",
                     choice);
    }
    return CreateSdlDisplay();
}

}  // namespace

Display& ActiveDisplay() {
    std::unique_ptr<Display>& slot = ActiveSlot();
    if (!slot) {
        slot = DisplayFromEnvironment();
    }
    return *slot;
}

void ResetToHeadlessDisplay() {
    std::unique_ptr<Display>& slot = ActiveSlot();
    if (slot && dynamic_cast<HeadlessDisplay*>(slot.get()) == nullptr) {
        std::fprintf(stderr, "morvala: the headless display was chosen after a real one\n");
        std::abort();
    }
    slot = std::make_unique<HeadlessDisplay>();
}

}  // namespace morvala::drivers
