// A V4L2 camera as a source: the newest picture on every grab, and a device that fails or
// goes away is reopened in the background of later grabs while the last good frame stands in.
#include "platform/drivers/camera_v4l2.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace morvala::drivers {
namespace {

class V4l2Camera : public CameraSource {
  public:
    explicit V4l2Camera(std::unique_ptr<VideoDevice> device)
        : device_(std::move(device)), lastGood_(kFrameBytes, 0) {}
    ~V4l2Camera() override {
        if (open_) {
            device_->Close();
        }
    }

    std::string Name() const override { return device_->Path(); }

    bool Connect(std::string* reason) override {
        open_ = device_->Open(reason);
        return open_;
    }

    void Grab(uint64_t elapsedMs, unsigned char* frame) override {
        if (!open_ && elapsedMs >= lostAtMs_ + kReopenIntervalMs) {
            lostAtMs_ = elapsedMs;
            std::string reason;
            open_ = device_->Open(&reason);
            if (open_) {
                std::fprintf(stderr, "morvala: camera %s: back\n", Name().c_str());
            }
        }
        if (open_ && !TakeNewestFrame()) {
            device_->Close();
            open_ = false;
            lostAtMs_ = elapsedMs;
            std::fprintf(stderr, "morvala: camera %s: no picture, reopening\n", Name().c_str());
        }
        std::memcpy(frame, lastGood_.data(), kFrameBytes);
    }

  private:
    // Takes every buffer already filled and keeps the newest, so no stale picture is shown;
    // waits only when none is there yet.
    bool TakeNewestFrame() {
        std::vector<int> filled;
        VideoDevice::Wait wait = device_->WaitForFrame(0);
        if (wait == VideoDevice::Wait::kTimeout) {
            wait = device_->WaitForFrame(kGrabTimeoutMs);
        }
        while (wait == VideoDevice::Wait::kReady) {
            int buffer = device_->Dequeue();
            if (buffer < 0) {
                wait = VideoDevice::Wait::kFailed;
                break;
            }
            filled.push_back(buffer);
            wait = device_->WaitForFrame(0);
        }
        bool ok = wait != VideoDevice::Wait::kFailed && !filled.empty();
        if (ok) {
            device_->Convert(filled.back(), lastGood_.data());
        }
        for (int buffer : filled) {
            ok = device_->Requeue(buffer) && ok;
        }
        return ok;
    }

    std::unique_ptr<VideoDevice> device_;
    std::vector<unsigned char> lastGood_;  // black until the first picture
    bool open_ = false;
    uint64_t lostAtMs_ = 0;
};

}  // namespace

std::unique_ptr<CameraSource> MakeV4l2Camera(std::unique_ptr<VideoDevice> device) {
    return std::make_unique<V4l2Camera>(std::move(device));
}

std::unique_ptr<CameraSource> MakeV4l2Camera(const std::string& devicePath) {
    return MakeV4l2Camera(MakeV4l2Device(devicePath));
}

}  // namespace morvala::drivers
