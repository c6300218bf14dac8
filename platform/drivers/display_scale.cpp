#include "platform/drivers/display_scale.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace morvala::drivers {
namespace {

constexpr float kStandardDotsPerInch = 96.0f;
constexpr int kLargestScale = 8;

}  // namespace

int PresentationScale(const char* requested, float dotsPerInch) {
    if (requested != nullptr && *requested != '\0') {
        char* end = nullptr;
        long scale = std::strtol(requested, &end, 10);
        if (*end == '\0' && scale >= 1 && scale <= kLargestScale) {
            return int(scale);
        }
        std::fprintf(stderr, "morvala: MORVALA_SCALE=%s is not a whole number from 1 to %d\n",
                     requested, kLargestScale);
    }
    // A screen only a little denser than standard keeps factor 1, as a desktop at 125% or 150%
    // would not double a program's pixels either.
    int scale = int(std::floor(dotsPerInch / kStandardDotsPerInch + 0.25f));
    return std::clamp(scale, 1, kLargestScale);
}

}  // namespace morvala::drivers
