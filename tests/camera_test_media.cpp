#include "tests/camera_test_media.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <map>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libswscale/swscale.h>
}

namespace morvala::test {
namespace {

AVFrame* MakeRgbFrame(int width, int height, AVPixelFormat format, const Picture& picture) {
    AVFrame* frame = av_frame_alloc();
    frame->format = format;
    frame->width = width;
    frame->height = height;
    av_frame_get_buffer(frame, 0);
    bool blueFirst = format == AV_PIX_FMT_BGR24;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Rgb rgb = picture(x, y);
            unsigned char* pixel = frame->data[0] + y * frame->linesize[0] + x * 3;
            for (int channel = 0; channel < 3; ++channel) {
                pixel[channel] = rgb[blueFirst ? 2 - channel : channel];
            }
        }
    }
    return frame;
}

// Opens the encoder after configure has had its say.
AVCodecContext* OpenEncoder(const AVCodec* codec, int width, int height, AVPixelFormat format,
                            AVRational timeBase,
                            const std::function<void(AVCodecContext*)>& configure = {}) {
    EXPECT_NE(codec, nullptr);
    AVCodecContext* encoder = avcodec_alloc_context3(codec);
    encoder->width = width;
    encoder->height = height;
    encoder->pix_fmt = format;
    encoder->time_base = timeBase;
    encoder->framerate = av_inv_q(timeBase);
    if (configure) {
        configure(encoder);
    }
    EXPECT_EQ(avcodec_open2(encoder, codec, nullptr), 0) << codec->name;
    return encoder;
}

AVCodecContext* OpenEncoder(AVCodecID id, int width, int height, AVPixelFormat format,
                            AVRational timeBase) {
    return OpenEncoder(avcodec_find_encoder(id), width, height, format, timeBase);
}

AVFrame* ConvertedFrame(const AVFrame* source, AVPixelFormat format) {
    AVFrame* converted = av_frame_alloc();
    converted->format = format;
    converted->width = source->width;
    converted->height = source->height;
    SwsContext* scaler =
        sws_getContext(source->width, source->height, static_cast<AVPixelFormat>(source->format),
                       source->width, source->height, format, SWS_POINT, nullptr, nullptr, nullptr);
    EXPECT_GE(sws_scale_frame(scaler, converted, source), 0);
    sws_freeContext(scaler);
    return converted;
}

// Encodes one picture into one packet's bytes.
std::vector<unsigned char> EncodeOne(AVCodecContext* encoder, AVFrame* frame) {
    AVPacket* packet = av_packet_alloc();
    EXPECT_EQ(avcodec_send_frame(encoder, frame), 0);
    EXPECT_EQ(avcodec_receive_packet(encoder, packet), 0);
    std::vector<unsigned char> bytes(packet->data, packet->data + packet->size);
    av_packet_free(&packet);
    return bytes;
}

// Writes the frames made by frameAt(0 .. count - 1) as a clip, with the encoder and stream as
// configure and decorate leave them, each lasting the number of frames lengths gives (1 where
// it gives none). The packet of the frame numbered brokenFrame is cut short.
void WriteFrames(const std::string& path, const char* muxer, const AVCodec* codec,
                 AVPixelFormat format, int width, int height, int framesPerSecond, int count,
                 const std::function<AVFrame*(int index)>& frameAt,
                 const std::function<void(AVCodecContext*)>& configure,
                 const std::function<void(AVStream*)>& decorate = {}, int brokenFrame = -1,
                 const std::vector<int>& lengths = {}) {
    AVFormatContext* output = nullptr;
    ASSERT_GE(avformat_alloc_output_context2(&output, nullptr, muxer, path.c_str()), 0) << muxer;
    AVCodecContext* encoder = OpenEncoder(codec, width, height, format, {1, framesPerSecond},
                                          [&](AVCodecContext* encoder) {
                                              if (output->oformat->flags & AVFMT_GLOBALHEADER) {
                                                  encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
                                              }
                                              if (configure) {
                                                  configure(encoder);
                                              }
                                          });
    AVStream* stream = avformat_new_stream(output, nullptr);
    avcodec_parameters_from_context(stream->codecpar, encoder);
    stream->time_base = encoder->time_base;
    if (decorate) {
        decorate(stream);
    }
    ASSERT_GE(avio_open(&output->pb, path.c_str(), AVIO_FLAG_WRITE), 0);
    ASSERT_GE(avformat_write_header(output, nullptr), 0);

    std::map<int64_t, int> lengthAt;  // by the picture's timestamp
    AVPacket* packet = av_packet_alloc();
    auto writePackets = [&] {
        while (avcodec_receive_packet(encoder, packet) == 0) {
            if (packet->pts == brokenFrame) {
                packet->size /= 2;
            }
            // Encoders give a frame's length at most; MP4 leaves a picture of no length out of
            // its edit list.
            packet->duration = lengthAt[packet->pts];
            av_packet_rescale_ts(packet, encoder->time_base, stream->time_base);
            packet->stream_index = stream->index;
            av_interleaved_write_frame(output, packet);
        }
    };
    int64_t timestamp = 0;
    for (int index = 0; index < count; ++index) {
        AVFrame* frame = frameAt(index);
        frame->pts = timestamp;
        int length = size_t(index) < lengths.size() ? lengths[size_t(index)] : 1;
        lengthAt[timestamp] = length;
        timestamp += length;
        avcodec_send_frame(encoder, frame);
        av_frame_free(&frame);
        writePackets();
    }
    avcodec_send_frame(encoder, nullptr);
    writePackets();
    av_write_trailer(output);
    av_packet_free(&packet);
    avcodec_free_context(&encoder);
    avio_closep(&output->pb);
    avformat_free_context(output);
}

}  // namespace

std::vector<unsigned char> EncodePng(int width, int height, const Picture& picture) {
    AVCodecContext* encoder = OpenEncoder(AV_CODEC_ID_PNG, width, height, AV_PIX_FMT_RGB24, {1, 1});
    AVFrame* frame = MakeRgbFrame(width, height, AV_PIX_FMT_RGB24, picture);
    std::vector<unsigned char> png = EncodeOne(encoder, frame);
    av_frame_free(&frame);
    avcodec_free_context(&encoder);
    return png;
}

void WriteFile(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

std::vector<unsigned char> EncodePngWithAlpha(int width, int height,
                                              const std::function<Rgba(int x, int y)>& picture) {
    AVCodecContext* encoder = OpenEncoder(AV_CODEC_ID_PNG, width, height, AV_PIX_FMT_RGBA, {1, 1});
    AVFrame* frame = av_frame_alloc();
    frame->format = AV_PIX_FMT_RGBA;
    frame->width = width;
    frame->height = height;
    av_frame_get_buffer(frame, 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Rgba rgba = picture(x, y);
            std::copy(rgba.begin(), rgba.end(), frame->data[0] + y * frame->linesize[0] + x * 4);
        }
    }
    std::vector<unsigned char> png = EncodeOne(encoder, frame);
    av_frame_free(&frame);
    avcodec_free_context(&encoder);
    return png;
}

std::vector<unsigned char> EncodeJpeg(int width, int height, const Picture& picture,
                                      int exifOrientation) {
    AVCodecContext* encoder =
        OpenEncoder(AV_CODEC_ID_MJPEG, width, height, AV_PIX_FMT_YUVJ444P, {1, 1});
    AVFrame* rgb = MakeRgbFrame(width, height, AV_PIX_FMT_RGB24, picture);
    AVFrame* frame = ConvertedFrame(rgb, AV_PIX_FMT_YUVJ444P);
    std::vector<unsigned char> jpeg = EncodeOne(encoder, frame);
    av_frame_free(&frame);
    av_frame_free(&rgb);
    avcodec_free_context(&encoder);
    if (exifOrientation > 0) {
        // An APP1 segment right after the start of image: "Exif", then a big-endian TIFF
        // header and one directory holding the one tag, Orientation (0x0112), a SHORT.
        const unsigned char orientation = static_cast<unsigned char>(exifOrientation);
        const std::vector<unsigned char> exif = {
            0xFF, 0xE1, 0x00, 34,   'E',  'x',         'i',  'f',  0,    0,    'M',  'M',
            0x00, 0x2A, 0x00, 0x00, 0x00, 0x08,        0x00, 0x01, 0x01, 0x12, 0x00, 0x03,
            0x00, 0x00, 0x00, 0x01, 0x00, orientation, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
        jpeg.insert(jpeg.begin() + 2, exif.begin(), exif.end());
    }
    return jpeg;
}

void WriteClip(const std::string& path, const ClipFormat& format, int framesPerSecond,
               const std::vector<Picture>& pictures, double rotationDegrees,
               const std::vector<int>& lengths) {
    const AVCodec* codec = avcodec_find_encoder_by_name(format.encoder);
    ASSERT_NE(codec, nullptr) << format.encoder;
    AVPixelFormat pixels = codec->pix_fmts ? codec->pix_fmts[0] : AV_PIX_FMT_YUV420P;
    WriteFrames(
        path, format.muxer, codec, pixels, 320, 240, framesPerSecond, int(pictures.size()),
        [&](int index) {
            AVFrame* rgb = MakeRgbFrame(320, 240, AV_PIX_FMT_RGB24, pictures[size_t(index)]);
            AVFrame* frame = ConvertedFrame(rgb, pixels);
            av_frame_free(&rgb);
            return frame;
        },
        [&](AVCodecContext* encoder) {
            encoder->gop_size = format.keyframeInterval;
            encoder->max_b_frames = format.bFrames;
        },
        [&](AVStream* stream) {
            if (rotationDegrees != 0) {
                auto* matrix = reinterpret_cast<int32_t*>(av_stream_new_side_data(
                    stream, AV_PKT_DATA_DISPLAYMATRIX, 9 * sizeof(int32_t)));
                av_display_rotation_set(matrix, rotationDegrees);
            }
        },
        -1, lengths);
}

void WriteSolidClip(const std::string& path, int framesPerSecond, const std::vector<Rgb>& colours,
                    int brokenFrame) {
    WriteFrames(
        path, "nut", avcodec_find_encoder(AV_CODEC_ID_RAWVIDEO), AV_PIX_FMT_BGR24, 320, 240,
        framesPerSecond, int(colours.size()),
        [&](int index) {
            Rgb colour = colours[size_t(index)];
            return MakeRgbFrame(320, 240, AV_PIX_FMT_BGR24, [colour](int, int) { return colour; });
        },
        {}, {}, brokenFrame);
}

void WriteYuvPicture(const std::string& path, std::array<unsigned char, 3> yuv, AVColorSpace matrix,
                     AVColorRange range) {
    WriteFrames(
        path, "matroska", avcodec_find_encoder(AV_CODEC_ID_FFV1), AV_PIX_FMT_YUV444P, 64, 48, 25, 1,
        [&](int) {
            AVFrame* frame = av_frame_alloc();
            frame->format = AV_PIX_FMT_YUV444P;
            frame->width = 64;
            frame->height = 48;
            frame->colorspace = matrix;
            frame->color_range = range;
            av_frame_get_buffer(frame, 0);
            for (int plane = 0; plane < 3; ++plane) {
                for (int y = 0; y < 48; ++y) {
                    std::fill_n(frame->data[plane] + y * frame->linesize[plane], 64, yuv[plane]);
                }
            }
            return frame;
        },
        [&](AVCodecContext* encoder) {
            encoder->colorspace = matrix;
            encoder->color_range = range;
        });
}

Rgb Quadrants(int x, int y, int width, int height) {
    bool right = x >= width / 2, bottom = y >= height / 2;
    return bottom ? (right ? kWhite : kBlue) : (right ? kGreen : kRed);
}

int NearestColour(Rgb pixel, const std::vector<Rgb>& colours) {
    int nearest = -1, nearestDistance = 0;
    for (size_t index = 0; index < colours.size(); ++index) {
        int distance = 0;
        for (int channel = 0; channel < 3; ++channel) {
            int difference = int(pixel[size_t(channel)]) - colours[index][size_t(channel)];
            distance += difference * difference;
        }
        if (nearest < 0 || distance < nearestDistance) {
            nearest = int(index);
            nearestDistance = distance;
        }
    }
    return nearest;
}

Rgb FramePixel(const std::vector<unsigned char>& frame, int x, int y) {
    const unsigned char* pixel = &frame[(239 - y) * 960 + x * 3];
    return {pixel[2], pixel[1], pixel[0]};
}

std::string TemporaryPath(const std::string& name) {
    std::string folder = ::testing::TempDir() + "morvala-camera-XXXXXX";
    EXPECT_NE(mkdtemp(folder.data()), nullptr);
    return folder + "/" + name;
}

}  // namespace morvala::test
