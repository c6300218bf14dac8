#include "engine/face_patch.h"
#include "tests/engine_test_support.h"

#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr size_t kLength = 128 * 128;

// The single-precision weights red 0.3, green 0.59, blue 0.11 are whole multiples of
// 2^-27, so the grey level is exact in integers: no rounding happens in double either.
int ExactGreyLevel(int blue, int green, int red) {
    const int64_t sum =
        red * int64_t{40265320} + green * int64_t{79188456} + blue * int64_t{14763950};
    return static_cast<int>(sum >> 27) & 0xFF;
}

std::vector<double> Sampled(const Frame& frame) {
    gsl_vector* v = gsl_vector_alloc(kLength);
    SampleFacePatch(frame.data(), v);
    std::vector<double> values(v->data, v->data + kLength);
    gsl_vector_free(v);
    return values;
}

gsl_vector* VectorOf(const std::vector<double>& values) {
    gsl_vector* v = gsl_vector_alloc(values.size());
    for (size_t i = 0; i < values.size(); ++i) {
        gsl_vector_set(v, i, values[i]);
    }
    return v;
}

struct ColourCase {
    unsigned char blue, green, red;
    double grey;
};

TEST(SampleFacePatch, TurnsPixelBytesIntoGreyLevels) {
    const ColourCase cases[] = {
        {10, 20, 30, 21}, {100, 100, 100, 99}, {255, 255, 255, 254}, {0, 0, 0, 0},
        {1, 1, 1, 0},     {0, 0, 255, 76},     {0, 255, 0, 150},     {255, 0, 0, 28},
    };
    for (const ColourCase& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "B G R = " << int{c.blue} << " " << int{c.green} << " " << int{c.red});
        for (double grey : Sampled(UniformFrame(c.blue, c.green, c.red))) {
            ASSERT_EQ(grey, c.grey);
        }
    }
}

TEST(SampleFacePatch, MapsEveryGreyPixelOneLevelDown) {
    // Patch pixel k (row by row from the patch's bottom left) has grey g = k mod 256.
    Frame frame = UniformFrame(0, 0, 0);
    for (int k = 0; k < 128 * 128; ++k) {
        const unsigned char g = k % 256;
        SetPicturePixel(frame, 96 + k % 128, 183 - k / 128, g, g, g);
    }
    const std::vector<double> grey = Sampled(frame);
    for (int k = 0; k < 128 * 128; ++k) {
        ASSERT_EQ(grey[k], k % 256 == 0 ? 0 : k % 256 - 1) << "element " << k;
    }
}

TEST(SampleFacePatch, WeighsColoursWithTheSinglePrecisionWeights) {
    std::mt19937 rng(7);
    const Frame frame = RandomFrame(rng);
    const std::vector<double> grey = Sampled(frame);
    for (int k = 0; k < 128 * 128; ++k) {
        const size_t at = PictureOffset(96 + k % 128, 183 - k / 128);
        ASSERT_EQ(grey[k], ExactGreyLevel(frame[at], frame[at + 1], frame[at + 2]))
            << "element " << k;
    }
}

TEST(SampleFacePatch, MatchesTheDoubleWeightedSumForEveryColour) {
    // 2^24 colours, one patch of them at a time, against the sum as the double computation
    // does it: red term plus green term, then plus blue term, truncated.
    const double red = 0.3f, green = 0.59f, blue = 0.11f;
    constexpr int kColours = 1 << 24;
    Frame frame = UniformFrame(0, 0, 0);
    gsl_vector* v = gsl_vector_alloc(kLength);
    for (int first = 0; first < kColours; first += kLength) {
        for (int k = 0; k < static_cast<int>(kLength); ++k) {
            const int colour = first + k;
            SetPicturePixel(frame, 96 + k % 128, 183 - k / 128, colour & 0xFF, (colour >> 8) & 0xFF,
                            colour >> 16);
        }
        SampleFacePatch(frame.data(), v);
        for (int k = 0; k < static_cast<int>(kLength); ++k) {
            const int colour = first + k;
            const double sum =
                (colour >> 16) * red + ((colour >> 8) & 0xFF) * green + (colour & 0xFF) * blue;
            ASSERT_EQ(gsl_vector_get(v, k), static_cast<int>(sum) & 0xFF) << "colour " << colour;
        }
    }
    gsl_vector_free(v);
}

TEST(SampleFacePatch, PlacesPatchCornersAtTheirElements) {
    struct Corner {
        int x, y;
        size_t element;
    };
    // y counts from the top of the picture; element 0 is the patch's bottom left.
    const Corner corners[] = {{96, 183, 0}, {223, 183, 127}, {96, 56, 16256}, {223, 56, 16383}};
    for (const Corner& corner : corners) {
        SCOPED_TRACE(testing::Message() << "x " << corner.x << " y " << corner.y);
        Frame frame = UniformFrame(0, 0, 0);
        SetPicturePixel(frame, corner.x, corner.y, 100, 100, 100);
        const std::vector<double> grey = Sampled(frame);
        for (size_t k = 0; k < kLength; ++k) {
            ASSERT_EQ(grey[k], k == corner.element ? 99 : 0) << "element " << k;
        }
    }
}

TEST(SampleFacePatch, IgnoresPixelsOutsideThePatch) {
    std::mt19937 rng(11);
    const Frame frame = RandomFrame(rng);
    Frame repainted = RandomFrame(rng);
    for (int y = 0; y < kFrameHeight; ++y) {
        for (int x = 0; x < kFrameWidth; ++x) {
            if (InsidePatch(x, y)) {
                const size_t at = PictureOffset(x, y);
                std::copy(&frame[at], &frame[at + 3], &repainted[at]);
            }
        }
    }
    EXPECT_EQ(Sampled(frame), Sampled(repainted));
}

TEST(NormaliseFaceVector, StretchesTheRangeToZeroTo255) {
    struct RangeCase {
        int range;
        double largest;
    };
    // The largest element is range x (255 / range), which rounding can leave one unit
    // in the last place away from 255.
    const RangeCase cases[] = {
        {1, 255},
        {11, std::nextafter(255.0, 256.0)},
        {25, std::nextafter(255.0, 0.0)},
        {128, 255},
        {254, 255},
    };
    constexpr int kLowest = 17;
    for (const RangeCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "range " << c.range);
        std::vector<double> grey(kLength);
        for (size_t k = 0; k < kLength; ++k) {
            grey[k] = kLowest + (k * 7919) % (c.range + 1);
        }
        gsl_vector* v = VectorOf(grey);
        NormaliseFaceVector(v);
        EXPECT_EQ(gsl_vector_min(v), 0.0);
        EXPECT_EQ(gsl_vector_max(v), c.largest);
        const double factor = 255.0 / c.range;
        for (size_t k = 0; k < kLength; ++k) {
            ASSERT_EQ(gsl_vector_get(v, k), (grey[k] - kLowest) * factor) << "element " << k;
        }
        gsl_vector_free(v);
    }
}

TEST(NormaliseFaceVector, LeavesAFlatPatchAllZeros) {
    for (double level : {0.0, 37.0, 254.0}) {
        SCOPED_TRACE(testing::Message() << "level " << level);
        gsl_vector* v = VectorOf(std::vector<double>(kLength, level));
        NormaliseFaceVector(v);
        for (size_t k = 0; k < kLength; ++k) {
            ASSERT_EQ(gsl_vector_get(v, k), 0.0) << "element " << k;
        }
        gsl_vector_free(v);
    }
}

TEST(TakeFaceVector, SamplesAndStretchesTheFramesPatch) {
    // A patch of grey pixels 40..65 has grey levels 39..64: range 25.
    Frame frame = UniformFrame(255, 255, 255);
    for (int k = 0; k < 128 * 128; ++k) {
        const unsigned char g = 40 + k % 26;
        SetPicturePixel(frame, 96 + k % 128, 183 - k / 128, g, g, g);
    }
    gsl_vector* v = TakeFaceVector(frame.data());
    ASSERT_EQ(v->size, kLength);
    for (int k = 0; k < 128 * 128; ++k) {
        ASSERT_EQ(gsl_vector_get(v, k), (k % 26) * (255.0 / 25)) << "element " << k;
    }
    gsl_vector_free(v);
}

TEST(TakeFaceVector, GivesZerosForACoveredLens) {
    gsl_vector* v = TakeFaceVector(UniformFrame(3, 3, 3).data());
    for (size_t k = 0; k < kLength; ++k) {
        ASSERT_EQ(gsl_vector_get(v, k), 0.0) << "element " << k;
    }
    gsl_vector_free(v);
}

}  // namespace
