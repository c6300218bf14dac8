// Whole runs of the program's WinMain on the headless display with scripted cameras.
//
// The program's state (the sample counter, the model, its windows) lives for the life of a
// process, so every session runs in a child process of its own; a failed expectation inside
// the child is printed there and fails the session.
#include <gtest/gtest.h>

#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/mode_controller.h"
#include "app/overlay.h"
#include "engine/face_patch.h"
#include "engine/face_space.h"
#include "platform/camera_link.h"
#include "platform/testing/camera_hooks.h"
#include "platform/testing/display_hooks.h"
#include "tests/engine_reference.h"
#include "tests/engine_test_support.h"

namespace {

using morvala::testing::DrawnText;
using morvala::testing::PressKey;
using morvala::testing::RequestClose;
using morvala::testing::RunWhenIdle;
using morvala::testing::ScriptedCameraIndex;

constexpr UINT kCentre = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
constexpr UINT kBottomCentre = DT_CENTER | DT_BOTTOM | DT_SINGLELINE;
constexpr UINT kBottomRight = DT_RIGHT | DT_BOTTOM | DT_SINGLELINE;
constexpr uint32_t kWhite = 0xFFFFFF;

void ExpectSessionPasses(const std::function<void()>& session) {
    fflush(stdout);
    fflush(stderr);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        session();
        fflush(stdout);
        _exit(testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the session failed: see its output above";
}

// The camera at driver index 0 delivers these frames in turn, the last repeated.
void UseCamera(std::vector<Frame> frames) {
    std::vector<ScriptedCameraIndex> drivers(1);
    drivers[0].connects = true;
    drivers[0].frames = std::move(frames);
    morvala::testing::UseScriptedCamera(drivers);
}

int RunProgram() {
    static char commandLine[] = "";
    return WinMain(nullptr, nullptr, commandLine, SW_SHOWDEFAULT);
}

std::vector<Frame> DistinctFrames(int count, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<Frame> frames;
    for (int i = 0; i < count; ++i) {
        frames.push_back(RandomFrame(rng));
    }
    return frames;
}

uint32_t PictureColour(const Frame& frame, int x, int y) {
    const size_t offset = PictureOffset(x, y);
    return uint32_t(frame[offset + 2]) << 16 | uint32_t(frame[offset + 1]) << 8 | frame[offset];
}

std::vector<std::pair<std::string, UINT>> TextsOfLastPaint() {
    std::vector<std::pair<std::string, UINT>> texts;
    for (const DrawnText& drawn : morvala::testing::TextsDrawnInLastPaint(MainWindow)) {
        texts.emplace_back(drawn.text, drawn.format);
    }
    return texts;
}

// Every pixel of the two squares around the patch.
std::vector<POINT> PatchFramePixels() {
    std::vector<POINT> pixels;
    for (int offset : {0, 1}) {
        const int left = 95 - offset, top = 55 - offset, right = 224 - offset,
                  bottom = 184 - offset;
        for (int x = left; x <= right; ++x) {
            pixels.push_back({x, top});
            pixels.push_back({x, bottom});
        }
        for (int y = top; y <= bottom; ++y) {
            pixels.push_back({left, y});
            pixels.push_back({right, y});
        }
    }
    return pixels;
}

void ExpectPatchFrameIn(uint32_t colour) {
    auto surface = morvala::testing::WindowSurface(MainWindow);
    for (POINT p : PatchFramePixels()) {
        ASSERT_EQ(surface.At(p.x, p.y), colour) << "at " << p.x << ", " << p.y;
    }
}

void PressSpace(int times = 1) {
    for (int i = 0; i < times; ++i) {
        PressKey(VK_SPACE);
    }
}

// The frame's colour on the surface, 0x00RRGGBB: white up to 3500, red from 7000.
uint32_t SurfaceColourForDistance(double distance) {
    double blend = distance <= 3500 ? 0 : distance >= 7000 ? 255 : (distance - 3500) * 255 / 3500;
    uint32_t others = 255 - uint32_t(blend);
    return 0xFF0000 | others << 8 | others;
}

// One timer period: a tick, and the paint it asks for.
void LetOneRefreshHappen() {
    morvala::testing::LetTimePass(24);
}

TEST(Session, StartsWithTheWindowTheCameraAndAFirstPaintBeforeTheLoop) {
    ExpectSessionPasses([] {
        morvala::testing::UseHeadlessDisplay();
        const Frame picture = DistinctFrames(1, 1)[0];
        UseCamera({picture});
        int presentsBeforeTheLoop = -1;
        int presents = 0;
        morvala::testing::OnPresent([&](HWND) { ++presents; });
        RunWhenIdle([&] {
            presentsBeforeTheLoop = presents;
            auto window = morvala::testing::DescribeWindow(MainWindow);
            EXPECT_EQ(window.className, "CameraWindow");
            EXPECT_EQ(window.title, "Morvala");
            EXPECT_EQ(window.style & WS_OVERLAPPEDWINDOW, DWORD(WS_OVERLAPPEDWINDOW));
            EXPECT_EQ(window.parent, nullptr);
            EXPECT_EQ(window.outer.left, 475);
            EXPECT_EQ(window.outer.top, 245);
            EXPECT_EQ(window.outer.right - window.outer.left, 330);
            EXPECT_EQ(window.outer.bottom - window.outer.top, 270);
            EXPECT_TRUE(window.visible);

            auto capture = morvala::testing::DescribeWindow(CaptureWindow);
            EXPECT_EQ(capture.parent, MainWindow);
            EXPECT_FALSE(capture.visible);
            EXPECT_EQ(TextRect.left, 0);
            EXPECT_EQ(TextRect.top, 0);
            EXPECT_EQ(TextRect.right, 320);
            EXPECT_EQ(TextRect.bottom, 240);

            std::vector<std::pair<std::string, UINT>> expected = {
                {"Press space 7 more times.", kCentre},
                {"Keep your face in the white rectangle.", kBottomCentre}};
            EXPECT_EQ(TextsOfLastPaint(), expected);
            ExpectPatchFrameIn(kWhite);
            // The picture itself, upright, away from the texts and the frame.
            auto surface = morvala::testing::WindowSurface(MainWindow);
            for (POINT p : std::vector<POINT>{{0, 0}, {319, 0}, {150, 100}, {319, 239}}) {
                EXPECT_EQ(surface.At(p.x, p.y), PictureColour(picture, p.x, p.y))
                    << "at " << p.x << ", " << p.y;
            }
            EXPECT_EQ(CaptureCount, 0);
        });
        RequestClose();
        EXPECT_EQ(RunProgram(), 0);
        EXPECT_EQ(presentsBeforeTheLoop, 1);
        EXPECT_EQ(morvala::testing::RequestsReceived(0).connects, 1);
        EXPECT_EQ(morvala::testing::RequestsReceived(0).formats, 1);
        EXPECT_EQ(morvala::testing::RequestsReceived(0).callbacks, 1);
    });
}

TEST(Session, PromptsFollowTheCountThenTrainingThenNothingMore) {
    ExpectSessionPasses([] {
        morvala::testing::UseHeadlessDisplay();
        UseCamera(DistinctFrames(20, 2));
        struct Step {
            int captureCount;
            std::vector<std::pair<std::string, UINT>> texts;
            bool patchFrameDrawn;
        };
        const std::string keep = "Keep your face in the white rectangle.";
        const std::vector<Step> steps = {
            {0, {{"Press space 7 more times.", kCentre}, {keep, kBottomCentre}}, true},
            {1, {{"Press space 6 more times.", kCentre}, {keep, kBottomCentre}}, true},
            {2, {{"Press space 5 more times.", kCentre}, {keep, kBottomCentre}}, true},
            {3, {{"Press space 4 more times.", kCentre}, {keep, kBottomCentre}}, true},
            {4, {{"Press space 3 more times.", kCentre}, {keep, kBottomCentre}}, true},
            {5, {{"Press space 2 more times.", kCentre}, {keep, kBottomCentre}}, true},
            {6, {{"Press space 1 more time.", kCentre}, {keep, kBottomCentre}}, true},
            {7, {{"Press space to start recognition.", kCentre}}, false},
        };
        for (const Step& step : steps) {
            RunWhenIdle([&step] {
                SCOPED_TRACE("after " + std::to_string(step.captureCount) + " presses");
                EXPECT_EQ(CaptureCount, step.captureCount);
                EXPECT_EQ(TextsOfLastPaint(), step.texts);
                EXPECT_EQ(FaceBasis, nullptr);
                if (step.patchFrameDrawn) {
                    ExpectPatchFrameIn(kWhite);
                }
            });
            PressSpace();
            LetOneRefreshHappen();
        }
        RunWhenIdle([] {
            EXPECT_EQ(CaptureCount, 8);
            EXPECT_NE(FaceBasis, nullptr);
            EXPECT_EQ(SampleStore, nullptr);
            auto texts = TextsOfLastPaint();
            ASSERT_EQ(texts.size(), 1u);
            EXPECT_EQ(texts[0].second, kBottomRight);
        });
        PressSpace(3);
        LetOneRefreshHappen();
        RunWhenIdle([] { EXPECT_EQ(CaptureCount, 8); });
        RequestClose();
        EXPECT_EQ(RunProgram(), 0);
    });
}

TEST(Session, InTheReadyModeNoSquareIsDrawn) {
    ExpectSessionPasses([] {
        morvala::testing::UseHeadlessDisplay();
        const Frame picture = DistinctFrames(1, 3)[0];
        UseCamera({picture});
        PressSpace(7);
        LetOneRefreshHappen();
        RunWhenIdle([&] {
            ASSERT_EQ(CaptureCount, 7);
            auto surface = morvala::testing::WindowSurface(MainWindow);
            for (POINT p : PatchFramePixels()) {
                const bool underTheCentredPrompt = p.y >= 108 && p.y <= 132;
                if (underTheCentredPrompt) {
                    continue;
                }
                ASSERT_EQ(surface.At(p.x, p.y), PictureColour(picture, p.x, p.y))
                    << "at " << p.x << ", " << p.y;
            }
        });
        RequestClose();
        EXPECT_EQ(RunProgram(), 0);
    });
}

TEST(Session, EachSampleComesFromAFrameGrabbedForItsPress) {
    ExpectSessionPasses([] {
        morvala::testing::UseHeadlessDisplay();
        // Frame 0 is the first paint's; presses without refreshes between them grab 1..7.
        const std::vector<Frame> frames = DistinctFrames(9, 4);
        UseCamera(frames);
        PressSpace(7);
        RunWhenIdle([&] {
            ASSERT_EQ(CaptureCount, 7);
            gsl_vector* column = gsl_vector_alloc(FaceVectorSize);
            for (size_t k = 0; k < SampleCount; ++k) {
                gsl_vector* expected = ReferenceTakeFaceVector(frames[k + 1].data());
                gsl_matrix_get_col(column, SampleStore, k);
                for (size_t i = 0; i < FaceVectorSize; ++i) {
                    ASSERT_EQ(gsl_vector_get(column, i), gsl_vector_get(expected, i))
                        << "sample " << k << ", element " << i;
                }
                gsl_vector_free(expected);
            }
            gsl_vector_free(column);
            EXPECT_EQ(morvala::testing::RequestsReceived(0).grabs, 8);
        });
        RequestClose();
        EXPECT_EQ(RunProgram(), 0);
    });
}

TEST(Session, OnlyTheSpaceCharacterCountsAndEachAutoRepeatDoes) {
    ExpectSessionPasses([] {
        morvala::testing::UseHeadlessDisplay();
        UseCamera(DistinctFrames(2, 5));
        for (unsigned key : {unsigned('A'), unsigned('0'), unsigned(VK_RETURN), unsigned(VK_ESCAPE),
                             unsigned(VK_TAB), unsigned(VK_BACK)}) {
            PressKey(key);
        }
        for (char c : std::string("x\r\x1b\t")) {
            morvala::testing::TypeCharacter(c);
        }
        RunWhenIdle([] { EXPECT_EQ(CaptureCount, 0); });
        PressKey(VK_SPACE, 2);  // the press and two auto-repeats
        RunWhenIdle([] { EXPECT_EQ(CaptureCount, 3); });
        morvala::testing::TypeCharacter(' ');
        RunWhenIdle([] { EXPECT_EQ(CaptureCount, 4); });
        RequestClose();
        EXPECT_EQ(RunProgram(), 0);
    });
}

TEST(Session, RecognisingShowsTheDistanceOfTheFrameJustDrawn) {
    ExpectSessionPasses([] {
        morvala::testing::UseHeadlessDisplay();
        // Frame 0 for the first paint, 1..7 for the samples, 8 from then on.
        std::vector<Frame> frames = DistinctFrames(8, 6);
        std::mt19937 rng(7);
        const Frame probe = RandomFrame(rng, 40, 200);
        frames.push_back(probe);
        UseCamera(frames);
        PressSpace(8);
        LetOneRefreshHappen();
        RunWhenIdle([&] {
            ASSERT_EQ(CaptureCount, 8);
            const double distance =
                ReferenceDistanceFromFaceSpace(ReferenceTakeFaceVector(probe.data()));
            char expected[64];
            snprintf(expected, sizeof expected, "%f", distance);
            std::vector<std::pair<std::string, UINT>> texts = {{expected, kBottomRight}};
            EXPECT_EQ(TextsOfLastPaint(), texts);
            ExpectPatchFrameIn(SurfaceColourForDistance(distance));
        });
        RequestClose();
        EXPECT_EQ(RunProgram(), 0);
    });
}

struct CameraFailure {
    const char* name;
    std::vector<ScriptedCameraIndex> drivers;
    const char* stderrPattern;  // the box, once, and nothing else
};

TEST(SessionDeathTest, ACameraFailureShowsItsBoxAndEndsWithExitCodeOne) {
    ScriptedCameraIndex refusesTheFormat;
    refusesTheFormat.connects = true;
    refusesTheFormat.acceptsFormat = false;
    const std::vector<CameraFailure> failures = {
        {"no camera", {}, "^Error: cannot connect to camera!\n$"},
        {"format refused", {refusesTheFormat}, "^Error: cannot set video format!\n$"},
    };
    for (const CameraFailure& failure : failures) {
        SCOPED_TRACE(failure.name);
        EXPECT_EXIT(
            {
                morvala::testing::UseHeadlessDisplay();
                morvala::testing::UseScriptedCamera(failure.drivers);
                RunProgram();
            },
            testing::ExitedWithCode(1), failure.stderrPattern);
    }
}

}  // namespace
