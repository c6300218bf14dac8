// PipeWire cameras against a real daemon: each test runs in a private session (its own bus,
// PipeWire and WirePlumber) with test cameras of known formats, sizes and patterns.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/drivers/camera.h"
#include "platform/drivers/camera_pipewire.h"
#include "platform/drivers/camera_pipewire_stream.h"
#include "platform/testing/display_hooks.h"
#include "platform/win32.h"
#include "tests/camera_test_media.h"
#include "tests/camera_test_window.h"
#include "tests/pipewire/pipewire_session.h"

namespace morvala {
namespace {

using drivers::CameraSource;
using drivers::Take;
using test::FramePixel;
using test::Rgb;
using Clock = std::chrono::steady_clock;

// Generous: a picture comes within milliseconds of a connect; the bound only ends a test
// whose camera never sends one.
constexpr auto kPatience = std::chrono::seconds(5);

struct PipeWireCameraTest : ::testing::Test {
    void SetUp() override {
        unsetenv("MORVALA_CAMERA");
        drivers::UseCameraSources(nullptr);
        std::string reason;
        if (!session.Start(&reason)) {
            GTEST_SKIP() << "no private PipeWire session can be started here: " << reason;
        }
    }
    void TearDown() override {
        source.reset();
        session.Stop();
        unsetenv("MORVALA_CAMERA");
    }

    // Takes until a picture comes or the patience runs out; the last take's result.
    Take TakeUntilPicture(std::vector<unsigned char>* frame) {
        auto deadline = Clock::now() + kPatience;
        Take take = Take::kNothing;
        while (take == Take::kNothing && Clock::now() < deadline) {
            take = source->TakePicture(0, 20, frame->data());
        }
        return take;
    }

    test::PipeWireSession session;
    std::unique_ptr<CameraSource> source;
};

bool Near(Rgb actual, Rgb expected, int tolerance) {
    for (int i = 0; i < 3; ++i) {
        if (std::abs(actual[i] - expected[i]) > tolerance) {
            return false;
        }
    }
    return true;
}

std::string Describe(Rgb colour) {
    return "(" + std::to_string(colour[0]) + ", " + std::to_string(colour[1]) + ", " +
           std::to_string(colour[2]) + ")";
}

// The test camera's pattern as the frame must show it: the 4:3 centre of the picture, upright,
// red top left, green top right, blue bottom left, white bottom right; no magenta band from
// outside the centre. Pixels near the quadrants' edges may blend.
void ExpectQuadrants(const std::vector<unsigned char>& frame, int tolerance) {
    constexpr int kBlend = 6;
    int wrong = 0;
    std::string first;
    for (int y = 0; y < drivers::kFrameHeight; ++y) {
        for (int x = 0; x < drivers::kFrameWidth; ++x) {
            if (std::abs(x - 160) < kBlend || std::abs(y - 120) < kBlend) {
                continue;
            }
            Rgb expected = y < 120 ? (x < 160 ? Rgb{255, 0, 0} : Rgb{0, 255, 0})
                                   : (x < 160 ? Rgb{0, 0, 255} : Rgb{255, 255, 255});
            Rgb actual = FramePixel(frame, x, y);
            if (!Near(actual, expected, tolerance) && wrong++ == 0) {
                first = "at (" + std::to_string(x) + ", " + std::to_string(y) + ") " +
                        Describe(actual) + " instead of " + Describe(expected);
            }
        }
    }
    EXPECT_EQ(wrong, 0) << "pixels off the pattern, first " << first;
}

TEST_F(PipeWireCameraTest, EveryFormatAndShapeArrivesUprightInItsColoursCroppedNotSqueezed) {
    const struct {
        const char* format;
        int width;
        int height;
        bool leaveStrideUnset;
        int tolerance;  // chroma subsampling and JPEG's loss blur colours a little
    } cases[] = {
        {"RGB", 320, 240, false, 2},  {"BGR", 640, 480, false, 2},   {"BGRx", 320, 240, true, 2},
        {"RGBA", 160, 120, false, 2}, {"YUY2", 640, 360, true, 12},  {"YUY2", 480, 480, false, 12},
        {"RGB", 1280, 720, false, 2}, {"MJPG", 640, 360, false, 24}, {"NV12", 640, 360, false, 12},
        {"I420", 320, 320, true, 12},
    };
    int number = 0;
    for (const auto& camera : cases) {
        std::string name = "camera-" + std::to_string(number++);
        SCOPED_TRACE(name + ": " + camera.format + " " + std::to_string(camera.width) + "x" +
                     std::to_string(camera.height) + (camera.leaveStrideUnset ? ", stride 0" : ""));
        std::vector<std::string> options;
        if (camera.leaveStrideUnset) {
            options.push_back("--no-stride");
        }
        ASSERT_TRUE(session.StartCamera(name, "Test camera", camera.format, camera.width,
                                        camera.height, options));
        source = drivers::MakePipeWireCamera(name);
        std::string reason;
        ASSERT_TRUE(source->Connect(&reason)) << reason;
        std::vector<unsigned char> frame(drivers::kFrameBytes);
        ASSERT_EQ(TakeUntilPicture(&frame), Take::kPicture);
        ExpectQuadrants(frame, camera.tolerance);
        source.reset();
        session.StopCamera(name);
    }
}

// PipeWire's own test pattern, made as the session's tools make it: colour bars at 75 %,
// white, yellow, cyan, green, magenta, red, blue from left to right across the top.
TEST_F(PipeWireCameraTest, SessionsOwnTestPatternShowsItsColourBarsInOrder) {
    ASSERT_TRUE(session.CreateTestPattern("pattern"));
    setenv("MORVALA_CAMERA", "pipewire", 1);
    source = drivers::MakeCameraSource(0);
    std::string reason;
    ASSERT_TRUE(source->Connect(&reason)) << reason;
    std::vector<unsigned char> frame(drivers::kFrameBytes);
    ASSERT_EQ(TakeUntilPicture(&frame), Take::kPicture);
    const Rgb bars[] = {{191, 191, 191}, {191, 191, 0}, {0, 191, 191}, {0, 191, 0},
                        {191, 0, 191},   {191, 0, 0},   {0, 0, 191}};
    for (int bar = 0; bar < 7; ++bar) {
        int x = (2 * bar + 1) * drivers::kFrameWidth / 14;
        Rgb actual = FramePixel(frame, x, 20);
        EXPECT_TRUE(Near(actual, bars[bar], 8))
            << "bar " << bar << " at x " << x << " is " << Describe(actual);
    }
}

TEST_F(PipeWireCameraTest, ChoosesTheCameraByNameOrDescriptionOrTheSessionsDefault) {
    ASSERT_TRUE(session.StartCamera("front", "Front Camera", "RGB", 320, 240));
    ASSERT_TRUE(session.StartCamera("side", "Side Camera", "BGR", 320, 240));
    const struct {
        const char* choice;
        const char* name;
    } cases[] = {
        {"pipewire:side", "pipewire:side"},
        {"pipewire:Front Camera", "pipewire:Front Camera"},
        {"pipewire", "pipewire"},
    };
    for (const auto& choice : cases) {
        SCOPED_TRACE(choice.choice);
        setenv("MORVALA_CAMERA", choice.choice, 1);
        source = drivers::MakeCameraSource(0);
        ASSERT_NE(source, nullptr);
        EXPECT_EQ(source->Name(), choice.name);
        std::string reason;
        ASSERT_TRUE(source->Connect(&reason)) << reason;
        std::vector<unsigned char> frame(drivers::kFrameBytes);
        ASSERT_EQ(TakeUntilPicture(&frame), Take::kPicture);
        ExpectQuadrants(frame, 2);
        EXPECT_EQ(drivers::MakeCameraSource(1), nullptr);
    }
}

// Unset, index 0 is the session's camera while one is running; the other indices stay the
// V4L2 devices.
TEST_F(PipeWireCameraTest, UnsetChoiceTakesTheSessionsCameraFirst) {
    ASSERT_TRUE(session.StartCamera("only", "Only Camera", "YUY2", 640, 480));
    source = drivers::MakeCameraSource(0);
    std::string reason;
    ASSERT_TRUE(source->Connect(&reason)) << reason;
    EXPECT_EQ(source->Name(), "pipewire");
    std::vector<unsigned char> frame(drivers::kFrameBytes);
    ASSERT_EQ(TakeUntilPicture(&frame), Take::kPicture);
    ExpectQuadrants(frame, 12);
    EXPECT_EQ(drivers::MakeCameraSource(1)->Name(), "/dev/video1");

    // Without PipeWire index 0 is /dev/video0, and a failure says why for both.
    session.StopDaemon();
    source = drivers::MakeCameraSource(0);
    std::string both = "pipewire: no PipeWire running (nothing at " + session.RuntimeDir() +
                       "/pipewire-0); /dev/video0: ";
    if (!source->Connect(&reason)) {
        EXPECT_EQ(reason.substr(0, both.size()), both);
    } else {
        EXPECT_EQ(source->Name(), "/dev/video0");
    }
}

// Every way to fail gives up at once with its reason, but for a session without a session
// manager, which nothing tells apart from a slow one: that waits its 3 s.
TEST_F(PipeWireCameraTest, CameraThatCannotBeHadFailsWithTheReason) {
    std::string empty = test::TemporaryPath("runtime");
    std::filesystem::create_directories(empty);
    enum Session { kNoCamera, kCamera, kCameraOfAnOddFormat, kNoDaemon, kNoSessionManager };
    const struct {
        const char* choice;
        Session session;
        std::vector<std::string> reasons;  // the one given, or one of them where a race decides
    } cases[] = {
        {"pipewire", kNoCamera, {"no camera in the PipeWire session"}},
        {"pipewire:Back Camera", kNoCamera, {"no camera in the PipeWire session"}},
        {"pipewire:Back Camera",
         kCamera,
         {"no camera named \"Back Camera\" in the PipeWire session (it has \"front\")"}},
        // The session removes the failed link, at times before PipeWire answers for its state.
        {"pipewire",
         kCameraOfAnOddFormat,
         {"PipeWire cannot link the camera to Morvala: no more input formats",
          "PipeWire cannot link the camera to Morvala: the session removed the link before it "
          "carried a picture"}},
        {"pipewire", kNoDaemon, {"no PipeWire running (nothing at " + empty + "/pipewire-0)"}},
        {"pipewire",
         kNoSessionManager,
         {"the session linked no camera to Morvala within 3 s (is a session manager such as "
          "WirePlumber running?)"}},
    };
    std::string sessionDir = session.RuntimeDir();
    for (const auto& choice : cases) {
        SCOPED_TRACE(std::string(choice.choice) + ", session " + std::to_string(choice.session));
        if (choice.session != kNoCamera) {
            ASSERT_TRUE(session.StartCamera(
                "front", "Front Camera", choice.session == kCameraOfAnOddFormat ? "RGB16" : "RGB",
                320, 240));
        }
        if (choice.session == kNoSessionManager) {
            session.StopSessionManager();
        }
        if (choice.session == kNoDaemon) {
            setenv("XDG_RUNTIME_DIR", empty.c_str(), 1);
        }
        setenv("MORVALA_CAMERA", choice.choice, 1);
        source = drivers::MakeCameraSource(0);
        std::string reason;
        auto started = Clock::now();
        EXPECT_FALSE(source->Connect(&reason));
        EXPECT_LT(Clock::now() - started, std::chrono::seconds(10)) << "gave up only after long";
        EXPECT_NE(std::find(choice.reasons.begin(), choice.reasons.end(), reason),
                  choice.reasons.end())
            << reason;
        setenv("XDG_RUNTIME_DIR", sessionDir.c_str(), 1);
        session.StopCamera("front");
    }
}

TEST_F(PipeWireCameraTest, DaemonThatStopsWhileStreamingIsALostCamera) {
    ASSERT_TRUE(session.StartCamera("front", "Front Camera", "RGB", 320, 240));
    source = drivers::MakePipeWireCamera("front");
    std::string reason;
    ASSERT_TRUE(source->Connect(&reason)) << reason;
    std::vector<unsigned char> frame(drivers::kFrameBytes);
    ASSERT_EQ(TakeUntilPicture(&frame), Take::kPicture);
    session.StopDaemon();
    EXPECT_EQ(TakeUntilPicture(&frame), Take::kLost);
    EXPECT_FALSE(source->Connect(&reason));
    EXPECT_EQ(reason, "no PipeWire running (nothing at " + session.RuntimeDir() + "/pipewire-0)");
}

// A picture that came while nobody took one is replaced by the next: a take after a pause
// gives the newest, not the oldest waiting.
TEST_F(PipeWireCameraTest, TakeGivesTheNewestPictureNotTheNextInLine) {
    ASSERT_TRUE(session.StartCamera("counter", "Counting Camera", "RGB", 320, 240, {"--counting"}));
    std::string reason;
    auto stream = drivers::PipeWireCameraStream::Open("counter", true, &reason);
    ASSERT_NE(stream, nullptr) << reason;
    drivers::CameraPicture picture;
    auto takeNumber = [&] {
        auto deadline = Clock::now() + kPatience;
        while (Clock::now() < deadline) {
            if (stream->TakeNewest(20, &picture) == drivers::StreamTake::kPicture) {
                return static_cast<int>(picture.bytes.at(0));
            }
        }
        ADD_FAILURE() << "no picture came";
        return 0;
    };
    int first = takeNumber();
    std::this_thread::sleep_for(std::chrono::milliseconds(600));  // 15 pictures at 25 a second
    int later = takeNumber();
    EXPECT_GE((later - first + 256) % 256, 10) << "picture " << first << ", then " << later;
}

// --- Behind the capture window, on the pinned clock ---

std::vector<std::vector<unsigned char>> delivered;

LRESULT CALLBACK KeepFrame(HWND, LPVIDEOHDR header) {
    delivered.emplace_back(header->lpData, header->lpData + header->dwBytesUsed);
    return TRUE;
}

// A refresh of the window: a grab, then as much real time as the clock moves on.
void Refresh(HWND capture) {
    SendMessageA(capture, WM_CAP_GRAB_FRAME, 0, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    morvala::testing::AdvanceClock(40);
}

// The pattern's red and white quadrants, or cyan and black when the camera inverts it.
bool IsPattern(const std::vector<unsigned char>& frame, bool inverted) {
    auto colour = [inverted](Rgb c) {
        return inverted ? Rgb{static_cast<unsigned char>(255 - c[0]),
                              static_cast<unsigned char>(255 - c[1]),
                              static_cast<unsigned char>(255 - c[2])}
                        : c;
    };
    return Near(FramePixel(frame, 80, 60), colour({255, 0, 0}), 2) &&
           Near(FramePixel(frame, 240, 180), colour({255, 255, 255}), 2);
}

TEST_F(PipeWireCameraTest, CameraDestroyedWhileStreamingLeavesItsLastPictureAndComesBackLive) {
    ASSERT_TRUE(session.StartCamera("front", "Front Camera", "RGB", 320, 240));
    setenv("MORVALA_CAMERA", "pipewire:front", 1);
    HWND parent = test::MakeParentWindow();
    HWND capture = capCreateCaptureWindowA("Capture Window", WS_CHILD, 0, 0, 320, 240, parent, 1);
    ASSERT_TRUE(SendMessageA(capture, WM_CAP_DRIVER_CONNECT, 0, 0));
    SendMessageA(capture, WM_CAP_SET_CALLBACK_FRAME, 0, reinterpret_cast<LPARAM>(KeepFrame));
    delivered.clear();
    auto refreshUntil = [&](auto done) {
        auto deadline = Clock::now() + kPatience;
        while (!done() && Clock::now() < deadline) {
            Refresh(capture);
        }
        return done();
    };
    ASSERT_TRUE(
        refreshUntil([] { return !delivered.empty() && IsPattern(delivered.back(), false); }));
    std::vector<unsigned char> lastGood = delivered.back();

    ::testing::internal::CaptureStderr();
    session.StopCamera("front");
    size_t before = delivered.size();
    for (int refresh = 0; refresh < 40; ++refresh) {  // 1.6 s on both clocks
        Refresh(capture);
    }
    std::string saidWhileGone = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(saidWhileGone, "morvala: camera pipewire:front: no picture, reopening\n");
    ASSERT_EQ(delivered.size(), before + 40) << "every refresh still gets a frame";
    for (size_t i = before; i < delivered.size(); ++i) {
        ASSERT_EQ(delivered[i], lastGood) << "refresh " << i - before;
    }

    ::testing::internal::CaptureStderr();
    ASSERT_TRUE(session.StartCamera("front", "Front Camera", "BGR", 640, 480, {"--inverted"}));
    // Live again: the camera that came back, in another format, shows its inverted pattern.
    bool live = refreshUntil([] { return IsPattern(delivered.back(), true); });
    std::string saidOnReturn = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(live);
    EXPECT_EQ(saidOnReturn, "morvala: camera pipewire:front: back\n");
    DestroyWindow(parent);
}

}  // namespace
}  // namespace morvala
