// Any clip or image FFmpeg opens, played against its own timestamps by the elapsed time and
// looped; a still image is one frame forever. The frame scaler converts each picture.
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/drivers/camera.h"
#include "platform/drivers/frame_scaler.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace morvala::drivers {
namespace {

// When the clip gives no frame rate, the last frame is shown this long before looping.
constexpr int64_t kDefaultFrameIntervalMs = 40;

std::string FfmpegFailure(const char* what, int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return std::string(what) + ": " + text;
}

class FileCamera : public CameraSource {
  public:
    explicit FileCamera(std::string path) : path_(std::move(path)), shown_(kFrameBytes, 0) {
        // The failure line carries the reason; FFmpeg's own log would only repeat it.
        av_log_set_level(AV_LOG_QUIET);
    }

    ~FileCamera() override {
        av_frame_free(&decoded_);
        av_frame_free(&current_);
        av_packet_free(&packet_);
        avcodec_free_context(&decoder_);
        avformat_close_input(&format_);
    }

    std::string Name() const override { return path_; }

    bool Connect(std::string* reason) override {
        int result = avformat_open_input(&format_, path_.c_str(), nullptr, nullptr);
        if (result < 0) {
            *reason = FfmpegFailure("cannot open", result);
            return false;
        }
        if ((result = avformat_find_stream_info(format_, nullptr)) < 0) {
            *reason = FfmpegFailure("cannot read", result);
            return false;
        }
        const AVCodec* codec = nullptr;
        stream_ = av_find_best_stream(format_, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
        if (stream_ < 0) {
            *reason = FfmpegFailure("no picture", stream_);
            return false;
        }
        decoder_ = avcodec_alloc_context3(codec);
        avcodec_parameters_to_context(decoder_, format_->streams[stream_]->codecpar);
        if ((result = avcodec_open2(decoder_, codec, nullptr)) < 0) {
            *reason = FfmpegFailure("cannot decode", result);
            return false;
        }
        packet_ = av_packet_alloc();
        decoded_ = av_frame_alloc();
        current_ = av_frame_alloc();
        AVRational rate = av_guess_frame_rate(format_, format_->streams[stream_], nullptr);
        frameIntervalMs_ =
            rate.num > 0 ? av_rescale(1000, rate.den, rate.num) : kDefaultFrameIntervalMs;

        if ((result = DecodeNext()) < 0) {
            *reason = FfmpegFailure("cannot decode",
                                    result == AVERROR_EOF ? AVERROR_INVALIDDATA : result);
            return false;
        }
        firstTimestamp_ = decoded_->best_effort_timestamp;
        av_frame_move_ref(current_, decoded_);
        if (!ShowCurrent()) {
            *reason = "cannot convert its pictures";
            return false;
        }
        result = DecodeNext();
        still_ = result == AVERROR_EOF;
        pending_ = result == 0;
        return true;
    }

    Take TakePicture(uint64_t elapsedMs, int, unsigned char* frame) override {
        if (!still_ && AdvanceTo(static_cast<int64_t>(elapsedMs))) {
            ShowCurrent();
        }
        std::memcpy(frame, shown_.data(), kFrameBytes);
        return Take::kPicture;
    }

  private:
    // Decodes the next picture of the stream into decoded_: 0, AVERROR_EOF or an error.
    int DecodeNext() {
        for (;;) {
            int result = avcodec_receive_frame(decoder_, decoded_);
            if (result != AVERROR(EAGAIN)) {
                return result;
            }
            result = av_read_frame(format_, packet_);
            if (result == AVERROR_EOF) {
                avcodec_send_packet(decoder_, nullptr);  // let the decoder give what it holds
                continue;
            }
            if (result < 0) {
                return result;
            }
            if (packet_->stream_index == stream_) {
                result = avcodec_send_packet(decoder_, packet_);
            }
            av_packet_unref(packet_);
            if (result < 0) {
                return result;
            }
        }
    }

    int64_t StartMs(const AVFrame* frame) const {
        return av_rescale_q(frame->best_effort_timestamp - firstTimestamp_,
                            format_->streams[stream_]->time_base, AVRational{1, 1000});
    }

    bool Rewind() {
        pending_ = false;
        if (av_seek_frame(format_, stream_, firstTimestamp_, AVSEEK_FLAG_BACKWARD) < 0) {
            return false;
        }
        avcodec_flush_buffers(decoder_);
        return true;
    }

    // Makes current_ the picture due at elapsedMs; true when it changed. Decoding stops at a
    // broken picture, so the last good one stands until a later grab gets past it.
    bool AdvanceTo(int64_t elapsedMs) {
        int64_t position = loopMs_ > 0 ? elapsedMs % loopMs_ : elapsedMs;
        if (position < StartMs(current_) && !Rewind()) {
            return false;
        }
        bool changed = false;
        for (;;) {
            if (!pending_) {
                int result = DecodeNext();
                if (result == AVERROR_EOF) {
                    if (loopMs_ == 0) {
                        loopMs_ = std::max<int64_t>(StartMs(current_) + frameIntervalMs_, 1);
                    }
                    if (position < loopMs_ || !Rewind()) {
                        return changed;
                    }
                    position %= loopMs_;
                    continue;
                }
                if (result < 0) {
                    return changed;
                }
                pending_ = true;
            }
            if (StartMs(decoded_) > position) {
                return changed;
            }
            av_frame_unref(current_);
            av_frame_move_ref(current_, decoded_);
            pending_ = false;
            changed = true;
        }
    }

    bool ShowCurrent() { return scaler_.Scale(current_, shown_.data()); }

    std::string path_;
    std::vector<unsigned char> shown_;
    AVFormatContext* format_ = nullptr;
    AVCodecContext* decoder_ = nullptr;
    FrameScaler scaler_;
    AVPacket* packet_ = nullptr;
    AVFrame* current_ = nullptr;  // the picture shown
    AVFrame* decoded_ = nullptr;  // the next picture, when pending_
    bool pending_ = false;
    bool still_ = false;
    int stream_ = -1;
    int64_t firstTimestamp_ = 0;
    int64_t frameIntervalMs_ = kDefaultFrameIntervalMs;
    int64_t loopMs_ = 0;  // the clip's length, known once its end was reached
};

}  // namespace

std::unique_ptr<CameraSource> MakeFileCamera(const std::string& path) {
    return std::make_unique<FileCamera>(path);
}

}  // namespace morvala::drivers
