// A V4L2 camera as a source: the newest picture on every take. A device that fails is reported
// lost; the capture window decides when to open it again.
#include "platform/drivers/camera_v4l2.h"

#include <vector>

namespace morvala::drivers {
namespace {

class V4l2Camera : public CameraSource {
  public:
    explicit V4l2Camera(std::unique_ptr<VideoDevice> device) : device_(std::move(device)) {}
    ~V4l2Camera() override { Release(); }

    std::string Name() const override { return device_->Path(); }

    bool Connect(std::string* reason) override {
        Release();
        open_ = device_->Open(reason);
        return open_;
    }

    Take TakePicture(uint64_t, int waitMs, unsigned char* frame) override {
        if (!open_) {
            return Take::kLost;
        }
        return TakeNewestFrame(waitMs, frame);
    }

  private:
    void Release() {
        if (open_) {
            device_->Close();
            open_ = false;
        }
    }

    // Takes every buffer already filled and keeps the newest, so no stale picture is shown;
    // waits only when none is there yet.
    Take TakeNewestFrame(int waitMs, unsigned char* frame) {
        std::vector<int> filled;
        VideoDevice::Wait wait = device_->WaitForFrame(0);
        if (wait == VideoDevice::Wait::kTimeout) {
            wait = device_->WaitForFrame(waitMs);
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
        bool lost = wait == VideoDevice::Wait::kFailed;
        if (!lost && !filled.empty()) {
            device_->Convert(filled.back(), frame);
        }
        for (int buffer : filled) {
            lost = !device_->Requeue(buffer) || lost;
        }
        if (lost) {
            return Take::kLost;
        }
        return filled.empty() ? Take::kNothing : Take::kPicture;
    }

    std::unique_ptr<VideoDevice> device_;
    bool open_ = false;
};

}  // namespace

std::unique_ptr<CameraSource> MakeV4l2Camera(std::unique_ptr<VideoDevice> device) {
    return std::make_unique<V4l2Camera>(std::move(device));
}

std::unique_ptr<CameraSource> MakeV4l2Camera(const std::string& devicePath) {
    return MakeV4l2Camera(MakeV4l2Device(devicePath));
}

}  // namespace morvala::drivers
