// Any clip or image FFmpeg decodes, opened as a file. A clip plays by its timestamps against
// the elapsed time, in a loop from its first picture whatever the container; where pictures
// have no timestamps, its frame rate stands in. A still image is decoded and scaled once and
// only its frame is kept. A file that changes or goes away is lost, and picked up again when
// it can be read.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/drivers/camera.h"
#include "platform/drivers/file_input.h"
#include "platform/drivers/frame_scaler.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/display.h>
#include <libavutil/imgutils.h>
}

namespace morvala::drivers {
namespace {

// When the clip gives no frame rate, each picture is shown this long.
constexpr int64_t kDefaultFrameIntervalMs = 40;
// The longest FFmpeg may read for an open, and for one take.
constexpr int64_t kOpenLimitMs = 3000;
constexpr int64_t kTakeLimitMs = 1000;

std::string FfmpegFailure(const char* what, int code) {
    if (code == AVERROR_EXIT) {
        return std::string(what) + ": no answer within " + std::to_string(kOpenLimitMs / 1000) +
               " s, given up";
    }
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return std::string(what) + ": " + text;
}

// FFmpeg says why it refuses a picture's size only in its log: while a file is opened, its
// complaints are kept here for the reason.
thread_local std::string* complaints = nullptr;

void KeepComplaints(void*, int level, const char* format, va_list arguments) {
    if (complaints != nullptr && level <= AV_LOG_ERROR) {
        char line[256];
        std::vsnprintf(line, sizeof line, format, arguments);
        *complaints += line;
    }
}

// When FFmpeg refused a picture for its size, the reason says so instead.
void SayIfTooLarge(const std::string& complaint, std::string* reason) {
    const char* found = std::strstr(complaint.c_str(), "Picture size ");
    unsigned width = 0, height = 0;
    if (found != nullptr && std::sscanf(found, "Picture size %ux%u", &width, &height) == 2) {
        *reason = "cannot decode: too large (" + std::to_string(width) + " x " +
                  std::to_string(height) + " pixels, more than FFmpeg decodes)";
    }
}

// The orientation a picture asks for itself (a display matrix, or EXIF's tag), else the
// stream's.
Orientation OrientationOf(const AVFrame* picture, Orientation stream) {
    if (const AVFrameSideData* matrix =
            av_frame_get_side_data(picture, AV_FRAME_DATA_DISPLAYMATRIX)) {
        return OrientationOfDisplayMatrix(reinterpret_cast<const int32_t*>(matrix->data));
    }
    if (const AVDictionaryEntry* exif = av_dict_get(picture->metadata, "Orientation", nullptr, 0)) {
        return OrientationOfExif(std::atoi(exif->value));
    }
    return stream;
}

class FileCamera : public CameraSource {
  public:
    explicit FileCamera(std::string path) : path_(std::move(path)), shown_(kFrameBytes, 0) {
        av_log_set_callback(KeepComplaints);
    }

    ~FileCamera() override { Release(); }

    std::string Name() const override { return path_; }

    bool Connect(std::string* reason) override {
        Release();
        std::string complaint;
        complaints = &complaint;
        bool connected = Open(reason);
        complaints = nullptr;
        if (!connected) {
            SayIfTooLarge(complaint, reason);
            Release();
        }
        return connected;
    }

    Take TakePicture(uint64_t elapsedMs, int, unsigned char* frame) override {
        if (input_.Changed(path_)) {
            return Take::kLost;
        }
        if (!still_) {
            input_.SetDeadline(kTakeLimitMs);
            int result = AdvanceTo(static_cast<int64_t>(elapsedMs));
            if (result < 0) {
                return Take::kLost;
            }
            if (result > 0) {
                ShowCurrent();
            }
        }
        std::memcpy(frame, shown_.data(), kFrameBytes);
        return Take::kPicture;
    }

  private:
    bool Open(std::string* reason) {
        input_.SetDeadline(kOpenLimitMs);
        if (!input_.Open(path_, reason)) {
            return false;
        }
        AVFormatContext* format = input_.format();
        // Finding a stream's details decodes its first picture. A single image (FFmpeg's
        // "png_pipe", "jpeg_pipe", ...) needs no details beyond its codec, and a large one
        // would be decoded twice.
        bool singleImage = std::strstr(format->iformat->name, "_pipe") != nullptr;
        int result = singleImage ? 0 : avformat_find_stream_info(format, nullptr);
        if (result < 0) {
            *reason = FfmpegFailure("cannot read", result);
            return false;
        }
        const AVCodec* codec = nullptr;
        stream_ = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
        if (stream_ < 0) {
            *reason = FfmpegFailure("no picture", stream_);
            return false;
        }
        AVStream* stream = format->streams[stream_];
        codecId_ = stream->codecpar->codec_id;
        timeBase_ = stream->time_base;
        if (const uint8_t* matrix =
                av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr)) {
            streamOrientation_ =
                OrientationOfDisplayMatrix(reinterpret_cast<const int32_t*>(matrix));
        }
        const AVCodecParameters* parameters = stream->codecpar;
        decoder_ = avcodec_alloc_context3(codec);
        packet_ = av_packet_alloc();
        decoded_ = av_frame_alloc();
        current_ = av_frame_alloc();
        if (decoder_ == nullptr || packet_ == nullptr || decoded_ == nullptr ||
            current_ == nullptr) {
            *reason = "cannot decode: out of memory";
            return false;
        }
        avcodec_parameters_to_context(decoder_, parameters);
        if ((result = avcodec_open2(decoder_, codec, nullptr)) < 0) {
            *reason = FfmpegFailure("cannot decode", result);
            return false;
        }
        AVRational rate = av_guess_frame_rate(format, stream, nullptr);
        frameIntervalMs_ = rate.num > 0 && rate.den > 0 ? av_rescale(1000, rate.den, rate.num) : 0;
        if (frameIntervalMs_ <= 0) {
            frameIntervalMs_ = kDefaultFrameIntervalMs;
        }

        Decoded first = DecodeNext(&result);
        if (first != Decoded::kPicture) {
            *reason = FfmpegFailure(first == Decoded::kUnreadable ? "cannot read" : "cannot decode",
                                    first == Decoded::kUnreadable ? result : AVERROR_INVALIDDATA);
            return false;
        }
        firstTimestamp_ = decoded_->best_effort_timestamp;
        av_frame_move_ref(current_, decoded_);
        currentStartMs_ = lastStartMs_ = 0;
        if (!ShowCurrent()) {
            *reason = "cannot convert its pictures";
            return false;
        }
        Decoded second = DecodeNext();
        still_ = second == Decoded::kEnd;
        pending_ = second == Decoded::kPicture;
        if (still_) {
            // Its frame is all a still needs: the file and its decoded picture are let go.
            ReleaseDecoding();
        }
        return true;
    }

    // Lets go of the file and all decoding; what was shown stays, and so does what the file
    // was, for telling when it changes.
    void ReleaseDecoding() {
        av_frame_free(&decoded_);
        av_frame_free(&current_);
        av_packet_free(&packet_);
        avcodec_free_context(&decoder_);
        input_.Close();
    }

    void Release() {
        ReleaseDecoding();
        still_ = pending_ = false;
        stream_ = -1;
        loopMs_ = 0;
        firstTimestamp_ = AV_NOPTS_VALUE;
        lastStartMs_ = -frameIntervalMs_;
        lastLengthMs_ = frameIntervalMs_;
        streamOrientation_ = {};
    }

    enum class Decoded { kPicture, kEnd, kBroken, kUnreadable };

    // Decodes the next picture of the stream into decoded_, with its start in decodedStartMs_.
    // A broken packet is stepped over; a picture the decoder cannot give is kBroken; kEnd at
    // the end of the file; kUnreadable when reading fails (*error says why).
    Decoded DecodeNext(int* error = nullptr) {
        for (;;) {
            int result = avcodec_receive_frame(decoder_, decoded_);
            if (result == 0) {
                decodedStartMs_ = lastStartMs_ = StartMsOf(decoded_);
                lastLengthMs_ = LengthMsOf(decoded_);
                return Decoded::kPicture;
            }
            if (result == AVERROR_EOF) {
                return Decoded::kEnd;
            }
            if (result != AVERROR(EAGAIN)) {
                return Decoded::kBroken;
            }
            result = av_read_frame(input_.format(), packet_);
            if (result == AVERROR_EOF) {
                avcodec_send_packet(decoder_, nullptr);  // let the decoder give what it holds
                continue;
            }
            if (result < 0) {
                if (error != nullptr) {
                    *error = result;
                }
                return Decoded::kUnreadable;
            }
            if (IsOurStream(packet_->stream_index)) {
                avcodec_send_packet(decoder_, packet_);
            }
            av_packet_unref(packet_);
        }
    }

    // After a restart the demuxer may number its streams anew: ours is the first with our
    // codec.
    bool IsOurStream(int index) {
        if (stream_ < 0) {
            const AVCodecParameters* parameters = input_.format()->streams[index]->codecpar;
            if (parameters->codec_type == AVMEDIA_TYPE_VIDEO && parameters->codec_id == codecId_) {
                stream_ = index;
            }
        }
        return index == stream_;
    }

    // Where a picture starts in the clip: by its timestamp from the first picture's, or, where
    // either has none or they make no sense, where the picture before ends.
    int64_t StartMsOf(const AVFrame* picture) const {
        int64_t counted = lastStartMs_ + lastLengthMs_;
        int64_t timestamp = picture->best_effort_timestamp;
        int64_t offset = 0;
        if (timestamp == AV_NOPTS_VALUE || firstTimestamp_ == AV_NOPTS_VALUE ||
            __builtin_sub_overflow(timestamp, firstTimestamp_, &offset) || offset < 0) {
            return counted;
        }
        int64_t startMs = av_rescale_q(offset, timeBase_, AVRational{1, 1000});
        return startMs < 0 ? counted : startMs;
    }

    // How long a picture is shown: as long as the clip says, else one frame interval.
    int64_t LengthMsOf(const AVFrame* picture) const {
        int64_t lengthMs = picture->pkt_duration > 0
                               ? av_rescale_q(picture->pkt_duration, timeBase_, AVRational{1, 1000})
                               : 0;
        return lengthMs > 0 ? lengthMs : frameIntervalMs_;
    }

    bool Rewind() {
        pending_ = false;
        std::string reason;
        if (!input_.Restart(&reason)) {
            return false;
        }
        input_.SetDeadline(kTakeLimitMs);
        stream_ = -1;
        avcodec_flush_buffers(decoder_);
        lastStartMs_ = -frameIntervalMs_;
        lastLengthMs_ = frameIntervalMs_;
        return true;
    }

    // Makes current_ the picture due at elapsedMs: 1 when it changed, 0 when not, negative
    // when the file can no longer be read. Decoding steps over a broken picture, so the last
    // good one stands until a later take gets past it.
    int AdvanceTo(int64_t elapsedMs) {
        int64_t position = loopMs_ > 0 ? elapsedMs % loopMs_ : elapsedMs;
        if (position < currentStartMs_ && !Rewind()) {
            return -1;
        }
        int changed = 0;
        for (;;) {
            if (!pending_) {
                Decoded next = DecodeNext();
                if (next == Decoded::kEnd) {
                    if (loopMs_ == 0) {
                        loopMs_ = std::max<int64_t>(lastStartMs_ + lastLengthMs_, 1);
                    }
                    if (position < loopMs_) {
                        return changed;
                    }
                    if (!Rewind()) {
                        return -1;
                    }
                    position %= loopMs_;
                    continue;
                }
                if (next == Decoded::kUnreadable) {
                    return -1;
                }
                if (next == Decoded::kBroken) {
                    return changed;
                }
                pending_ = true;
            }
            if (decodedStartMs_ > position) {
                return changed;
            }
            av_frame_unref(current_);
            av_frame_move_ref(current_, decoded_);
            currentStartMs_ = decodedStartMs_;
            pending_ = false;
            changed = 1;
        }
    }

    bool ShowCurrent() {
        return scaler_.Scale(current_, shown_.data(), OrientationOf(current_, streamOrientation_));
    }

    std::string path_;
    std::vector<unsigned char> shown_;
    FileInput input_;
    FrameScaler scaler_;
    AVCodecContext* decoder_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* current_ = nullptr;  // the picture shown
    AVFrame* decoded_ = nullptr;  // the next picture, when pending_
    int64_t currentStartMs_ = 0;
    int64_t decodedStartMs_ = 0;
    int64_t lastStartMs_ = 0;  // of the picture decoded last
    int64_t lastLengthMs_ = kDefaultFrameIntervalMs;
    bool pending_ = false;
    bool still_ = false;
    int stream_ = -1;
    AVCodecID codecId_ = AV_CODEC_ID_NONE;
    AVRational timeBase_ = {1, 1000};
    Orientation streamOrientation_;
    int64_t firstTimestamp_ = AV_NOPTS_VALUE;
    int64_t frameIntervalMs_ = kDefaultFrameIntervalMs;
    int64_t loopMs_ = 0;  // the clip's length, known once its end was reached
};

}  // namespace

std::unique_ptr<CameraSource> MakeFileCamera(const std::string& path) {
    return std::make_unique<FileCamera>(path);
}

}  // namespace morvala::drivers
