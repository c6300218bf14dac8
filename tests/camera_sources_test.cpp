// The camera sources on their own: the synthetic scene, clips and images, a missing V4L2
// device, and which source MORVALA_CAMERA puts behind each driver index.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>
#include <thread>

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

// Every container plays from its first picture, by its timestamps or, where they are
// missing, its frame rate, and loops back to its first picture: six colours at 25 a second,
// a keyframe every third picture, so that a loop that restarts at the second keyframe shows.
class ClipContainerTest : public FileCameraTest,
                          public ::testing::WithParamInterface<test::ClipFormat> {};

TEST_P(ClipContainerTest, LoopsFromItsFirstPicture) {
    const std::vector<Rgb> colours = {test::kRed,    test::kGreen,  test::kBlue,
                                      {255, 255, 0}, {0, 255, 255}, {255, 0, 255}};
    std::vector<test::Picture> pictures;
    for (Rgb colour : colours) {
        pictures.push_back([colour](int, int) { return colour; });
    }
    std::string path = test::TemporaryPath(std::string("clip.") + GetParam().name);
    test::WriteClip(path, GetParam(), 25, pictures);
    auto camera = ConnectFile(path);
    // The middle of each picture's 40 ms, over three loops of 240 ms, then a jump ahead.
    std::vector<uint64_t> moments;
    for (uint64_t ms = 20; ms < 3 * 240; ms += 40) {
        moments.push_back(ms);
    }
    moments.push_back(10 * 240 + 100);
    std::string shown, expected;
    for (uint64_t ms : moments) {
        Rgb pixel = FramePixel(Grab(*camera, ms), 160, 120);
        shown += char('0' + test::NearestColour(pixel, colours));
        expected += char('0' + (ms / 40) % 6);
    }
    EXPECT_EQ(shown, expected) << "the picture shown at each moment, by its number";
}

INSTANTIATE_TEST_SUITE_P(Containers, ClipContainerTest,
                         ::testing::Values(test::ClipFormat{"mp4", "mp4", "libx264", 3, 2},
                                           test::ClipFormat{"mkv", "matroska", "libx264", 3, 2},
                                           test::ClipFormat{"avi", "avi", "mpeg4", 3, 0},
                                           test::ClipFormat{"webm", "webm", "libvpx", 3, 0},
                                           test::ClipFormat{"ts", "mpegts", "libx264", 3, 2},
                                           test::ClipFormat{"mpg", "vob", "mpeg2video", 3, 2},
                                           test::ClipFormat{"h264", "h264", "libx264", 3, 2},
                                           test::ClipFormat{"gif", "gif", "gif", 3, 0}),
                         [](const ::testing::TestParamInfo<test::ClipFormat>& info) {
                             return std::string(info.param.name);
                         });

// A picture lasts as long as its clip says, the last one too, before the clip starts again:
// here red and green for 100 ms each, then blue for 500 ms.
TEST_F(FileCameraTest, EachPictureLastsItsOwnDurationTheLastOneToo) {
    const std::vector<Rgb> colours = {test::kRed, test::kGreen, test::kBlue};
    std::vector<test::Picture> pictures;
    for (Rgb colour : colours) {
        pictures.push_back([colour](int, int) { return colour; });
    }
    for (test::ClipFormat format : {test::ClipFormat{"mp4", "mp4", "libx264", 1, 0},
                                    test::ClipFormat{"mov", "mov", "mpeg4", 1, 0}}) {
        std::string path = test::TemporaryPath(std::string("lengths.") + format.name);
        test::WriteClip(path, format, 10, pictures, 0, {1, 1, 5});
        auto camera = ConnectFile(path);
        std::string shown;
        for (uint64_t ms : {50, 150, 250, 650, 750, 850, 950, 1350, 1450}) {
            shown += "RGB"[test::NearestColour(FramePixel(Grab(*camera, ms), 160, 120), colours)];
        }
        EXPECT_EQ(shown, "RGBBRGBBR") << format.name;
    }
}

// The four quadrants of a turned picture, read at the frame's corners, as letters.
std::string CornerColours(const std::vector<unsigned char>& frame) {
    const std::vector<Rgb> colours = {test::kRed, test::kGreen, test::kBlue, test::kWhite};
    std::string corners;
    for (auto [x, y] : {std::pair{40, 30}, {280, 30}, {40, 210}, {280, 210}}) {
        corners += "RGBW"[test::NearestColour(FramePixel(frame, x, y), colours)];
    }
    return corners;
}

// Stored upright, the quadrants are red and green above blue and white: "RGBW", read top
// left, top right, bottom left, bottom right. EXIF says where the stored rows and columns go.
TEST_F(FileCameraTest, JpegIsTurnedAsItsExifOrientationSays) {
    const struct {
        int orientation;
        const char* corners;
    } cases[] = {
        {1, "RGBW"}, {2, "GRWB"}, {3, "WBGR"}, {4, "BWRG"},
        {5, "RBGW"}, {6, "BRWG"}, {7, "WGBR"}, {8, "GWRB"},
    };
    for (const auto& turned : cases) {
        std::string path = test::TemporaryPath("exif.jpg");
        test::WriteFile(path,
                        test::EncodeJpeg(
                            320, 240, [](int x, int y) { return test::Quadrants(x, y, 320, 240); },
                            turned.orientation));
        EXPECT_EQ(CornerColours(Grab(*ConnectFile(path), 0)), turned.corners)
            << "EXIF orientation " << turned.orientation;
    }
}

// A phone's portrait clip is stored on its side with a rotation to show it by: a quarter turn
// clockwise for a phone held upright.
TEST_F(FileCameraTest, ClipIsTurnedAsItsStreamRotationSays) {
    const struct {
        double clockwise;
        const char* corners;
    } cases[] = {{0, "RGBW"}, {90, "BRWG"}, {180, "WBGR"}, {-90, "GWRB"}};
    for (const auto& turned : cases) {
        std::string path = test::TemporaryPath("rotated.mp4");
        test::WriteClip(path, {"mp4", "mp4", "libx264", 1, 0}, 25,
                        {[](int x, int y) { return test::Quadrants(x, y, 320, 240); }},
                        turned.clockwise);
        EXPECT_EQ(CornerColours(Grab(*ConnectFile(path), 0)), turned.corners)
            << "rotated " << turned.clockwise;
    }
}

// A picture's YUV is read with the matrix and range it declares.
TEST_F(FileCameraTest, ColoursFollowTheDeclaredMatrixAndRange) {
    const struct {
        const char* name;
        std::array<unsigned char, 3> yuv;
        AVColorSpace matrix;
        AVColorRange range;
        Rgb shown;
    } cases[] = {
        {"BT.709 red", {63, 102, 240}, AVCOL_SPC_BT709, AVCOL_RANGE_MPEG, {255, 0, 0}},
        {"BT.601 red", {81, 90, 240}, AVCOL_SPC_BT470BG, AVCOL_RANGE_MPEG, {255, 0, 0}},
        {"full-range dark grey", {21, 128, 128}, AVCOL_SPC_BT709, AVCOL_RANGE_JPEG, {21, 21, 21}},
        {"limited-range dark grey",
         {34, 128, 128},
         AVCOL_SPC_BT709,
         AVCOL_RANGE_MPEG,
         {21, 21, 21}},
    };
    for (const auto& colour : cases) {
        std::string path = test::TemporaryPath("colour.mkv");
        test::WriteYuvPicture(path, colour.yuv, colour.matrix, colour.range);
        Rgb pixel = FramePixel(Grab(*ConnectFile(path), 0), 160, 120);
        for (int channel = 0; channel < 3; ++channel) {
            EXPECT_NEAR(pixel[channel], colour.shown[channel], 3)
                << colour.name << ", channel " << channel;
        }
    }
}

TEST_F(FileCameraTest, TransparencyIsShownOverBlack) {
    // Left: transparent over hidden green; middle: half-transparent red; right: opaque blue.
    std::string path = test::TemporaryPath("transparent.png");
    test::WriteFile(path, test::EncodePngWithAlpha(320, 240, [](int x, int) {
                        return x < 100   ? test::Rgba{0, 255, 0, 0}
                               : x < 220 ? test::Rgba{255, 0, 0, 128}
                                         : test::Rgba{0, 0, 255, 255};
                    }));
    std::vector<unsigned char> frame = Grab(*ConnectFile(path), 0);
    EXPECT_EQ(FramePixel(frame, 50, 120), (Rgb{0, 0, 0}));
    EXPECT_EQ(FramePixel(frame, 160, 120), (Rgb{128, 0, 0}));
    EXPECT_EQ(FramePixel(frame, 270, 120), (Rgb{0, 0, 255}));
}

// A CMYK JPEG, made by ImageMagick since FFmpeg writes none: its darks and lights keep their
// levels.
TEST_F(FileCameraTest, CmykJpegKeepsItsContrast) {
    std::string png = test::TemporaryPath("levels.png");
    test::WriteFile(png, test::EncodePng(320, 240, [](int x, int) {
                        return x < 160 ? Rgb{30, 30, 30} : Rgb{220, 220, 220};
                    }));
    std::string jpeg = png + ".jpg";
    std::string command = "convert '" + png + "' -colorspace CMYK -quality 98 '" + jpeg + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::vector<unsigned char> frame = Grab(*ConnectFile(jpeg), 0);
    for (auto [x, level] : {std::pair{80, 30}, {240, 220}}) {
        Rgb pixel = FramePixel(frame, x, 120);
        for (int channel = 0; channel < 3; ++channel) {
            EXPECT_NEAR(pixel[channel], level, 6) << "at x " << x << ", channel " << channel;
        }
    }
}

// How many files the process holds open.
int OpenFileCount() {
    int count = 0;
    if (DIR* folder = opendir("/proc/self/fd")) {
        while (readdir(folder) != nullptr) {
            ++count;
        }
        closedir(folder);
    }
    return count;
}

// A still is decoded and scaled once: the file and the decoded picture are let go. A clip
// keeps its file open to play on.
TEST_F(FileCameraTest, StillKeepsOnlyItsFrameAndAClipItsFile) {
    std::string still = test::TemporaryPath("large.png");
    test::WriteFile(still, test::EncodePng(1600, 1200, DistinctColour));
    std::string clip = test::TemporaryPath("clip.nut");
    test::WriteSolidClip(clip, 10, {{255, 0, 0}, {0, 255, 0}});
    int before = OpenFileCount();
    auto stillCamera = ConnectFile(still);
    Grab(*stillCamera, 0);
    EXPECT_EQ(OpenFileCount(), before);
    auto clipCamera = ConnectFile(clip);
    Grab(*clipCamera, 0);
    EXPECT_EQ(OpenFileCount(), before + 1);
}

// FFmpeg decodes no picture of more than about 268 million pixels with margins: the reason
// says the picture is too large, not that the file is broken.
TEST_F(FileCameraTest, PictureTooLargeForFfmpegSaysSo) {
    std::vector<unsigned char> png = test::EncodePng(16, 16, DistinctColour);
    // The header chunk's width and height, big-endian, after the 8-byte signature and the
    // chunk's length and type; its checksum is not checked.
    for (int field : {16, 20}) {
        const unsigned char size[] = {0x00, 0x00, 0x4E, 0x20};  // 20000
        std::copy(size, size + 4, png.begin() + field);
    }
    std::string path = test::TemporaryPath("huge.png");
    test::WriteFile(path, png);
    std::string reason;
    EXPECT_FALSE(drivers::MakeFileCamera(path)->Connect(&reason));
    EXPECT_EQ(reason, "cannot decode: too large (20000 x 20000 pixels, more than FFmpeg decodes)");
}

// A file changed in place, replaced or removed is lost; connected again, the source shows what
// the file now holds.
TEST_F(FileCameraTest, FileThatChangesIsLostAndPickedUpAgain) {
    const Rgb before{255, 0, 0}, after{0, 0, 255};
    const struct {
        const char* name;
        bool still;
        std::function<void(const std::string& path)> change;
        bool readable;
    } cases[] = {
        {"clip overwritten in place", false,
         [&](const std::string& path) {
             std::string other = path + ".new";
             test::WriteSolidClip(other, 10, {after, after});
             std::string command = "cat '" + other + "' > '" + path + "'";
             ASSERT_EQ(std::system(command.c_str()), 0);
         },
         true},
        {"still replaced", true,
         [&](const std::string& path) {
             std::string other = path + ".new";
             test::WriteFile(other, test::EncodePng(320, 240, [&](int, int) { return after; }));
             ASSERT_EQ(std::rename(other.c_str(), path.c_str()), 0);
         },
         true},
        {"clip removed", false, [](const std::string& path) { std::remove(path.c_str()); }, false},
    };
    for (const auto& change : cases) {
        SCOPED_TRACE(change.name);
        std::string path = test::TemporaryPath(change.still ? "still.png" : "clip.nut");
        if (change.still) {
            test::WriteFile(path, test::EncodePng(320, 240, [&](int, int) { return before; }));
        } else {
            test::WriteSolidClip(path, 10, {before, before});
        }
        auto camera = ConnectFile(path);
        EXPECT_EQ(FramePixel(Grab(*camera, 0), 10, 10), before);
        // Written within the same clock tick, a file would still look unchanged.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        change.change(path);
        std::vector<unsigned char> frame(kFrameBytes);
        EXPECT_EQ(camera->TakePicture(50, 0, frame.data()), drivers::Take::kLost);
        std::string reason;
        ASSERT_EQ(camera->Connect(&reason), change.readable) << reason;
        if (change.readable) {
            EXPECT_EQ(FramePixel(Grab(*camera, 0), 10, 10), after);
        }
    }
}

// A path is a path: FFmpeg's protocol and pattern syntax means nothing in it.
TEST_F(FileCameraTest, PathsAreTakenLiterally) {
    for (const char* name : {"face %d.png", "take1:face.png", "face*.png", "file:face.png",
                             "face [1].png", "pipe:0"}) {
        std::string path = test::TemporaryPath(name);
        test::WriteFile(path, test::EncodePng(320, 240, [](int, int) { return Rgb{9, 99, 199}; }));
        std::string reason;
        auto camera = drivers::MakeFileCamera(path);
        ASSERT_TRUE(camera->Connect(&reason)) << name << ": " << reason;
        EXPECT_EQ(FramePixel(Grab(*camera, 0), 10, 10), (Rgb{9, 99, 199})) << name;
    }
    // Relative to the working folder, too.
    char* workingFolder = getcwd(nullptr, 0);
    std::string folder = test::TemporaryPath("");
    ASSERT_EQ(chdir(folder.c_str()), 0);
    test::WriteFile("take2:face.png", test::EncodePng(32, 32, DistinctColour));
    std::string reason;
    EXPECT_TRUE(drivers::MakeFileCamera("take2:face.png")->Connect(&reason)) << reason;
    EXPECT_EQ(chdir(workingFolder), 0);
    free(workingFolder);
}

// What is not a regular file is refused at once, never waited on: a named pipe with no
// writer or a silent one, a folder, an endless device.
TEST_F(FileCameraTest, WhatIsNotAFileIsRefusedAtOnce) {
    std::string pipe = test::TemporaryPath("clip.mp4");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    const struct {
        std::string path;
        bool writerWaiting;
        const char* reason;
    } cases[] = {
        {pipe, false,
         "cannot open: a named pipe, not a file that can be played from its start again"},
        {pipe, true,
         "cannot open: a named pipe, not a file that can be played from its start again"},
        {"/tmp", false,
         "cannot open: a folder, not a file that can be played from its start again"},
        {"/dev/zero", false,
         "cannot open: a device, not a file that can be played from its start again"},
    };
    for (const auto& refused : cases) {
        int writer = refused.writerWaiting ? open(pipe.c_str(), O_RDWR | O_NONBLOCK) : -1;
        std::string reason;
        EXPECT_FALSE(drivers::MakeFileCamera(refused.path)->Connect(&reason)) << refused.path;
        EXPECT_EQ(reason, refused.reason) << refused.path;
        if (writer >= 0) {
            close(writer);
        }
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
    std::vector<std::string> expected;
    for (int index = 0; index < 10; ++index) {
        expected.push_back("/dev/video" + std::to_string(index));
    }
    expected[0] = "pipewire or /dev/video0";
    // Empty is no choice at all.
    for (const char* value : {static_cast<const char*>(nullptr), ""}) {
        value ? setenv("MORVALA_CAMERA", value, 1) : unsetenv("MORVALA_CAMERA");
        EXPECT_EQ(SourceNames(), expected) << (value ? "empty" : "unset");
    }
}

// When not even the last of the ten devices opens, its line also says how to run without one.
TEST_F(CameraChoiceTest, TheLastDefaultDeviceToFailSaysHowToRunWithoutACamera) {
    const std::string hint =
        "\nmorvala: no camera opened; MORVALA_CAMERA=synthetic runs with a built-in scene "
        "instead, MORVALA_CAMERA=FILE with a clip or picture";
    unsetenv("MORVALA_CAMERA");
    for (int index = 0; index < 10; ++index) {
        auto source = drivers::MakeCameraSource(index);
        std::string reason;
        if (source->Connect(&reason)) {
            continue;  // a real camera on this machine
        }
        bool hints = reason.size() > hint.size() &&
                     reason.compare(reason.size() - hint.size(), hint.size(), hint) == 0;
        EXPECT_EQ(hints, index == 9) << index << ": " << reason;
    }
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
