// Motion-JPEG from a camera, decoded by FFmpeg at the smallest of its reduced sizes (1/2, 1/4,
// 1/8) that still fills the frame: most of the work of a large frame is never done.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/drivers/frame_scaler.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace morvala::drivers {

// How many halvings (0 to 3) a width x height picture can take and still fill the frame once
// cropped to 4:3.
int ReductionFor(int width, int height);

class MjpegDecoder {
  public:
    MjpegDecoder() = default;
    MjpegDecoder(const MjpegDecoder&) = delete;
    MjpegDecoder& operator=(const MjpegDecoder&) = delete;
    ~MjpegDecoder() { Stop(); }

    // Ready for frames of width x height; false, saying why, when FFmpeg cannot decode them.
    bool Start(int width, int height, std::string* reason);
    void Stop();
    // Writes one camera frame into frame through scaler; false when it is cut short or damaged.
    bool Decode(const uint8_t* bytes, size_t size, FrameScaler& scaler, unsigned char* frame);

  private:
    AVCodecContext* context_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* picture_ = nullptr;
    std::vector<uint8_t> padded_;  // the frame with the zeroed tail FFmpeg's reader needs
};

}  // namespace morvala::drivers
