#include "engine/face_patch.h"

#include "engine/wide_loops.h"

#include <cstdint>

namespace {

constexpr size_t kPatchSide = 128;
constexpr size_t kBytesPerPixel = 3;
constexpr size_t kFrameRowBytes = 320 * kBytesPerPixel;
// The patch's lower left corner: memory row 56 (rows are stored bottom-up), column 96.
constexpr size_t kPatchFirstRow = 56;
constexpr size_t kPatchFirstColumn = 96;
// The single-precision weights 0.3f, 0.59f, 0.11f widened to double are whole multiples of
// 2^-26: these multiples. Each product and both sums of the double computation are exact, so
// its truncation is the integer sum shifted down, which vectorises where tables would not.
constexpr uint64_t kRedWeight = 20132660;
constexpr uint64_t kGreenWeight = 39594228;
constexpr uint64_t kBlueWeight = 7381975;
constexpr int kWeightShift = 26;
static_assert(kRedWeight == static_cast<double>(0.3f) * (1 << kWeightShift) &&
                  kGreenWeight == static_cast<double>(0.59f) * (1 << kWeightShift) &&
                  kBlueWeight == static_cast<double>(0.11f) * (1 << kWeightShift),
              "the weights are exactly these multiples of 2^-26");

// The patch's grey levels in face-vector order. The weights sum to just under one, so every
// grey level g from 1 to 255 maps to g - 1 rather than irregularly to g or g - 1.
WIDE_LOOPS void SampleGreyLevels(const unsigned char* frame, unsigned char* grey) {
    const unsigned char* patch =
        frame + kPatchFirstRow * kFrameRowBytes + kPatchFirstColumn * kBytesPerPixel;
    for (size_t i = 0; i < kPatchSide; ++i) {
        const unsigned char* row = patch + i * kFrameRowBytes;
        for (size_t j = 0; j < kPatchSide; ++j) {
            const unsigned char* pixel = row + j * kBytesPerPixel;
            const uint64_t sum =
                pixel[2] * kRedWeight + pixel[1] * kGreenWeight + pixel[0] * kBlueWeight;
            grey[i * kPatchSide + j] = static_cast<unsigned char>(sum >> kWeightShift);
        }
    }
}

// Stretching whole grey levels: shifting by the minimum is exact, so every element is
// (g - lowest) x (255 / range), the bits NormaliseFaceVector gives.
WIDE_LOOPS void StretchGreyLevels(const unsigned char* grey, double* v) {
    int lowest = grey[0], highest = grey[0];
    for (size_t k = 0; k < FaceVectorSize; ++k) {
        const int g = grey[k];
        lowest = g < lowest ? g : lowest;
        highest = g > highest ? g : highest;
    }
    const double range = highest - lowest;
    const double factor = range != 0 ? 255 / range : 1;  // a flat patch stays all zeros
    for (size_t k = 0; k < FaceVectorSize; ++k) {
        v[k] = (grey[k] - lowest) * factor;
    }
}

}  // namespace

void SampleFacePatch(const unsigned char* frame, gsl_vector* v) {
    unsigned char grey[FaceVectorSize];
    SampleGreyLevels(frame, grey);
    for (size_t k = 0; k < FaceVectorSize; ++k) {
        gsl_vector_set(v, k, grey[k]);
    }
}

void NormaliseFaceVector(gsl_vector* v) {
    gsl_vector_add_constant(v, -gsl_vector_min(v));
    const double range = gsl_vector_max(v);
    // A flat patch (a covered lens) would become not-a-number through 255 / 0 and poison
    // the mean and every later distance; it stays all zeros instead.
    if (range != 0) {
        gsl_vector_scale(v, 255 / range);
    }
}

gsl_vector* TakeFaceVector(const unsigned char* frame) {
    unsigned char grey[FaceVectorSize];
    SampleGreyLevels(frame, grey);
    gsl_vector* v = gsl_vector_alloc(FaceVectorSize);
    StretchGreyLevels(grey, v->data);
    return v;
}
