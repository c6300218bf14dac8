// What the emulated camera sends: the test card in the camera's own format.
#pragma once

#include <cstdint>
#include <vector>

namespace emulated_camera {

struct Pictures {
    std::vector<uint8_t> good;
    // What a frame hit by packet loss holds: the lower part missing (zeros), or for a compressed
    // frame only its first part.
    std::vector<uint8_t> damaged;
};

// fourcc: V4L2_PIX_FMT_YUYV, _MJPEG or _SBGGR8.
Pictures MakePictures(uint32_t fourcc, int width, int height);

}  // namespace emulated_camera
