// Motion-JPEG from a camera, decoded by libjpeg-turbo at the smallest of its reduced sizes (1/2,
// 1/4, 1/8) that still fills the frame, into its own planes (YCbCr as sampled, grey or RGB), which
// the frame scaler crops, scales and converts in one pass: most of the work of a large frame is
// never done.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/drivers/frame_scaler.h"

struct AVFrame;

namespace morvala::drivers {

// How many halvings (0 to 3) a width x height picture can take and still fill the frame once
// cropped to 4:3.
int ReductionFor(int width, int height);

class MjpegDecoder {
  public:
    MjpegDecoder();
    MjpegDecoder(const MjpegDecoder&) = delete;
    MjpegDecoder& operator=(const MjpegDecoder&) = delete;
    ~MjpegDecoder();

    // Ready for frames; false, saying why, when libjpeg cannot start.
    bool Start(std::string* reason);
    void Stop();
    // Writes one camera frame into frame through scaler; false when it is cut short, damaged,
    // or laid out as no camera sends (CMYK, unusual sampling).
    bool Decode(const uint8_t* bytes, size_t size, FrameScaler& scaler, unsigned char* frame);

  private:
    struct Reader;  // libjpeg's state, kept from frame to frame

    std::unique_ptr<Reader> reader_;
    std::vector<uint8_t> planes_;  // the decoded components, one after another
    std::vector<uint8_t*> rowStarts_;
    AVFrame* picture_;  // the planes as the scaler takes them
};

}  // namespace morvala::drivers
