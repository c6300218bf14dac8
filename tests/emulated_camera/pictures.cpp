// The test card, drawn in RGB and turned into what a webcam sends: YUYV in limited range,
// Bayer BGGR, or Motion-JPEG without Huffman tables (most webcams leave them out and rely on
// the standard ones).
#include "tests/emulated_camera/pictures.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "tests/emulated_camera/emulated_camera.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace emulated_camera {
namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "emulated camera: %s\n", what);
    std::abort();
}

// Converts the RGB card into a YUV picture of format (BT.601, in full or limited range).
void Convert(const std::vector<uint8_t>& rgb, int width, int height, AVPixelFormat format,
             bool fullRange, uint8_t* const planes[4], const int strides[4]) {
    SwsContext* scaler = sws_getContext(width, height, AV_PIX_FMT_RGB24, width, height, format,
                                        SWS_POINT, nullptr, nullptr, nullptr);
    if (scaler == nullptr) {
        Fail("cannot convert the card");
    }
    const int* bt601 = sws_getCoefficients(SWS_CS_ITU601);
    sws_setColorspaceDetails(scaler, bt601, 1, bt601, fullRange, 0, 1 << 16, 1 << 16);
    const uint8_t* source[] = {rgb.data()};
    const int sourceStride[] = {width * 3};
    sws_scale(scaler, source, sourceStride, 0, height, planes, strides);
    sws_freeContext(scaler);
}

std::vector<uint8_t> Yuyv(const std::vector<uint8_t>& rgb, int width, int height) {
    std::vector<uint8_t> yuyv(static_cast<size_t>(width) * height * 2);
    uint8_t* planes[4] = {yuyv.data()};
    const int strides[4] = {width * 2};
    Convert(rgb, width, height, AV_PIX_FMT_YUYV422, false, planes, strides);
    return yuyv;
}

std::vector<uint8_t> Bayer(const std::vector<uint8_t>& rgb, int width, int height) {
    std::vector<uint8_t> bayer(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            // BGGR: blue at even row and column, red at odd row and column, green between.
            int channel = (y % 2 == 0) ? (x % 2 == 0 ? 2 : 1) : (x % 2 == 0 ? 1 : 0);
            size_t at = static_cast<size_t>(y) * width + x;
            bayer[at] = rgb[at * 3 + channel];
        }
    }
    return bayer;
}

// Leaves out every DHT segment (before the scan: nothing after its start is a segment).
std::vector<uint8_t> WithoutHuffmanTables(const uint8_t* jpeg, size_t size) {
    std::vector<uint8_t> stripped(jpeg, jpeg + 2);
    size_t at = 2;
    while (at + 4 <= size && jpeg[at] == 0xFF) {
        uint8_t marker = jpeg[at + 1];
        size_t length = 2 + (jpeg[at + 2] << 8 | jpeg[at + 3]);
        if (marker == 0xDA) {
            stripped.insert(stripped.end(), jpeg + at, jpeg + size);
            return stripped;
        }
        if (marker != 0xC4) {
            stripped.insert(stripped.end(), jpeg + at, jpeg + at + length);
        }
        at += length;
    }
    Fail("the encoder's JPEG has no scan");
}

std::vector<uint8_t> Mjpeg(const std::vector<uint8_t>& rgb, int width, int height) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
    AVCodecContext* context = codec ? avcodec_alloc_context3(codec) : nullptr;
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    if (context == nullptr || frame == nullptr || packet == nullptr) {
        Fail("no MJPEG encoder");
    }
    context->width = width;
    context->height = height;
    context->pix_fmt = AV_PIX_FMT_YUVJ422P;
    context->time_base = {1, 30};
    context->flags |= AV_CODEC_FLAG_QSCALE;
    // The standard tables, which a decoder assumes when the frame has none.
    av_opt_set(context->priv_data, "huffman", "default", 0);
    frame->format = context->pix_fmt;
    frame->width = width;
    frame->height = height;
    frame->quality = context->global_quality = FF_QP2LAMBDA * 3;
    if (avcodec_open2(context, codec, nullptr) < 0 || av_frame_get_buffer(frame, 0) < 0) {
        Fail("cannot start the MJPEG encoder");
    }
    Convert(rgb, width, height, AV_PIX_FMT_YUV422P, true, frame->data, frame->linesize);
    if (avcodec_send_frame(context, frame) < 0 || avcodec_receive_packet(context, packet) < 0) {
        Fail("cannot encode the card");
    }
    std::vector<uint8_t> jpeg = WithoutHuffmanTables(packet->data, packet->size);
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&context);
    return jpeg;
}

}  // namespace

std::vector<uint8_t> DrawCard(int width, int height) {
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    double outer = kRingRadius * height;
    double inner = outer - kRingThickness * height;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            bool left = x < width / 2;
            bool top = y < height / 2;
            uint8_t colour[3] = {255, 255, 255};
            if (top && left) {
                colour[1] = colour[2] = 0;
            } else if (top) {
                colour[0] = colour[2] = 0;
            } else if (left) {
                colour[0] = colour[1] = 0;
            }
            // Square pixels: the ring is round in the camera's own picture.
            double distance = std::hypot(x + 0.5 - width / 2.0, y + 0.5 - height / 2.0);
            if (distance <= outer && distance >= inner) {
                colour[0] = colour[1] = colour[2] = 0;
            }
            uint8_t* pixel = &rgb[(static_cast<size_t>(y) * width + x) * 3];
            pixel[0] = colour[0];
            pixel[1] = colour[1];
            pixel[2] = colour[2];
        }
    }
    return rgb;
}

std::vector<uint8_t> EncodeJpeg(const std::vector<uint8_t>& rgb, int width, int height,
                                const JpegLayout& layout) {
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* encoded = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &encoded, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, layout.quality, TRUE);
    jpeg_set_colorspace(&info, layout.colourSpace);
    for (int component = 0; component < info.num_components; ++component) {
        info.comp_info[component].h_samp_factor = component == 0 ? layout.lumaAcross : 1;
        info.comp_info[component].v_samp_factor = component == 0 ? layout.lumaDown : 1;
    }
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<uint8_t*>(&rgb[size_t(info.next_scanline) * width * 3]);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<uint8_t> bytes(encoded, encoded + size);
    std::free(encoded);
    return bytes;
}

Pictures MakePictures(uint32_t fourcc, int width, int height) {
    std::vector<uint8_t> rgb = DrawCard(width, height);
    Pictures pictures;
    switch (fourcc) {
        case V4L2_PIX_FMT_MJPEG:
            pictures.good = Mjpeg(rgb, width, height);
            break;
        case V4L2_PIX_FMT_YUYV:
            pictures.good = Yuyv(rgb, width, height);
            break;
        case V4L2_PIX_FMT_SBGGR8:
            pictures.good = Bayer(rgb, width, height);
            break;
        default:
            Fail("no such format");
    }
    const std::vector<uint8_t>& good = pictures.good;
    pictures.cut.assign(good.begin(), good.begin() + good.size() * 2 / 5);
    pictures.garbled = good;
    // A JPEG keeps its end marker.
    size_t end = fourcc == V4L2_PIX_FMT_MJPEG ? good.size() - 2 : good.size();
    std::fill(pictures.garbled.begin() + good.size() / 2, pictures.garbled.begin() + end, 0);
    return pictures;
}

}  // namespace emulated_camera
