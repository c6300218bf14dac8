// /dev/videoN through libv4l2, which converts whatever the camera streams (YUYV, MJPEG, ...)
// to BGR24; the frame scaler crops and scales it when the camera cannot give 320 x 240.
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
#include "platform/drivers/frame_scaler.h"

namespace morvala::drivers {
namespace {

// Two buffers: enough to stream, few enough that the newest is never far behind.
constexpr unsigned kBufferCount = 2;

std::string Failure(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
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

    int Dequeue() override {
        v4l2_buffer buffer = DescribeBuffer(0);
        return Ioctl(VIDIOC_DQBUF, &buffer) < 0 ? -1 : static_cast<int>(buffer.index);
    }

    bool Requeue(int index) override {
        v4l2_buffer buffer = DescribeBuffer(index);
        return Ioctl(VIDIOC_QBUF, &buffer) == 0;
    }

    void Convert(int index, unsigned char* frame) override {
        scaler_.Scale(static_cast<const uint8_t*>(buffers_[index].start), sourceStride_,
                      sourceWidth_, sourceHeight_, AV_PIX_FMT_BGR24, frame);
    }

  private:
    struct MappedBuffer {
        void* start;
        size_t length;
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

    bool StartStreaming(std::string* reason) {
        v4l2_format format{};
        format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        format.fmt.pix.width = kFrameWidth;
        format.fmt.pix.height = kFrameHeight;
        format.fmt.pix.pixelformat = V4L2_PIX_FMT_BGR24;
        format.fmt.pix.field = V4L2_FIELD_ANY;
        if (Ioctl(VIDIOC_S_FMT, &format) < 0) {
            *reason = Failure("cannot set format");
            return false;
        }
        if (format.fmt.pix.pixelformat != V4L2_PIX_FMT_BGR24) {
            *reason = "cannot deliver BGR24";
            return false;
        }
        // The camera may have chosen another size; the scaler takes whatever it gives.
        sourceWidth_ = format.fmt.pix.width;
        sourceHeight_ = format.fmt.pix.height;
        sourceStride_ = format.fmt.pix.bytesperline;

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
            buffers_.push_back({start, buffer.length});
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
