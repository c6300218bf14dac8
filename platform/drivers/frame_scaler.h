// One converter for every source: a picture of any size and pixel format FFmpeg knows becomes
// the frame as a player would show it: turned as it is meant to be seen, in the colours its
// matrix and range declare, transparency over black, its centre cropped to the frame's 4:3
// first, so that a face is never squeezed.
#pragma once

#include <cstdint>
#include <vector>

extern "C" {
#include <libavutil/pixfmt.h>
}

struct AVFrame;
struct SwsContext;

namespace morvala::drivers {

// The part of a width x height picture that is shown: its centre, 4:3.
struct CropRect {
    int x;
    int y;
    int width;
    int height;
};
CropRect CentreCrop(int width, int height);

// How a stored picture is turned to be seen: mirrored left to right first, if at all, then
// turned clockwise by quarter turns.
struct Orientation {
    bool mirrored = false;
    int clockwiseTurns = 0;  // 0..3

    bool operator==(const Orientation& other) const {
        return mirrored == other.mirrored && clockwiseTurns == other.clockwiseTurns;
    }
};
// As a display matrix (a stream's or a picture's side data) asks for it.
Orientation OrientationOfDisplayMatrix(const int32_t matrix[9]);
// As EXIF's orientation tag (1 to 8) asks for it; anything else is upright.
Orientation OrientationOfExif(int tag);

class FrameScaler {
  public:
    FrameScaler();
    FrameScaler(const FrameScaler&) = delete;
    FrameScaler& operator=(const FrameScaler&) = delete;
    ~FrameScaler();

    // Writes a decoded picture into frame (kFrameBytes: BGR, bottom-up), turned as
    // orientation says, in the colour matrix and range the picture declares. False when
    // FFmpeg cannot convert it.
    bool Scale(const AVFrame* picture, unsigned char* frame, Orientation orientation = {});
    // The same for a picture in one plane of packed pixels (BGR24, YUYV, ...).
    bool Scale(const uint8_t* pixels, int stride, int width, int height, AVPixelFormat format,
               unsigned char* frame);

  private:
    bool ScaleCropped(unsigned char* frame, Orientation orientation);
    void SetColourDetails();

    AVFrame* cropped_;  // the picture's planes and colour details, borrowed, cropped in place
    SwsContext* scaler_ = nullptr;
    // The scaled picture before it is turned or made opaque, as stored, top-down.
    std::vector<uint8_t> staged_;
};

}  // namespace morvala::drivers
