#pragma once

// Frames, vectors and a clean model for the engine's tests, written without the engine's
// own geometry so that the tests check it.

#include "engine/face_space.h"
#include "tests/engine_reference.h"

#include <gsl/gsl_matrix.h>
#include <gsl/gsl_vector.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

// 320 x 240 pixels, bytes blue, green, red, the bottom line of the picture first.
using Frame = std::vector<unsigned char>;

constexpr int kFrameWidth = 320;
constexpr int kFrameHeight = 240;

inline Frame UniformFrame(unsigned char blue, unsigned char green, unsigned char red) {
    Frame frame(kFrameWidth * kFrameHeight * 3);
    for (size_t i = 0; i < frame.size(); i += 3) {
        frame[i] = blue;
        frame[i + 1] = green;
        frame[i + 2] = red;
    }
    return frame;
}

// Byte offset of the pixel at x, y of the picture as seen, y counted from the top.
inline size_t PictureOffset(int x, int y) {
    return ((kFrameHeight - 1 - y) * kFrameWidth + x) * 3;
}

inline void SetPicturePixel(Frame& frame, int x, int y, unsigned char blue, unsigned char green,
                            unsigned char red) {
    const size_t offset = PictureOffset(x, y);
    frame[offset] = blue;
    frame[offset + 1] = green;
    frame[offset + 2] = red;
}

inline bool InsidePatch(int x, int y) {
    return x >= 96 && x <= 223 && y >= 56 && y <= 183;
}

inline Frame RandomFrame(std::mt19937& rng, int lowest = 0, int highest = 255) {
    std::uniform_int_distribution<int> byte(lowest, highest);
    Frame frame(kFrameWidth * kFrameHeight * 3);
    for (unsigned char& b : frame) {
        b = static_cast<unsigned char>(byte(rng));
    }
    return frame;
}

inline gsl_vector* RandomVector(std::mt19937& rng, size_t size, double scale) {
    std::normal_distribution<double> value(0.0, scale);
    gsl_vector* v = gsl_vector_alloc(size);
    for (size_t i = 0; i < size; ++i) {
        gsl_vector_set(v, i, value(rng));
    }
    return v;
}

inline uint64_t BitsOf(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

inline double Dot(const gsl_vector* a, const gsl_vector* b) {
    double sum = 0;
    for (size_t i = 0; i < a->size; ++i) {
        sum += gsl_vector_get(a, i) * gsl_vector_get(b, i);
    }
    return sum;
}

inline bool AllFinite(const gsl_matrix* m) {
    for (size_t i = 0; i < m->size1; ++i) {
        for (size_t j = 0; j < m->size2; ++j) {
            if (!std::isfinite(gsl_matrix_get(m, i, j))) {
                return false;
            }
        }
    }
    return true;
}

// Each test starts without a model and releases whatever model it made.
class EngineModelTest : public testing::Test {
  protected:
    void SetUp() override { ReleaseModel(); }
    void TearDown() override { ReleaseModel(); }

    static void ReleaseModel() { ReleaseFaceSpaceModel(); }
};
