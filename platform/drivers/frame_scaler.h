// One converter for every source: a picture of any size and pixel format FFmpeg knows becomes
// the frame, its centre cropped to the frame's 4:3 first, so that a face is never squeezed.
#pragma once

#include <cstdint>

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

class FrameScaler {
  public:
    FrameScaler();
    FrameScaler(const FrameScaler&) = delete;
    FrameScaler& operator=(const FrameScaler&) = delete;
    ~FrameScaler();

    // Writes a decoded picture into frame (kFrameBytes: BGR, bottom-up). False when FFmpeg
    // cannot convert it.
    bool Scale(const AVFrame* picture, unsigned char* frame);
    // The same for a picture in one plane of packed pixels (BGR24, YUYV, ...).
    bool Scale(const uint8_t* pixels, int stride, int width, int height, AVPixelFormat format,
               unsigned char* frame);

  private:
    bool ScaleCropped(unsigned char* frame);

    AVFrame* cropped_;  // the picture's planes, borrowed, then cropped in place
    SwsContext* scaler_ = nullptr;
};

}  // namespace morvala::drivers
