// /dev/videoN through libv4l2. The camera is asked for its own format at the smallest size that
// fills the frame: packed pixels (YUYV, ...) go straight to the frame scaler, Motion-JPEG is
// decoded by libjpeg-turbo at a reduced size, and only formats neither knows are left to libv4l2 to
// convert to BGR24.
#include <fcntl.h>
#include <libv4l2.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/drivers/camera_v4l2.h"
#include "platform/drivers/camera_v4l2_mjpeg.h"
#include "platform/drivers/frame_scaler.h"

namespace morvala::drivers {
namespace {

// Two buffers: enough to stream, few enough that the newest is never far behind.
constexpr unsigned kBufferCount = 2;

std::string Failure(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

// Formats the camera may send in one plane that the frame scaler takes as they are.
struct PackedFormat {
    uint32_t fourcc;
    AVPixelFormat pixels;
};
constexpr PackedFormat kPackedFormats[] = {
    {V4L2_PIX_FMT_YUYV, AV_PIX_FMT_YUYV422}, {V4L2_PIX_FMT_UYVY, AV_PIX_FMT_UYVY422},
    {V4L2_PIX_FMT_YVYU, AV_PIX_FMT_YVYU422}, {V4L2_PIX_FMT_RGB24, AV_PIX_FMT_RGB24},
    {V4L2_PIX_FMT_BGR24, AV_PIX_FMT_BGR24},  {V4L2_PIX_FMT_GREY, AV_PIX_FMT_GRAY8},
};

// What to ask the camera for: fourcc, and how its frames become pictures.
struct Choice {
    uint32_t fourcc = V4L2_PIX_FMT_BGR24;  // libv4l2 converts to it when nothing else fits
    AVPixelFormat pixels = AV_PIX_FMT_BGR24;
    bool mjpeg = false;
};

bool FillsTheFrame(uint32_t width, uint32_t height) {
    CropRect shown = CentreCrop(width, height);
    return shown.width >= kFrameWidth && shown.height >= kFrameHeight;
}

class V4l2Device : public VideoDevice {
  public:
    explicit V4l2Device(std::string path) : path_(std::move(path)) {}
    ~V4l2Device() override { Close(); }

    std::string Path() const override { return path_; }

    bool Open(std::string* reason) override {
        int fd = open(path_.c_str(), O_RDWR | O_NONBLOCK);
        if (fd < 0) {
            *reason = Failure("cannot open");
            return false;
        }
        // Asked here, before libv4l2 takes the device, which would complain on stderr itself.
        if (!IsCamera(fd, reason)) {
            close(fd);
            return false;
        }
        fd_ = v4l2_fd_open(fd, 0);
        if (fd_ < 0) {
            *reason = Failure("cannot open");
            close(fd);
            return false;
        }
        if (!StartStreaming(reason)) {
            Close();
            return false;
        }
        return true;
    }

    void Close() override {
        mjpeg_.Stop();
        if (fd_ < 0) {
            return;
        }
        v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        Ioctl(VIDIOC_STREAMOFF, &type);
        for (const MappedBuffer& buffer : buffers_) {
            v4l2_munmap(buffer.start, buffer.length);
        }
        buffers_.clear();
        v4l2_close(fd_);
        fd_ = -1;
    }

    Wait WaitForFrame(int timeoutMs) override {
        pollfd request{fd_, POLLIN, 0};
        int result = poll(&request, 1, timeoutMs);
        if (result < 0) {
            return errno == EINTR ? Wait::kTimeout : Wait::kFailed;
        }
        if (result == 0) {
            return Wait::kTimeout;
        }
        return (request.revents & (POLLERR | POLLHUP | POLLNVAL)) ? Wait::kFailed : Wait::kReady;
    }

    Dequeued Dequeue(int* index) override {
        v4l2_buffer buffer = DescribeBuffer(0);
        if (Ioctl(VIDIOC_DQBUF, &buffer) < 0) {
            return errno == EAGAIN ? Dequeued::kNone : Dequeued::kFailed;
        }
        *index = static_cast<int>(buffer.index);
        buffers_[buffer.index].bytesUsed = buffer.bytesused;
        return (buffer.flags & V4L2_BUF_FLAG_ERROR) ? Dequeued::kDamaged : Dequeued::kFrame;
    }

    bool Requeue(int index) override {
        v4l2_buffer buffer = DescribeBuffer(index);
        return Ioctl(VIDIOC_QBUF, &buffer) == 0;
    }

    bool Convert(int index, unsigned char* frame) override {
        const MappedBuffer& buffer = buffers_[index];
        const uint8_t* bytes = static_cast<const uint8_t*>(buffer.start);
        if (choice_.mjpeg) {
            return mjpeg_.Decode(bytes, buffer.bytesUsed, scaler_, frame);
        }
        if (buffer.bytesUsed < static_cast<size_t>(sourceStride_) * sourceHeight_) {
            return false;  // cut short
        }
        return scaler_.Scale(bytes, sourceStride_, sourceWidth_, sourceHeight_, choice_.pixels,
                             frame);
    }

  private:
    struct MappedBuffer {
        void* start;
        size_t length;
        size_t bytesUsed;
    };

    int Ioctl(unsigned long request, void* argument) {
        int result;
        do {
            result = v4l2_ioctl(fd_, request, argument);
        } while (result < 0 && errno == EINTR);
        return result;
    }

    static v4l2_buffer DescribeBuffer(int index) {
        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        buffer.index = index;
        return buffer;
    }

    static bool IsCamera(int fd, std::string* reason) {
        v4l2_capability capability{};
        if (ioctl(fd, VIDIOC_QUERYCAP, &capability) < 0) {
            *reason = Failure("not a camera");
            return false;
        }
        uint32_t capabilities = (capability.capabilities & V4L2_CAP_DEVICE_CAPS)
                                    ? capability.device_caps
                                    : capability.capabilities;
        if (!(capabilities & V4L2_CAP_VIDEO_CAPTURE)) {
            *reason = "not a camera: it captures no video";
            return false;
        }
        return true;
    }

    // The camera's own formats, as libv4l2 lists them besides those it would convert to: the
    // first packed one, else Motion-JPEG, else BGR24 converted by libv4l2.
    Choice ChooseFormat() {
        Choice choice;
        bool chosen = false;
        v4l2_fmtdesc description{};
        description.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        for (; !chosen && Ioctl(VIDIOC_ENUM_FMT, &description) == 0; ++description.index) {
            if (description.flags & V4L2_FMT_FLAG_EMULATED) {
                continue;
            }
            for (const PackedFormat& packed : kPackedFormats) {
                if (packed.fourcc == description.pixelformat) {
                    choice = {packed.fourcc, packed.pixels, false};
                    chosen = true;
                }
            }
            if (description.pixelformat == V4L2_PIX_FMT_MJPEG && !choice.mjpeg) {
                choice = {V4L2_PIX_FMT_MJPEG, AV_PIX_FMT_NONE, true};
            }
        }
        return choice;
    }

    // The smallest size offered that still fills the frame once cropped to 4:3, else the
    // largest; a camera that lists no sizes picks its nearest to the frame's itself.
    void ChooseSize(uint32_t fourcc, uint32_t* width, uint32_t* height) {
        *width = kFrameWidth;
        *height = kFrameHeight;
        uint64_t chosenArea = 0;
        bool chosenFills = false;
        v4l2_frmsizeenum size{};
        size.pixel_format = fourcc;
        for (; Ioctl(VIDIOC_ENUM_FRAMESIZES, &size) == 0 && size.type == V4L2_FRMSIZE_TYPE_DISCRETE;
             ++size.index) {
            uint64_t area = uint64_t(size.discrete.width) * size.discrete.height;
            bool fills = FillsTheFrame(size.discrete.width, size.discrete.height);
            bool better = chosenArea == 0 || (fills && (!chosenFills || area < chosenArea)) ||
                          (!fills && !chosenFills && area > chosenArea);
            if (better) {
                *width = size.discrete.width;
                *height = size.discrete.height;
                chosenArea = area;
                chosenFills = fills;
            }
        }
    }

    bool StartStreaming(std::string* reason) {
        choice_ = ChooseFormat();
        v4l2_format format{};
        format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        ChooseSize(choice_.fourcc, &format.fmt.pix.width, &format.fmt.pix.height);
        format.fmt.pix.pixelformat = choice_.fourcc;
        format.fmt.pix.field = V4L2_FIELD_ANY;
        if (Ioctl(VIDIOC_S_FMT, &format) < 0) {
            *reason = Failure("cannot set format");
            return false;
        }
        if (format.fmt.pix.pixelformat != choice_.fourcc) {
            *reason = "cannot deliver its own format";
            return false;
        }
        // The camera may have chosen another size; the scaler takes whatever it gives.
        sourceWidth_ = format.fmt.pix.width;
        sourceHeight_ = format.fmt.pix.height;
        sourceStride_ = format.fmt.pix.bytesperline;
        if (choice_.mjpeg && !mjpeg_.Start(reason)) {
            return false;
        }

        v4l2_requestbuffers request{};
        request.count = kBufferCount;
        request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        request.memory = V4L2_MEMORY_MMAP;
        if (Ioctl(VIDIOC_REQBUFS, &request) < 0) {
            *reason = Failure("cannot get buffers");
            return false;
        }
        if (request.count == 0) {
            *reason = "cannot get buffers: none given";
            return false;
        }
        for (unsigned index = 0; index < request.count; ++index) {
            v4l2_buffer buffer = DescribeBuffer(index);
            if (Ioctl(VIDIOC_QUERYBUF, &buffer) < 0) {
                *reason = Failure("cannot get buffers");
                return false;
            }
            void* start = v4l2_mmap(nullptr, buffer.length, PROT_READ | PROT_WRITE, MAP_SHARED, fd_,
                                    buffer.m.offset);
            if (start == MAP_FAILED) {
                *reason = Failure("cannot map buffers");
                return false;
            }
            buffers_.push_back({start, buffer.length, 0});
            if (!Requeue(index)) {
                *reason = Failure("cannot queue buffers");
                return false;
            }
        }
        v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (Ioctl(VIDIOC_STREAMON, &type) < 0) {
            *reason = Failure("cannot start streaming");
            return false;
        }
        return true;
    }

    std::string path_;
    int fd_ = -1;
    std::vector<MappedBuffer> buffers_;
    Choice choice_;
    MjpegDecoder mjpeg_;
    FrameScaler scaler_;
    int sourceWidth_ = 0;
    int sourceHeight_ = 0;
    int sourceStride_ = 0;
};

}  // namespace

std::unique_ptr<VideoDevice> MakeV4l2Device(const std::string& path) {
    return std::make_unique<V4l2Device>(path);
}

}  // namespace morvala::drivers
