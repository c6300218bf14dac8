// capCreateCaptureWindowA and the capture window: a child window of the subset whose
// procedure drives one camera source, fetched a frame at a time on grab requests. It alone
// decides how long a grab waits, when a silent camera counts as lost, and when to reopen it.
#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/drivers/camera.h"
#include "platform/drivers/camera_requests.h"
#include "platform/testing/camera_hooks.h"
#include "platform/win32.h"
#include "platform/win32/capture_patience.h"
#include "platform/win32/clock.h"

namespace {

using morvala::drivers::CameraRequest;
using morvala::drivers::CountCameraRequest;
using morvala::drivers::Take;
using morvala::testing::CameraRequests;
using morvala::win32::NowMilliseconds;

constexpr char kCaptureClassName[] = "MorvalaCaptureWindow";
constexpr WPARAM kDriverCount = 10;

// How the connected source has been doing; starts afresh with every driver connected.
struct SourcePatience {
    // Shown whenever the source has nothing new: black until the first picture.
    std::vector<unsigned char> lastGood = std::vector<unsigned char>(morvala::drivers::kFrameBytes);
    uint64_t waitingSinceMs = 0;  // the last picture, or the (re)connect before any
    bool pictureSinceConnect = false;
    bool lost = false;
    uint64_t lostAtMs = 0;  // or the last attempt to reopen since
    // Said once when the source is lost, and "back" with its next picture: a camera that stays
    // silent through many reopens is not reported again at each one.
    bool saidLost = false;
};

struct CaptureWindowState {
    int driverIndex = -1;
    std::unique_ptr<morvala::drivers::CameraSource> source;  // null until a driver connects
    uint64_t connectedAtMs = 0;
    SourcePatience patience;
    CAPVIDEOCALLBACK frameCallback = nullptr;
    // Used in turn, so each grab hands out a new address and the frame handed out before
    // stays intact until the grab after.
    std::vector<unsigned char> frames[2] = {
        std::vector<unsigned char>(morvala::drivers::kFrameBytes),
        std::vector<unsigned char>(morvala::drivers::kFrameBytes)};
    int nextFrame = 0;
    VIDEOHDR header = {};
};

std::map<HWND, std::unique_ptr<CaptureWindowState>>& CaptureWindows() {
    static std::map<HWND, std::unique_ptr<CaptureWindowState>> windows;
    return windows;
}

bool failNextCreation = false;

void Count(const CaptureWindowState& state, CameraRequest request) {
    if (state.source) {
        CountCameraRequest(state.driverIndex, request);
    }
}

LRESULT ConnectDriver(CaptureWindowState& state, WPARAM index) {
    if (index >= kDriverCount) {
        return FALSE;
    }
    CountCameraRequest(static_cast<int>(index), &CameraRequests::connects);
    state.source.reset();
    std::unique_ptr<morvala::drivers::CameraSource> source =
        morvala::drivers::MakeCameraSource(static_cast<int>(index));
    if (!source) {
        return FALSE;
    }
    std::string reason;
    if (!source->Connect(&reason)) {
        std::fprintf(stderr, "morvala: camera %s: %s\n", source->Name().c_str(), reason.c_str());
        return FALSE;
    }
    state.source = std::move(source);
    state.driverIndex = static_cast<int>(index);
    state.connectedAtMs = NowMilliseconds();
    state.patience = SourcePatience{};
    state.patience.waitingSinceMs = state.connectedAtMs;
    return TRUE;
}

// The one format every source delivers: 320 x 240, 24-bit uncompressed, bottom-up.
bool IsFrameFormat(WPARAM size, const BITMAPINFO* format) {
    if (format == nullptr || size < sizeof(BITMAPINFOHEADER)) {
        return false;
    }
    const BITMAPINFOHEADER& header = format->bmiHeader;
    return header.biSize == sizeof(BITMAPINFOHEADER) &&
           header.biWidth == morvala::drivers::kFrameWidth &&
           header.biHeight == morvala::drivers::kFrameHeight && header.biPlanes == 1 &&
           header.biBitCount == 24 && header.biCompression == BI_RGB &&
           (header.biSizeImage == 0 || header.biSizeImage == morvala::drivers::kFrameBytes);
}

LRESULT SetVideoFormat(CaptureWindowState& state, WPARAM size, const BITMAPINFO* format) {
    if (!state.source) {
        return FALSE;
    }
    Count(state, &CameraRequests::formats);
    return IsFrameFormat(size, format) && state.source->AcceptsFormat();
}

LRESULT SetFrameCallback(CaptureWindowState& state, CAPVIDEOCALLBACK callback) {
    Count(state, &CameraRequests::callbacks);
    state.frameCallback = callback;
    return TRUE;
}

void SayOfSource(const CaptureWindowState& state, const char* what) {
    std::fprintf(stderr, "morvala: camera %s: %s\n", state.source->Name().c_str(), what);
}

// Reopens a lost source, at most once a kReopenIntervalMs, counted from the end of the last
// attempt: opening a device can itself take a while.
void TryReopen(CaptureWindowState& state) {
    SourcePatience& patience = state.patience;
    if (NowMilliseconds() - patience.lostAtMs < morvala::win32::kReopenIntervalMs) {
        return;
    }
    std::string reason;
    bool opened = state.source->Connect(&reason);
    patience.lostAtMs = NowMilliseconds();
    if (opened) {
        patience.lost = false;
        patience.pictureSinceConnect = false;
        patience.waitingSinceMs = patience.lostAtMs;
    }
}

// Takes a new picture into lastGood if one comes within the grab's short wait. Silence counts
// from the last picture, with a longer grace for a camera's first, on the clock read after the
// wait.
void TakeFromSource(CaptureWindowState& state) {
    SourcePatience& patience = state.patience;
    uint64_t elapsedMs = NowMilliseconds() - state.connectedAtMs;
    Take take =
        state.source->TakePicture(elapsedMs, morvala::win32::kGrabWaitMs, patience.lastGood.data());
    uint64_t nowMs = NowMilliseconds();
    if (take == Take::kPicture) {
        if (std::exchange(patience.saidLost, false)) {
            SayOfSource(state, "back");
        }
        patience.pictureSinceConnect = true;
        patience.waitingSinceMs = nowMs;
        return;
    }
    uint64_t limitMs = patience.pictureSinceConnect ? morvala::win32::kSilenceLimitMs
                                                    : morvala::win32::kFirstPictureGraceMs;
    if (take == Take::kLost || nowMs - patience.waitingSinceMs >= limitMs) {
        if (!std::exchange(patience.saidLost, true)) {
            SayOfSource(state, "no picture, reopening");
        }
        patience.lost = true;
        patience.lostAtMs = nowMs;
    }
}

LRESULT GrabFrame(HWND window, CaptureWindowState& state) {
    if (!state.source) {
        return FALSE;
    }
    Count(state, &CameraRequests::grabs);
    if (state.patience.lost) {
        TryReopen(state);
    }
    if (!state.patience.lost) {
        TakeFromSource(state);
    }
    std::vector<unsigned char>& frame = state.frames[state.nextFrame];
    state.nextFrame = 1 - state.nextFrame;
    std::copy(state.patience.lastGood.begin(), state.patience.lastGood.end(), frame.begin());

    state.header = {};
    state.header.lpData = frame.data();
    state.header.dwBufferLength = morvala::drivers::kFrameBytes;
    state.header.dwBytesUsed = morvala::drivers::kFrameBytes;
    state.header.dwTimeCaptured = static_cast<DWORD>(NowMilliseconds() - state.connectedAtMs);
    state.header.dwFlags = VHDR_DONE | VHDR_KEYFRAME;
    if (state.frameCallback != nullptr) {
        Count(state, &CameraRequests::deliveries);
        state.frameCallback(window, &state.header);
    }
    return TRUE;
}

LRESULT CALLBACK CaptureWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) {
        CaptureWindows()[window] = std::make_unique<CaptureWindowState>();
        return 0;
    }
    auto found = CaptureWindows().find(window);
    if (found == CaptureWindows().end()) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    CaptureWindowState& state = *found->second;
    switch (message) {
        case WM_CAP_DRIVER_CONNECT:
            return ConnectDriver(state, wParam);
        case WM_CAP_SET_VIDEOFORMAT:
            return SetVideoFormat(state, wParam, reinterpret_cast<const BITMAPINFO*>(lParam));
        case WM_CAP_SET_CALLBACK_FRAME:
            return SetFrameCallback(state, reinterpret_cast<CAPVIDEOCALLBACK>(lParam));
        case WM_CAP_GRAB_FRAME:
            return GrabFrame(window, state);
        case WM_DESTROY:
            CaptureWindows().erase(found);
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace

HWND VFWAPI capCreateCaptureWindowA(LPCSTR windowName, DWORD style, int x, int y, int width,
                                    int height, HWND parent, int id) {
    if (std::exchange(failNextCreation, false)) {
        return nullptr;
    }
    // Registered on every call: a class that already exists is simply refused, and the
    // subset may have been reset in between.
    WNDCLASSEXA captureClass = {};
    captureClass.cbSize = sizeof captureClass;
    captureClass.lpfnWndProc = CaptureWindowProc;
    captureClass.lpszClassName = kCaptureClassName;
    RegisterClassExA(&captureClass);
    return CreateWindowExA(0, kCaptureClassName, windowName, style, x, y, width, height, parent,
                           reinterpret_cast<HMENU>(static_cast<intptr_t>(id)), nullptr, nullptr);
}

namespace morvala::testing {

void FailCaptureWindowCreation() {
    failNextCreation = true;
}

}  // namespace morvala::testing
