#include "platform/drivers/display_sdl.h"

#include <SDL.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <map>
#include <thread>

#include "platform/drivers/display_keys.h"
#include "platform/drivers/display_scale.h"

namespace morvala::drivers {
namespace {

unsigned VirtualKeyOf(SDL_Keycode key) {
    if (key >= SDLK_a && key <= SDLK_z) {
        return unsigned('A' + (key - SDLK_a));
    }
    if (key >= SDLK_0 && key <= SDLK_9) {
        return unsigned(key);
    }
    switch (key) {
        case SDLK_SPACE:
            return VK_SPACE;
        case SDLK_RETURN:
        case SDLK_KP_ENTER:
            return VK_RETURN;
        case SDLK_ESCAPE:
            return VK_ESCAPE;
        case SDLK_BACKSPACE:
            return VK_BACK;
        case SDLK_TAB:
            return VK_TAB;
        case SDLK_LSHIFT:
        case SDLK_RSHIFT:
            return VK_SHIFT;
        default:
            return 0;
    }
}

// SDL shows a box on X11 from a forked child and waits for it. Killed meanwhile, the program
// would leave that child and its box on the screen: a child forked while a box is being shown
// is ended with the thread that forked it.
std::atomic<pid_t> boxShower{0};

void EndWithTheBoxShower() {
    pid_t shower = boxShower.load();
    if (shower == 0) {
        return;
    }
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != shower) {
        _exit(1);  // already gone before the line above took effect
    }
}

void ShowBoxEndingWithTheProgram(Uint32 icon, const char* caption, const char* text,
                                 SDL_Window* owner) {
    [[maybe_unused]] static int watchingForks =
        pthread_atfork(nullptr, nullptr, EndWithTheBoxShower);
    boxShower = getpid();
    SDL_ShowSimpleMessageBox(icon, caption, text, owner);
    boxShower = 0;
}

class SdlDisplay final : public Display {
  public:
    bool OpenWindow(HWND window, const std::string& title, int outerX, int outerY, int clientWidth,
                    int clientHeight, std::string& reason) override {
        if (!StartVideo(reason)) {
            return false;
        }
        int scale = PresentationScale(std::getenv("MORVALA_SCALE"), DotsPerInchAt(outerX, outerY));
        SDL_Window* native = SDL_CreateWindow(title.c_str(), outerX, outerY, clientWidth * scale,
                                              clientHeight * scale, SDL_WINDOW_HIDDEN);
        if (native == nullptr) {
            reason = SDL_GetError();
            return false;
        }
        windows_[window] = {native, scale};
        handles_[SDL_GetWindowID(native)] = window;
        return true;
    }

    void SetWindowVisible(HWND window, bool visible) override {
        if (NativeWindow* native = Find(window)) {
            visible ? SDL_ShowWindow(native->window) : SDL_HideWindow(native->window);
        }
    }

    void CloseWindow(HWND window) override {
        if (NativeWindow* native = Find(window)) {
            handles_.erase(SDL_GetWindowID(native->window));
            SDL_DestroyWindow(native->window);
            windows_.erase(window);
        }
    }

    void Present(HWND window, const uint32_t* pixels, int width, int height) override {
        NativeWindow* native = Find(window);
        SDL_Surface* target = native ? SDL_GetWindowSurface(native->window) : nullptr;
        if (target == nullptr) {
            return;
        }
        // SDL only reads the pixels; the surface merely describes them.
        SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(
            const_cast<uint32_t*>(pixels), width, height, 32, width * 4, SDL_PIXELFORMAT_RGB888);
        SDL_Rect scaled{0, 0, width * native->scale, height * native->scale};
        SDL_SetSurfaceBlendMode(source, SDL_BLENDMODE_NONE);
        SDL_BlitScaled(source, nullptr, target, &scaled);  // nearest neighbour
        SDL_FreeSurface(source);
        SDL_UpdateWindowSurface(native->window);
    }

    void CollectInput(std::deque<MSG>& input) override {
        SDL_Event event;
        while (videoReady_ && SDL_PollEvent(&event)) {
            Translate(event, input);
        }
    }

    void WaitForInput(std::optional<unsigned> timeoutMilliseconds,
                      std::deque<MSG>& input) override {
        if (!videoReady_) {
            // No window, so no input can come: only a timer ends the wait.
            std::this_thread::sleep_for(
                std::chrono::milliseconds(timeoutMilliseconds.value_or(UINT32_MAX)));
            return;
        }
        SDL_Event event;
        int arrived = timeoutMilliseconds ? SDL_WaitEventTimeout(&event, int(*timeoutMilliseconds))
                                          : SDL_WaitEvent(&event);
        if (arrived) {
            Translate(event, input);
        }
        CollectInput(input);
    }

    void ShowMessageBox(HWND owner, const std::string& caption, const std::string& text,
                        UINT type) override {
        NativeWindow* native = Find(owner);
        bool ownerShown = native && (SDL_GetWindowFlags(native->window) & SDL_WINDOW_SHOWN);
        Uint32 icon = (type & MB_ICONERROR) ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION;
        // Without a display there is no box; the caller has written the text to stderr.
        ShowBoxEndingWithTheProgram(icon, caption.c_str(), text.c_str(),
                                    ownerShown ? native->window : nullptr);
    }

    uint64_t NowMilliseconds() override {
        return uint64_t(std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - start_)
                            .count());
    }

  private:
    struct NativeWindow {
        SDL_Window* window;
        int scale;
    };

    bool StartVideo(std::string& reason) {
        if (videoReady_) {
            return true;
        }
        // Only a real display will do: left to itself SDL would fall back to an invisible
        // off-screen one.
        const char* display = std::getenv("DISPLAY");
        bool hasX11 = display != nullptr && *display != '\0';
        const char* wayland = std::getenv("WAYLAND_DISPLAY");
        if (std::getenv("SDL_VIDEODRIVER") == nullptr) {
            if (!hasX11 && wayland == nullptr) {
                reason = "no display (DISPLAY is not set)";
                return false;
            }
            SDL_SetHint(SDL_HINT_VIDEODRIVER, hasX11 ? "x11" : "wayland");
        }
        // Ctrl-C and kill must end the program as they end any other.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        // The window surface is presented by the window system itself. With a renderer behind
        // it SDL would make the window anew for OpenGL, so that its first one vanishes.
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            reason = std::string("the display ") +
                     (hasX11    ? display
                      : wayland ? wayland
                                : "") +
                     " cannot be opened (" + SDL_GetError() + ")";
            return false;
        }
        // Characters come from TranslateMessage, as on Windows, not from an input method.
        SDL_StopTextInput();
        videoReady_ = true;
        return true;
    }

    static float DotsPerInchAt(int x, int y) {
        SDL_Point point{x, y};
        int index = SDL_GetPointDisplayIndex(&point);
        float horizontal = 0;
        if (SDL_GetDisplayDPI(index < 0 ? 0 : index, nullptr, &horizontal, nullptr) != 0) {
            return 0;
        }
        return horizontal;
    }

    NativeWindow* Find(HWND window) {
        auto found = windows_.find(window);
        return found == windows_.end() ? nullptr : &found->second;
    }

    void Translate(const SDL_Event& event, std::deque<MSG>& input) {
        if (event.type == SDL_KEYDOWN || event.type == SDL_KEYUP) {
            auto handle = handles_.find(event.key.windowID);
            unsigned virtualKey = VirtualKeyOf(event.key.keysym.sym);
            if (handle != handles_.end() && virtualKey != 0) {
                input.push_back(KeyMessage(handle->second,
                                           event.type == SDL_KEYDOWN ? WM_KEYDOWN : WM_KEYUP,
                                           virtualKey, event.key.repeat != 0));
            }
        } else if (event.type == SDL_WINDOWEVENT) {
            auto handle = handles_.find(event.window.windowID);
            if (handle == handles_.end()) {
                return;
            }
            if (event.window.event == SDL_WINDOWEVENT_CLOSE) {
                input.push_back(MessageFor(handle->second, WM_CLOSE, 0, 0));
            } else if (event.window.event == SDL_WINDOWEVENT_EXPOSED) {
                // The window surface still holds the last presented picture.
                SDL_UpdateWindowSurface(Find(handle->second)->window);
            }
        }
    }

    bool videoReady_ = false;
    std::map<HWND, NativeWindow> windows_;
    std::map<Uint32, HWND> handles_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace

std::unique_ptr<Display> CreateSdlDisplay() {
    return std::make_unique<SdlDisplay>();
}

}  // namespace morvala::drivers
