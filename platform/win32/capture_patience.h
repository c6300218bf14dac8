// How patient the capture window is with its source: a grab never holds the window up for
// long, and a camera that stays silent is taken for lost and reopened.
#pragma once

#include <cstdint>

namespace morvala::win32 {

// The longest a grab waits for a new picture; short, so the window keeps refreshing more than
// 20 times a second with the last good picture while a camera is silent.
constexpr int kGrabWaitMs = 20;
// No picture for this long means the camera is lost...
constexpr uint64_t kSilenceLimitMs = 2000;
// ...but a camera's first picture after it was opened may take this long.
constexpr uint64_t kFirstPictureGraceMs = 5000;
// A lost camera is reopened at most this often.
constexpr uint64_t kReopenIntervalMs = 1000;

}  // namespace morvala::win32
