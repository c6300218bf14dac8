// A V4L2 camera as a source: the newest picture on every take. Damaged frames are handed back
// unseen and the next one is waited for within the take's wait; only a device that reports
// itself gone or broken is lost, and the capture window decides when to open it again.
#include "platform/drivers/camera_v4l2.h"

#include <chrono>

namespace morvala::drivers {
namespace {

using Clock = std::chrono::steady_clock;

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
        Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(waitMs);
        for (;;) {
            int newest = -1;
            if (!TakeNewestBuffer(deadline, &newest)) {
                return Take::kLost;
            }
            if (newest < 0) {
                return Take::kNothing;
            }
            // A frame cut short or undecodable is skipped like a damaged one.
            bool converted = device_->Convert(newest, frame);
            if (!device_->Requeue(newest)) {
                return Take::kLost;
            }
            if (converted) {
                return Take::kPicture;
            }
        }
    }

  private:
    void Release() {
        if (open_) {
            device_->Close();
            open_ = false;
        }
    }

    static int MillisecondsUntil(Clock::time_point deadline) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        return left.count() > 0 ? static_cast<int>(left.count()) : 0;
    }

    // Takes every buffer already filled and keeps the newest in *newest (the others go straight
    // back), so no stale picture is shown; waits, until the deadline, only while it has none.
    // False when the device is lost: whatever it holds goes with it when it is closed.
    bool TakeNewestBuffer(Clock::time_point deadline, int* newest) {
        for (;;) {
            VideoDevice::Wait wait = device_->WaitForFrame(0);
            if (wait == VideoDevice::Wait::kTimeout && *newest < 0) {
                int leftMs = MillisecondsUntil(deadline);
                if (leftMs > 0) {
                    wait = device_->WaitForFrame(leftMs);
                }
            }
            if (wait == VideoDevice::Wait::kFailed) {
                return false;
            }
            if (wait == VideoDevice::Wait::kTimeout) {
                return true;
            }
            int buffer = -1;
            switch (device_->Dequeue(&buffer)) {
                case VideoDevice::Dequeued::kFailed:
                    return false;
                case VideoDevice::Dequeued::kNone:
                    if (*newest >= 0 || MillisecondsUntil(deadline) == 0) {
                        return true;
                    }
                    break;
                case VideoDevice::Dequeued::kDamaged:
                    if (!device_->Requeue(buffer)) {
                        return false;
                    }
                    break;
                case VideoDevice::Dequeued::kFrame:
                    if (*newest >= 0 && !device_->Requeue(*newest)) {
                        return false;
                    }
                    *newest = buffer;
                    break;
            }
        }
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
