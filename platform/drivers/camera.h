// The seam between the capture window and what delivers its pictures: a V4L2 device, a
// built-in scene, a clip or image file, or a scripted source for tests.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace morvala::drivers {

// Every source delivers exactly this: 320 x 240 pixels, bytes blue, green, red, rows
// bottom-up with no padding. Nothing above a source checks sizes.
constexpr int kFrameWidth = 320;
constexpr int kFrameHeight = 240;
constexpr int kFrameRowBytes = kFrameWidth * 3;
constexpr int kFrameBytes = kFrameRowBytes * kFrameHeight;

class CameraSource {
  public:
    virtual ~CameraSource() = default;

    // What the source is, for the line that says why it failed ("/dev/video0", "synthetic").
    virtual std::string Name() const = 0;

    // Opens the device or file. On failure, *reason says why ("cannot open: ...").
    virtual bool Connect(std::string* reason) = 0;

    // Asked once the one format every source delivers has been requested.
    virtual bool AcceptsFormat() { return true; }

    // Writes the newest picture into frame (kFrameBytes). elapsedMs is the subset's clock
    // since the source connected; it is passed in so that no source calls up into the subset.
    // Never waits without end: a source that has nothing new repeats what it gave last.
    virtual void Grab(uint64_t elapsedMs, unsigned char* frame) = 0;
};

// The source for capture driver index 0..9 as MORVALA_CAMERA chooses, or as the sources put
// in place say; null when that index has no source.
std::unique_ptr<CameraSource> MakeCameraSource(int index);

using CameraSources = std::function<std::unique_ptr<CameraSource>(int index)>;
// From now on MakeCameraSource asks sources instead of MORVALA_CAMERA.
void UseCameraSources(CameraSources sources);

std::unique_ptr<CameraSource> MakeV4l2Camera(const std::string& devicePath);
std::unique_ptr<CameraSource> MakeSyntheticCamera();
std::unique_ptr<CameraSource> MakeFileCamera(const std::string& path);

}  // namespace morvala::drivers
