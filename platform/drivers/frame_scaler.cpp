#include "platform/drivers/frame_scaler.h"

#include <algorithm>
#include <cmath>

#include "platform/drivers/camera.h"

extern "C" {
#include <libavutil/display.h>
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace morvala::drivers {
namespace {

// Where the pixel a turned picture shows at (x, y) lies in the stored one, width x height.
void StoredPosition(Orientation orientation, int width, int height, int x, int y, int* storedX,
                    int* storedY) {
    switch (orientation.clockwiseTurns) {
        case 1:
            *storedX = y, *storedY = height - 1 - x;
            break;
        case 2:
            *storedX = width - 1 - x, *storedY = height - 1 - y;
            break;
        case 3:
            *storedX = width - 1 - y, *storedY = x;
            break;
        default:
            *storedX = x, *storedY = y;
    }
    if (orientation.mirrored) {
        *storedX = width - 1 - *storedX;
    }
}

// The part of the stored picture that a rectangle of the turned one shows.
CropRect StoredRect(Orientation orientation, int width, int height, CropRect shown) {
    int x0, y0, x1, y1;
    StoredPosition(orientation, width, height, shown.x, shown.y, &x0, &y0);
    StoredPosition(orientation, width, height, shown.x + shown.width - 1,
                   shown.y + shown.height - 1, &x1, &y1);
    return {std::min(x0, x1), std::min(y0, y1), std::abs(x1 - x0) + 1, std::abs(y1 - y0) + 1};
}

bool HasTransparency(AVPixelFormat format) {
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    // A palette's entries carry an alpha of their own.
    return descriptor != nullptr &&
           (descriptor->flags & (AV_PIX_FMT_FLAG_ALPHA | AV_PIX_FMT_FLAG_PAL)) != 0;
}

// The JPEG formats are their plain ones in full range; swscale wants them said that way, or it
// warns and builds its context afresh for every picture.
AVPixelFormat PlainFormat(AVPixelFormat format) {
    switch (format) {
        case AV_PIX_FMT_YUVJ420P:
            return AV_PIX_FMT_YUV420P;
        case AV_PIX_FMT_YUVJ422P:
            return AV_PIX_FMT_YUV422P;
        case AV_PIX_FMT_YUVJ440P:
            return AV_PIX_FMT_YUV440P;
        case AV_PIX_FMT_YUVJ444P:
            return AV_PIX_FMT_YUV444P;
        case AV_PIX_FMT_YUVJ411P:
            return AV_PIX_FMT_YUV411P;
        default:
            return format;
    }
}

// The JPEG formats are full range whatever the picture says.
bool IsFullRange(const AVFrame* picture) {
    switch (picture->format) {
        case AV_PIX_FMT_YUVJ420P:
        case AV_PIX_FMT_YUVJ422P:
        case AV_PIX_FMT_YUVJ440P:
        case AV_PIX_FMT_YUVJ444P:
        case AV_PIX_FMT_YUVJ411P:
            return true;
        default:
            return picture->color_range == AVCOL_RANGE_JPEG;
    }
}

}  // namespace

CropRect CentreCrop(int width, int height) {
    // Compared as products: 4:3 exactly is left whole. A sliver keeps at least one pixel.
    int64_t wide = int64_t(width) * kFrameHeight;
    int64_t tall = int64_t(height) * kFrameWidth;
    int croppedWidth = wide > tall ? std::max(1, static_cast<int>(tall / kFrameHeight)) : width;
    int croppedHeight = tall > wide ? std::max(1, static_cast<int>(wide / kFrameWidth)) : height;
    return {(width - croppedWidth) / 2, (height - croppedHeight) / 2, croppedWidth, croppedHeight};
}

Orientation OrientationOfDisplayMatrix(const int32_t matrix[9]) {
    int32_t upright[9];
    std::copy(matrix, matrix + 9, upright);
    Orientation orientation;
    // A negative determinant is a mirror; what is left once it is undone is a rotation.
    orientation.mirrored = int64_t(matrix[0]) * matrix[4] - int64_t(matrix[1]) * matrix[3] < 0;
    if (orientation.mirrored) {
        av_display_matrix_flip(upright, 1, 0);
    }
    double counterClockwise = av_display_rotation_get(upright);
    if (std::isnan(counterClockwise)) {
        return {};
    }
    // The matrix mirrors after turning; mirroring first turns the other way.
    long turns = std::lround((orientation.mirrored ? counterClockwise : -counterClockwise) / 90.0);
    orientation.clockwiseTurns = static_cast<int>(((turns % 4) + 4) % 4);
    return orientation;
}

Orientation OrientationOfExif(int tag) {
    switch (tag) {
        case 2:
            return {true, 0};
        case 3:
            return {false, 2};
        case 4:
            return {true, 2};
        case 5:
            return {true, 3};
        case 6:
            return {false, 1};
        case 7:
            return {true, 1};
        case 8:
            return {false, 3};
        default:
            return {};
    }
}

FrameScaler::FrameScaler() : cropped_(av_frame_alloc()) {}

FrameScaler::~FrameScaler() {
    sws_freeContext(scaler_);
    av_frame_free(&cropped_);
}

bool FrameScaler::Scale(const AVFrame* picture, unsigned char* frame, Orientation orientation) {
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
    cropped_->colorspace = picture->colorspace;
    cropped_->color_range = IsFullRange(picture) ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
    return ScaleCropped(frame, orientation);
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
    cropped_->colorspace = AVCOL_SPC_UNSPECIFIED;
    cropped_->color_range = AVCOL_RANGE_MPEG;
    return ScaleCropped(frame, {});
}

void FrameScaler::SetColourDetails() {
    int *toRgb, *fromRgb, sourceFullRange, targetFullRange, brightness, contrast, saturation;
    sws_getColorspaceDetails(scaler_, &toRgb, &sourceFullRange, &fromRgb, &targetFullRange,
                             &brightness, &contrast, &saturation);
    // Out of the table's range FFmpeg takes its default, BT.601, as for an unspecified matrix.
    const int* matrix = sws_getCoefficients(cropped_->colorspace);
    bool fullRange = cropped_->color_range == AVCOL_RANGE_JPEG;
    // Setting them again rebuilds swscale's tables: not for every picture of a camera.
    if (sourceFullRange == int(fullRange) && std::equal(matrix, matrix + 4, toRgb)) {
        return;
    }
    sws_setColorspaceDetails(scaler_, matrix, fullRange, fromRgb, targetFullRange, brightness,
                             contrast, saturation);
}

bool FrameScaler::ScaleCropped(unsigned char* frame, Orientation orientation) {
    // The crop is taken about the centre of the picture as it is seen, so after turning it.
    bool quarterTurned = orientation.clockwiseTurns % 2 == 1;
    int seenWidth = quarterTurned ? cropped_->height : cropped_->width;
    int seenHeight = quarterTurned ? cropped_->width : cropped_->height;
    CropRect crop = StoredRect(orientation, cropped_->width, cropped_->height,
                               CentreCrop(seenWidth, seenHeight));
    cropped_->crop_left = crop.x;
    cropped_->crop_right = cropped_->width - crop.x - crop.width;
    cropped_->crop_top = crop.y;
    cropped_->crop_bottom = cropped_->height - crop.y - crop.height;
    // FFmpeg works out each plane's offset, chroma subsampling and palettes included.
    if (av_frame_apply_cropping(cropped_, AV_FRAME_CROP_UNALIGNED) < 0) {
        return false;
    }
    bool transparent = HasTransparency(static_cast<AVPixelFormat>(cropped_->format));
    int stagedWidth = quarterTurned ? kFrameHeight : kFrameWidth;
    int stagedHeight = quarterTurned ? kFrameWidth : kFrameHeight;
    // Bilinear: swscale widens its filter as it shrinks, so the frame is as sharp as with
    // bicubic at under half the cost, which a camera pays 30 times a second.
    scaler_ = sws_getCachedContext(
        scaler_, cropped_->width, cropped_->height,
        PlainFormat(static_cast<AVPixelFormat>(cropped_->format)), stagedWidth, stagedHeight,
        transparent ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR24, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (scaler_ == nullptr) {
        return false;
    }
    SetColourDetails();

    if (orientation == Orientation{} && !transparent) {
        // Starting at the last row with a negative stride writes the picture bottom-up.
        uint8_t* target[] = {frame + (kFrameHeight - 1) * kFrameRowBytes};
        const int targetStride[] = {-kFrameRowBytes};
        sws_scale(scaler_, cropped_->data, cropped_->linesize, 0, cropped_->height, target,
                  targetStride);
        return true;
    }
    int pixelBytes = transparent ? 4 : 3;
    staged_.resize(size_t(stagedWidth) * stagedHeight * pixelBytes);
    uint8_t* target[] = {staged_.data()};
    const int targetStride[] = {stagedWidth * pixelBytes};
    sws_scale(scaler_, cropped_->data, cropped_->linesize, 0, cropped_->height, target,
              targetStride);
    for (int y = 0; y < kFrameHeight; ++y) {
        unsigned char* row = frame + (kFrameHeight - 1 - y) * kFrameRowBytes;
        for (int x = 0; x < kFrameWidth; ++x) {
            int storedX, storedY;
            StoredPosition(orientation, stagedWidth, stagedHeight, x, y, &storedX, &storedY);
            const uint8_t* stored =
                &staged_[(size_t(storedY) * stagedWidth + storedX) * pixelBytes];
            // Over black: each colour in proportion to how opaque the pixel is.
            int opacity = transparent ? stored[3] : 255;
            for (int channel = 0; channel < 3; ++channel) {
                row[x * 3 + channel] =
                    static_cast<unsigned char>((stored[channel] * opacity + 127) / 255);
            }
        }
    }
    return true;
}

}  // namespace morvala::drivers
