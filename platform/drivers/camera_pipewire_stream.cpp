// The PipeWire stream behind a camera: a thread loop of PipeWire's own runs the connection;
// the caller's thread only takes the loop's lock to look at what has come.
#include "platform/drivers/camera_pipewire_stream.h"

#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>
#include <spa/utils/result.h>

extern "C" {
#include <libavutil/common.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace morvala::drivers {
namespace {

// A running session lists its nodes and links a camera within milliseconds; these only bound
// a daemon or a camera that never answers.
constexpr int kListPatienceMs = 2000;
constexpr int kLinkPatienceMs = 3000;

struct RawFormat {
    spa_video_format spa;
    AVPixelFormat av;
};

// Every raw format FFmpeg converts that cameras send: PipeWire converts none of them.
constexpr RawFormat kRawFormats[] = {
    {SPA_VIDEO_FORMAT_YUY2, AV_PIX_FMT_YUYV422}, {SPA_VIDEO_FORMAT_UYVY, AV_PIX_FMT_UYVY422},
    {SPA_VIDEO_FORMAT_YVYU, AV_PIX_FMT_YVYU422}, {SPA_VIDEO_FORMAT_NV12, AV_PIX_FMT_NV12},
    {SPA_VIDEO_FORMAT_NV21, AV_PIX_FMT_NV21},    {SPA_VIDEO_FORMAT_I420, AV_PIX_FMT_YUV420P},
    {SPA_VIDEO_FORMAT_RGB, AV_PIX_FMT_RGB24},    {SPA_VIDEO_FORMAT_BGR, AV_PIX_FMT_BGR24},
    {SPA_VIDEO_FORMAT_RGBx, AV_PIX_FMT_RGB0},    {SPA_VIDEO_FORMAT_BGRx, AV_PIX_FMT_BGR0},
    {SPA_VIDEO_FORMAT_xRGB, AV_PIX_FMT_0RGB},    {SPA_VIDEO_FORMAT_xBGR, AV_PIX_FMT_0BGR},
    {SPA_VIDEO_FORMAT_RGBA, AV_PIX_FMT_RGBA},    {SPA_VIDEO_FORMAT_BGRA, AV_PIX_FMT_BGRA},
    {SPA_VIDEO_FORMAT_ARGB, AV_PIX_FMT_ARGB},    {SPA_VIDEO_FORMAT_ABGR, AV_PIX_FMT_ABGR},
    {SPA_VIDEO_FORMAT_GRAY8, AV_PIX_FMT_GRAY8},
};

AVPixelFormat ToPixelFormat(spa_video_format format) {
    for (const RawFormat& raw : kRawFormats) {
        if (raw.spa == format) {
            return raw.av;
        }
    }
    return AV_PIX_FMT_NONE;
}

AVColorRange ToColorRange(spa_video_color_range range) {
    switch (range) {
        case SPA_VIDEO_COLOR_RANGE_0_255:
            return AVCOL_RANGE_JPEG;
        case SPA_VIDEO_COLOR_RANGE_16_235:
            return AVCOL_RANGE_MPEG;
        default:
            return AVCOL_RANGE_UNSPECIFIED;
    }
}

AVColorSpace ToColorSpace(spa_video_color_matrix matrix) {
    switch (matrix) {
        case SPA_VIDEO_COLOR_MATRIX_BT601:
            return AVCOL_SPC_BT470BG;
        case SPA_VIDEO_COLOR_MATRIX_BT709:
            return AVCOL_SPC_BT709;
        default:
            return AVCOL_SPC_UNSPECIFIED;
    }
}

// What the stream asks for: any raw format above or MJPEG, at any size and rate; 320 x 240,
// the frame's own size, where the camera lets us choose.
int BuildWantedFormats(spa_pod_builder* builder, const spa_pod* params[2]) {
    spa_rectangle size = SPA_RECTANGLE(320, 240);
    spa_rectangle smallest = SPA_RECTANGLE(1, 1);
    spa_rectangle largest = SPA_RECTANGLE(8192, 8192);
    spa_fraction rate = SPA_FRACTION(30, 1);
    spa_fraction slowest = SPA_FRACTION(0, 1);
    spa_fraction fastest = SPA_FRACTION(1000, 1);

    spa_pod_frame object;
    spa_pod_builder_push_object(builder, &object, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat);
    spa_pod_builder_add(builder, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video),
                        SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), 0);
    spa_pod_builder_prop(builder, SPA_FORMAT_VIDEO_format, 0);
    spa_pod_frame choice;
    spa_pod_builder_push_choice(builder, &choice, SPA_CHOICE_Enum, 0);
    spa_pod_builder_id(builder, kRawFormats[0].spa);  // the default
    for (const RawFormat& raw : kRawFormats) {
        spa_pod_builder_id(builder, raw.spa);
    }
    spa_pod_builder_pop(builder, &choice);
    spa_pod_builder_add(
        builder, SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&size, &smallest, &largest),
        SPA_FORMAT_VIDEO_framerate, SPA_POD_CHOICE_RANGE_Fraction(&rate, &slowest, &fastest), 0);
    params[0] = static_cast<const spa_pod*>(spa_pod_builder_pop(builder, &object));

    params[1] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
        SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
        SPA_POD_Id(SPA_MEDIA_SUBTYPE_mjpg), SPA_FORMAT_VIDEO_size,
        SPA_POD_CHOICE_RANGE_Rectangle(&size, &smallest, &largest), SPA_FORMAT_VIDEO_framerate,
        SPA_POD_CHOICE_RANGE_Fraction(&rate, &slowest, &fastest)));
    return 2;
}

// Where a client looks for the daemon, for the line that says none is there.
std::string WhereTheDaemonListens() {
    const char* remote = std::getenv("PIPEWIRE_REMOTE");
    std::string socket = remote != nullptr && *remote != '\0' ? remote : "pipewire-0";
    if (socket.front() == '/') {
        return "nothing at " + socket;
    }
    for (const char* variable : {"PIPEWIRE_RUNTIME_DIR", "XDG_RUNTIME_DIR"}) {
        const char* folder = std::getenv(variable);
        if (folder != nullptr && *folder != '\0') {
            return "nothing at " + std::string(folder) + "/" + socket;
        }
    }
    return "XDG_RUNTIME_DIR is not set";
}

struct CameraNode {
    std::string name;
    std::string description;
};

class Stream : public PipeWireCameraStream {
  public:
    ~Stream() override;
    bool Open(const std::string& wanted, bool untilStreaming, std::string* reason);
    StreamTake TakeNewest(int waitMs, CameraPicture* picture) override;

  private:
    class Lock {
      public:
        explicit Lock(pw_thread_loop* loop) : loop_(loop) { pw_thread_loop_lock(loop_); }
        ~Lock() { pw_thread_loop_unlock(loop_); }

      private:
        pw_thread_loop* loop_;
    };

    bool ListCameras(std::string* reason);
    bool LinkCamera(const std::string& target, bool untilStreaming, std::string* reason);
    // Waits on the loop (its lock held) until done() or the deadline; false on time-out.
    template <typename Done>
    bool WaitUntil(timespec* deadline, Done done);

    static void OnCoreDone(void* data, uint32_t id, int seq);
    static void OnCoreError(void* data, uint32_t id, int seq, int res, const char* message);
    static void OnGlobal(void* data, uint32_t id, uint32_t permissions, const char* type,
                         uint32_t version, const spa_dict* props);
    static void OnGlobalRemoved(void* data, uint32_t id);
    void WatchLink(uint32_t id, const spa_dict& props);
    static void OnLinkInfo(void* data, const pw_link_info* info);
    static void OnStateChanged(void* data, pw_stream_state old, pw_stream_state state,
                               const char* error);
    static void OnParamChanged(void* data, uint32_t id, const spa_pod* param);
    static void OnProcess(void* data);
    void KeepPicture(const spa_buffer& buffer);

    pw_thread_loop* loop_ = nullptr;
    pw_context* context_ = nullptr;
    pw_core* core_ = nullptr;
    pw_registry* registry_ = nullptr;
    pw_stream* stream_ = nullptr;
    pw_proxy* link_ = nullptr;  // the session's link from the camera to the stream
    uint32_t linkId_ = SPA_ID_INVALID;
    spa_hook coreListener_ = {};
    spa_hook linkListener_ = {};
    spa_hook registryListener_ = {};
    spa_hook streamListener_ = {};

    // Written on PipeWire's thread, read under the loop's lock.
    int listSeq_ = -1;
    bool listed_ = false;
    std::vector<CameraNode> cameras_;
    pw_stream_state state_ = PW_STREAM_STATE_UNCONNECTED;
    bool gone_ = false;  // the daemon went, the session removed our stream, or its link failed
    std::string error_;
    std::string linkError_;  // PipeWire tells a failed link (no common format) only on the link
    CameraPicture layout_;   // the agreed format; its bytes stay empty
    CameraPicture arrived_;  // the newest picture not yet taken
    bool hasArrived_ = false;
};

Stream::~Stream() {
    if (loop_ != nullptr) {
        pw_thread_loop_stop(loop_);
    }
    if (link_ != nullptr) {
        pw_proxy_destroy(link_);
    }
    if (stream_ != nullptr) {
        pw_stream_destroy(stream_);
    }
    if (registry_ != nullptr) {
        pw_proxy_destroy(reinterpret_cast<pw_proxy*>(registry_));
    }
    if (core_ != nullptr) {
        pw_core_disconnect(core_);
    }
    if (context_ != nullptr) {
        pw_context_destroy(context_);
    }
    if (loop_ != nullptr) {
        pw_thread_loop_destroy(loop_);
    }
}

template <typename Done>
bool Stream::WaitUntil(timespec* deadline, Done done) {
    while (!done()) {
        if (pw_thread_loop_timed_wait_full(loop_, deadline) == -ETIMEDOUT) {
            return done();
        }
    }
    return true;
}

bool Stream::Open(const std::string& wanted, bool untilStreaming, std::string* reason) {
    pw_init(nullptr, nullptr);
    loop_ = pw_thread_loop_new("morvala-camera", nullptr);
    context_ = loop_ ? pw_context_new(pw_thread_loop_get_loop(loop_), nullptr, 0) : nullptr;
    if (context_ == nullptr || pw_thread_loop_start(loop_) < 0) {
        *reason = std::string("cannot start PipeWire's client: ") + std::strerror(errno);
        return false;
    }
    Lock lock(loop_);
    core_ = pw_context_connect(context_, nullptr, 0);
    if (core_ == nullptr) {
        *reason = "no PipeWire running (" + WhereTheDaemonListens() + ")";
        return false;
    }
    static const pw_core_events coreEvents = [] {
        pw_core_events events = {};
        events.version = PW_VERSION_CORE_EVENTS;
        events.done = OnCoreDone;
        events.error = OnCoreError;
        return events;
    }();
    pw_core_add_listener(core_, &coreListener_, &coreEvents, this);
    if (!ListCameras(reason)) {
        return false;
    }
    std::string target;
    for (const CameraNode& camera : cameras_) {
        if (target.empty() && (camera.name == wanted || camera.description == wanted)) {
            target = camera.name;
        }
    }
    if (cameras_.empty()) {
        *reason = "no camera in the PipeWire session";
        return false;
    }
    if (!wanted.empty() && target.empty()) {
        *reason = "no camera named \"" + wanted + "\" in the PipeWire session (it has";
        for (const CameraNode& camera : cameras_) {
            *reason += (&camera == &cameras_.front() ? " \"" : ", \"") + camera.name + "\"";
        }
        *reason += ")";
        return false;
    }
    return LinkCamera(target, untilStreaming, reason);
}

bool Stream::ListCameras(std::string* reason) {
    static const pw_registry_events registryEvents = [] {
        pw_registry_events events = {};
        events.version = PW_VERSION_REGISTRY_EVENTS;
        events.global = OnGlobal;
        events.global_remove = OnGlobalRemoved;
        return events;
    }();
    registry_ = pw_core_get_registry(core_, PW_VERSION_REGISTRY, 0);
    pw_registry_add_listener(registry_, &registryListener_, &registryEvents, this);
    listSeq_ = pw_core_sync(core_, PW_ID_CORE, 0);
    timespec deadline;
    pw_thread_loop_get_time(loop_, &deadline, kListPatienceMs * SPA_NSEC_PER_MSEC);
    if (!WaitUntil(&deadline, [this] { return listed_ || gone_; }) || gone_) {
        *reason = gone_ ? "PipeWire closed the connection: " + error_
                        : "PipeWire did not list its nodes within " +
                              std::to_string(kListPatienceMs / 1000) + " s";
        return false;
    }
    return true;
}

bool Stream::LinkCamera(const std::string& target, bool untilStreaming, std::string* reason) {
    pw_properties* props = pw_properties_new(
        PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture", PW_KEY_MEDIA_ROLE, "Camera",
        PW_KEY_APP_NAME, "Morvala", PW_KEY_NODE_DESCRIPTION, "Morvala",
        // A camera that goes is reported lost rather than quietly swapped for another one.
        PW_KEY_NODE_DONT_RECONNECT, "true", nullptr);
    if (!target.empty()) {
        pw_properties_set(props, PW_KEY_TARGET_OBJECT, target.c_str());
    }
    stream_ = pw_stream_new(core_, "morvala", props);
    static const pw_stream_events streamEvents = [] {
        pw_stream_events events = {};
        events.version = PW_VERSION_STREAM_EVENTS;
        events.state_changed = OnStateChanged;
        events.param_changed = OnParamChanged;
        events.process = OnProcess;
        return events;
    }();
    pw_stream_add_listener(stream_, &streamListener_, &streamEvents, this);

    uint8_t bytes[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(bytes, sizeof bytes);
    const spa_pod* params[2];
    int paramCount = BuildWantedFormats(&builder, params);
    int result = pw_stream_connect(
        stream_, PW_DIRECTION_INPUT, PW_ID_ANY,
        static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS),
        params, paramCount);
    if (result < 0) {
        *reason = std::string("cannot make a PipeWire stream: ") + spa_strerror(result);
        return false;
    }
    if (!untilStreaming) {
        return true;
    }
    timespec deadline;
    pw_thread_loop_get_time(loop_, &deadline, kLinkPatienceMs * SPA_NSEC_PER_MSEC);
    WaitUntil(&deadline, [this] { return state_ == PW_STREAM_STATE_STREAMING || gone_; });
    if (state_ == PW_STREAM_STATE_STREAMING && !gone_) {
        return true;
    }
    std::string seconds = std::to_string(kLinkPatienceMs / 1000) + " s";
    if (!linkError_.empty()) {
        *reason = "PipeWire cannot link the camera to Morvala: " + linkError_;
    } else if (!error_.empty()) {
        *reason = "PipeWire: " + error_;
    } else if (layout_.width > 0) {
        *reason = "the camera agreed on a format but did not start within " + seconds;
    } else {
        *reason = "the session linked no camera to Morvala within " + seconds +
                  " (is a session manager such as WirePlumber running?)";
    }
    return false;
}

StreamTake Stream::TakeNewest(int waitMs, CameraPicture* picture) {
    Lock lock(loop_);
    timespec deadline;
    pw_thread_loop_get_time(loop_, &deadline, static_cast<int64_t>(waitMs) * SPA_NSEC_PER_MSEC);
    WaitUntil(&deadline, [this] { return hasArrived_ || gone_; });
    if (hasArrived_) {
        // Swapped, not copied: the caller's old buffer takes the next picture.
        std::swap(*picture, arrived_);
        hasArrived_ = false;
        return StreamTake::kPicture;
    }
    return gone_ ? StreamTake::kLost : StreamTake::kNothing;
}

void Stream::OnCoreDone(void* data, uint32_t id, int seq) {
    auto& self = *static_cast<Stream*>(data);
    if (id == PW_ID_CORE && seq == self.listSeq_) {
        self.listed_ = true;
        pw_thread_loop_signal(self.loop_, false);
    }
}

void Stream::OnCoreError(void* data, uint32_t id, int, int res, const char* message) {
    auto& self = *static_cast<Stream*>(data);
    // Only a broken connection (the daemon went away) ends the stream here; other errors, such
    // as a late request about our node once the session removed it, show in the stream's state.
    if (id == PW_ID_CORE && res == -EPIPE) {
        self.error_ = message != nullptr ? message : spa_strerror(res);
        self.gone_ = true;
        pw_thread_loop_signal(self.loop_, false);
    }
}

void Stream::OnGlobal(void* data, uint32_t id, uint32_t, const char* type, uint32_t,
                      const spa_dict* props) {
    auto& self = *static_cast<Stream*>(data);
    if (props != nullptr && std::strcmp(type, PW_TYPE_INTERFACE_Link) == 0) {
        self.WatchLink(id, *props);
    }
    if (props == nullptr || std::strcmp(type, PW_TYPE_INTERFACE_Node) != 0) {
        return;
    }
    const char* mediaClass = spa_dict_lookup(props, PW_KEY_MEDIA_CLASS);
    const char* name = spa_dict_lookup(props, PW_KEY_NODE_NAME);
    if (mediaClass == nullptr || std::strcmp(mediaClass, "Video/Source") != 0 || name == nullptr) {
        return;
    }
    const char* description = spa_dict_lookup(props, PW_KEY_NODE_DESCRIPTION);
    self.cameras_.push_back({name, description != nullptr ? description : ""});
}

void Stream::WatchLink(uint32_t id, const spa_dict& props) {
    const char* input = spa_dict_lookup(&props, PW_KEY_LINK_INPUT_NODE);
    if (stream_ == nullptr || input == nullptr ||
        std::to_string(pw_stream_get_node_id(stream_)) != input) {
        return;
    }
    static const pw_link_events linkEvents = [] {
        pw_link_events events = {};
        events.version = PW_VERSION_LINK_EVENTS;
        events.info = OnLinkInfo;
        return events;
    }();
    if (link_ != nullptr) {
        pw_proxy_destroy(link_);
    }
    linkId_ = id;
    link_ = static_cast<pw_proxy*>(
        pw_registry_bind(registry_, id, PW_TYPE_INTERFACE_Link, PW_VERSION_LINK, 0));
    linkListener_ = {};
    pw_proxy_add_object_listener(link_, &linkListener_, &linkEvents, this);
}

void Stream::OnGlobalRemoved(void* data, uint32_t id) {
    auto& self = *static_cast<Stream*>(data);
    // The session may remove a failed link before our request for its state is answered; then
    // only the removal tells that the link failed.
    if (id == self.linkId_ && self.linkError_.empty() && self.state_ != PW_STREAM_STATE_STREAMING) {
        self.linkError_ = "the session removed the link before it carried a picture";
    }
}

void Stream::OnLinkInfo(void* data, const pw_link_info* info) {
    auto& self = *static_cast<Stream*>(data);
    if (info->state == PW_LINK_STATE_ERROR) {
        self.linkError_ = info->error != nullptr ? info->error : "unknown error";
        self.gone_ = true;
        pw_thread_loop_signal(self.loop_, false);
    }
}

void Stream::OnStateChanged(void* data, pw_stream_state, pw_stream_state state, const char* error) {
    auto& self = *static_cast<Stream*>(data);
    self.state_ = state;
    if (error != nullptr && *error != '\0') {
        self.error_ = error;
    }
    // A connected stream falls back to unconnected only when its camera has gone: with
    // node.dont-reconnect the session destroys our node instead of moving it elsewhere.
    if (state == PW_STREAM_STATE_ERROR || state == PW_STREAM_STATE_UNCONNECTED) {
        self.gone_ = true;
    }
    pw_thread_loop_signal(self.loop_, false);
}

void Stream::OnParamChanged(void* data, uint32_t id, const spa_pod* param) {
    auto& self = *static_cast<Stream*>(data);
    if (id != SPA_PARAM_Format || param == nullptr) {
        return;
    }
    uint32_t mediaType = 0;
    uint32_t mediaSubtype = 0;
    spa_format_parse(param, &mediaType, &mediaSubtype);
    CameraPicture layout;
    if (mediaSubtype == SPA_MEDIA_SUBTYPE_raw) {
        spa_video_info_raw info = {};
        spa_format_video_raw_parse(param, &info);
        layout.pixelFormat = ToPixelFormat(info.format);
        layout.width = static_cast<int>(info.size.width);
        layout.height = static_cast<int>(info.size.height);
        layout.colorRange = ToColorRange(info.color_range);
        layout.colorSpace = ToColorSpace(info.color_matrix);
    } else if (mediaSubtype == SPA_MEDIA_SUBTYPE_mjpg) {
        spa_video_info_mjpg info = {};
        spa_format_video_mjpg_parse(param, &info);
        layout.width = static_cast<int>(info.size.width);
        layout.height = static_cast<int>(info.size.height);
    }
    self.layout_ = std::move(layout);
}

void Stream::OnProcess(void* data) {
    auto& self = *static_cast<Stream*>(data);
    // Only the newest picture counts: older ones still queued go straight back.
    pw_buffer* newest = nullptr;
    while (pw_buffer* buffer = pw_stream_dequeue_buffer(self.stream_)) {
        if (newest != nullptr) {
            pw_stream_queue_buffer(self.stream_, newest);
        }
        newest = buffer;
    }
    if (newest == nullptr) {
        return;
    }
    self.KeepPicture(*newest->buffer);
    pw_stream_queue_buffer(self.stream_, newest);
}

void Stream::KeepPicture(const spa_buffer& buffer) {
    const CameraPicture& layout = layout_;
    if (layout.width <= 0 || buffer.n_datas == 0) {
        return;
    }
    CameraPicture& picture = arrived_;
    picture.pixelFormat = layout.pixelFormat;
    picture.colorRange = layout.colorRange;
    picture.colorSpace = layout.colorSpace;
    picture.width = layout.width;
    picture.height = layout.height;
    // A damaged frame is not a picture; nor is one with less than the format needs.
    auto planeBytes = [](const spa_data& plane) -> const unsigned char* {
        const spa_chunk& chunk = *plane.chunk;
        if (plane.data == nullptr || (chunk.flags & SPA_CHUNK_FLAG_CORRUPTED) != 0 ||
            chunk.size == 0 || chunk.offset > plane.maxsize ||
            chunk.size > plane.maxsize - chunk.offset) {
            return nullptr;
        }
        return static_cast<const unsigned char*>(plane.data) + chunk.offset;
    };
    if (layout.pixelFormat == AV_PIX_FMT_NONE) {
        const unsigned char* jpeg = planeBytes(buffer.datas[0]);
        if (jpeg == nullptr) {
            return;
        }
        picture.planeCount = 0;
        picture.bytes.assign(jpeg, jpeg + buffer.datas[0].chunk->size);
        hasArrived_ = true;
        pw_thread_loop_signal(loop_, false);
        return;
    }
    // Some producers leave the stride at 0: then it follows from the format.
    int derived[4] = {};
    av_image_fill_linesizes(derived, layout.pixelFormat, layout.width);
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(layout.pixelFormat);
    int planeCount = av_pix_fmt_count_planes(layout.pixelFormat);
    picture.planeCount = planeCount;
    picture.bytes.clear();
    size_t offsetInBlock = 0;
    for (int i = 0; i < planeCount; ++i) {
        // Planes come in blocks of their own, or one after another in a single block.
        bool ownBlock = buffer.n_datas > 1 && static_cast<uint32_t>(i) < buffer.n_datas;
        const spa_data& block = buffer.datas[ownBlock ? i : 0];
        const unsigned char* start = planeBytes(block);
        if (start == nullptr) {
            return;
        }
        int stride = derived[i];
        if (block.chunk->stride > 0) {
            // A single block's stride is the first plane's; the others scale with it.
            stride = ownBlock || i == 0 ? block.chunk->stride
                                        : derived[i] * block.chunk->stride / derived[0];
        }
        bool chroma = i == 1 || i == 2;
        int rows =
            chroma ? AV_CEIL_RSHIFT(layout.height, descriptor->log2_chroma_h) : layout.height;
        size_t offset = ownBlock ? 0 : offsetInBlock;
        size_t size = static_cast<size_t>(stride) * rows;
        if (stride < derived[i] || offset + size > block.chunk->size) {
            return;
        }
        picture.planeOffsets[i] = static_cast<int>(picture.bytes.size());
        picture.strides[i] = stride;
        picture.bytes.insert(picture.bytes.end(), start + offset, start + offset + size);
        offsetInBlock = offset + size;
    }
    hasArrived_ = true;
    pw_thread_loop_signal(loop_, false);
}

}  // namespace

std::unique_ptr<PipeWireCameraStream> PipeWireCameraStream::Open(const std::string& wanted,
                                                                 bool untilStreaming,
                                                                 std::string* reason) {
    auto stream = std::make_unique<Stream>();
    if (!stream->Open(wanted, untilStreaming, reason)) {
        return nullptr;
    }
    return stream;
}

}  // namespace morvala::drivers
