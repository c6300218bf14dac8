// Which source is behind each capture driver index: by default /dev/videoN, with the camera
// of a running PipeWire session first; MORVALA_CAMERA names one source instead, which becomes
// index 0. An empty MORVALA_CAMERA is no choice.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/drivers/camera.h"
#include "platform/drivers/camera_pipewire.h"

namespace morvala::drivers {
namespace {

CameraSources& SourcesInPlace() {
    static CameraSources sources;
    return sources;
}

bool IsVideoDevicePath(const char* path) {
    constexpr char kPrefix[] = "/dev/video";
    if (std::strncmp(path, kPrefix, sizeof kPrefix - 1) != 0) {
        return false;
    }
    const char* number = path + sizeof kPrefix - 1;
    return *number != '\0' && std::strspn(number, "0123456789") == std::strlen(number);
}

constexpr int kDefaultDevices = 10;

// The last device the program tries when none is chosen: when it does not open either, none
// did, and the line that says why also says how to run without a camera.
class LastDefaultDevice final : public CameraSource {
  public:
    explicit LastDefaultDevice(std::unique_ptr<CameraSource> device) : device_(std::move(device)) {}

    std::string Name() const override { return device_->Name(); }

    bool Connect(std::string* reason) override {
        if (device_->Connect(reason)) {
            return true;
        }
        *reason +=
            "\nmorvala: no camera opened; MORVALA_CAMERA=synthetic runs with a built-in scene "
            "instead, MORVALA_CAMERA=FILE with a clip or picture";
        return false;
    }

    bool AcceptsFormat() override { return device_->AcceptsFormat(); }

    Take TakePicture(uint64_t elapsedMs, int waitMs, unsigned char* frame) override {
        return device_->TakePicture(elapsedMs, waitMs, frame);
    }

  private:
    std::unique_ptr<CameraSource> device_;
};

// The first of several sources that connects, tried again in the same order on every connect,
// so that a camera that comes back where it was preferred is used again.
class FirstThatConnects : public CameraSource {
  public:
    explicit FirstThatConnects(std::vector<std::unique_ptr<CameraSource>> candidates)
        : candidates_(std::move(candidates)) {}

    std::string Name() const override {
        if (connected_ != nullptr) {
            return connected_->Name();
        }
        std::string names;
        for (const auto& candidate : candidates_) {
            names += (names.empty() ? "" : " or ") + candidate->Name();
        }
        return names;
    }

    bool Connect(std::string* reason) override {
        connected_ = nullptr;
        std::string reasons;
        for (const auto& candidate : candidates_) {
            std::string why;
            if (candidate->Connect(&why)) {
                connected_ = candidate.get();
                return true;
            }
            reasons += (reasons.empty() ? "" : "; ") + candidate->Name() + ": " + why;
        }
        *reason = reasons;
        return false;
    }

    bool AcceptsFormat() override { return connected_ != nullptr && connected_->AcceptsFormat(); }

    Take TakePicture(uint64_t elapsedMs, int waitMs, unsigned char* frame) override {
        return connected_ != nullptr ? connected_->TakePicture(elapsedMs, waitMs, frame)
                                     : Take::kLost;
    }

  private:
    std::vector<std::unique_ptr<CameraSource>> candidates_;
    CameraSource* connected_ = nullptr;
};

// Index 0 is the session's camera when PipeWire has one: the desktop shares it between
// programs, and on cameras behind an image processor it is the only usable picture.
std::unique_ptr<CameraSource> MakeDefaultCamera(int index) {
    std::unique_ptr<CameraSource> device = MakeV4l2Camera("/dev/video" + std::to_string(index));
    if (index == kDefaultDevices - 1) {
        return std::make_unique<LastDefaultDevice>(std::move(device));
    }
    if (index != 0) {
        return device;
    }
    std::vector<std::unique_ptr<CameraSource>> candidates;
    candidates.push_back(MakePipeWireCamera(""));
    candidates.push_back(std::move(device));
    return std::make_unique<FirstThatConnects>(std::move(candidates));
}

}  // namespace

void UseCameraSources(CameraSources sources) {
    SourcesInPlace() = std::move(sources);
}

std::unique_ptr<CameraSource> MakeCameraSource(int index) {
    if (SourcesInPlace()) {
        return SourcesInPlace()(index);
    }
    const char* chosen = std::getenv("MORVALA_CAMERA");
    if (chosen == nullptr || *chosen == '\0') {
        return MakeDefaultCamera(index);
    }
    if (index != 0) {
        return nullptr;
    }
    if (std::strcmp(chosen, "synthetic") == 0) {
        return MakeSyntheticCamera();
    }
    constexpr char kPipeWire[] = "pipewire";
    if (std::strncmp(chosen, kPipeWire, sizeof kPipeWire - 1) == 0) {
        const char* rest = chosen + sizeof kPipeWire - 1;
        if (*rest == '\0') {
            return MakePipeWireCamera("");
        }
        if (*rest == ':') {
            return MakePipeWireCamera(rest + 1);
        }
    }
    if (IsVideoDevicePath(chosen)) {
        return MakeV4l2Camera(chosen);
    }
    // Anything else is a path, taken as it is written.
    return MakeFileCamera(chosen);
}

}  // namespace morvala::drivers
