// Which source is behind each capture driver index: by default /dev/videoN; MORVALA_CAMERA
// names one source instead, which becomes index 0.
#include <cstdlib>
#include <cstring>

#include "platform/drivers/camera.h"

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

}  // namespace

void UseCameraSources(CameraSources sources) {
    SourcesInPlace() = std::move(sources);
}

std::unique_ptr<CameraSource> MakeCameraSource(int index) {
    if (SourcesInPlace()) {
        return SourcesInPlace()(index);
    }
    const char* chosen = std::getenv("MORVALA_CAMERA");
    if (chosen == nullptr) {
        return MakeV4l2Camera("/dev/video" + std::to_string(index));
    }
    if (index != 0) {
        return nullptr;
    }
    if (std::strcmp(chosen, "synthetic") == 0) {
        return MakeSyntheticCamera();
    }
    if (IsVideoDevicePath(chosen)) {
        return MakeV4l2Camera(chosen);
    }
    return MakeFileCamera(chosen);
}

}  // namespace morvala::drivers
