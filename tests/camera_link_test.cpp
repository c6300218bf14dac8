// The program's camera link on the headless display with scripted cameras: the video format,
// opening the first driver that connects, the two start-up failures, and the grab hand-shake.
#include <gtest/gtest.h>

#include <stdio.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <string>

#include "platform/camera_link.h"
#include "platform/testing/camera_hooks.h"
#include "platform/testing/display_hooks.h"
#include "tests/camera_test_window.h"

namespace morvala {
namespace {

using morvala::testing::RequestsReceived;
using morvala::testing::ScriptedCameraIndex;
using morvala::testing::UseScriptedCamera;
using test::Connects;
using test::FailsToConnect;
using test::RefusesTheFormat;

std::vector<ScriptedCameraIndex> FirstWorkingDriver(int index) {
    std::vector<ScriptedCameraIndex> drivers(10);
    drivers[index].connects = true;
    return drivers;
}

struct CameraLinkTest : ::testing::Test {
    void SetUp() override {
        parent = test::MakeParentWindow();
        InitVideoFormat();
        LatestFrame = nullptr;  // as at start-up: no frame yet
    }

    HWND parent = nullptr;
};

TEST_F(CameraLinkTest, VideoFormatIs320By240TwentyFourBitUncompressedBottomUp) {
    std::memset(&VideoFormat, 0xCD, sizeof VideoFormat);
    InitVideoFormat();
    unsigned char expected[44] = {};
    auto put32 = [&](int offset, uint32_t value) {
        for (int byte = 0; byte < 4; ++byte) {
            expected[offset + byte] = static_cast<unsigned char>(value >> (8 * byte));
        }
    };
    put32(0, 40);       // biSize
    put32(4, 320);      // biWidth
    put32(8, 240);      // biHeight, positive: bottom-up
    expected[12] = 1;   // biPlanes
    expected[14] = 24;  // biBitCount; biCompression BI_RGB and all the rest stay 0
    ASSERT_EQ(sizeof VideoFormat, sizeof expected);
    EXPECT_EQ(std::memcmp(&VideoFormat, expected, sizeof expected), 0);
}

TEST_F(CameraLinkTest, UsesTheFirstDriverThatConnects) {
    for (int working : {0, 3, 9}) {
        parent = test::MakeParentWindow();
        UseScriptedCamera(FirstWorkingDriver(working));
        ::testing::internal::CaptureStderr();
        OpenCamera(parent);
        ::testing::internal::GetCapturedStderr();
        for (int index = 0; index < 10; ++index) {
            morvala::testing::CameraRequests requests = RequestsReceived(index);
            EXPECT_EQ(requests.connects, index <= working ? 1 : 0) << working << ", " << index;
            EXPECT_EQ(requests.formats, index == working ? 1 : 0) << working << ", " << index;
        }
        EXPECT_TRUE(morvala::testing::MessageBoxesShown().empty());
    }
}

TEST_F(CameraLinkTest, CaptureWindowIsAHidden320By240ChildAtTheTopLeft) {
    UseScriptedCamera({Connects()});
    OpenCamera(parent);
    morvala::testing::WindowDescription window = morvala::testing::DescribeWindow(CaptureWindow);
    EXPECT_EQ(window.title, "Capture Window");
    EXPECT_EQ(window.style, static_cast<DWORD>(WS_CHILD));
    EXPECT_EQ(window.parent, parent);
    EXPECT_FALSE(window.visible);
    EXPECT_EQ(window.outer.left, 0);
    EXPECT_EQ(window.outer.top, 0);
    EXPECT_EQ(window.outer.right, 320);
    EXPECT_EQ(window.outer.bottom, 240);
}

TEST_F(CameraLinkTest, TwoGrabsGiveTwoFramesEachAfterItsOwnSignal) {
    UseScriptedCamera({Connects({test::PatternFrame(1), test::PatternFrame(2)})});
    OpenCamera(parent);
    InstallFrameCallback();
    EXPECT_EQ(LatestFrame, nullptr);

    GrabFrame();
    ASSERT_NE(LatestFrame, nullptr);
    EXPECT_EQ(std::vector<unsigned char>(LatestFrame, LatestFrame + 230400), test::PatternFrame(1));
    GrabFrame();
    EXPECT_EQ(std::vector<unsigned char>(LatestFrame, LatestFrame + 230400), test::PatternFrame(2));

    morvala::testing::CameraRequests requests = RequestsReceived(0);
    EXPECT_EQ(requests.callbacks, 1);
    EXPECT_EQ(requests.grabs, 2);
    EXPECT_EQ(requests.deliveries, 2);
    EXPECT_EQ(WaitForSingleObject(FrameReady, 0), static_cast<DWORD>(WAIT_TIMEOUT))
        << "each wait took its own signal, none is left over";
}

// --- A grab that is never answered ---

// Runs GrabFrame on a thread of its own and says whether it returned within five seconds; if
// not, a frame's signal is faked to free it, so that a wait without end fails the test.
bool GrabFrameReturns() {
    std::future<void> grab = std::async(std::launch::async, GrabFrame);
    if (grab.wait_for(std::chrono::seconds(5)) == std::future_status::ready) {
        return true;
    }
    SetEvent(FrameReady);
    grab.wait();
    return false;
}

std::vector<unsigned char> LatestFrameBytes() {
    return std::vector<unsigned char>(LatestFrame, LatestFrame + 230400);
}

TEST_F(CameraLinkTest, AnUnansweredGrabKeepsTheLastFrameOrShowsBlackBeforeAny) {
    struct Case {
        const char* name;
        int framesFirst;  // grabs answered before the driver goes quiet
        // Makes the driver quiet: the grab after is never answered.
        std::function<void()> silence;
        bool staleSignal;  // a frame's signal left over from an earlier wait that gave up
    };
    auto withoutCallback = [] { SendMessageA(CaptureWindow, WM_CAP_SET_CALLBACK_FRAME, 0, 0); };
    auto unplugged = [] { DestroyWindow(CaptureWindow); };
    const Case cases[] = {
        {"no frame yet, no callback", 0, withoutCallback, false},
        {"no frame yet, a stale signal", 0, withoutCallback, true},
        {"no frame yet, capture window gone", 0, unplugged, false},
        {"after two frames, no callback", 2, withoutCallback, false},
        {"after two frames, a stale signal", 2, withoutCallback, true},
        {"after two frames, capture window gone", 2, unplugged, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        parent = test::MakeParentWindow();
        LatestFrame = nullptr;
        UseScriptedCamera({Connects({test::PatternFrame(1), test::PatternFrame(2)})});
        OpenCamera(parent);
        InstallFrameCallback();
        for (int frame = 0; frame < c.framesFirst; ++frame) {
            GrabFrame();
        }
        c.silence();
        if (c.staleSignal) {
            SetEvent(FrameReady);
        }
        ASSERT_TRUE(GrabFrameReturns()) << "the grab waited on";
        ASSERT_NE(LatestFrame, nullptr);
        if (c.framesFirst == 0) {
            EXPECT_EQ(LatestFrameBytes(), std::vector<unsigned char>(230400, 0));
        } else {
            EXPECT_EQ(LatestFrameBytes(), test::PatternFrame(c.framesFirst));
        }
        EXPECT_EQ(RequestsReceived(0).deliveries, c.framesFirst);
    }
}

// A driver whose frames may come late: on each grab it notes whether a frame's signal was
// still pending, then answers with the next pattern frame.
struct LateDriver {
    static inline int grabs = 0;
    static inline bool signalPendingAtGrab = false;

    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message != WM_CAP_GRAB_FRAME) {
            return DefWindowProcA(window, message, wParam, lParam);
        }
        signalPendingAtGrab = WaitForSingleObject(FrameReady, 0) == WAIT_OBJECT_0;
        std::vector<unsigned char> frame = test::PatternFrame(++grabs);
        VIDEOHDR header = {};
        header.lpData = frame.data();
        header.dwBufferLength = header.dwBytesUsed = 230400;
        OnFrameCaptured(window, &header);
        return TRUE;
    }
};

TEST_F(CameraLinkTest, AGrabWaitsForItsOwnFrameNotOneThatCameLate) {
    UseScriptedCamera({Connects()});
    OpenCamera(parent);
    WNDCLASSEXA lateClass = {};
    lateClass.cbSize = sizeof lateClass;
    lateClass.lpfnWndProc = LateDriver::Proc;
    lateClass.lpszClassName = "LateDriver";
    RegisterClassExA(&lateClass);
    CaptureWindow = CreateWindowExA(0, "LateDriver", "", WS_CHILD, 0, 0, 320, 240, parent, nullptr,
                                    nullptr, nullptr);
    // A frame that came after the wait for it gave up.
    std::vector<unsigned char> late = test::PatternFrame(9);
    VIDEOHDR header = {};
    header.lpData = late.data();
    header.dwBufferLength = header.dwBytesUsed = 230400;
    OnFrameCaptured(CaptureWindow, &header);

    GrabFrame();
    EXPECT_FALSE(LateDriver::signalPendingAtGrab) << "the late frame's signal was not dropped";
    EXPECT_EQ(LatestFrameBytes(), test::PatternFrame(1));
    EXPECT_EQ(WaitForSingleObject(FrameReady, 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

TEST_F(CameraLinkTest, FramesComeAgainWhenTheDriverAnswersAgain) {
    UseScriptedCamera({Connects({test::PatternFrame(1), test::PatternFrame(2)})});
    OpenCamera(parent);
    GrabFrame();  // no callback yet: black
    ASSERT_NE(LatestFrame, nullptr);
    InstallFrameCallback();
    GrabFrame();
    EXPECT_NE(LatestFrameBytes(), std::vector<unsigned char>(230400, 0));
    EXPECT_EQ(RequestsReceived(0).deliveries, 1);
    EXPECT_EQ(WaitForSingleObject(FrameReady, 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

TEST_F(CameraLinkTest, FrameReadyIsNotSharedByName) {
    UseScriptedCamera({Connects()});
    OpenCamera(parent);
    EXPECT_NE(CreateEventA(nullptr, FALSE, FALSE, "Event"), FrameReady);
}

// --- Start-up failures end the process after the error box ---

// The process ends at once after the box, so a death test's child says what was asked by
// then: the box also goes to stderr, and this line follows it there.
std::string RequestsSoFar() {
    std::string connects, formats;
    for (int index = 0; index < 10; ++index) {
        connects += std::to_string(RequestsReceived(index).connects);
        formats += std::to_string(RequestsReceived(index).formats);
    }
    return "IsWindow asked " + std::to_string(morvala::testing::IsWindowCallCount()) +
           " times; connects " + connects + "; formats " + formats + "\n";
}

ssize_t WriteWithRequestsAfterTheBox(void*, const char* bytes, size_t size) {
    std::string text(bytes, size);
    if (text.find("Error: ") != std::string::npos) {
        text += RequestsSoFar();
    }
    return write(STDERR_FILENO, text.data(), text.size()) < 0 ? -1 : ssize_t(size);
}

struct CameraLinkDeathTest : CameraLinkTest {
    // Called in the child, on the way to the failure.
    static void ReportRequestsWithTheBox() {
        cookie_io_functions_t writer = {nullptr, WriteWithRequestsAfterTheBox, nullptr, nullptr};
        stderr = fopencookie(nullptr, "w", writer);
    }
};

TEST_F(CameraLinkDeathTest, NoWorkingDriverShowsTheConnectErrorAfterTenRequests) {
    UseScriptedCamera(std::vector<ScriptedCameraIndex>(10));
    std::string lines;
    for (int index = 0; index < 10; ++index) {
        lines +=
            "morvala: camera scripted " + std::to_string(index) + ": scripted not to connect\n";
    }
    EXPECT_EXIT(
        {
            ReportRequestsWithTheBox();
            OpenCamera(parent);
        },
        ::testing::ExitedWithCode(1),
        "^" + lines +
            "Error: cannot connect to camera!\n"
            "IsWindow asked 10 times; connects 1111111111; formats 0000000000\n$");
}

TEST_F(CameraLinkDeathTest, DriverThatRefusesTheFormatShowsTheFormatError) {
    UseScriptedCamera({FailsToConnect(), RefusesTheFormat()});
    EXPECT_EXIT(
        {
            ReportRequestsWithTheBox();
            OpenCamera(parent);
        },
        ::testing::ExitedWithCode(1),
        "^morvala: camera scripted 0: scripted not to connect\n"
        "Error: cannot set video format!\n"
        "IsWindow asked 3 times; connects 1100000000; formats 0100000000\n$");
}

TEST_F(CameraLinkDeathTest, NoCaptureWindowShowsTheConnectErrorWithoutAnyRequest) {
    UseScriptedCamera(FirstWorkingDriver(0));
    EXPECT_EXIT(
        {
            ReportRequestsWithTheBox();
            morvala::testing::FailCaptureWindowCreation();
            OpenCamera(parent);
        },
        ::testing::ExitedWithCode(1),
        "^Error: cannot connect to camera!\n"
        "IsWindow asked 10 times; connects 0000000000; formats 0000000000\n$");
}

}  // namespace
}  // namespace morvala
