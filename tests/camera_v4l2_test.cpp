// The V4L2 source's hand-out over a fake device: the newest picture on each take, a wait no
// longer than asked, and a failed device reported lost until it is connected again.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>

#include "platform/drivers/camera_v4l2.h"
#include "platform/drivers/camera_v4l2_mjpeg.h"

namespace morvala {
namespace {

using drivers::kFrameBytes;
using drivers::VideoDevice;

// What the fake device does and was asked; the test keeps it while the camera owns the device.
struct FakeDeviceState {
    bool opens = true;
    bool unplugged = false;
    std::deque<int> filled;  // buffers the camera has filled, oldest first
    // What each dequeue finds instead of a good frame, in turn; a good frame once used up.
    std::deque<VideoDevice::Dequeued> faults;
    std::vector<int> undecodable;      // buffers whose picture cannot be converted
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
    Dequeued Dequeue(int* buffer) override {
        Dequeued found = Dequeued::kFrame;
        if (!state_->faults.empty()) {
            found = state_->faults.front();
            state_->faults.pop_front();
        }
        if (found == Dequeued::kNone || found == Dequeued::kFailed) {
            return found;
        }
        *buffer = state_->filled.front();
        state_->filled.pop_front();
        return found;
    }
    bool Requeue(int buffer) override {
        state_->requeued.push_back(buffer);
        return true;
    }
    bool Convert(int buffer, unsigned char* frame) override {
        if (std::count(state_->undecodable.begin(), state_->undecodable.end(), buffer) != 0) {
            return false;
        }
        std::memset(frame, state_->brightness[buffer], kFrameBytes);
        return true;
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

    // What one take gave, and the one brightness of the frame afterwards (-1 if it is not
    // uniform; 0x77 when the take left it alone).
    struct Taken {
        drivers::Take take;
        int brightness;
    };
    Taken TakeBrightness(int waitMs = 20) {
        std::vector<unsigned char> frame(kFrameBytes, 0x77);
        drivers::Take take = camera->TakePicture(0, waitMs, frame.data());
        bool uniform = std::all_of(frame.begin(), frame.end(),
                                   [&](unsigned char byte) { return byte == frame[0]; });
        return {take, uniform ? frame[0] : -1};
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
    Taken taken = TakeBrightness();
    EXPECT_EQ(taken.take, drivers::Take::kPicture);
    EXPECT_EQ(taken.brightness, 20);
    EXPECT_EQ(device.requeued, (std::vector<int>{0, 1}));
    EXPECT_EQ(device.waits, (std::vector<int>{0, 0, 0})) << "no waiting while pictures are there";
    EXPECT_TRUE(device.filled.empty());

    device.requeued.clear();
    Fill(0, 30);
    EXPECT_EQ(TakeBrightness().brightness, 30);
    EXPECT_EQ(device.requeued, (std::vector<int>{0}));
    EXPECT_EQ(device.closeCount, 0);
}

TEST_F(V4l2CameraTest, NothingWithinTheWaitLeavesTheFrameAloneAndTheDeviceOpen) {
    Taken taken = TakeBrightness(35);
    EXPECT_EQ(taken.take, drivers::Take::kNothing);
    EXPECT_EQ(taken.brightness, 0x77);
    EXPECT_EQ(device.waits, (std::vector<int>{0, 35})) << "waits only as long as it is given";
    EXPECT_EQ(device.closeCount, 0);
}

TEST_F(V4l2CameraTest, FailedDeviceIsLostUntilConnectedAgainWhichClosesItFirst) {
    Fill(1, 60);
    ASSERT_EQ(TakeBrightness().brightness, 60);

    device.unplugged = true;
    EXPECT_EQ(TakeBrightness().take, drivers::Take::kLost);
    device.opens = false;
    std::string reason;
    EXPECT_FALSE(camera->Connect(&reason));
    EXPECT_EQ(device.closeCount, 1);
    EXPECT_EQ(TakeBrightness().take, drivers::Take::kLost) << "nothing open to take from";

    // The camera comes back: its pictures are handed out again.
    device.unplugged = false;
    device.opens = true;
    ASSERT_TRUE(camera->Connect(&reason));
    EXPECT_EQ(device.closeCount, 1) << "a device that failed to open is not closed again";
    Fill(0, 90);
    EXPECT_EQ(TakeBrightness().brightness, 90);
    EXPECT_EQ(device.openCount, 3);
}

// A damaged buffer is handed back unseen, a dequeue that finds nothing is no failure, and a
// picture that cannot be converted is skipped: the take goes on to the next good picture.
TEST_F(V4l2CameraTest, PassesOverBadFramesToTheNextGoodOne) {
    using Dequeued = VideoDevice::Dequeued;
    struct Case {
        const char* what;
        std::vector<Dequeued> faults;
        std::vector<int> undecodable;
    };
    const Case cases[] = {
        {"damaged", {Dequeued::kDamaged}, {}},
        {"nothing after all", {Dequeued::kNone}, {}},
        {"undecodable", {}, {0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        device.faults.assign(c.faults.begin(), c.faults.end());
        device.undecodable = c.undecodable;
        device.requeued.clear();
        Fill(0, 40);
        Taken taken = TakeBrightness();
        if (c.faults == std::vector<Dequeued>{Dequeued::kNone}) {
            // The frame found nothing; the one filled is there on the next look.
            EXPECT_EQ(taken.take, drivers::Take::kPicture);
            EXPECT_EQ(taken.brightness, 40);
        } else {
            EXPECT_EQ(taken.take, drivers::Take::kNothing);
            EXPECT_EQ(taken.brightness, 0x77) << "a bad picture is never written";
            EXPECT_EQ(device.requeued, (std::vector<int>{0})) << "the bad buffer goes back";
            device.undecodable.clear();
            Fill(1, 50);
            EXPECT_EQ(TakeBrightness().brightness, 50);
        }
        EXPECT_EQ(device.closeCount, 0);
    }
}

// Motion-JPEG is decoded at the smallest reduced size that still fills the frame once cropped
// to 4:3, and never below it.
TEST(MjpegReduction, IsTheSmallestSizeThatStillFillsTheFrame) {
    struct Case {
        int width, height, halvings;
    };
    const Case cases[] = {
        {320, 240, 0},   {352, 288, 0},   {640, 480, 1}, {1280, 720, 1}, {1920, 1080, 2},
        {2560, 1440, 2}, {5120, 2880, 3}, {639, 479, 1},  // FFmpeg rounds a reduced size up: 320 x
                                                          // 240
    };
    for (const Case& c : cases) {
        EXPECT_EQ(drivers::ReductionFor(c.width, c.height), c.halvings)
            << c.width << " x " << c.height;
    }
}

}  // namespace
}  // namespace morvala
