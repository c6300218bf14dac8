#include "platform/drivers/frame_scaler.h"

#include <algorithm>

#include "platform/drivers/camera.h"

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

namespace morvala::drivers {

CropRect CentreCrop(int width, int height) {
    // Compared as products: 4:3 exactly is left whole. A sliver keeps at least one pixel.
    int64_t wide = int64_t(width) * kFrameHeight;
    int64_t tall = int64_t(height) * kFrameWidth;
    int croppedWidth = wide > tall ? std::max(1, static_cast<int>(tall / kFrameHeight)) : width;
    int croppedHeight = tall > wide ? std::max(1, static_cast<int>(wide / kFrameWidth)) : height;
    return {(width - croppedWidth) / 2, (height - croppedHeight) / 2, croppedWidth, croppedHeight};
}

FrameScaler::FrameScaler() : cropped_(av_frame_alloc()) {}

FrameScaler::~FrameScaler() {
    sws_freeContext(scaler_);
    av_frame_free(&cropped_);
}

bool FrameScaler::Scale(const AVFrame* picture, unsigned char* frame) {
    if (cropped_ == nullptr) {
        return false;
    }
    for (int plane = 0; plane < AV_NUM_DATA_POINTERS; ++plane) {
        cropped_->data[plane] = picture->data[plane];
        cropped_->linesize[plane] = picture->linesize[plane];
    }
    cropped_->width = picture->width;
    cropped_->height = picture->height;
    cropped_->format = picture->format;
    return ScaleCropped(frame);
}

bool FrameScaler::Scale(const uint8_t* pixels, int stride, int width, int height,
                        AVPixelFormat format, unsigned char* frame) {
    if (cropped_ == nullptr) {
        return false;
    }
    for (int plane = 0; plane < AV_NUM_DATA_POINTERS; ++plane) {
        cropped_->data[plane] = nullptr;
        cropped_->linesize[plane] = 0;
    }
    cropped_->data[0] = const_cast<uint8_t*>(pixels);
    cropped_->linesize[0] = stride;
    cropped_->width = width;
    cropped_->height = height;
    cropped_->format = format;
    return ScaleCropped(frame);
}

bool FrameScaler::ScaleCropped(unsigned char* frame) {
    CropRect crop = CentreCrop(cropped_->width, cropped_->height);
    cropped_->crop_left = crop.x;
    cropped_->crop_right = cropped_->width - crop.x - crop.width;
    cropped_->crop_top = crop.y;
    cropped_->crop_bottom = cropped_->height - crop.y - crop.height;
    // FFmpeg works out each plane's offset, chroma subsampling and palettes included.
    if (av_frame_apply_cropping(cropped_, AV_FRAME_CROP_UNALIGNED) < 0) {
        return false;
    }
    scaler_ = sws_getCachedContext(
        scaler_, cropped_->width, cropped_->height, static_cast<AVPixelFormat>(cropped_->format),
        kFrameWidth, kFrameHeight, AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (scaler_ == nullptr) {
        return false;
    }
    // Starting at the last row with a negative stride writes the picture bottom-up.
    uint8_t* target[] = {frame + (kFrameHeight - 1) * kFrameRowBytes};
    const int targetStride[] = {-kFrameRowBytes};
    sws_scale(scaler_, cropped_->data, cropped_->linesize, 0, cropped_->height, target,
              targetStride);
    return true;
}

}  // namespace morvala::drivers
