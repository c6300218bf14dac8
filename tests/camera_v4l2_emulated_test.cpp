// The V4L2 source and the real libv4l2 against an emulated USB webcam (linked into this test):
// its formats and sizes, its damaged, cut-short, late and missing frames, and its unplugging.
#include <gtest/gtest.h>
#include <linux/videodev2.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/drivers/camera.h"
#include "platform/drivers/camera_v4l2_mjpeg.h"
#include "tests/emulated_camera/emulated_camera.h"
#include "tests/emulated_camera/pictures.h"

namespace morvala {
namespace {

using drivers::Take;
using Clock = std::chrono::steady_clock;

constexpr char kDevice[] = "/dev/video7";
// The capture window's own wait for one take.
constexpr int kWaitMs = 20;

int Milliseconds(Clock::duration duration) {
    return static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(duration).count());
}

struct Colour {
    int red, green, blue;
};

// A frame as the sources write it: 320 x 240, BGR, bottom-up.
struct Frame {
    std::vector<unsigned char> bytes = std::vector<unsigned char>(drivers::kFrameBytes, 0);

    Colour At(int x, int y) const {
        const unsigned char* pixel =
            &bytes[(drivers::kFrameHeight - 1 - y) * drivers::kFrameRowBytes + x * 3];
        return {pixel[2], pixel[1], pixel[0]};
    }
    bool Dark(int x, int y) const {
        Colour colour = At(x, y);
        return colour.red < 80 && colour.green < 80 && colour.blue < 80;
    }
    // The ring's outer extent along the centre row (across) or column (down).
    int RingExtent(bool across) const {
        int length = across ? drivers::kFrameWidth : drivers::kFrameHeight;
        int first = -1;
        int last = -1;
        for (int at = 0; at < length; ++at) {
            bool dark =
                across ? Dark(at, drivers::kFrameHeight / 2) : Dark(drivers::kFrameWidth / 2, at);
            if (dark) {
                last = at;
                first = first < 0 ? at : first;
            }
        }
        return first < 0 ? 0 : last - first + 1;
    }
};

// Which of red, green, blue or white the colour plainly is; '?' when none.
char Named(Colour colour) {
    bool red = colour.red > 170;
    bool green = colour.green > 170;
    bool blue = colour.blue > 170;
    bool redLow = colour.red < 85;
    bool greenLow = colour.green < 85;
    bool blueLow = colour.blue < 85;
    if (red && green && blue) {
        return 'W';
    }
    if (red && greenLow && blueLow) {
        return 'R';
    }
    if (green && redLow && blueLow) {
        return 'G';
    }
    if (blue && redLow && greenLow) {
        return 'B';
    }
    return '?';
}

// The test card's four quadrants, read well away from the ring and the middle lines:
// "RGBW" when upright with the right colours.
std::string Quadrants(const Frame& frame) {
    std::string named;
    for (auto [x, y] : {std::pair{40, 30}, {280, 30}, {40, 210}, {280, 210}}) {
        named += Named(frame.At(x, y));
    }
    return named;
}

// True when the lower half is the card's, not a grey or dark stand-in for a missing part.
bool LowerHalfWhole(const Frame& frame) {
    for (int y = 130; y < drivers::kFrameHeight; y += 10) {
        if (Named(frame.At(20, y)) != 'B' || Named(frame.At(300, y)) != 'W') {
            return false;
        }
    }
    return true;
}

struct EmulatedCameraTest : ::testing::Test {
    void SetUp() override {
        char folder[] = "/tmp/morvala-camera-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        scratch = folder;
        control = scratch + "/control";
    }
    void TearDown() override {
        source.reset();
        std::remove(control.c_str());
        rmdir(scratch.c_str());
    }

    void Plug(const std::string& config) {
        ASSERT_EQ(
            emulated_camera_configure(
                (std::string("device=") + kDevice + " control=" + control + " " + config).c_str()),
            0);
        source = drivers::MakeV4l2Camera(kDevice);
        std::string reason;
        ASSERT_TRUE(source->Connect(&reason)) << reason;
    }

    void Tell(const char* state) { std::ofstream(control) << state << "\n"; }

    // A take into a frame filled with a marker first, so that a take that claims a picture
    // without writing one shows as not the card.
    Take TakeOnce() {
        std::fill(frame.bytes.begin(), frame.bytes.end(), 0x77);
        return source->TakePicture(0, kWaitMs, frame.bytes.data());
    }

    // Takes with the capture window's short wait until one gives wanted or the camera is lost,
    // or until withinMs has passed: what the last take gave.
    Take TakeUntil(Take wanted, int withinMs) {
        Clock::time_point end = Clock::now() + std::chrono::milliseconds(withinMs);
        Take take = Take::kNothing;
        while (take != wanted && take != Take::kLost && Clock::now() < end) {
            take = TakeOnce();
        }
        return take;
    }

    // Takes for durationMs; counts what came, and checks every picture as it comes.
    struct Tally {
        int pictures = 0;
        int lost = 0;
        int wrong = 0;  // pictures not the whole, upright card
        int longestTakeMs = 0;
    };
    Tally TakeFor(int durationMs) {
        Tally tally;
        Clock::time_point end = Clock::now() + std::chrono::milliseconds(durationMs);
        while (Clock::now() < end) {
            Clock::time_point start = Clock::now();
            Take take = TakeOnce();
            tally.longestTakeMs = std::max(tally.longestTakeMs, Milliseconds(Clock::now() - start));
            if (take == Take::kPicture) {
                ++tally.pictures;
                tally.wrong += Quadrants(frame) != "RGBW" || !LowerHalfWhole(frame);
            }
            if (take == Take::kLost) {
                ++tally.lost;
                std::string reason;
                source->Connect(&reason);
            }
        }
        return tally;
    }

    std::string scratch;
    std::string control;
    std::unique_ptr<drivers::CameraSource> source;
    Frame frame;
};

struct CardCase {
    const char* mode;
    unsigned fourcc;  // what the camera is asked to stream
};

struct CardTest : EmulatedCameraTest, ::testing::WithParamInterface<CardCase> {};

// Every kind of camera gives the card upright, in its colours, and undistorted: a 16:9
// picture is cropped to 4:3 about its centre, never squeezed.
TEST_P(CardTest, ShowsTheCardUprightInItsColoursAndRound) {
    Plug(std::string("mode=") + GetParam().mode);
    ASSERT_EQ(TakeUntil(Take::kPicture, 3000), Take::kPicture);
    EXPECT_EQ(Quadrants(frame), "RGBW");
    int across = frame.RingExtent(true);
    int down = frame.RingExtent(false);
    EXPECT_NEAR(down, 2 * emulated_camera::kRingRadius * drivers::kFrameHeight, 6);
    EXPECT_NEAR(across, down, 4) << "the ring is " << across << " across and " << down << " down";
    unsigned fourcc = 0;
    int width = 0;
    int height = 0;
    ASSERT_TRUE(emulated_camera_streamed_format(&fourcc, &width, &height));
    EXPECT_EQ(fourcc, GetParam().fourcc);
}

INSTANTIATE_TEST_SUITE_P(Modes, CardTest,
                         ::testing::Values(CardCase{"yuyv640", V4L2_PIX_FMT_YUYV},
                                           CardCase{"yuyv320", V4L2_PIX_FMT_YUYV},
                                           CardCase{"mjpeg720", V4L2_PIX_FMT_MJPEG},
                                           CardCase{"laptop", V4L2_PIX_FMT_YUYV},
                                           CardCase{"bayer", V4L2_PIX_FMT_SBGGR8}),
                         [](const auto& info) { return std::string(info.param.mode); });

// Of a camera with many sizes, the smallest that still fills the frame once cropped to 4:3.
TEST_F(EmulatedCameraTest, AsksALaptopCameraForTheSmallestSizeThatFillsTheFrame) {
    Plug("mode=laptop");
    ASSERT_EQ(TakeUntil(Take::kPicture, 3000), Take::kPicture);
    unsigned fourcc = 0;
    int width = 0;
    int height = 0;
    ASSERT_TRUE(emulated_camera_streamed_format(&fourcc, &width, &height));
    EXPECT_EQ(width, 424);
    EXPECT_EQ(height, 240);
}

struct FaultCase {
    const char* name;
    const char* config;
};

struct DamagedFramesTest : EmulatedCameraTest, ::testing::WithParamInterface<FaultCase> {};

// Damaged frames, whether flagged, dropped, cut short or turned by libv4l2 into a dequeue
// that finds nothing, are skipped: the camera is not lost, and no damaged picture is shown.
TEST_P(DamagedFramesTest, AreSkippedWithoutLosingTheCamera) {
    Plug(GetParam().config);
    Tally tally = TakeFor(2000);
    EXPECT_EQ(tally.lost, 0);
    EXPECT_EQ(tally.wrong, 0);
    // At 30 frames a second with every second damaged: 30 good ones; half is plenty.
    EXPECT_GE(tally.pictures, 15);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DamagedFramesTest,
    ::testing::Values(
        FaultCase{"FlaggedYuyv", "mode=yuyv640 damaged-every=2"},
        FaultCase{"FlaggedShortYuyv", "mode=yuyv640 damaged-every=2 damaged-as=short"},
        FaultCase{"DroppedYuyv", "mode=yuyv640 damaged-every=2 damaged-as=drop"},
        FaultCase{"FlaggedMjpeg", "mode=mjpeg720 damaged-every=2"},
        FaultCase{"CutShortMjpeg", "mode=mjpeg720 cut-short-every=2"},
        // libv4l2 cannot convert a short frame: it hands it back and finds no other.
        FaultCase{"FlaggedShortThroughConversion", "mode=bayer damaged-every=2 damaged-as=short"},
        FaultCase{"FlaggedThroughConversion", "mode=bayer damaged-every=2"}),
    [](const auto& info) { return std::string(info.param.name); });

struct MjpegFrameCase {
    const char* name;
    int width, height;
    enum Damage { kNone, kZeroPadded, kPaddedScan, kCut, kGarbled, kMarkerInScan } damage;
    bool shown;
};

// A decoder writing into a frame that starts filled with 0x77, to show whether it was written.
template <typename Case>
struct MjpegDecoderTest : ::testing::TestWithParam<Case> {
    void SetUp() override {
        std::string reason;
        ASSERT_TRUE(decoder.Start(&reason)) << reason;
        std::fill(frame.bytes.begin(), frame.bytes.end(), 0x77);
    }
    bool Decode(const std::vector<uint8_t>& bytes) {
        return decoder.Decode(bytes.data(), bytes.size(), scaler, frame.bytes.data());
    }
    bool Untouched() const {
        return std::all_of(frame.bytes.begin(), frame.bytes.end(),
                           [](unsigned char byte) { return byte == 0x77; });
    }

    drivers::MjpegDecoder decoder;
    drivers::FrameScaler scaler;
    Frame frame;
};

struct MjpegFrameTest : MjpegDecoderTest<MjpegFrameCase> {};

// Camera frames, without Huffman tables as cameras send them, decoded straight: a whole one is
// the card upright and round, cropped from a wide or a tall picture; a damaged one, whose end
// marker is missing or whose scan is broken, is refused and the frame left untouched.
TEST_P(MjpegFrameTest, ShowsWholeFramesAndRefusesDamagedOnes) {
    const MjpegFrameCase& c = GetParam();
    emulated_camera::Pictures pictures =
        emulated_camera::MakePictures(V4L2_PIX_FMT_MJPEG, c.width, c.height);
    std::vector<uint8_t> bytes = pictures.good;
    switch (c.damage) {
        case MjpegFrameCase::kNone:
            break;
        case MjpegFrameCase::kZeroPadded:
            bytes.resize(bytes.size() + 4096, 0);
            break;
        case MjpegFrameCase::kPaddedScan:
            // Bytes after the whole scan, before the end marker, as some cameras send.
            bytes.insert(bytes.end() - 2, 8, 0x5A);
            break;
        case MjpegFrameCase::kCut:
            bytes = pictures.cut;
            break;
        case MjpegFrameCase::kGarbled:
            bytes = pictures.garbled;
            break;
        case MjpegFrameCase::kMarkerInScan:
            // A restart marker where none belongs, two thirds of the way through.
            bytes[bytes.size() * 2 / 3] = 0xFF;
            bytes[bytes.size() * 2 / 3 + 1] = 0xD3;
            break;
    }
    // Twice: a refused frame leaves the decoder ready for the next.
    for (int pass = 0; pass < 2; ++pass) {
        ASSERT_EQ(Decode(bytes), c.shown) << "pass " << pass;
    }
    if (!c.shown) {
        EXPECT_TRUE(Untouched());
        ASSERT_TRUE(Decode(pictures.good)) << "a whole frame after a damaged one";
    }
    EXPECT_EQ(Quadrants(frame), "RGBW");
    EXPECT_TRUE(LowerHalfWhole(frame));
    if (c.width * 3 >= c.height * 4) {
        // The ring, as tall as 70% of the picture, fits in the shown centre of a wide one.
        int across = frame.RingExtent(true);
        int down = frame.RingExtent(false);
        EXPECT_NEAR(down, 2 * emulated_camera::kRingRadius * drivers::kFrameHeight, 6);
        EXPECT_NEAR(across, down, 4) << "the ring is " << across << " across and " << down;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Frames, MjpegFrameTest,
    ::testing::Values(MjpegFrameCase{"Wide", 1280, 720, MjpegFrameCase::kNone, true},
                      MjpegFrameCase{"Tall", 720, 1600, MjpegFrameCase::kNone, true},
                      MjpegFrameCase{"FourByThree", 640, 480, MjpegFrameCase::kNone, true},
                      MjpegFrameCase{"ZeroPadded", 1280, 720, MjpegFrameCase::kZeroPadded, true},
                      MjpegFrameCase{"PaddedScan", 1280, 720, MjpegFrameCase::kPaddedScan, true},
                      MjpegFrameCase{"CutShort", 1280, 720, MjpegFrameCase::kCut, false},
                      MjpegFrameCase{"Garbled", 1280, 720, MjpegFrameCase::kGarbled, false},
                      MjpegFrameCase{"GarbledTall", 720, 1600, MjpegFrameCase::kGarbled, false},
                      MjpegFrameCase{"MarkerInScan", 1280, 720, MjpegFrameCase::kMarkerInScan,
                                     false}),
    [](const auto& info) { return std::string(info.param.name); });

struct MjpegLayoutCase {
    const char* name;
    int width, height;
    J_COLOR_SPACE colourSpace;
    int lumaAcross, lumaDown;  // luma's sampling factors; the others' are 1
    bool shown;
};

struct MjpegLayoutTest : MjpegDecoderTest<MjpegLayoutCase> {};

// The card in mid-tones, where a wrong colour range or matrix shows as much as a wrong colour.
std::vector<uint8_t> MutedCard(int width, int height) {
    std::vector<uint8_t> card = emulated_camera::DrawCard(width, height);
    for (uint8_t& sample : card) {
        sample = static_cast<uint8_t>(64 + sample / 2);
    }
    return card;
}

// The root mean square of the differences between the frame's samples and the picture's (RGB,
// width x height, 240 rows or a whole multiple) 4:3 centre, box-filtered down to the frame: as
// BT.601 luma when the frame is grey.
double DistanceFromThePicture(const Frame& frame, const std::vector<uint8_t>& rgb, int width,
                              int height, bool grey) {
    int factor = height / drivers::kFrameHeight;
    int left = (width - drivers::kFrameWidth * factor) / 2;
    double squares = 0;
    for (int y = 0; y < drivers::kFrameHeight; ++y) {
        for (int x = 0; x < drivers::kFrameWidth; ++x) {
            double sums[3] = {};
            for (int below = 0; below < factor; ++below) {
                for (int across = 0; across < factor; ++across) {
                    const uint8_t* pixel =
                        &rgb[(size_t(y * factor + below) * width + left + x * factor + across) * 3];
                    double luma = 0.299 * pixel[0] + 0.587 * pixel[1] + 0.114 * pixel[2];
                    for (int channel = 0; channel < 3; ++channel) {
                        sums[channel] += grey ? luma : pixel[channel];
                    }
                }
            }
            Colour colour = frame.At(x, y);
            const int shown[3] = {colour.red, colour.green, colour.blue};
            for (int channel = 0; channel < 3; ++channel) {
                double difference = shown[channel] - sums[channel] / (factor * factor);
                squares += difference * difference;
            }
        }
    }
    return std::sqrt(squares / (3.0 * drivers::kFrameWidth * drivers::kFrameHeight));
}

// Each layout a camera sends becomes the card, upright, coloured and round; one that none sends
// is refused, leaving the frame as it was.
TEST_P(MjpegLayoutTest, ShowsEachCameraLayout) {
    const MjpegLayoutCase& c = GetParam();
    std::vector<uint8_t> card = MutedCard(c.width, c.height);
    std::vector<uint8_t> bytes = emulated_camera::EncodeJpeg(
        card, c.width, c.height, {c.colourSpace, c.lumaAcross, c.lumaDown, 90});
    ASSERT_EQ(Decode(bytes), c.shown);
    if (!c.shown) {
        EXPECT_TRUE(Untouched());
        return;
    }
    bool grey = c.colourSpace == JCS_GRAYSCALE;
    int down = frame.RingExtent(false);
    EXPECT_NEAR(down, 2 * emulated_camera::kRingRadius * drivers::kFrameHeight, 6);
    if (grey) {
        for (auto [x, y] : {std::pair{40, 30}, {280, 30}, {40, 210}, {280, 210}}) {
            Colour colour = frame.At(x, y);
            EXPECT_TRUE(colour.red == colour.green && colour.red == colour.blue) << x << ", " << y;
        }
    } else {  // in grey, the blue quadrant is as dark as the ring
        EXPECT_EQ(Quadrants(frame), "RGBW");
        EXPECT_NEAR(frame.RingExtent(true), down, 4);
    }
    if (c.height % drivers::kFrameHeight == 0 && c.width * 3 >= c.height * 4) {
        // Measured at 1.3 to 4.1 (chroma blurs the sharp edges); a wrong colour range or matrix
        // gives 7.5 or more.
        EXPECT_LT(DistanceFromThePicture(frame, card, c.width, c.height, grey), 5.5);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, MjpegLayoutTest,
    ::testing::Values(MjpegLayoutCase{"Yuv444", 1280, 720, JCS_YCbCr, 1, 1, true},
                      MjpegLayoutCase{"Yuv422", 1280, 720, JCS_YCbCr, 2, 1, true},
                      // Reduced, libjpeg decodes its chroma at the luma's size.
                      MjpegLayoutCase{"Yuv420", 1280, 720, JCS_YCbCr, 2, 2, true},
                      MjpegLayoutCase{"Yuv420Whole", 320, 240, JCS_YCbCr, 2, 2, true},
                      MjpegLayoutCase{"Yuv420OddSize", 650, 490, JCS_YCbCr, 2, 2, true},
                      MjpegLayoutCase{"Yuv411", 1280, 720, JCS_YCbCr, 4, 1, true},
                      MjpegLayoutCase{"Yuv440", 1280, 720, JCS_YCbCr, 1, 2, true},
                      MjpegLayoutCase{"Grey", 1280, 720, JCS_GRAYSCALE, 1, 1, true},
                      MjpegLayoutCase{"Rgb", 1280, 720, JCS_RGB, 1, 1, true},
                      MjpegLayoutCase{"ThreeToOne", 1280, 720, JCS_YCbCr, 3, 1, false}),
    [](const auto& info) { return std::string(info.param.name); });

// A camera whose first frame after each stream-on is damaged gives its second, after every
// connect.
TEST_F(EmulatedCameraTest, ShowsTheFrameAfterADamagedFirstOne) {
    Plug("mode=yuyv640 first-damaged");
    for (int connect = 0; connect < 2; ++connect) {
        ASSERT_EQ(TakeUntil(Take::kPicture, 3000), Take::kPicture) << "connect " << connect;
        EXPECT_EQ(Quadrants(frame), "RGBW");
        EXPECT_TRUE(LowerHalfWhole(frame));
        std::string reason;
        ASSERT_TRUE(source->Connect(&reason)) << reason;
    }
}

// A slow first frame is waited for take by take, never called lost.
TEST_F(EmulatedCameraTest, WaitsForASlowFirstFrame) {
    Plug("mode=yuyv640 slow-first-ms=2500");
    Clock::time_point start = Clock::now();
    ASSERT_EQ(TakeUntil(Take::kPicture, 5000), Take::kPicture);
    EXPECT_GE(Milliseconds(Clock::now() - start), 2000);
    EXPECT_EQ(Quadrants(frame), "RGBW");
}

// A silent camera answers each take within about its wait, with nothing; when it speaks again,
// pictures come without a new connect.
TEST_F(EmulatedCameraTest, AnswersEachTakeQuicklyWhileTheCameraIsSilent) {
    Plug("mode=yuyv640");
    ASSERT_EQ(TakeUntil(Take::kPicture, 3000), Take::kPicture);
    Tell("silent");
    TakeFor(200);  // what was already filled
    Tally silent = TakeFor(1500);
    EXPECT_EQ(silent.pictures, 0);
    EXPECT_EQ(silent.lost, 0);
    // Generous against a busy machine: the wait asked is 20 ms.
    EXPECT_LT(silent.longestTakeMs, 250);
    Tell("plugged");
    EXPECT_EQ(TakeUntil(Take::kPicture, 1000), Take::kPicture);
}

// Unplugged: lost at the next take, no connect while the node is gone (saying why), and
// pictures again once it is back.
TEST_F(EmulatedCameraTest, IsLostWhenUnpluggedAndComesBackWhenReplugged) {
    Plug("mode=mjpeg720");
    ASSERT_EQ(TakeUntil(Take::kPicture, 3000), Take::kPicture);
    Tell("unplugged");
    EXPECT_EQ(TakeUntil(Take::kLost, 500), Take::kLost);
    std::string reason;
    EXPECT_FALSE(source->Connect(&reason));
    EXPECT_NE(reason.find("No such file or directory"), std::string::npos) << reason;
    // The node comes back a moment after the camera, as udev makes it.
    Tell("plugged");
    Clock::time_point end = Clock::now() + std::chrono::seconds(1);
    bool connected = false;
    while (!connected && Clock::now() < end) {
        connected = source->Connect(&reason);
        usleep(20000);
    }
    ASSERT_TRUE(connected) << reason;
    ASSERT_EQ(TakeUntil(Take::kPicture, 3000), Take::kPicture);
    EXPECT_EQ(Quadrants(frame), "RGBW");
}

}  // namespace
}  // namespace morvala
