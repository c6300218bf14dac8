// The camera sources on their own: the synthetic scene, clips and images, a missing V4L2
// device, and which source MORVALA_CAMERA puts behind each driver index.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "platform/drivers/camera.h"
#include "platform/drivers/frame_scaler.h"
#include "tests/camera_test_media.h"

namespace morvala {
namespace {

using drivers::CameraSource;
using drivers::kFrameBytes;
using test::FramePixel;
using test::Rgb;

// Sources that play by the clock always have a picture.
std::vector<unsigned char> Grab(CameraSource& source, uint64_t elapsedMs) {
    std::vector<unsigned char> frame(kFrameBytes, 0xAB);
    EXPECT_EQ(source.TakePicture(elapsedMs, 0, frame.data()), drivers::Take::kPicture);
    return frame;
}

std::unique_ptr<CameraSource> ConnectedSource(std::unique_ptr<CameraSource> source) {
    std::string reason;
    EXPECT_TRUE(source->Connect(&reason)) << reason;
    return source;
}

// --- Synthetic scene ---

// Face pixels have more red than blue; the background is bluish everywhere.
bool IsFacePixel(Rgb pixel) {
    return pixel[0] > pixel[2] + 5;
}

struct FaceExtent {
    int pixels = 0;
    int inSquare = 0;
};

FaceExtent MeasureFace(const std::vector<unsigned char>& frame) {
    FaceExtent extent;
    for (int y = 0; y < 240; ++y) {
        for (int x = 0; x < 320; ++x) {
            if (IsFacePixel(FramePixel(frame, x, y))) {
                ++extent.pixels;
                extent.inSquare += x >= 96 && x <= 223 && y >= 56 && y <= 183;
            }
        }
    }
    return extent;
}

TEST(SyntheticCamera, GivesTheSameFrameForTheSameTimeAndANewOneLater) {
    auto first = ConnectedSource(drivers::MakeSyntheticCamera());
    auto second = ConnectedSource(drivers::MakeSyntheticCamera());
    for (uint64_t ms : {0u, 1234u, 987654u}) {
        std::vector<unsigned char> frame = Grab(*first, ms);
        EXPECT_EQ(frame, Grab(*second, ms)) << ms;
        EXPECT_EQ(frame, Grab(*first, ms)) << ms;
        EXPECT_NE(frame, Grab(*first, ms + 1)) << "the noise changes with time, at " << ms;
    }
}

TEST(SyntheticCamera, ShowsAFaceThatIsNowInsideTheSquareNowPartlyOut) {
    auto camera = ConnectedSource(drivers::MakeSyntheticCamera());
    double mostInside = 0.0;
    double leastInside = 1.0;
    for (uint64_t ms = 0; ms < 80000; ms += 500) {
        FaceExtent face = MeasureFace(Grab(*camera, ms));
        ASSERT_GT(face.pixels, 6000) << "the whole face stays in the picture, at " << ms;
        double inside = static_cast<double>(face.inSquare) / face.pixels;
        mostInside = std::max(mostInside, inside);
        leastInside = std::min(leastInside, inside);
    }
    EXPECT_GT(mostInside, 0.97);
    EXPECT_LT(leastInside, 0.7);
}

TEST(SyntheticCamera, FaceIsShadedAndHasDarkFeaturesOverABackgroundThatIsNotFlat) {
    auto camera = ConnectedSource(drivers::MakeSyntheticCamera());
    std::vector<unsigned char> frame = Grab(*camera, 5000);
    int left = 320, right = 0, top = 240, bottom = 0;
    std::set<int> backgroundLevels;
    for (int y = 0; y < 240; ++y) {
        for (int x = 0; x < 320; ++x) {
            Rgb pixel = FramePixel(frame, x, y);
            if (IsFacePixel(pixel)) {
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = std::max(bottom, y);
            } else {
                backgroundLevels.insert(pixel[2] / 8);
            }
        }
    }
    ASSERT_LT(left, right);
    EXPECT_GT(backgroundLevels.size(), 10u);

    auto brightness = [&](int x, int y) {
        Rgb pixel = FramePixel(frame, x, y);
        return pixel[0] + pixel[1] + pixel[2];
    };
    int centreX = (left + right) / 2;
    int centreY = (top + bottom) / 2;
    int quarterWidth = (right - left) / 4;
    // Lit from the left: the left cheek is brighter than the right one.
    EXPECT_GT(brightness(centreX - quarterWidth, centreY + 5),
              brightness(centreX + quarterWidth, centreY + 5) + 30);
    // Eyes: dark pixels on both sides in the upper half of the face.
    auto darkestIn = [&](int fromX, int toX) {
        int darkest = 3 * 255;
        for (int y = top + (bottom - top) / 4; y < centreY; ++y) {
            for (int x = fromX; x < toX; ++x) {
                darkest = std::min(darkest, brightness(x, y));
            }
        }
        return darkest;
    };
    EXPECT_LT(darkestIn(left, centreX), 3 * 90);
    EXPECT_LT(darkestIn(centreX, right), 3 * 90);
}

// --- Files ---

struct FileCameraTest : ::testing::Test {
    std::unique_ptr<CameraSource> ConnectFile(const std::string& path) {
        return ConnectedSource(drivers::MakeFileCamera(path));
    }
};

Rgb DistinctColour(int x, int y) {
    return {static_cast<unsigned char>(x), static_cast<unsigned char>(y),
            static_cast<unsigned char>(x * 7 + y * 3)};
}

TEST_F(FileCameraTest, ImageOfTheFrameSizeGivesItsPixelsExactlyBottomUpForever) {
    std::string path = test::TemporaryPath("distinct.png");
    test::WriteFile(path, test::EncodePng(320, 240, DistinctColour));
    auto camera = ConnectFile(path);
    std::vector<unsigned char> frame = Grab(*camera, 0);
    for (int y = 0; y < 240; ++y) {
        for (int x = 0; x < 320; ++x) {
            ASSERT_EQ(FramePixel(frame, x, y), DistinctColour(x, y)) << x << ", " << y;
        }
    }
    EXPECT_EQ(Grab(*camera, 40), frame);
    EXPECT_EQ(Grab(*camera, 3600000), frame);
}

TEST_F(FileCameraTest, SmallerImageIsScaledToTheFrame) {
    const Rgb quadrants[2][2] = {{{200, 30, 30}, {30, 200, 30}}, {{30, 30, 200}, {250, 250, 250}}};
    std::string path = test::TemporaryPath("quadrants.png");
    test::WriteFile(
        path, test::EncodePng(160, 120, [&](int x, int y) { return quadrants[y / 60][x / 80]; }));
    std::vector<unsigned char> frame = Grab(*ConnectFile(path), 0);
    for (int row = 0; row < 2; ++row) {
        for (int column = 0; column < 2; ++column) {
            Rgb pixel = FramePixel(frame, 80 + 160 * column, 60 + 120 * row);
            for (int channel = 0; channel < 3; ++channel) {
                EXPECT_NEAR(pixel[channel], quadrants[row][column][channel], 2)
                    << row << ", " << column << ", channel " << channel;
            }
        }
    }
}

TEST_F(FileCameraTest, PictureOfAnotherShapeIsCroppedAboutItsCentreNeverSqueezed) {
    // Bands that only a squeezed picture would show: red and blue beyond the 4:3 centre of a
    // 16:9 picture, and beyond the centre of a portrait one.
    const Rgb red = {255, 0, 0}, green = {0, 255, 0}, blue = {0, 0, 255};
    const struct {
        int width;
        int height;
        bool wide;
    } shapes[] = {{640, 360, true}, {192, 320, false}};
    for (const auto& shape : shapes) {
        std::string path = test::TemporaryPath("shape.png");
        test::WriteFile(path, test::EncodePng(shape.width, shape.height, [&](int x, int y) {
                            drivers::CropRect shown =
                                drivers::CentreCrop(shape.width, shape.height);
                            int along = shape.wide ? x - shown.x : y - shown.y;
                            int extent = shape.wide ? shown.width : shown.height;
                            return along < 0 ? red : along >= extent ? blue : green;
                        }));
        std::vector<unsigned char> frame = Grab(*ConnectFile(path), 0);
        for (auto [x, y] : {std::pair{1, 1}, {318, 238}, {1, 238}, {318, 1}, {160, 120}}) {
            EXPECT_EQ(FramePixel(frame, x, y), green)
                << shape.width << " x " << shape.height << " at " << x << ", " << y;
        }
    }
}

TEST_F(FileCameraTest, ClipPlaysByElapsedTimeAndLoops) {
    const std::vector<Rgb> colours = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    std::string path = test::TemporaryPath("clip.nut");
    test::WriteSolidClip(path, 10, colours);  // 100 ms a frame, 300 ms in all
    auto camera = ConnectFile(path);
    const struct {
        uint64_t elapsedMs;
        int colour;
    } expected[] = {{0, 0},   {99, 0},  {100, 1}, {250, 2},  {299, 2},  {300, 0},
                    {420, 1}, {420, 1}, {950, 0}, {1350, 1}, {1490, 2}, {5000, 2}};
    for (const auto& step : expected) {
        EXPECT_EQ(FramePixel(Grab(*camera, step.elapsedMs), 10, 10), colours[step.colour])
            << "at " << step.elapsedMs << " ms";
    }
}

TEST_F(FileCameraTest, PictureThatCannotBeDecodedLeavesTheLastGoodOneStanding) {
    const std::vector<Rgb> colours = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    std::string path = test::TemporaryPath("broken-middle.nut");
    test::WriteSolidClip(path, 10, colours, 1);
    auto camera = ConnectFile(path);
    const struct {
        uint64_t elapsedMs;
        int colour;
    } expected[] = {{0, 0}, {150, 0}, {250, 2}, {350, 0}, {460, 0}, {520, 2}};
    for (const auto& step : expected) {
        EXPECT_EQ(FramePixel(Grab(*camera, step.elapsedMs), 10, 10), colours[step.colour])
            << "at " << step.elapsedMs << " ms";
    }
}

TEST_F(FileCameraTest, FileThatCannotBeOpenedOrDecodedDoesNotConnect) {
    std::vector<unsigned char> png = test::EncodePng(32, 32, DistinctColour);
    const struct {
        const char* name;
        std::vector<unsigned char> bytes;
        const char* reason;
    } cases[] = {
        {"missing.png", {}, "cannot open: No such file or directory"},
        {"garbage.mp4", std::vector<unsigned char>(4096, 0x5A),
         "cannot open: Invalid data found when processing input"},
        {"truncated.png", std::vector<unsigned char>(png.begin(), png.begin() + 60),
         "cannot decode: "},
    };
    for (const auto& broken : cases) {
        std::string path = test::TemporaryPath(broken.name);
        if (!broken.bytes.empty()) {
            test::WriteFile(path, broken.bytes);
        }
        auto camera = drivers::MakeFileCamera(path);
        std::string reason;
        EXPECT_FALSE(camera->Connect(&reason)) << broken.name;
        EXPECT_EQ(reason.rfind(broken.reason, 0), 0u) << broken.name << ": " << reason;
        EXPECT_EQ(camera->Name(), path);
    }
}

// --- V4L2 devices that are not there ---

TEST(V4l2Camera, DeviceThatIsMissingOrNoCameraDoesNotConnect) {
    const struct {
        const char* path;
        const char* reason;
    } cases[] = {
        {"/nonexistent/video0", "cannot open: No such file or directory"},
        {"/dev/null", "not a camera: Inappropriate ioctl for device"},
    };
    for (const auto& device : cases) {
        auto camera = drivers::MakeV4l2Camera(std::string(device.path));
        std::string reason;
        EXPECT_FALSE(camera->Connect(&reason)) << device.path;
        EXPECT_EQ(reason, device.reason) << device.path;
        EXPECT_EQ(camera->Name(), device.path);
    }
}

// --- The choice ---

struct CameraChoiceTest : ::testing::Test {
    void SetUp() override { drivers::UseCameraSources(nullptr); }
    void TearDown() override { unsetenv("MORVALA_CAMERA"); }

    // The name of the source behind each index 0..9, "" where there is none.
    static std::vector<std::string> SourceNames() {
        std::vector<std::string> names;
        for (int index = 0; index < 10; ++index) {
            auto source = drivers::MakeCameraSource(index);
            names.push_back(source ? source->Name() : "");
        }
        return names;
    }
};

// Index 0 tries a running PipeWire session's camera first (tests/camera_pipewire_test.cpp).
TEST_F(CameraChoiceTest, WithoutMorvalaCameraIndexNIsDevVideoN) {
    unsetenv("MORVALA_CAMERA");
    std::vector<std::string> expected;
    for (int index = 0; index < 10; ++index) {
        expected.push_back("/dev/video" + std::to_string(index));
    }
    expected[0] = "pipewire or /dev/video0";
    EXPECT_EQ(SourceNames(), expected);
}

TEST_F(CameraChoiceTest, MorvalaCameraNamesTheOneSourceAtIndexZero) {
    const struct {
        const char* value;
        const char* source;
    } cases[] = {
        {"synthetic", "synthetic"},
        {"/dev/video7", "/dev/video7"},
        {"/dev/video12", "/dev/video12"},
        {"clips/face.mp4", "clips/face.mp4"},
        {"/dev/videos.mp4", "/dev/videos.mp4"},
    };
    for (const auto& choice : cases) {
        setenv("MORVALA_CAMERA", choice.value, 1);
        std::vector<std::string> expected(10, "");
        expected[0] = choice.source;
        EXPECT_EQ(SourceNames(), expected) << choice.value;
    }
}

TEST_F(CameraChoiceTest, EachValueGivesItsKindOfSource) {
    std::string image = test::TemporaryPath("blue.png");
    test::WriteFile(image, test::EncodePng(320, 240, [](int, int) { return Rgb{0, 0, 255}; }));
    const struct {
        std::string value;
        bool connects;
        std::string reason;
    } cases[] = {
        {"synthetic", true, ""},
        {image, true, ""},
        {"/dev/video99", false, "cannot open: No such file or directory"},
    };
    for (const auto& choice : cases) {
        setenv("MORVALA_CAMERA", choice.value.c_str(), 1);
        auto source = drivers::MakeCameraSource(0);
        std::string reason;
        EXPECT_EQ(source->Connect(&reason), choice.connects) << choice.value;
        EXPECT_EQ(reason, choice.reason) << choice.value;
    }
    setenv("MORVALA_CAMERA", image.c_str(), 1);
    auto file = ConnectedSource(drivers::MakeCameraSource(0));
    EXPECT_EQ(FramePixel(Grab(*file, 0), 5, 5), (Rgb{0, 0, 255}));
}

// --- The frame scaler's crop ---

TEST(FrameScaler, CentreCropIsTheLargest4To3PartAboutTheCentre) {
    const struct {
        int width, height;
        drivers::CropRect shown;
    } cases[] = {
        {320, 240, {0, 0, 320, 240}},    {640, 480, {0, 0, 640, 480}},
        {1280, 720, {160, 0, 960, 720}}, {1920, 1080, {240, 0, 1440, 1080}},
        {480, 640, {0, 140, 480, 360}},  {352, 288, {0, 12, 352, 264}},
        {321, 240, {0, 0, 320, 240}},    {1, 1, {0, 0, 1, 1}},
    };
    for (const auto& shape : cases) {
        drivers::CropRect shown = drivers::CentreCrop(shape.width, shape.height);
        EXPECT_EQ((std::array{shown.x, shown.y, shown.width, shown.height}),
                  (std::array{shape.shown.x, shape.shown.y, shape.shown.width, shape.shown.height}))
            << shape.width << " x " << shape.height;
    }
}

}  // namespace
}  // namespace morvala
