// The V4L2 source's hand-out and recovery over a fake device: the newest picture on each
// grab, and a lost device replaced by the last good frame while it is reopened.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>

#include "platform/drivers/camera_v4l2.h"

namespace morvala {
namespace {

using drivers::kFrameBytes;
using drivers::VideoDevice;

// What the fake device does and was asked; the test keeps it while the camera owns the device.
struct FakeDeviceState {
    bool opens = true;
    bool unplugged = false;
    std::deque<int> filled;            // buffers the camera has filled, oldest first
    unsigned char brightness[2] = {};  // what each buffer shows
    int openCount = 0;
    int closeCount = 0;
    std::vector<int> waits;  // the timeouts asked for
    std::vector<int> requeued;
};

class FakeDevice : public VideoDevice {
  public:
    explicit FakeDevice(FakeDeviceState* state) : state_(state) {}

    std::string Path() const override { return "/dev/video5"; }
    bool Open(std::string* reason) override {
        ++state_->openCount;
        *reason = "cannot open: No such device";
        return state_->opens;
    }
    void Close() override { ++state_->closeCount; }
    Wait WaitForFrame(int timeoutMs) override {
        state_->waits.push_back(timeoutMs);
        if (state_->unplugged) {
            return Wait::kFailed;
        }
        return state_->filled.empty() ? Wait::kTimeout : Wait::kReady;
    }
    int Dequeue() override {
        int buffer = state_->filled.front();
        state_->filled.pop_front();
        return buffer;
    }
    bool Requeue(int buffer) override {
        state_->requeued.push_back(buffer);
        return true;
    }
    void Convert(int buffer, unsigned char* frame) override {
        std::memset(frame, state_->brightness[buffer], kFrameBytes);
    }

  private:
    FakeDeviceState* state_;
};

struct V4l2CameraTest : ::testing::Test {
    void SetUp() override {
        camera = drivers::MakeV4l2Camera(std::make_unique<FakeDevice>(&device));
        std::string reason;
        ASSERT_TRUE(camera->Connect(&reason));
    }

    // The one brightness of a grabbed frame, or -1 if it is not uniform.
    int GrabBrightness(uint64_t elapsedMs) {
        std::vector<unsigned char> frame(kFrameBytes, 0x77);
        camera->Grab(elapsedMs, frame.data());
        bool uniform = std::all_of(frame.begin(), frame.end(),
                                   [&](unsigned char byte) { return byte == frame[0]; });
        return uniform ? frame[0] : -1;
    }

    void Fill(int buffer, unsigned char brightness) {
        device.brightness[buffer] = brightness;
        device.filled.push_back(buffer);
    }

    FakeDeviceState device;
    std::unique_ptr<drivers::CameraSource> camera;
};

TEST_F(V4l2CameraTest, HandsOutTheNewestOfTheQueuedPicturesAndRequeuesAll) {
    Fill(0, 10);
    Fill(1, 20);
    EXPECT_EQ(GrabBrightness(0), 20);
    EXPECT_EQ(device.requeued, (std::vector<int>{0, 1}));
    EXPECT_EQ(device.waits, (std::vector<int>{0, 0, 0})) << "no waiting while pictures are there";
    EXPECT_TRUE(device.filled.empty());

    device.requeued.clear();
    Fill(0, 30);
    EXPECT_EQ(GrabBrightness(40), 30);
    EXPECT_EQ(device.requeued, (std::vector<int>{0}));
    EXPECT_EQ(device.closeCount, 0);
}

TEST_F(V4l2CameraTest, WaitsAtMostTheGrabTimeoutThenGivesBlackBeforeAnyPicture) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(GrabBrightness(0), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "morvala: camera /dev/video5: no picture, reopening\n");
    EXPECT_EQ(device.waits, (std::vector<int>{0, drivers::kGrabTimeoutMs}));
    EXPECT_EQ(device.closeCount, 1);
}

TEST_F(V4l2CameraTest, LostDeviceGivesTheLastGoodFrameAndIsReopenedAtIntervals) {
    Fill(1, 60);
    ASSERT_EQ(GrabBrightness(1000), 60);

    device.unplugged = true;
    device.opens = false;
    testing::internal::CaptureStderr();
    EXPECT_EQ(GrabBrightness(2000), 60);
    EXPECT_EQ(device.closeCount, 1);
    EXPECT_EQ(device.openCount, 1) << "only the first connect so far";

    const struct {
        uint64_t elapsedMs;
        int opens;  // attempts so far, the connect included
    } attempts[] = {{2000 + drivers::kReopenIntervalMs - 1, 1},
                    {2000 + drivers::kReopenIntervalMs, 2},
                    {2000 + drivers::kReopenIntervalMs + 10, 2},
                    {2000 + 2 * drivers::kReopenIntervalMs, 3}};
    for (const auto& attempt : attempts) {
        EXPECT_EQ(GrabBrightness(attempt.elapsedMs), 60) << attempt.elapsedMs;
        EXPECT_EQ(device.openCount, attempt.opens) << attempt.elapsedMs;
    }

    // The camera comes back: its pictures are shown again from the next attempt on.
    device.unplugged = false;
    device.opens = true;
    Fill(0, 90);
    EXPECT_EQ(GrabBrightness(2000 + 3 * drivers::kReopenIntervalMs), 90);
    EXPECT_EQ(device.openCount, 4);
    EXPECT_EQ(device.closeCount, 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "morvala: camera /dev/video5: no picture, reopening\n"
              "morvala: camera /dev/video5: back\n");
}

}  // namespace
}  // namespace morvala
