// A PipeWire camera as a source: the stream keeps the newest picture the camera sent, and a
// take converts it to the frame (decoding it first when the camera sends JPEG images).
#include "platform/drivers/camera_pipewire.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "platform/drivers/camera_pipewire_stream.h"
#include "platform/drivers/frame_scaler.h"

namespace morvala::drivers {
namespace {

// Decodes the JPEG images of an MJPEG camera.
class JpegDecoder {
  public:
    ~JpegDecoder() {
        av_frame_free(&frame_);
        av_packet_free(&packet_);
        avcodec_free_context(&context_);
    }

    // The decoded picture, or null when the image is broken.
    const AVFrame* Decode(const std::vector<unsigned char>& image) {
        if (context_ == nullptr && !Start()) {
            return nullptr;
        }
        packet_->data = const_cast<uint8_t*>(image.data());
        packet_->size = static_cast<int>(image.size());
        if (avcodec_send_packet(context_, packet_) < 0) {
            return nullptr;
        }
        return avcodec_receive_frame(context_, frame_) == 0 ? frame_ : nullptr;
    }

  private:
    bool Start() {
        const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MJPEG);
        context_ = codec != nullptr ? avcodec_alloc_context3(codec) : nullptr;
        if (context_ == nullptr || avcodec_open2(context_, codec, nullptr) < 0) {
            avcodec_free_context(&context_);
            return false;
        }
        packet_ = av_packet_alloc();
        frame_ = av_frame_alloc();
        return true;
    }

    AVCodecContext* context_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
};

class PipeWireCamera : public CameraSource {
  public:
    explicit PipeWireCamera(std::string wanted) : wanted_(std::move(wanted)) {}

    std::string Name() const override {
        return wanted_.empty() ? "pipewire" : "pipewire:" + wanted_;
    }

    // The first connect waits for the camera to stream, so that one that cannot says why
    // before the program starts. A reopen only checks that the camera is there again: the
    // window keeps refreshing meanwhile, and the capture window's patience covers the rest.
    bool Connect(std::string* reason) override {
        stream_.reset();
        stream_ = PipeWireCameraStream::Open(wanted_, !streamedBefore_, reason);
        streamedBefore_ = streamedBefore_ || stream_ != nullptr;
        return stream_ != nullptr;
    }

    Take TakePicture(uint64_t, int waitMs, unsigned char* frame) override {
        if (!stream_) {
            return Take::kLost;
        }
        switch (stream_->TakeNewest(waitMs, &picture_)) {
            case StreamTake::kLost:
                stream_.reset();
                return Take::kLost;
            case StreamTake::kNothing:
                return Take::kNothing;
            case StreamTake::kPicture:
                break;
        }
        return Convert(frame) ? Take::kPicture : Take::kNothing;
    }

  private:
    // A picture that cannot be read (a broken JPEG image) is skipped like a damaged frame.
    bool Convert(unsigned char* frame) {
        if (picture_.pixelFormat == AV_PIX_FMT_NONE) {
            const AVFrame* decoded = jpeg_.Decode(picture_.bytes);
            return decoded != nullptr && scaler_.Scale(decoded, frame);
        }
        // The planes as FFmpeg describes a picture, borrowed from the stream's copy.
        AVFrame& raw = *raw_;
        for (int i = 0; i < picture_.planeCount; ++i) {
            raw.data[i] = picture_.bytes.data() + picture_.planeOffsets[i];
            raw.linesize[i] = picture_.strides[i];
        }
        raw.format = picture_.pixelFormat;
        raw.width = picture_.width;
        raw.height = picture_.height;
        raw.colorspace = picture_.colorSpace;
        raw.color_range = picture_.colorRange;
        return scaler_.Scale(&raw, frame);
    }

    struct FrameDeleter {
        void operator()(AVFrame* frame) const { av_frame_free(&frame); }
    };

    std::string wanted_;
    bool streamedBefore_ = false;
    std::unique_ptr<PipeWireCameraStream> stream_;
    CameraPicture picture_;
    JpegDecoder jpeg_;
    std::unique_ptr<AVFrame, FrameDeleter> raw_{av_frame_alloc()};
    FrameScaler scaler_;
};

}  // namespace

std::unique_ptr<CameraSource> MakePipeWireCamera(const std::string& wanted) {
    return std::make_unique<PipeWireCamera>(wanted);
}

}  // namespace morvala::drivers
