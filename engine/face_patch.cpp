#include "engine/face_patch.h"

#include "engine/wide_loops.h"

namespace {

constexpr size_t kPatchSide = 128;
constexpr size_t kBytesPerPixel = 3;
constexpr size_t kFrameRowBytes = 320 * kBytesPerPixel;
// The patch's lower left corner: memory row 56 (rows are stored bottom-up), column 96.
constexpr size_t kPatchFirstRow = 56;
constexpr size_t kPatchFirstColumn = 96;
constexpr int kByteValues = 256;

// Each channel's weighted term for every byte value, so that sampling only adds. The
// weights are single-precision values widened to double: their sum lies just under one,
// so every grey level g from 1 to 255 maps to g - 1 rather than irregularly to g or g - 1.
struct ChannelTerms {
    double red[kByteValues], green[kByteValues], blue[kByteValues];
};

constexpr ChannelTerms MakeChannelTerms() {
    ChannelTerms terms{};
    for (int byte = 0; byte < kByteValues; ++byte) {
        terms.red[byte] = byte * static_cast<double>(0.3f);
        terms.green[byte] = byte * static_cast<double>(0.59f);
        terms.blue[byte] = byte * static_cast<double>(0.11f);
    }
    return terms;
}

constexpr ChannelTerms kTerms = MakeChannelTerms();

// The patch's grey levels in face-vector order; red and green are added first, then blue.
void SampleGreyLevels(const unsigned char* frame, unsigned char* grey) {
    const unsigned char* patch =
        frame + kPatchFirstRow * kFrameRowBytes + kPatchFirstColumn * kBytesPerPixel;
    for (size_t i = 0; i < kPatchSide; ++i) {
        const unsigned char* pixel = patch + i * kFrameRowBytes;
        for (size_t j = 0; j < kPatchSide; ++j, pixel += kBytesPerPixel) {
            const double sum =
                kTerms.red[pixel[2]] + kTerms.green[pixel[1]] + kTerms.blue[pixel[0]];
            grey[i * kPatchSide + j] = static_cast<int>(sum) & 0xFF;
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
