// The V4L2 source is its hand-out logic over a few device operations, so that the logic can be
// tested with a fake device.
#pragma once

#include <memory>
#include <string>

#include "platform/drivers/camera.h"

namespace morvala::drivers {

class VideoDevice {
  public:
    enum class Wait { kReady, kTimeout, kFailed };
    enum class Dequeued {
        kFrame,    // a filled buffer
        kDamaged,  // a buffer the camera flagged as damaged: hand it back unseen
        kNone,     // none after all (libv4l2 took a frame it could not convert back)
        kFailed,   // the device is gone or broken
    };

    virtual ~VideoDevice() = default;

    virtual std::string Path() const = 0;
    // Opens the device, asks for the frame format, maps its buffers and starts streaming.
    virtual bool Open(std::string* reason) = 0;
    virtual void Close() = 0;
    // Waits at most timeoutMs for a filled buffer.
    virtual Wait WaitForFrame(int timeoutMs) = 0;
    // Takes a filled buffer from the device; *buffer is its index unless kNone or kFailed.
    virtual Dequeued Dequeue(int* buffer) = 0;
    // Hands a buffer back to be filled again.
    virtual bool Requeue(int buffer) = 0;
    // Writes a filled buffer's picture as a frame; false when it is cut short or undecodable.
    virtual bool Convert(int buffer, unsigned char* frame) = 0;
};

std::unique_ptr<CameraSource> MakeV4l2Camera(std::unique_ptr<VideoDevice> device);
std::unique_ptr<VideoDevice> MakeV4l2Device(const std::string& path);

}  // namespace morvala::drivers
