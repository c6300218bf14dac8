#include "platform/drivers/camera_v4l2_mjpeg.h"

// jpeglib.h leans on size_t and FILE without including their headers.
#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>
// After jpeglib.h, which it builds on.
#include <jerror.h>

#include "platform/drivers/camera.h"

extern "C" {
#include <libavutil/frame.h>
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

// libjpeg's error handler, with where to go back to when it gives up.
struct Failure {
    jpeg_error_mgr manager;  // first: libjpeg hands back a pointer to it
    std::jmp_buf back;
};

[[noreturn]] void GiveUp(j_common_ptr info) {
    std::longjmp(reinterpret_cast<Failure*>(info->err)->back, 1);
}

// A warning is damage libjpeg would paper over (grey blocks, a made-up end): never shown. But
// bytes left over after a whole scan, which some cameras send before the end marker, and an
// unknown JFIF revision leave the picture whole.
void Warned(j_common_ptr info, int level) {
    if (level >= 0) {
        return;  // a trace message
    }
    int code = info->err->msg_code;
    if (code != JWRN_EXTRANEOUS_DATA && code != JWRN_JFIF_MAJOR) {
        GiveUp(info);
    }
}

constexpr int kMaxComponents = 3;

// Where libjpeg writes each component of a picture in raw mode: whole blocks, a band of rows
// for each row of MCUs.
struct Planes {
    int count;
    int stride[kMaxComponents];
    int rows[kMaxComponents];
    int bandRows[kMaxComponents];
    AVPixelFormat format;
    int planeOf[kMaxComponents];  // FFmpeg's plane for each of the picture's components
};

// The decoded components as one of FFmpeg's planar formats; false when they fit none.
bool DescribePlanes(const jpeg_decompress_struct& info, Planes* planes) {
    planes->count = info.num_components;
    if (planes->count != 1 && planes->count != 3) {
        return false;
    }
    // How many luma samples each component's sample spans, across and down, once decoded.
    int spanAcross[kMaxComponents];
    int spanDown[kMaxComponents];
    int fullAcross = info.max_h_samp_factor * info.min_DCT_scaled_size;
    int fullDown = info.max_v_samp_factor * info.min_DCT_scaled_size;
    for (int component = 0; component < planes->count; ++component) {
        const jpeg_component_info& described = info.comp_info[component];
        // Reduced, chroma may be decoded at a larger block size to stand in for upsampling.
        int across = described.h_samp_factor * described.DCT_scaled_size;
        int down = described.v_samp_factor * described.DCT_scaled_size;
        if (fullAcross % across != 0 || fullDown % down != 0) {
            return false;
        }
        spanAcross[component] = fullAcross / across;
        spanDown[component] = fullDown / down;
        // With 32-byte rows, swscale reads them with its vector code.
        planes->stride[component] =
            (described.width_in_blocks * described.DCT_scaled_size + 31) & ~31;
        planes->bandRows[component] = down;
        planes->rows[component] = static_cast<int>(info.total_iMCU_rows) * down;
        planes->planeOf[component] = component;
    }
    if (planes->count == 1) {
        planes->format = AV_PIX_FMT_GRAY8;
        return info.jpeg_color_space == JCS_GRAYSCALE;
    }
    bool chromaAlike = spanAcross[1] == spanAcross[2] && spanDown[1] == spanDown[2];
    if (spanAcross[0] != 1 || spanDown[0] != 1 || !chromaAlike) {
        return false;
    }
    if (info.jpeg_color_space == JCS_RGB) {
        // FFmpeg's planar RGB keeps green first, then blue, then red.
        planes->format = AV_PIX_FMT_GBRP;
        planes->planeOf[0] = 2;
        planes->planeOf[1] = 0;
        planes->planeOf[2] = 1;
        return spanAcross[1] == 1 && spanDown[1] == 1;
    }
    if (info.jpeg_color_space != JCS_YCbCr) {
        return false;
    }
    struct Sampling {
        int across, down;
        AVPixelFormat format;
    };
    const Sampling samplings[] = {{1, 1, AV_PIX_FMT_YUVJ444P},
                                  {2, 1, AV_PIX_FMT_YUVJ422P},
                                  {2, 2, AV_PIX_FMT_YUVJ420P},
                                  {4, 1, AV_PIX_FMT_YUVJ411P},
                                  {1, 2, AV_PIX_FMT_YUVJ440P}};
    for (const Sampling& sampling : samplings) {
        if (sampling.across == spanAcross[1] && sampling.down == spanDown[1]) {
            planes->format = sampling.format;
            return true;
        }
    }
    return false;
}

// The functions below jump back on libjpeg's errors, so they hold nothing with a destructor.

bool CreateReader(jpeg_decompress_struct* info, Failure* failure) {
    info->err = jpeg_std_error(&failure->manager);
    failure->manager.error_exit = GiveUp;
    failure->manager.emit_message = Warned;
    if (setjmp(failure->back)) {
        jpeg_destroy_decompress(info);
        return false;
    }
    jpeg_create_decompress(info);
    return true;
}

// Reads the frame's headers and starts decoding it reduced, into its components as sampled.
bool StartPicture(jpeg_decompress_struct* info, Failure* failure, const uint8_t* bytes,
                  size_t size) {
    if (setjmp(failure->back)) {
        jpeg_abort_decompress(info);
        return false;
    }
    jpeg_mem_src(info, bytes, static_cast<unsigned long>(size));
    // Without Huffman tables, as cameras send it, libjpeg-turbo takes the standard ones.
    jpeg_read_header(info, TRUE);
    info->scale_num = 1;
    info->scale_denom = 1u << ReductionFor(static_cast<int>(info->image_width),
                                           static_cast<int>(info->image_height));
    // The scaler converts colours and interpolates chroma as it scales, in one pass.
    info->raw_data_out = TRUE;
    info->do_fancy_upsampling = FALSE;
    jpeg_start_decompress(info);
    return true;
}

// Decodes the picture, a band of rows at a time, into each component's rows.
bool ReadPicture(jpeg_decompress_struct* info, Failure* failure, const Planes& planes,
                 uint8_t** firstRows[kMaxComponents]) {
    if (setjmp(failure->back)) {
        jpeg_abort_decompress(info);
        return false;
    }
    const JDIMENSION lines =
        static_cast<JDIMENSION>(info->max_v_samp_factor * info->min_DCT_scaled_size);
    for (JDIMENSION band = 0; info->output_scanline < info->output_height; ++band) {
        JSAMPARRAY bandRows[kMaxComponents];
        for (int component = 0; component < planes.count; ++component) {
            bandRows[component] = firstRows[component] + band * planes.bandRows[component];
        }
        if (jpeg_read_raw_data(info, bandRows, lines) == 0) {  // never looping for ever
            jpeg_abort_decompress(info);
            return false;
        }
    }
    jpeg_finish_decompress(info);
    return true;
}

}  // namespace

struct MjpegDecoder::Reader {
    jpeg_decompress_struct info;
    Failure failure;
    bool created;
};

int ReductionFor(int width, int height) {
    int reduction = 0;
    while (reduction < 3) {
        int next = reduction + 1;
        // libjpeg rounds a reduced size up.
        CropRect shown =
            CentreCrop((width + (1 << next) - 1) >> next, (height + (1 << next) - 1) >> next);
        if (shown.width < kFrameWidth || shown.height < kFrameHeight) {
            break;
        }
        reduction = next;
    }
    return reduction;
}

MjpegDecoder::MjpegDecoder() : reader_(new Reader{}), picture_(av_frame_alloc()) {}

MjpegDecoder::~MjpegDecoder() {
    Stop();
    av_frame_free(&picture_);
}

bool MjpegDecoder::Start(std::string* reason) {
    Stop();
    reader_->created = picture_ != nullptr && CreateReader(&reader_->info, &reader_->failure);
    if (!reader_->created) {
        *reason = "cannot decode Motion-JPEG: the decoder does not start";
    }
    return reader_->created;
}

void MjpegDecoder::Stop() {
    if (reader_->created) {
        jpeg_destroy_decompress(&reader_->info);
        reader_->created = false;
    }
}

bool MjpegDecoder::Decode(const uint8_t* bytes, size_t size, FrameScaler& scaler,
                          unsigned char* frame) {
    jpeg_decompress_struct* info = &reader_->info;
    if (!reader_->created || !EndsWhole(bytes, size) ||
        !StartPicture(info, &reader_->failure, bytes, size)) {
        return false;
    }
    Planes planes;
    if (!DescribePlanes(*info, &planes)) {
        jpeg_abort_decompress(info);
        return false;
    }
    // Sized here, outside the jumps.
    size_t planeBytes[kMaxComponents];
    size_t totalBytes = 0;
    int totalRows = 0;
    for (int component = 0; component < planes.count; ++component) {
        planeBytes[component] = size_t(planes.stride[component]) * planes.rows[component];
        totalBytes += planeBytes[component];
        totalRows += planes.rows[component];
    }
    planes_.resize(totalBytes);
    rowStarts_.resize(totalRows);
    uint8_t** firstRows[kMaxComponents];
    uint8_t* plane = planes_.data();
    uint8_t** rowStart = rowStarts_.data();
    av_frame_unref(picture_);
    for (int component = 0; component < planes.count; ++component) {
        firstRows[component] = rowStart;
        for (int row = 0; row < planes.rows[component]; ++row) {
            *rowStart++ = plane + size_t(planes.stride[component]) * row;
        }
        picture_->data[planes.planeOf[component]] = plane;
        picture_->linesize[planes.planeOf[component]] = planes.stride[component];
        plane += planeBytes[component];
    }
    if (!ReadPicture(info, &reader_->failure, planes, firstRows)) {
        return false;
    }
    picture_->width = static_cast<int>(info->output_width);
    picture_->height = static_cast<int>(info->output_height);
    picture_->format = planes.format;
    picture_->color_range = AVCOL_RANGE_JPEG;
    // JFIF's YCbCr is BT.601's.
    picture_->colorspace =
        info->jpeg_color_space == JCS_YCbCr ? AVCOL_SPC_BT470BG : AVCOL_SPC_UNSPECIFIED;
    return scaler.Scale(picture_, frame);
}

}  // namespace morvala::drivers
