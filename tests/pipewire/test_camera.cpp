// A camera for the PipeWire tests: publishes a Video/Source node of one raw format and size
// and sends a still pattern 25 times a second, until it is killed.
//   pipewire_test_camera NAME DESCRIPTION FORMAT WIDTH HEIGHT [--no-stride] [--inverted]
//                        [--counting]
// FORMAT: RGB, BGR, BGRx, RGBA, YUY2, NV12, I420 (planes one after another in one block) or
// MJPG; or RGB16, a format no consumer here takes, left
// black. The pattern is the 4:3 centre cut into four
// quadrants (top left red, top right green, bottom left blue, bottom right white), with
// magenta bands on whichever sides lie outside the 4:3 centre; --inverted turns every colour
// into its opposite, to tell two cameras apart; --counting makes the first byte of each
// picture its number (modulo 256), to tell pictures apart. --no-stride leaves the buffers' stride
// at 0, as some producers do.
#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>
#include <spa/utils/result.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libswscale/swscale.h>
}

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Rgb {
    int r, g, b;
};

struct Format {
    const char* name;
    spa_video_format id;
    int bytesPerPixel;
};

constexpr Format kFormats[] = {
    {"RGB", SPA_VIDEO_FORMAT_RGB, 3},     {"BGR", SPA_VIDEO_FORMAT_BGR, 3},
    {"BGRx", SPA_VIDEO_FORMAT_BGRx, 4},   {"RGBA", SPA_VIDEO_FORMAT_RGBA, 4},
    {"YUY2", SPA_VIDEO_FORMAT_YUY2, 2},   {"MJPG", SPA_VIDEO_FORMAT_UNKNOWN, 3},
    {"RGB16", SPA_VIDEO_FORMAT_RGB16, 2}, {"NV12", SPA_VIDEO_FORMAT_NV12, 1},
    {"I420", SPA_VIDEO_FORMAT_I420, 1},
};

struct Camera {
    pw_main_loop* loop = nullptr;
    pw_stream* stream = nullptr;
    spa_source* timer = nullptr;
    const Format* format = nullptr;
    int width = 0;
    int height = 0;
    bool leaveStrideUnset = false;
    bool inverted = false;
    bool counting = false;
    unsigned sent = 0;
    std::vector<unsigned char> picture;  // one whole frame in the stream's format
};

Rgb QuadrantAt(int x, int y, int width, int height) {
    // The largest 4:3 rectangle about the centre.
    int cutWidth = width;
    int cutHeight = height;
    if (width * 3 > height * 4) {
        cutWidth = height * 4 / 3;
    } else {
        cutHeight = width * 3 / 4;
    }
    int left = (width - cutWidth) / 2;
    int top = (height - cutHeight) / 2;
    if (x < left || x >= left + cutWidth || y < top || y >= top + cutHeight) {
        return {255, 0, 255};
    }
    bool right = x - left >= cutWidth / 2;
    bool bottom = y - top >= cutHeight / 2;
    if (!bottom) {
        return right ? Rgb{0, 255, 0} : Rgb{255, 0, 0};
    }
    return right ? Rgb{255, 255, 255} : Rgb{0, 0, 255};
}

Rgb PatternAt(int x, int y, const Camera& camera) {
    Rgb c = QuadrantAt(x, y, camera.width, camera.height);
    return camera.inverted ? Rgb{255 - c.r, 255 - c.g, 255 - c.b} : c;
}

unsigned char Clamp(double value) {
    return static_cast<unsigned char>(value < 0 ? 0 : value > 255 ? 255 : value + 0.5);
}

// BT.601, limited range: what cameras send.
void ToYuv(Rgb c, unsigned char* y, unsigned char* u, unsigned char* v) {
    *y = Clamp(16 + 0.257 * c.r + 0.504 * c.g + 0.098 * c.b);
    *u = Clamp(128 - 0.148 * c.r - 0.291 * c.g + 0.439 * c.b);
    *v = Clamp(128 + 0.439 * c.r - 0.368 * c.g - 0.071 * c.b);
}

void DrawYuy2Row(unsigned char* row, int y, const Camera& camera) {
    // Y0 U Y1 V for each pair of pixels, the pair's colour difference averaged.
    for (int x = 0; x + 1 < camera.width; x += 2) {
        unsigned char y0, u0, v0, y1, u1, v1;
        ToYuv(PatternAt(x, y, camera), &y0, &u0, &v0);
        ToYuv(PatternAt(x + 1, y, camera), &y1, &u1, &v1);
        unsigned char* p = row + x * 2;
        p[0] = y0, p[1] = static_cast<unsigned char>((u0 + u1 + 1) / 2);
        p[2] = y1, p[3] = static_cast<unsigned char>((v0 + v1 + 1) / 2);
    }
}

void DrawRgbRow(unsigned char* row, int y, const Camera& camera) {
    bool redFirst =
        camera.format->id != SPA_VIDEO_FORMAT_BGR && camera.format->id != SPA_VIDEO_FORMAT_BGRx;
    for (int x = 0; x < camera.width; ++x) {
        Rgb c = PatternAt(x, y, camera);
        unsigned char* p = row + x * camera.format->bytesPerPixel;
        p[0] = static_cast<unsigned char>(redFirst ? c.r : c.b);
        p[1] = static_cast<unsigned char>(c.g);
        p[2] = static_cast<unsigned char>(redFirst ? c.b : c.r);
        if (camera.format->bytesPerPixel == 4) {
            p[3] = 255;
        }
    }
}

// The pattern drawn as RGB, then encoded as one JPEG image.
bool EncodeJpeg(Camera& camera) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
    AVCodecContext* context = codec ? avcodec_alloc_context3(codec) : nullptr;
    if (context == nullptr) {
        return false;
    }
    context->width = camera.width;
    context->height = camera.height;
    context->pix_fmt = AV_PIX_FMT_YUVJ422P;
    context->time_base = {1, 25};
    AVFrame* frame = av_frame_alloc();
    frame->format = context->pix_fmt;
    frame->width = camera.width;
    frame->height = camera.height;
    AVPacket* packet = av_packet_alloc();
    SwsContext* toYuv =
        sws_getContext(camera.width, camera.height, AV_PIX_FMT_RGB24, camera.width, camera.height,
                       context->pix_fmt, SWS_POINT, nullptr, nullptr, nullptr);
    const uint8_t* rgb[1] = {camera.picture.data()};
    int rgbStride[1] = {camera.width * 3};
    bool encoded =
        avcodec_open2(context, codec, nullptr) == 0 && av_frame_get_buffer(frame, 0) == 0 &&
        sws_scale(toYuv, rgb, rgbStride, 0, camera.height, frame->data, frame->linesize) ==
            camera.height &&
        avcodec_send_frame(context, frame) == 0 && avcodec_receive_packet(context, packet) == 0;
    if (encoded) {
        camera.picture.assign(packet->data, packet->data + packet->size);
    }
    sws_freeContext(toYuv);
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&context);
    return encoded;
}

// Luma, then the colour difference of each 2 x 2 block: interleaved (NV12) or in two planes
// (I420).
void DrawYuv420(Camera& camera) {
    int w = camera.width;
    int h = camera.height;
    camera.picture.assign(static_cast<size_t>(w) * h * 3 / 2, 0);
    unsigned char* luma = camera.picture.data();
    unsigned char* chroma = luma + static_cast<size_t>(w) * h;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            unsigned char u, v;
            ToYuv(PatternAt(x, y, camera), &luma[y * w + x], &u, &v);
        }
    }
    for (int y = 0; y < h / 2; ++y) {
        for (int x = 0; x < w / 2; ++x) {
            int uSum = 0, vSum = 0;
            for (int corner = 0; corner < 4; ++corner) {
                unsigned char luminance, u, v;
                ToYuv(PatternAt(2 * x + corner % 2, 2 * y + corner / 2, camera), &luminance, &u,
                      &v);
                uSum += u, vSum += v;
            }
            auto u = static_cast<unsigned char>((uSum + 2) / 4);
            auto v = static_cast<unsigned char>((vSum + 2) / 4);
            if (camera.format->id == SPA_VIDEO_FORMAT_NV12) {
                chroma[y * w + 2 * x] = u;
                chroma[y * w + 2 * x + 1] = v;
            } else {
                chroma[y * (w / 2) + x] = u;
                chroma[(w / 2) * (h / 2) + y * (w / 2) + x] = v;
            }
        }
    }
}

void DrawPicture(Camera& camera) {
    if (camera.format->id == SPA_VIDEO_FORMAT_NV12 || camera.format->id == SPA_VIDEO_FORMAT_I420) {
        DrawYuv420(camera);
        return;
    }
    int rowBytes = camera.width * camera.format->bytesPerPixel;
    camera.picture.assign(static_cast<size_t>(rowBytes) * camera.height, 0);
    for (int y = 0; y < camera.height; ++y) {
        unsigned char* row = camera.picture.data() + static_cast<size_t>(y) * rowBytes;
        if (camera.format->id == SPA_VIDEO_FORMAT_YUY2) {
            DrawYuy2Row(row, y, camera);
        } else if (camera.format->bytesPerPixel >= 3) {
            DrawRgbRow(row, y, camera);
        }
    }
}

bool IsJpeg(const Camera& camera) {
    return camera.format->id == SPA_VIDEO_FORMAT_UNKNOWN;
}

void SendFrame(void* data, uint64_t) {
    auto& camera = *static_cast<Camera*>(data);
    pw_buffer* buffer = pw_stream_dequeue_buffer(camera.stream);
    if (buffer == nullptr) {
        return;
    }
    spa_data& plane = buffer->buffer->datas[0];
    if (plane.data != nullptr && plane.maxsize >= camera.picture.size()) {
        std::memcpy(plane.data, camera.picture.data(), camera.picture.size());
        if (camera.counting) {
            static_cast<unsigned char*>(plane.data)[0] = static_cast<unsigned char>(camera.sent);
        }
        ++camera.sent;
        plane.chunk->offset = 0;
        plane.chunk->size = static_cast<uint32_t>(camera.picture.size());
        plane.chunk->stride = camera.leaveStrideUnset || IsJpeg(camera)
                                  ? 0
                                  : camera.width * camera.format->bytesPerPixel;
    }
    pw_stream_queue_buffer(camera.stream, buffer);
}

void OnStateChanged(void* data, pw_stream_state, pw_stream_state state, const char*) {
    auto& camera = *static_cast<Camera*>(data);
    pw_loop* loop = pw_main_loop_get_loop(camera.loop);
    timespec interval = {0, 40 * 1000 * 1000};
    timespec off = {0, 0};
    bool streaming = state == PW_STREAM_STATE_STREAMING;
    pw_loop_update_timer(loop, camera.timer, streaming ? &interval : &off,
                         streaming ? &interval : nullptr, false);
}

void OnParamChanged(void* data, uint32_t id, const spa_pod* param) {
    auto& camera = *static_cast<Camera*>(data);
    if (param == nullptr || id != SPA_PARAM_Format) {
        return;
    }
    uint8_t bytes[256];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(bytes, sizeof bytes);
    int size = static_cast<int>(camera.picture.size());
    const spa_pod* params[1];
    params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
        SPA_POD_CHOICE_RANGE_Int(4, 2, 8), SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1),
        SPA_PARAM_BUFFERS_size, SPA_POD_Int(size), SPA_PARAM_BUFFERS_stride,
        SPA_POD_Int(camera.width * camera.format->bytesPerPixel)));
    pw_stream_update_params(camera.stream, params, 1);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 6) {
        std::fprintf(stderr,
                     "usage: %s NAME DESCRIPTION RGB|BGR|BGRx|RGBA|YUY2 WIDTH HEIGHT "
                     "[--no-stride] [--inverted] [--counting]\n",
                     argv[0]);
        return 2;
    }
    Camera camera;
    for (const Format& format : kFormats) {
        if (std::strcmp(format.name, argv[3]) == 0) {
            camera.format = &format;
        }
    }
    camera.width = std::atoi(argv[4]);
    camera.height = std::atoi(argv[5]);
    for (int i = 6; i < argc; ++i) {
        camera.leaveStrideUnset |= std::strcmp(argv[i], "--no-stride") == 0;
        camera.inverted |= std::strcmp(argv[i], "--inverted") == 0;
        camera.counting |= std::strcmp(argv[i], "--counting") == 0;
    }
    if (camera.format == nullptr || camera.width <= 0 || camera.height <= 0) {
        std::fprintf(stderr, "%s: unknown format or size\n", argv[0]);
        return 2;
    }
    DrawPicture(camera);
    if (IsJpeg(camera) && !EncodeJpeg(camera)) {
        std::fprintf(stderr, "%s: cannot encode the pattern as JPEG\n", argv[0]);
        return 1;
    }

    pw_init(&argc, &argv);
    camera.loop = pw_main_loop_new(nullptr);
    pw_loop* loop = pw_main_loop_get_loop(camera.loop);
    camera.timer = pw_loop_add_timer(loop, SendFrame, &camera);
    pw_properties* props =
        pw_properties_new(PW_KEY_MEDIA_CLASS, "Video/Source", PW_KEY_MEDIA_TYPE, "Video",
                          PW_KEY_MEDIA_CATEGORY, "Capture", PW_KEY_MEDIA_ROLE, "Camera",
                          PW_KEY_NODE_NAME, argv[1], PW_KEY_NODE_DESCRIPTION, argv[2], nullptr);
    static const pw_stream_events events = [] {
        pw_stream_events e = {};
        e.version = PW_VERSION_STREAM_EVENTS;
        e.state_changed = OnStateChanged;
        e.param_changed = OnParamChanged;
        return e;
    }();
    camera.stream = pw_stream_new_simple(loop, argv[1], props, &events, &camera);

    uint8_t bytes[512];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(bytes, sizeof bytes);
    const spa_pod* params[1];
    spa_rectangle size =
        SPA_RECTANGLE(static_cast<uint32_t>(camera.width), static_cast<uint32_t>(camera.height));
    if (IsJpeg(camera)) {
        spa_video_info_mjpg info = {};
        info.size = size;
        info.framerate = SPA_FRACTION(25, 1);
        params[0] = spa_format_video_mjpg_build(&builder, SPA_PARAM_EnumFormat, &info);
    } else {
        spa_video_info_raw info = {};
        info.format = camera.format->id;
        info.size = size;
        info.framerate = SPA_FRACTION(25, 1);
        params[0] = spa_format_video_raw_build(&builder, SPA_PARAM_EnumFormat, &info);
    }
    int result = pw_stream_connect(
        camera.stream, PW_DIRECTION_OUTPUT, PW_ID_ANY,
        static_cast<pw_stream_flags>(PW_STREAM_FLAG_DRIVER | PW_STREAM_FLAG_MAP_BUFFERS), params,
        1);
    if (result < 0) {
        std::fprintf(stderr, "%s: cannot connect: %s\n", argv[0], spa_strerror(result));
        return 1;
    }
    pw_main_loop_run(camera.loop);
    return 0;
}
