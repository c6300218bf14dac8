// The emulated webcam as the uvcvideo driver and videobuf2 present it: formats and sizes as
// the camera's descriptors list them, the nearest size chosen by overlap, memory-mapped buffers
// filled by the wall clock at the camera's rate (a frame with no buffer queued is lost), and
// a disconnect that leaves open descriptors dead (ENODEV, POLLERR | POLLHUP) and the node gone.
#include "tests/emulated_camera/device.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/mman.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/emulated_camera/emulated_camera.h"
#include "tests/emulated_camera/pictures.h"

namespace emulated_camera {
namespace {

using Clock = std::chrono::steady_clock;

struct Size {
    int width;
    int height;
};

struct FormatOffer {
    uint32_t fourcc;
    const char* description;
    std::vector<Size> sizes;
};

constexpr auto kControlReadInterval = std::chrono::milliseconds(50);

// Frame intervals every size offers, fastest first.
constexpr v4l2_fract kIntervals[] = {{1, 30}, {1, 15}};

struct Mode {
    const char* name;
    const char* card;
    std::vector<FormatOffer> formats;
};

const std::vector<Mode>& Modes() {
    static const std::vector<Mode> modes = {
        {"yuyv640", "Emulated Webcam VGA", {{V4L2_PIX_FMT_YUYV, "YUYV 4:2:2", {{640, 480}}}}},
        {"yuyv320", "Emulated Webcam QVGA", {{V4L2_PIX_FMT_YUYV, "YUYV 4:2:2", {{320, 240}}}}},
        {"mjpeg720", "Emulated Webcam HD", {{V4L2_PIX_FMT_MJPEG, "Motion-JPEG", {{1280, 720}}}}},
        {"laptop",
         "Emulated Integrated Camera",
         {{V4L2_PIX_FMT_MJPEG,
           "Motion-JPEG",
           {{1280, 720},
            {960, 540},
            {848, 480},
            {640, 480},
            {640, 360},
            {424, 240},
            {320, 180},
            {160, 120}}},
          {V4L2_PIX_FMT_YUYV,
           "YUYV 4:2:2",
           {{640, 480}, {640, 360}, {424, 240}, {320, 180}, {160, 120}}}}},
        {"bayer",
         "Emulated Raw Webcam",
         {{V4L2_PIX_FMT_SBGGR8, "8-bit Bayer BGBG/GRGR", {{640, 480}}}}},
    };
    return modes;
}

struct Config {
    std::string devicePath;
    const Mode* mode = nullptr;
    std::string controlPath;
    int damagedEvery = 0;
    enum class Damage { kFlagged, kShortFlagged, kDropped } damage = Damage::kFlagged;
    bool firstDamaged = false;
    int slowFirstMs = 0;
    int cutShortEvery = 0;
};

struct Control {
    int32_t id;
    const char* name;
    int32_t minimum, maximum, step, standard;
};

constexpr Control kControls[] = {
    {V4L2_CID_BRIGHTNESS, "Brightness", -64, 64, 1, 0},
    {V4L2_CID_CONTRAST, "Contrast", 0, 95, 1, 32},
    {V4L2_CID_SATURATION, "Saturation", 0, 100, 1, 64},
};

struct Buffer {
    bool queued = false;
    bool done = false;
    bool dequeued = true;
    uint32_t bytesUsed = 0;
    uint32_t flags = 0;
    uint32_t sequence = 0;
    timeval timestamp{};
};

struct OpenFd {
    int generation;
    bool nonBlocking;
};

// Everything about the one camera, under the one lock.
struct Camera {
    std::recursive_mutex lock;
    Config config;
    bool configured = false;
    bool plugged = false;
    bool silent = false;
    int generation = 0;  // a replug makes a new device; descriptors of the old one are dead
    std::map<int, OpenFd> fds;

    uint32_t fourcc = 0;
    Size size{};
    v4l2_fract interval = kIntervals[0];
    int32_t controls[sizeof kControls / sizeof kControls[0]] = {};
    std::map<std::string, Pictures> pictures;  // by format and size, made once

    int owner = -1;  // the descriptor that asked for the buffers, as videobuf2 keeps it
    int memory = -1;
    size_t bufferLength = 0;
    size_t bufferStride = 0;  // page-aligned: the mmap offset of buffer i is i * stride
    uint8_t* bufferBytes = nullptr;
    std::vector<Buffer> buffers;
    std::deque<int> queued;
    std::deque<int> done;

    bool streaming = false;
    Clock::time_point nextFrameAt;
    uint64_t framesSinceStreamOn = 0;
    uint32_t sequence = 0;

    uint32_t streamedFourcc = 0;
    Size streamedSize{};
    Clock::time_point controlReadAt;
};

Camera& TheCamera() {
    static Camera* camera = new Camera;  // never destroyed: interposers run until the very end
    return *camera;
}

std::atomic<bool> anyFdOpen{false};

bool Compressed(uint32_t fourcc) {
    return fourcc == V4L2_PIX_FMT_MJPEG;
}

uint32_t BytesPerLine(uint32_t fourcc, int width) {
    switch (fourcc) {
        case V4L2_PIX_FMT_YUYV:
            return width * 2;
        case V4L2_PIX_FMT_SBGGR8:
            return width;
        default:
            return 0;
    }
}

uint32_t ImageSize(uint32_t fourcc, Size size) {
    // uvcvideo takes a compressed frame's largest size from the camera; cameras say w * h * 2.
    return Compressed(fourcc) ? size.width * size.height * 2
                              : BytesPerLine(fourcc, size.width) * size.height;
}

const FormatOffer* FindFormat(const Camera& camera, uint32_t fourcc) {
    for (const FormatOffer& offer : camera.config.mode->formats) {
        if (offer.fourcc == fourcc) {
            return &offer;
        }
    }
    return nullptr;
}

// uvcvideo's choice: the offered size whose area differs least from the overlap with the asked.
Size NearestSize(const FormatOffer& offer, uint32_t width, uint32_t height) {
    Size best = offer.sizes.front();
    uint64_t bestDistance = UINT64_MAX;
    for (Size size : offer.sizes) {
        uint64_t overlap = static_cast<uint64_t>(std::min<uint32_t>(size.width, width)) *
                           std::min<uint32_t>(size.height, height);
        uint64_t distance = static_cast<uint64_t>(size.width) * size.height +
                            static_cast<uint64_t>(width) * height - 2 * overlap;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = size;
        }
    }
    return best;
}

void Describe(uint32_t fourcc, Size size, v4l2_pix_format* pix) {
    std::memset(pix, 0, sizeof *pix);
    pix->width = size.width;
    pix->height = size.height;
    pix->pixelformat = fourcc;
    pix->field = V4L2_FIELD_NONE;
    pix->bytesperline = BytesPerLine(fourcc, size.width);
    pix->sizeimage = ImageSize(fourcc, size);
    pix->colorspace = V4L2_COLORSPACE_SRGB;
}

// Reads the control file: what the test wants the camera to be now.
void FollowControlFile(Camera& camera);

void ReleaseBuffers(Camera& camera) {
    if (camera.bufferBytes != nullptr) {
        munmap(camera.bufferBytes, camera.bufferStride * camera.buffers.size());
    }
    if (camera.memory >= 0) {
        Real().close(camera.memory);
    }
    camera.bufferBytes = nullptr;
    camera.memory = -1;
    camera.buffers.clear();
    camera.queued.clear();
    camera.done.clear();
    camera.streaming = false;
    camera.owner = -1;
}

void PlugIn(Camera& camera) {
    ++camera.generation;
    camera.plugged = true;
    const FormatOffer& first = camera.config.mode->formats.front();
    camera.fourcc = first.fourcc;
    camera.size = first.sizes.front();
    camera.interval = kIntervals[0];
    for (size_t i = 0; i < sizeof kControls / sizeof kControls[0]; ++i) {
        camera.controls[i] = kControls[i].standard;
    }
}

void Unplug(Camera& camera) {
    camera.plugged = false;
    ReleaseBuffers(camera);
}

bool FdAlive(const Camera& camera, int fd) {
    auto found = camera.fds.find(fd);
    return found != camera.fds.end() && camera.plugged &&
           found->second.generation == camera.generation;
}

const Pictures& PicturesFor(Camera& camera) {
    std::string key = std::to_string(camera.fourcc) + ":" + std::to_string(camera.size.width) +
                      "x" + std::to_string(camera.size.height);
    auto found = camera.pictures.find(key);
    if (found == camera.pictures.end()) {
        found =
            camera.pictures
                .emplace(key, MakePictures(camera.fourcc, camera.size.width, camera.size.height))
                .first;
    }
    return found->second;
}

Clock::duration FramePeriod(const Camera& camera) {
    return std::chrono::microseconds(1000000LL * camera.interval.numerator /
                                     camera.interval.denominator);
}

void ProduceFrame(Camera& camera, Clock::time_point at) {
    uint64_t frame = ++camera.framesSinceStreamOn;
    uint32_t sequence = camera.sequence++;
    const Config& config = camera.config;
    bool firstDamaged = config.firstDamaged && frame == 1;
    bool damaged = firstDamaged || (config.damagedEvery > 0 && frame % config.damagedEvery == 0);
    Config::Damage damage = firstDamaged ? Config::Damage::kFlagged : config.damage;
    bool cutShort = !damaged && Compressed(camera.fourcc) && config.cutShortEvery > 0 &&
                    frame % config.cutShortEvery == 0;
    if ((damaged && damage == Config::Damage::kDropped) || camera.queued.empty()) {
        return;  // dropped by the driver, or no buffer to fill: the frame is lost
    }
    int index = camera.queued.front();
    camera.queued.pop_front();
    const Pictures& pictures = PicturesFor(camera);
    bool cut = cutShort || (damaged && damage == Config::Damage::kShortFlagged);
    const std::vector<uint8_t>& bytes =
        cut ? pictures.cut : (damaged ? pictures.garbled : pictures.good);
    size_t length = std::min(bytes.size(), camera.bufferLength);
    std::memcpy(camera.bufferBytes + index * camera.bufferStride, bytes.data(), length);
    Buffer& buffer = camera.buffers[index];
    buffer.queued = false;
    buffer.done = true;
    buffer.bytesUsed = length;
    buffer.flags = V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC | V4L2_BUF_FLAG_TSTAMP_SRC_SOE |
                   (damaged ? V4L2_BUF_FLAG_ERROR : 0);
    buffer.sequence = sequence;
    auto sinceBoot = std::chrono::duration_cast<std::chrono::microseconds>(at.time_since_epoch());
    buffer.timestamp.tv_sec = sinceBoot.count() / 1000000;
    buffer.timestamp.tv_usec = sinceBoot.count() % 1000000;
    camera.done.push_back(index);
}

// Sends every frame due by now; a silent camera sends none.
void CatchUp(Camera& camera) {
    FollowControlFile(camera);
    if (!camera.streaming) {
        return;
    }
    Clock::time_point now = Clock::now();
    Clock::duration period = FramePeriod(camera);
    if (camera.silent) {
        while (camera.nextFrameAt <= now) {
            camera.nextFrameAt += period;
        }
        return;
    }
    while (camera.nextFrameAt <= now) {
        ProduceFrame(camera, camera.nextFrameAt);
        camera.nextFrameAt += period;
    }
}

void FillBuffer(const Camera& camera, int index, v4l2_buffer* buffer) {
    const Buffer& state = camera.buffers[index];
    uint32_t type = buffer->type;
    std::memset(buffer, 0, sizeof *buffer);
    buffer->index = index;
    buffer->type = type;
    buffer->memory = V4L2_MEMORY_MMAP;
    buffer->length = camera.bufferLength;
    buffer->m.offset = index * camera.bufferStride;
    buffer->field = V4L2_FIELD_NONE;
    buffer->flags = V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC | V4L2_BUF_FLAG_TSTAMP_SRC_SOE |
                    (state.queued ? V4L2_BUF_FLAG_QUEUED : 0) |
                    (state.done ? V4L2_BUF_FLAG_DONE : 0);
    if (state.done || state.dequeued) {
        buffer->bytesused = state.bytesUsed;
        buffer->flags |= state.flags;
        buffer->sequence = state.sequence;
        buffer->timestamp = state.timestamp;
    }
}

int RequestBuffers(Camera& camera, int fd, v4l2_requestbuffers* request) {
    if (request->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || request->memory != V4L2_MEMORY_MMAP) {
        return -EINVAL;
    }
    if (camera.owner != -1 && camera.owner != fd) {
        return -EBUSY;
    }
    if (camera.streaming) {
        return -EBUSY;
    }
    ReleaseBuffers(camera);
    request->capabilities = V4L2_BUF_CAP_SUPPORTS_MMAP;
    if (request->count == 0) {
        return 0;
    }
    unsigned count = std::min(request->count, 32u);
    size_t page = sysconf(_SC_PAGESIZE);
    camera.bufferLength = ImageSize(camera.fourcc, camera.size);
    camera.bufferStride = (camera.bufferLength + page - 1) / page * page;
    camera.memory = memfd_create("emulated-camera", MFD_CLOEXEC);
    if (camera.memory < 0 || ftruncate(camera.memory, camera.bufferStride * count) < 0) {
        ReleaseBuffers(camera);
        return -ENOMEM;
    }
    void* bytes = Real().mmap(nullptr, camera.bufferStride * count, PROT_READ | PROT_WRITE,
                              MAP_SHARED, camera.memory, 0);
    if (bytes == MAP_FAILED) {
        ReleaseBuffers(camera);
        return -ENOMEM;
    }
    camera.bufferBytes = static_cast<uint8_t*>(bytes);
    camera.buffers.assign(count, Buffer{});
    camera.owner = fd;
    request->count = count;
    return 0;
}

int Dequeue(Camera& camera, int fd, v4l2_buffer* buffer,
            std::unique_lock<std::recursive_mutex>& held) {
    for (;;) {
        if (!FdAlive(camera, fd)) {
            return -ENODEV;
        }
        if (!camera.streaming) {
            return -EINVAL;
        }
        CatchUp(camera);
        if (!camera.done.empty()) {
            break;
        }
        if (camera.fds[fd].nonBlocking) {
            return -EAGAIN;
        }
        held.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        held.lock();
    }
    int index = camera.done.front();
    camera.done.pop_front();
    camera.buffers[index].done = false;
    camera.buffers[index].dequeued = true;
    FillBuffer(camera, index, buffer);
    return 0;
}

int QueryControl(v4l2_queryctrl* query) {
    bool next = query->id & V4L2_CTRL_FLAG_NEXT_CTRL;
    uint32_t id = query->id & ~(V4L2_CTRL_FLAG_NEXT_CTRL | V4L2_CTRL_FLAG_NEXT_COMPOUND);
    for (const Control& control : kControls) {
        if (next ? static_cast<uint32_t>(control.id) > id
                 : static_cast<uint32_t>(control.id) == id) {
            std::memset(query, 0, sizeof *query);
            query->id = control.id;
            query->type = V4L2_CTRL_TYPE_INTEGER;
            std::snprintf(reinterpret_cast<char*>(query->name), sizeof query->name, "%s",
                          control.name);
            query->minimum = control.minimum;
            query->maximum = control.maximum;
            query->step = control.step;
            query->default_value = control.standard;
            return 0;
        }
    }
    return -EINVAL;
}

int Ioctl(Camera& camera, int fd, unsigned long request, void* argument,
          std::unique_lock<std::recursive_mutex>& held) {
    switch (request) {
        case VIDIOC_QUERYCAP: {
            auto* capability = static_cast<v4l2_capability*>(argument);
            std::memset(capability, 0, sizeof *capability);
            std::snprintf(reinterpret_cast<char*>(capability->driver), sizeof capability->driver,
                          "uvcvideo");
            std::snprintf(reinterpret_cast<char*>(capability->card), sizeof capability->card, "%s",
                          camera.config.mode->card);
            std::snprintf(reinterpret_cast<char*>(capability->bus_info),
                          sizeof capability->bus_info, "usb-0000:00:14.0-1");
            capability->version = (6 << 16) | (14 << 8);
            capability->device_caps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
            capability->capabilities =
                capability->device_caps | V4L2_CAP_META_CAPTURE | V4L2_CAP_DEVICE_CAPS;
            return 0;
        }
        case VIDIOC_ENUM_FMT: {
            auto* description = static_cast<v4l2_fmtdesc*>(argument);
            const std::vector<FormatOffer>& formats = camera.config.mode->formats;
            if (description->type != V4L2_BUF_TYPE_VIDEO_CAPTURE ||
                description->index >= formats.size()) {
                return -EINVAL;
            }
            const FormatOffer& offer = formats[description->index];
            uint32_t index = description->index;
            std::memset(description, 0, sizeof *description);
            description->index = index;
            description->type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            description->flags = Compressed(offer.fourcc) ? V4L2_FMT_FLAG_COMPRESSED : 0;
            std::snprintf(reinterpret_cast<char*>(description->description),
                          sizeof description->description, "%s", offer.description);
            description->pixelformat = offer.fourcc;
            return 0;
        }
        case VIDIOC_G_FMT:
        case VIDIOC_TRY_FMT:
        case VIDIOC_S_FMT: {
            auto* format = static_cast<v4l2_format*>(argument);
            if (format->type != V4L2_BUF_TYPE_VIDEO_CAPTURE) {
                return -EINVAL;
            }
            if (request == VIDIOC_G_FMT) {
                Describe(camera.fourcc, camera.size, &format->fmt.pix);
                return 0;
            }
            // A format the camera does not have becomes its first: no error, as uvcvideo does.
            const FormatOffer* offer = FindFormat(camera, format->fmt.pix.pixelformat);
            if (offer == nullptr) {
                offer = &camera.config.mode->formats.front();
            }
            Size size = NearestSize(*offer, format->fmt.pix.width, format->fmt.pix.height);
            Describe(offer->fourcc, size, &format->fmt.pix);
            if (request == VIDIOC_S_FMT) {
                if (!camera.buffers.empty() || camera.streaming) {
                    return -EBUSY;
                }
                camera.fourcc = offer->fourcc;
                camera.size = size;
            }
            return 0;
        }
        case VIDIOC_ENUM_FRAMESIZES: {
            auto* sizes = static_cast<v4l2_frmsizeenum*>(argument);
            const FormatOffer* offer = FindFormat(camera, sizes->pixel_format);
            if (offer == nullptr || sizes->index >= offer->sizes.size()) {
                return -EINVAL;
            }
            sizes->type = V4L2_FRMSIZE_TYPE_DISCRETE;
            sizes->discrete.width = offer->sizes[sizes->index].width;
            sizes->discrete.height = offer->sizes[sizes->index].height;
            return 0;
        }
        case VIDIOC_ENUM_FRAMEINTERVALS: {
            auto* intervals = static_cast<v4l2_frmivalenum*>(argument);
            const FormatOffer* offer = FindFormat(camera, intervals->pixel_format);
            bool sizeOffered =
                offer != nullptr &&
                std::any_of(offer->sizes.begin(), offer->sizes.end(), [&](Size size) {
                    return static_cast<uint32_t>(size.width) == intervals->width &&
                           static_cast<uint32_t>(size.height) == intervals->height;
                });
            if (!sizeOffered || intervals->index >= std::size(kIntervals)) {
                return -EINVAL;
            }
            intervals->type = V4L2_FRMIVAL_TYPE_DISCRETE;
            intervals->discrete = kIntervals[intervals->index];
            return 0;
        }
        case VIDIOC_G_PARM:
        case VIDIOC_S_PARM: {
            auto* parameters = static_cast<v4l2_streamparm*>(argument);
            if (parameters->type != V4L2_BUF_TYPE_VIDEO_CAPTURE) {
                return -EINVAL;
            }
            if (request == VIDIOC_S_PARM) {
                if (camera.streaming) {
                    return -EBUSY;
                }
                // The nearest interval offered, compared as frames a second.
                const v4l2_fract asked = parameters->parm.capture.timeperframe;
                double askedRate =
                    asked.numerator == 0 ? 1e9 : double(asked.denominator) / asked.numerator;
                camera.interval = kIntervals[0];
                for (v4l2_fract interval : kIntervals) {
                    double rate = double(interval.denominator) / interval.numerator;
                    double best = double(camera.interval.denominator) / camera.interval.numerator;
                    if (std::abs(rate - askedRate) < std::abs(best - askedRate)) {
                        camera.interval = interval;
                    }
                }
            }
            std::memset(&parameters->parm, 0, sizeof parameters->parm);
            parameters->parm.capture.capability = V4L2_CAP_TIMEPERFRAME;
            parameters->parm.capture.timeperframe = camera.interval;
            return 0;
        }
        case VIDIOC_ENUMINPUT: {
            auto* input = static_cast<v4l2_input*>(argument);
            if (input->index != 0) {
                return -EINVAL;
            }
            std::memset(input, 0, sizeof *input);
            std::snprintf(reinterpret_cast<char*>(input->name), sizeof input->name, "Camera 1");
            input->type = V4L2_INPUT_TYPE_CAMERA;
            return 0;
        }
        case VIDIOC_G_INPUT:
            *static_cast<int*>(argument) = 0;
            return 0;
        case VIDIOC_S_INPUT:
            return *static_cast<int*>(argument) == 0 ? 0 : -EINVAL;
        case VIDIOC_QUERYCTRL:
            return QueryControl(static_cast<v4l2_queryctrl*>(argument));
        case VIDIOC_G_CTRL:
        case VIDIOC_S_CTRL: {
            auto* value = static_cast<v4l2_control*>(argument);
            for (size_t i = 0; i < std::size(kControls); ++i) {
                if (static_cast<uint32_t>(kControls[i].id) != value->id) {
                    continue;
                }
                if (request == VIDIOC_G_CTRL) {
                    value->value = camera.controls[i];
                } else {
                    camera.controls[i] =
                        std::clamp(value->value, kControls[i].minimum, kControls[i].maximum);
                }
                return 0;
            }
            return -EINVAL;
        }
        case VIDIOC_REQBUFS:
            return RequestBuffers(camera, fd, static_cast<v4l2_requestbuffers*>(argument));
        case VIDIOC_QUERYBUF:
        case VIDIOC_QBUF:
        case VIDIOC_DQBUF: {
            auto* buffer = static_cast<v4l2_buffer*>(argument);
            if (buffer->type != V4L2_BUF_TYPE_VIDEO_CAPTURE ||
                (request != VIDIOC_QUERYBUF && buffer->memory != V4L2_MEMORY_MMAP)) {
                return -EINVAL;
            }
            if (request != VIDIOC_QUERYBUF && camera.owner != fd) {
                return camera.owner == -1 ? -EINVAL : -EBUSY;
            }
            if (request == VIDIOC_DQBUF) {
                return Dequeue(camera, fd, buffer, held);
            }
            if (buffer->index >= camera.buffers.size()) {
                return -EINVAL;
            }
            int index = buffer->index;
            if (request == VIDIOC_QBUF) {
                Buffer& state = camera.buffers[index];
                if (!state.dequeued) {
                    return -EINVAL;
                }
                state.dequeued = false;
                state.queued = true;
                camera.queued.push_back(index);
            }
            FillBuffer(camera, index, buffer);
            return 0;
        }
        case VIDIOC_STREAMON:
        case VIDIOC_STREAMOFF: {
            if (*static_cast<int*>(argument) != V4L2_BUF_TYPE_VIDEO_CAPTURE) {
                return -EINVAL;
            }
            if (camera.owner != fd) {
                return camera.owner == -1 ? -EINVAL : -EBUSY;
            }
            if (request == VIDIOC_STREAMOFF) {
                // Every buffer comes back to the program, neither queued nor done.
                camera.streaming = false;
                camera.queued.clear();
                camera.done.clear();
                for (Buffer& buffer : camera.buffers) {
                    buffer = Buffer{};
                }
                return 0;
            }
            if (!camera.streaming) {
                camera.streaming = true;
                camera.framesSinceStreamOn = 0;
                camera.sequence = 0;
                camera.nextFrameAt =
                    Clock::now() + (camera.config.slowFirstMs > 0
                                        ? std::chrono::milliseconds(camera.config.slowFirstMs)
                                        : FramePeriod(camera));
                camera.streamedFourcc = camera.fourcc;
                camera.streamedSize = camera.size;
            }
            return 0;
        }
        default:
            return -ENOTTY;
    }
}

std::vector<std::string> Words(const char* text) {
    std::vector<std::string> words;
    std::string word;
    for (const char* at = text;; ++at) {
        if (*at == '\0' || *at == ' ' || *at == ',' || *at == '\n') {
            if (!word.empty()) {
                words.push_back(word);
            }
            word.clear();
            if (*at == '\0') {
                return words;
            }
        } else {
            word += *at;
        }
    }
}

bool Parse(const char* text, Config* config) {
    config->mode = &Modes().front();
    config->devicePath = "/dev/video0";
    for (const std::string& word : Words(text)) {
        size_t equals = word.find('=');
        std::string key = word.substr(0, equals);
        std::string value = equals == std::string::npos ? "" : word.substr(equals + 1);
        if (key == "device") {
            config->devicePath = value;
        } else if (key == "mode") {
            auto mode = std::find_if(Modes().begin(), Modes().end(),
                                     [&](const Mode& known) { return value == known.name; });
            if (mode == Modes().end()) {
                return false;
            }
            config->mode = &*mode;
        } else if (key == "control") {
            config->controlPath = value;
        } else if (key == "damaged-every") {
            config->damagedEvery = std::atoi(value.c_str());
        } else if (key == "damaged-as" && value == "flag") {
            config->damage = Config::Damage::kFlagged;
        } else if (key == "damaged-as" && value == "short") {
            config->damage = Config::Damage::kShortFlagged;
        } else if (key == "damaged-as" && value == "drop") {
            config->damage = Config::Damage::kDropped;
        } else if (key == "first-damaged") {
            config->firstDamaged = true;
        } else if (key == "slow-first-ms") {
            config->slowFirstMs = std::atoi(value.c_str());
        } else if (key == "cut-short-every") {
            config->cutShortEvery = std::atoi(value.c_str());
        } else {
            return false;
        }
    }
    return true;
}

void FollowControlFile(Camera& camera) {
    if (!camera.configured || camera.config.controlPath.empty()) {
        return;
    }
    // Read 20 times a second at most, so that following it costs the program next to nothing.
    Clock::time_point now = Clock::now();
    if (now < camera.controlReadAt + kControlReadInterval) {
        return;
    }
    camera.controlReadAt = now;
    char text[64] = {};
    int file = Real().open(camera.config.controlPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (file >= 0) {
        ssize_t length = read(file, text, sizeof text - 1);
        text[length > 0 ? length : 0] = '\0';
        Real().close(file);
    }
    std::vector<std::string> words = Words(text);
    std::string wanted = words.empty() ? "plugged" : words.front();
    if (wanted == "unplugged") {
        if (camera.plugged) {
            Unplug(camera);
        }
        return;
    }
    if (!camera.plugged) {
        PlugIn(camera);
    }
    camera.silent = wanted == "silent";
}

void Configure(Camera& camera, const char* text) {
    Config config;
    if (!Parse(text, &config)) {
        std::fprintf(stderr, "emulated camera: cannot understand \"%s\"\n", text);
        std::abort();
    }
    Unplug(camera);
    camera.config = config;
    camera.configured = true;
    camera.silent = false;
    camera.streamedFourcc = 0;
    camera.controlReadAt = Clock::time_point();
    PlugIn(camera);
    FollowControlFile(camera);
}

// Configured from the environment the first time anything asks.
Camera& ConfiguredCamera() {
    Camera& camera = TheCamera();
    static std::once_flag fromEnvironment;
    std::call_once(fromEnvironment, [&] {
        const char* text = std::getenv("EMULATED_CAMERA");
        if (text != nullptr) {
            std::lock_guard<std::recursive_mutex> held(camera.lock);
            Configure(camera, text);
        }
    });
    return camera;
}

}  // namespace

const RealCalls& Real() {
    static const RealCalls calls = {
        reinterpret_cast<int (*)(const char*, int, ...)>(dlsym(RTLD_NEXT, "open")),
        reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "close")),
        reinterpret_cast<int (*)(pollfd*, nfds_t, int)>(dlsym(RTLD_NEXT, "poll")),
        reinterpret_cast<void* (*)(void*, size_t, int, int, int, off_t)>(dlsym(RTLD_NEXT, "mmap")),
        reinterpret_cast<long (*)(long, ...)>(dlsym(RTLD_NEXT, "syscall")),
    };
    return calls;
}

bool IsDevicePath(const char* path) {
    Camera& camera = ConfiguredCamera();
    std::lock_guard<std::recursive_mutex> held(camera.lock);
    return camera.configured && path != nullptr && camera.config.devicePath == path;
}

int StatDevice(struct stat* status) {
    Camera& camera = ConfiguredCamera();
    std::lock_guard<std::recursive_mutex> held(camera.lock);
    FollowControlFile(camera);
    if (!camera.plugged) {
        return -ENOENT;
    }
    std::memset(status, 0, sizeof *status);
    status->st_mode = S_IFCHR | 0660;
    status->st_nlink = 1;
    status->st_rdev = makedev(81, std::atoi(camera.config.devicePath.c_str() + 10));
    status->st_blksize = 4096;
    return 0;
}

int StatDeviceFd(int fd, struct stat* status) {
    (void)fd;
    Camera& camera = ConfiguredCamera();
    std::lock_guard<std::recursive_mutex> held(camera.lock);
    std::memset(status, 0, sizeof *status);
    status->st_mode = S_IFCHR | 0660;
    status->st_nlink = 1;
    status->st_rdev = makedev(81, std::atoi(camera.config.devicePath.c_str() + 10));
    status->st_blksize = 4096;
    return 0;
}

int OpenDevice(int flags) {
    Camera& camera = ConfiguredCamera();
    std::lock_guard<std::recursive_mutex> held(camera.lock);
    FollowControlFile(camera);
    if (!camera.plugged) {
        return -ENOENT;
    }
    int fd = Real().open("/dev/null", O_RDWR | (flags & O_CLOEXEC));
    if (fd < 0) {
        return -errno;
    }
    camera.fds[fd] = {camera.generation, (flags & O_NONBLOCK) != 0};
    anyFdOpen = true;
    return fd;
}

bool AnyDeviceFdOpen() {
    return anyFdOpen;
}

bool IsDeviceFd(int fd) {
    if (!anyFdOpen) {
        return false;
    }
    Camera& camera = TheCamera();
    std::lock_guard<std::recursive_mutex> held(camera.lock);
    return camera.fds.count(fd) != 0;
}

void CloseDevice(int fd) {
    Camera& camera = TheCamera();
    std::lock_guard<std::recursive_mutex> held(camera.lock);
    if (camera.owner == fd) {
        ReleaseBuffers(camera);
    }
    camera.fds.erase(fd);
}

int DeviceIoctl(int fd, unsigned long request, void* argument) {
    Camera& camera = TheCamera();
    std::unique_lock<std::recursive_mutex> held(camera.lock);
    FollowControlFile(camera);
    if (!FdAlive(camera, fd)) {
        return -ENODEV;
    }
    CatchUp(camera);
    return Ioctl(camera, fd, request, argument, held);
}

void* MapDevice(void* address, size_t length, int protection, int flags, int fd, off_t offset,
                int* error) {
    Camera& camera = TheCamera();
    std::lock_guard<std::recursive_mutex> held(camera.lock);
    FollowControlFile(camera);
    *error = 0;
    if (!FdAlive(camera, fd)) {
        *error = ENODEV;
    } else if (!(flags & MAP_SHARED) || camera.memory < 0 || offset < 0 ||
               offset % camera.bufferStride != 0 ||
               static_cast<size_t>(offset) / camera.bufferStride >= camera.buffers.size() ||
               length > camera.bufferStride) {
        *error = EINVAL;
    }
    if (*error != 0) {
        return MAP_FAILED;
    }
    void* mapped = Real().mmap(address, length, protection, flags, camera.memory, offset);
    if (mapped == MAP_FAILED) {
        *error = errno;
    }
    return mapped;
}

int PollWithDevice(pollfd* fds, nfds_t count, int timeoutMs) {
    Camera& camera = TheCamera();
    Clock::time_point deadline = timeoutMs < 0
                                     ? Clock::time_point::max()
                                     : Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::vector<pollfd> others;
    std::vector<nfds_t> otherAt;
    for (;;) {
        int ready = 0;
        Clock::time_point wakeAt = Clock::now() + kControlReadInterval;
        others.clear();
        otherAt.clear();
        {
            std::lock_guard<std::recursive_mutex> held(camera.lock);
            FollowControlFile(camera);
            CatchUp(camera);
            for (nfds_t i = 0; i < count; ++i) {
                fds[i].revents = 0;
                if (camera.fds.count(fds[i].fd) == 0) {
                    others.push_back(fds[i]);
                    otherAt.push_back(i);
                    continue;
                }
                if (!FdAlive(camera, fds[i].fd)) {
                    fds[i].revents = POLLERR | POLLHUP | POLLPRI;
                } else if (!camera.streaming) {
                    fds[i].revents = POLLERR;
                } else if (!camera.done.empty()) {
                    fds[i].revents = fds[i].events & (POLLIN | POLLRDNORM);
                }
                ready += fds[i].revents != 0;
            }
            if (camera.streaming && !camera.silent) {
                wakeAt = std::min(wakeAt, camera.nextFrameAt);
            }
        }
        Clock::time_point now = Clock::now();
        int sliceMs = 0;
        if (ready == 0 && now < deadline) {
            auto slice = std::min(wakeAt, deadline) - now;
            sliceMs = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(slice).count());
        }
        int othersReady = 0;
        if (!others.empty()) {
            othersReady = Real().poll(others.data(), others.size(), sliceMs);
            if (othersReady < 0) {
                return -errno;
            }
            for (size_t i = 0; i < others.size(); ++i) {
                fds[otherAt[i]].revents = others[i].revents;
            }
        } else if (sliceMs > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(sliceMs));
        }
        if (ready + othersReady > 0 || Clock::now() >= deadline) {
            return ready + othersReady;
        }
    }
}

}  // namespace emulated_camera

extern "C" int emulated_camera_configure(const char* config) {
    emulated_camera::Config parsed;
    if (!emulated_camera::Parse(config, &parsed)) {
        return -1;
    }
    emulated_camera::Camera& camera = emulated_camera::ConfiguredCamera();
    std::lock_guard<std::recursive_mutex> held(camera.lock);
    emulated_camera::Configure(camera, config);
    return 0;
}

extern "C" int emulated_camera_streamed_format(unsigned* fourcc, int* width, int* height) {
    emulated_camera::Camera& camera = emulated_camera::ConfiguredCamera();
    std::lock_guard<std::recursive_mutex> held(camera.lock);
    *fourcc = camera.streamedFourcc;
    *width = camera.streamedSize.width;
    *height = camera.streamedSize.height;
    return camera.streamedFourcc != 0;
}
