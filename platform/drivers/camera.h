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

// What a source had for one take.
enum class Take {
    kPicture,  // frame now holds the source's newest picture
    kNothing,  // no new picture came within the wait; frame is untouched
    kLost,     // the device or file is gone or broken: Connect again before the next take
};

// A source only says what it has. How long to wait, when silence means a lost camera and how
// often to reopen it are the capture window's to decide, in one place.
class CameraSource {
  public:
    virtual ~CameraSource() = default;

    // What the source is, for the line that says why it failed ("/dev/video0", "synthetic").
    virtual std::string Name() const = 0;

    // Opens the device or file. On failure, *reason says why ("cannot open: ..."). Also called
    // to reopen a source that was lost: it first lets go of whatever it still holds.
    virtual bool Connect(std::string* reason) = 0;

    // Asked once the one format every source delivers has been requested.
    virtual bool AcceptsFormat() { return true; }

    // Writes the newest picture into frame (kFrameBytes) when one has come since the last
    // take, waiting at most waitMs for it. elapsedMs is the subset's clock since the first
    // connect, passed in so that no source calls up into the subset: sources that play by the
    // clock (the synthetic scene, files) show what is due then.
    virtual Take TakePicture(uint64_t elapsedMs, int waitMs, unsigned char* frame) = 0;
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
