#include "platform/drivers/camera_v4l2_mjpeg.h"

#include <algorithm>
#include <cstring>

#include "platform/drivers/camera.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace morvala::drivers {
namespace {

// A whole JPEG ends with its EOI marker; cameras may pad the buffer with zeros after it.
bool EndsWhole(const uint8_t* bytes, size_t size) {
    while (size > 0 && bytes[size - 1] == 0) {
        --size;
    }
    return size >= 4 && bytes[size - 2] == 0xFF && bytes[size - 1] == 0xD9;
}

}  // namespace

int ReductionFor(int width, int height) {
    int reduction = 0;
    while (reduction < 3) {
        int next = reduction + 1;
        // FFmpeg rounds a reduced size up.
        CropRect shown =
            CentreCrop((width + (1 << next) - 1) >> next, (height + (1 << next) - 1) >> next);
        if (shown.width < kFrameWidth || shown.height < kFrameHeight) {
            break;
        }
        reduction = next;
    }
    return reduction;
}

bool MjpegDecoder::Start(int width, int height, std::string* reason) {
    Stop();
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MJPEG);
    context_ = codec ? avcodec_alloc_context3(codec) : nullptr;
    packet_ = av_packet_alloc();
    picture_ = av_frame_alloc();
    if (context_ == nullptr || packet_ == nullptr || picture_ == nullptr) {
        *reason = "cannot decode Motion-JPEG: no decoder";
        return false;
    }
    context_->width = width;
    context_->height = height;
    context_->lowres = std::min(ReductionFor(width, height), static_cast<int>(codec->max_lowres));
    // A damaged frame is an error, not a picture with a grey stand-in for what is missing.
    context_->err_recognition = AV_EF_EXPLODE | AV_EF_BITSTREAM | AV_EF_BUFFER;
    context_->thread_count = 1;
    if (avcodec_open2(context_, codec, nullptr) < 0) {
        *reason = "cannot decode Motion-JPEG: the decoder does not start";
        return false;
    }
    return true;
}

void MjpegDecoder::Stop() {
    avcodec_free_context(&context_);
    av_packet_free(&packet_);
    av_frame_free(&picture_);
}

bool MjpegDecoder::Decode(const uint8_t* bytes, size_t size, FrameScaler& scaler,
                          unsigned char* frame) {
    if (!EndsWhole(bytes, size)) {
        return false;
    }
    padded_.resize(size + AV_INPUT_BUFFER_PADDING_SIZE);
    std::memcpy(padded_.data(), bytes, size);
    std::memset(padded_.data() + size, 0, AV_INPUT_BUFFER_PADDING_SIZE);
    packet_->data = padded_.data();
    packet_->size = static_cast<int>(size);
    if (avcodec_send_packet(context_, packet_) < 0) {
        return false;
    }
    if (avcodec_receive_frame(context_, picture_) < 0) {
        return false;
    }
    bool whole = picture_->decode_error_flags == 0 && !(picture_->flags & AV_FRAME_FLAG_CORRUPT);
    bool scaled = whole && scaler.Scale(picture_, frame);
    av_frame_unref(picture_);
    return scaled;
}

}  // namespace morvala::drivers
