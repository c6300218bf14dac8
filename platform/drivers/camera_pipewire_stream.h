// A camera of the desktop's PipeWire session, as a stream of raw pictures: connects to the
// daemon, finds the camera, has the session link it and keeps the newest picture that came.
// PipeWire runs the stream on a thread of its own, so nothing here holds up the caller for
// longer than it asks.
#pragma once

extern "C" {
#include <libavutil/pixfmt.h>
}

#include <memory>
#include <string>
#include <vector>

namespace morvala::drivers {

// One picture as the camera sent it: raw planes (pixelFormat) or one JPEG image.
struct CameraPicture {
    AVPixelFormat pixelFormat = AV_PIX_FMT_NONE;  // AV_PIX_FMT_NONE: bytes hold a JPEG image
    AVColorSpace colorSpace = AVCOL_SPC_UNSPECIFIED;
    AVColorRange colorRange = AVCOL_RANGE_UNSPECIFIED;
    int width = 0;
    int height = 0;
    int planeCount = 0;
    int planeOffsets[4] = {};
    int strides[4] = {};
    std::vector<unsigned char> bytes;
};

enum class StreamTake { kPicture, kNothing, kLost };

class PipeWireCameraStream {
  public:
    // wanted: a node's name or description; empty for the session's default camera. Fails at
    // once when the session has no such camera. With untilStreaming, also waits a few seconds
    // at most for the session to link the camera and agree on a format, so that a camera
    // that cannot stream fails here with its reason; without, a link that fails later makes
    // the stream lost.
    static std::unique_ptr<PipeWireCameraStream> Open(const std::string& wanted,
                                                      bool untilStreaming, std::string* reason);
    virtual ~PipeWireCameraStream() = default;

    // Moves the newest picture into *picture when one came since the last take, waiting at
    // most waitMs for it; kLost once the camera or the daemon has gone.
    virtual StreamTake TakeNewest(int waitMs, CameraPicture* picture) = 0;
};

}  // namespace morvala::drivers
