// The capture window: a hidden child of the subset that connects capture driver indices to
// camera sources, checks the video format, and hands each grabbed frame to the frame callback.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "platform/drivers/camera.h"
#include "platform/testing/camera_hooks.h"
#include "platform/testing/display_hooks.h"
#include "platform/win32.h"
#include "tests/camera_test_media.h"
#include "tests/camera_test_window.h"

namespace morvala {
namespace {

using morvala::testing::RequestsReceived;
using morvala::testing::UseScriptedCamera;
using test::Connects;
using test::FailsToConnect;
using test::RefusesTheFormat;

// What the frame callback was given, copied while the frame is valid.
struct Delivery {
    HWND window;
    VIDEOHDR header;
    std::vector<unsigned char> pixels;
};
std::vector<Delivery> deliveries;

LRESULT CALLBACK RecordFrame(HWND window, LPVIDEOHDR header) {
    deliveries.push_back(
        {window, *header,
         std::vector<unsigned char>(header->lpData, header->lpData + header->dwBytesUsed)});
    return TRUE;
}

BITMAPINFO FrameFormat() {
    BITMAPINFO format = {};
    format.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    format.bmiHeader.biWidth = 320;
    format.bmiHeader.biHeight = 240;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 24;
    format.bmiHeader.biCompression = BI_RGB;
    return format;
}

struct CaptureWindowTest : ::testing::Test {
    void SetUp() override {
        deliveries.clear();
        parent = test::MakeParentWindow();
        capture = capCreateCaptureWindowA("Capture Window", WS_CHILD, 0, 0, 320, 240, parent, 1);
        ASSERT_NE(capture, nullptr);
    }

    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return SendMessageA(capture, message, wParam, lParam);
    }
    LRESULT Connect(int index) { return Send(WM_CAP_DRIVER_CONNECT, index); }
    LRESULT SetFormat(BITMAPINFO format, WPARAM size = sizeof(BITMAPINFO)) {
        return Send(WM_CAP_SET_VIDEOFORMAT, size, reinterpret_cast<LPARAM>(&format));
    }
    LRESULT SetCallback() {
        return Send(WM_CAP_SET_CALLBACK_FRAME, 0, reinterpret_cast<LPARAM>(RecordFrame));
    }
    LRESULT Grab() { return Send(WM_CAP_GRAB_FRAME); }

    HWND parent = nullptr;
    HWND capture = nullptr;
};

TEST_F(CaptureWindowTest, IsAHiddenChildOfItsParent) {
    morvala::testing::WindowDescription window = morvala::testing::DescribeWindow(capture);
    EXPECT_EQ(window.title, "Capture Window");
    EXPECT_EQ(window.style, static_cast<DWORD>(WS_CHILD));
    EXPECT_EQ(window.parent, parent);
    EXPECT_FALSE(window.visible);
    RECT client = {};
    ASSERT_TRUE(GetClientRect(capture, &client));
    EXPECT_EQ(client.left, 0);
    EXPECT_EQ(client.top, 0);
    EXPECT_EQ(client.right, 320);
    EXPECT_EQ(client.bottom, 240);
}

TEST_F(CaptureWindowTest, ConnectsOnlyTheIndicesWhoseSourceOpens) {
    UseScriptedCamera({FailsToConnect(), Connects(), FailsToConnect(), Connects()});
    const struct {
        int index;
        LRESULT connected;
        int requests;  // counted for that index
    } cases[] = {{0, FALSE, 1}, {1, TRUE, 1},  {2, FALSE, 1},  {3, TRUE, 1},
                 {4, FALSE, 1}, {9, FALSE, 1}, {10, FALSE, 0}, {-1, FALSE, 0}};
    ::testing::internal::CaptureStderr();
    for (const auto& attempt : cases) {
        EXPECT_EQ(Connect(attempt.index), attempt.connected) << attempt.index;
        EXPECT_EQ(RequestsReceived(attempt.index).connects, attempt.requests) << attempt.index;
    }
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "morvala: camera scripted 0: scripted not to connect\n"
              "morvala: camera scripted 2: scripted not to connect\n");
}

TEST_F(CaptureWindowTest, AcceptsOnlyTheOneFrameFormat) {
    UseScriptedCamera({Connects()});
    ASSERT_TRUE(Connect(0));
    struct Case {
        const char* what;
        void (*change)(BITMAPINFOHEADER&);
        LRESULT accepted;
    };
    const Case cases[] = {
        {"320 x 240, 24-bit BI_RGB", [](BITMAPINFOHEADER&) {}, TRUE},
        {"with its image size", [](BITMAPINFOHEADER& h) { h.biSizeImage = 230400; }, TRUE},
        {"wrong image size", [](BITMAPINFOHEADER& h) { h.biSizeImage = 1000; }, FALSE},
        {"top-down", [](BITMAPINFOHEADER& h) { h.biHeight = -240; }, FALSE},
        {"640 wide", [](BITMAPINFOHEADER& h) { h.biWidth = 640; }, FALSE},
        {"480 high", [](BITMAPINFOHEADER& h) { h.biHeight = 480; }, FALSE},
        {"32-bit", [](BITMAPINFOHEADER& h) { h.biBitCount = 32; }, FALSE},
        {"compressed", [](BITMAPINFOHEADER& h) { h.biCompression = 0x47504A4D; }, FALSE},
        {"two planes", [](BITMAPINFOHEADER& h) { h.biPlanes = 2; }, FALSE},
        {"header of another size", [](BITMAPINFOHEADER& h) { h.biSize = 108; }, FALSE},
    };
    for (const Case& format : cases) {
        BITMAPINFO info = FrameFormat();
        format.change(info.bmiHeader);
        EXPECT_EQ(SetFormat(info), format.accepted) << format.what;
    }
    EXPECT_FALSE(SetFormat(FrameFormat(), 20)) << "a record too small";
    EXPECT_FALSE(Send(WM_CAP_SET_VIDEOFORMAT, sizeof(BITMAPINFO), 0)) << "no record";
    EXPECT_EQ(RequestsReceived(0).formats, static_cast<int>(std::size(cases)) + 2);
}

TEST_F(CaptureWindowTest, RefusesTheFormatWithoutADriverOrWhenTheSourceDoes) {
    UseScriptedCamera({RefusesTheFormat(), FailsToConnect()});
    EXPECT_FALSE(SetFormat(FrameFormat())) << "nothing connected yet";
    EXPECT_TRUE(Connect(0));
    EXPECT_FALSE(SetFormat(FrameFormat())) << "the source refuses";
    EXPECT_EQ(RequestsReceived(0).formats, 1);
}

TEST_F(CaptureWindowTest, GrabHandsTheNextScriptedFrameToTheCallback) {
    UseScriptedCamera({Connects({test::PatternFrame(1), test::PatternFrame(2)})});
    ASSERT_TRUE(Connect(0));
    ASSERT_TRUE(SetFormat(FrameFormat()));
    SetCallback();
    morvala::testing::AdvanceClock(40);
    for (int grab = 0; grab < 3; ++grab) {
        EXPECT_TRUE(Grab());
        morvala::testing::AdvanceClock(25);
    }

    ASSERT_EQ(deliveries.size(), 3u);
    const int expectedFrames[] = {1, 2, 2};  // the last one repeats
    for (int grab = 0; grab < 3; ++grab) {
        const Delivery& delivery = deliveries[grab];
        EXPECT_EQ(delivery.window, capture);
        EXPECT_EQ(delivery.header.dwBufferLength, 230400u);
        EXPECT_EQ(delivery.header.dwBytesUsed, 230400u);
        EXPECT_EQ(delivery.header.dwTimeCaptured, static_cast<DWORD>(40 + 25 * grab));
        EXPECT_EQ(delivery.pixels, test::PatternFrame(expectedFrames[grab])) << grab;
    }
    EXPECT_NE(deliveries[0].header.lpData, deliveries[1].header.lpData);
    morvala::testing::CameraRequests requests = RequestsReceived(0);
    EXPECT_EQ(requests.callbacks, 1);
    EXPECT_EQ(requests.grabs, 3);
    EXPECT_EQ(requests.deliveries, 3);
}

TEST_F(CaptureWindowTest, FrameStaysIntactUntilTheGrabAfterTheNext) {
    UseScriptedCamera({Connects({test::PatternFrame(1), test::PatternFrame(2)})});
    ASSERT_TRUE(Connect(0));
    SetCallback();
    Grab();
    Grab();
    const VIDEOHDR& first = deliveries[0].header;
    EXPECT_EQ(std::vector<unsigned char>(first.lpData, first.lpData + 230400),
              test::PatternFrame(1));
}

TEST_F(CaptureWindowTest, GrabWithoutADriverIsRefusedAndWithoutCallbackDeliversNothing) {
    UseScriptedCamera({Connects()});
    SetCallback();
    EXPECT_FALSE(Grab());
    EXPECT_TRUE(deliveries.empty());

    ASSERT_TRUE(Connect(0));
    Send(WM_CAP_SET_CALLBACK_FRAME, 0, 0);
    EXPECT_TRUE(Grab());
    EXPECT_TRUE(deliveries.empty());
    EXPECT_EQ(RequestsReceived(0).grabs, 1);
    EXPECT_EQ(RequestsReceived(0).deliveries, 0);
}

TEST_F(CaptureWindowTest, DestroyedWindowForgetsItsDriver) {
    UseScriptedCamera({Connects()});
    ASSERT_TRUE(Connect(0));
    ASSERT_TRUE(DestroyWindow(capture));
    EXPECT_FALSE(IsWindow(capture));

    capture = capCreateCaptureWindowA("Capture Window", WS_CHILD, 0, 0, 320, 240, parent, 1);
    SetCallback();
    EXPECT_FALSE(Grab()) << "a new window starts without a driver";
    EXPECT_TRUE(Connect(0));
    EXPECT_TRUE(Grab());
}

TEST_F(CaptureWindowTest, CreationFailsOnceWhenTheTestSaysSo) {
    morvala::testing::FailCaptureWindowCreation();
    EXPECT_EQ(capCreateCaptureWindowA("Capture Window", WS_CHILD, 0, 0, 320, 240, parent, 1),
              nullptr);
    EXPECT_NE(capCreateCaptureWindowA("Capture Window", WS_CHILD, 0, 0, 320, 240, parent, 2),
              nullptr);
}

// --- Patience with a silent or lost camera ---

using drivers::Take;

// One grab after the clock moved on: the frame handed out (a PatternFrame seed, 0 for black)
// and how many reopens the source saw by then.
struct PatienceStep {
    uint64_t advanceMs;
    int frame;
    int reconnects;
};

struct PatienceTest : CaptureWindowTest {
    // Runs the grabs against a scripted camera whose pictures are PatternFrame(1), (2), ...
    // and gives what the capture window said on stderr.
    std::string Run(morvala::testing::ScriptedCameraIndex camera,
                    const std::vector<PatienceStep>& steps) {
        UseScriptedCamera({camera});
        deliveries.clear();
        EXPECT_TRUE(Connect(0));
        SetCallback();
        ::testing::internal::CaptureStderr();
        uint64_t atMs = 0;
        for (const PatienceStep& step : steps) {
            atMs += step.advanceMs;
            morvala::testing::AdvanceClock(step.advanceMs);
            EXPECT_TRUE(Grab());
            std::vector<unsigned char> expected = step.frame == 0
                                                      ? std::vector<unsigned char>(230400)
                                                      : test::PatternFrame(step.frame);
            EXPECT_EQ(deliveries.back().pixels, expected) << "at " << atMs << " ms";
            EXPECT_EQ(RequestsReceived(0).reconnects, step.reconnects) << "at " << atMs << " ms";
        }
        EXPECT_EQ(deliveries.size(), steps.size()) << "every grab delivers a frame";
        return ::testing::internal::GetCapturedStderr();
    }
};

constexpr char kGivenUp[] = "morvala: camera scripted 0: no picture, reopening\n";
constexpr char kBack[] = "morvala: camera scripted 0: back\n";

TEST_F(PatienceTest, SilentCameraIsReopenedAfterTwoSecondsSaidOnceAndBackOnlyWithAPicture) {
    auto camera = Connects({test::PatternFrame(1), test::PatternFrame(2)});
    camera.takes = {Take::kPicture, Take::kNothing, Take::kNothing,
                    Take::kNothing, Take::kNothing, Take::kNothing};
    std::string said = Run(camera, {{0, 1, 0},
                                    {1999, 1, 0},  // silent, not yet lost
                                    {1, 1, 0},     // two seconds: given up
                                    {999, 1, 0},   // too soon to reopen
                                    {1, 1, 1},     // reopened, no picture yet
                                    {5000, 1, 1},  // still silent: given up again, quietly
                                    {1000, 1, 2},  // reopened again
                                    {10, 2, 2}});  // a picture: back
    EXPECT_EQ(said, std::string(kGivenUp) + kBack);
}

TEST_F(PatienceTest, LostCameraKeepsItsLastPictureWhileReopenedOnceASecond) {
    auto camera = Connects({test::PatternFrame(1), test::PatternFrame(2)});
    camera.takes = {Take::kPicture, Take::kLost, Take::kNothing};
    camera.reconnects = {false, false};
    std::string said = Run(camera, {{0, 1, 0},
                                    {40, 1, 0},    // lost at once
                                    {1000, 1, 1},  // fails
                                    {500, 1, 1},
                                    {500, 1, 2},   // fails
                                    {1000, 1, 3},  // opens, silent at first
                                    {40, 2, 3}});
    EXPECT_EQ(said, std::string(kGivenUp) + kBack);
}

TEST_F(PatienceTest, FirstPictureAfterAnOpenHasFiveSecondsBeforeSilenceCounts) {
    auto camera = Connects({test::PatternFrame(3)});
    camera.takes = {Take::kNothing, Take::kNothing, Take::kNothing};
    std::string said = Run(camera, {{0, 0, 0},
                                    {4999, 0, 0},  // black: no picture yet, still patient
                                    {1, 0, 0},     // five seconds: given up
                                    {1000, 3, 1}});
    EXPECT_EQ(said, std::string(kGivenUp) + kBack);
}

TEST_F(PatienceTest, ConnectingADriverAgainStartsAfresh) {
    auto camera = Connects({test::PatternFrame(1)});
    camera.takes = {Take::kPicture, Take::kLost};
    Run(camera, {{0, 1, 0}, {40, 1, 0}});

    auto next = Connects({test::PatternFrame(2)});
    next.takes = {Take::kNothing};
    EXPECT_EQ(Run(next, {{1000, 0, 0}, {10, 2, 0}}), "")
        << "neither the last picture nor the loss of the driver before carries over";
}

// --- Real sources behind the capture window, as MORVALA_CAMERA chooses them ---

struct ChosenCameraTest : CaptureWindowTest {
    void SetUp() override {
        drivers::UseCameraSources(nullptr);
        CaptureWindowTest::SetUp();
    }
    void TearDown() override { unsetenv("MORVALA_CAMERA"); }
};

TEST_F(ChosenCameraTest, SyntheticSceneFollowsThePinnedClock) {
    setenv("MORVALA_CAMERA", "synthetic", 1);
    morvala::testing::AdvanceClock(500);
    ASSERT_TRUE(Connect(0));
    ASSERT_TRUE(SetFormat(FrameFormat()));
    SetCallback();
    morvala::testing::AdvanceClock(1234);
    Grab();
    Grab();

    auto scene = drivers::MakeSyntheticCamera();
    std::vector<unsigned char> expected(drivers::kFrameBytes);
    scene->TakePicture(1234, 0, expected.data());
    ASSERT_EQ(deliveries.size(), 2u);
    EXPECT_EQ(deliveries[0].pixels, expected);
    EXPECT_EQ(deliveries[1].pixels, expected);
}

TEST_F(ChosenCameraTest, SourceThatFailsSaysWhichAndWhyInOneLine) {
    std::string broken = test::TemporaryPath("broken.avi");
    test::WriteFile(broken, std::vector<unsigned char>(2048, 0x11));
    const struct {
        std::string camera;
        int index;
        std::string line;
    } cases[] = {
        {broken, 0,
         "morvala: camera " + broken + ": cannot open: Invalid data found when processing input\n"},
        {"/dev/video63", 0,
         "morvala: camera /dev/video63: cannot open: No such file or directory\n"},
        {"synthetic", 1, ""},
    };
    for (const auto& choice : cases) {
        setenv("MORVALA_CAMERA", choice.camera.c_str(), 1);
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(Connect(choice.index)) << choice.camera;
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), choice.line);
    }
}

}  // namespace
}  // namespace morvala
