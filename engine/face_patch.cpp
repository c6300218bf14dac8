#include "engine/face_patch.h"

namespace {

constexpr size_t kPatchSide = 128;
constexpr size_t kBytesPerPixel = 3;
constexpr size_t kFrameRowBytes = 320 * kBytesPerPixel;
// The patch's lower left corner: memory row 56 (rows are stored bottom-up), column 96.
constexpr size_t kPatchFirstRow = 56;
constexpr size_t kPatchFirstColumn = 96;

// Single-precision weights widened to double: their sum lies just under one, so every
// grey level g from 1 to 255 maps to g - 1 rather than irregularly to g or g - 1.
constexpr double kRedWeight = 0.3f;
constexpr double kGreenWeight = 0.59f;
constexpr double kBlueWeight = 0.11f;

}  // namespace

void SampleFacePatch(const unsigned char* frame, gsl_vector* v) {
    const unsigned char* patch =
        frame + kPatchFirstRow * kFrameRowBytes + kPatchFirstColumn * kBytesPerPixel;
    for (size_t i = 0; i < kPatchSide; ++i) {
        const unsigned char* pixel = patch + i * kFrameRowBytes;
        for (size_t j = 0; j < kPatchSide; ++j, pixel += kBytesPerPixel) {
            const double grey =
                pixel[2] * kRedWeight + pixel[1] * kGreenWeight + pixel[0] * kBlueWeight;
            gsl_vector_set(v, i * kPatchSide + j, static_cast<int>(grey) & 0xFF);
        }
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
    gsl_vector* v = gsl_vector_alloc(FaceVectorSize);
    SampleFacePatch(frame, v);
    NormaliseFaceVector(v);
    return v;
}
