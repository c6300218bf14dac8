// What the emulated camera sends: the test card in the camera's own format.
#pragma once

#include <cstdint>
#include <vector>

// jpeglib.h leans on size_t and FILE without including their headers.
#include <cstdio>

#include <jpeglib.h>

namespace emulated_camera {

struct Pictures {
    std::vector<uint8_t> good;
    // A frame hit by packet loss: whole in length with its lower part lost (zeros; for a
    // compressed frame, its scan's second half), or cut short to its first part.
    std::vector<uint8_t> garbled;
    std::vector<uint8_t> cut;
};

// The card itself: RGB, top-down, square pixels.
std::vector<uint8_t> DrawCard(int width, int height);

// How another encoder may lay a JPEG out: its colour space, luma's sampling factors (the other
// components' are 1) and quality (1 to 100).
struct JpegLayout {
    J_COLOR_SPACE colourSpace;
    int lumaAcross, lumaDown;
    int quality;
};
// An RGB picture (top-down) as libjpeg encodes it, with the standard Huffman tables.
std::vector<uint8_t> EncodeJpeg(const std::vector<uint8_t>& rgb, int width, int height,
                                const JpegLayout& layout);

// fourcc: V4L2_PIX_FMT_YUYV, _MJPEG or _SBGGR8.
Pictures MakePictures(uint32_t fourcc, int width, int height);

}  // namespace emulated_camera
