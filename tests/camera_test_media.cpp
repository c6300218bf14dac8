#include "tests/camera_test_media.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
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

AVCodecContext* OpenEncoder(AVCodecID id, int width, int height, AVPixelFormat format,
                            AVRational timeBase) {
    const AVCodec* codec = avcodec_find_encoder(id);
    AVCodecContext* encoder = avcodec_alloc_context3(codec);
    encoder->width = width;
    encoder->height = height;
    encoder->pix_fmt = format;
    encoder->time_base = timeBase;
    EXPECT_EQ(avcodec_open2(encoder, codec, nullptr), 0);
    return encoder;
}

}  // namespace

std::vector<unsigned char> EncodePng(int width, int height, const Picture& picture) {
    AVCodecContext* encoder = OpenEncoder(AV_CODEC_ID_PNG, width, height, AV_PIX_FMT_RGB24, {1, 1});
    AVFrame* frame = MakeRgbFrame(width, height, AV_PIX_FMT_RGB24, picture);
    AVPacket* packet = av_packet_alloc();
    EXPECT_EQ(avcodec_send_frame(encoder, frame), 0);
    EXPECT_EQ(avcodec_receive_packet(encoder, packet), 0);
    std::vector<unsigned char> png(packet->data, packet->data + packet->size);
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&encoder);
    return png;
}

void WriteFile(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

void WriteSolidClip(const std::string& path, int framesPerSecond, const std::vector<Rgb>& colours,
                    int brokenFrame) {
    AVFormatContext* output = nullptr;
    ASSERT_GE(avformat_alloc_output_context2(&output, nullptr, "nut", path.c_str()), 0);
    AVCodecContext* encoder =
        OpenEncoder(AV_CODEC_ID_RAWVIDEO, 320, 240, AV_PIX_FMT_BGR24, {1, framesPerSecond});
    AVStream* stream = avformat_new_stream(output, nullptr);
    avcodec_parameters_from_context(stream->codecpar, encoder);
    stream->time_base = encoder->time_base;
    ASSERT_GE(avio_open(&output->pb, path.c_str(), AVIO_FLAG_WRITE), 0);
    ASSERT_GE(avformat_write_header(output, nullptr), 0);

    AVPacket* packet = av_packet_alloc();
    auto writePackets = [&] {
        while (avcodec_receive_packet(encoder, packet) == 0) {
            if (packet->pts == brokenFrame) {
                packet->size /= 2;
            }
            av_packet_rescale_ts(packet, encoder->time_base, stream->time_base);
            packet->stream_index = stream->index;
            av_interleaved_write_frame(output, packet);
        }
    };
    for (size_t index = 0; index < colours.size(); ++index) {
        Rgb colour = colours[index];
        AVFrame* frame =
            MakeRgbFrame(320, 240, AV_PIX_FMT_BGR24, [colour](int, int) { return colour; });
        frame->pts = static_cast<int64_t>(index);
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
