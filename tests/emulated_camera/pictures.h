// What the emulated camera sends: the test card in the camera's own format.
#pragma once

#include <cstdint>
#include <vector>

namespace emulated_camera {

struct Pictures {
    std::vector<uint8_t> good;
    // A frame hit by packet loss: whole in length with its lower part lost (zeros; for a
    // compressed frame, its scan's second half), or cut short to its first part.
    std::vector<uint8_t> garbled;
    std::vector<uint8_t> cut;
};

// fourcc: V4L2_PIX_FMT_YUYV, _MJPEG or _SBGGR8.
Pictures MakePictures(uint32_t fourcc, int width, int height);

}  // namespace emulated_camera
