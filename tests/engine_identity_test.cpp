// The engine's per-frame path against the plain sequence of GSL calls, bit for bit.

#include "engine/face_patch.h"
#include "engine/face_space.h"
#include "tests/engine_reference.h"
#include "tests/engine_test_support.h"

#include <cmath>
#include <random>

namespace {

constexpr size_t kLength = 128 * 128;

using PerFramePath = EngineModelTest;

void ExpectSameBits(const gsl_vector* a, const gsl_vector* b) {
    ASSERT_EQ(a->size, b->size);
    for (size_t i = 0; i < a->size; ++i) {
        ASSERT_EQ(BitsOf(gsl_vector_get(a, i)), BitsOf(gsl_vector_get(b, i))) << "element " << i;
    }
}

void ExpectSameDistance(const gsl_vector* x) {
    gsl_vector* forEngine = gsl_vector_alloc(x->size);
    gsl_vector* forReference = gsl_vector_alloc(x->size);
    gsl_vector_memcpy(forEngine, x);
    gsl_vector_memcpy(forReference, x);
    const double engine = DistanceFromFaceSpace(forEngine);
    const double reference = ReferenceDistanceFromFaceSpace(forReference);
    EXPECT_EQ(BitsOf(engine), BitsOf(reference)) << engine << " vs " << reference;
}

void TrainOnRandomFrames(std::mt19937& rng) {
    CreateSampleStorage();
    for (int k = 0; k < 7; ++k) {
        gsl_vector* v = TakeFaceVector(RandomFrame(rng).data());
        AddSample(k, v);
        gsl_vector_free(v);
    }
    TrainFaceSpace();
}

TEST(TakeFaceVectorBits, MatchTheGslCallSequence) {
    std::mt19937 rng(21);
    // Full-range frames and low-contrast ones, whose small ranges round differently.
    const int ranges[][2] = {{0, 255}, {100, 125}, {30, 41}, {0, 1}, {200, 255}};
    for (const auto& range : ranges) {
        SCOPED_TRACE(testing::Message() << "bytes " << range[0] << ".." << range[1]);
        const Frame frame = RandomFrame(rng, range[0], range[1]);
        gsl_vector* engine = TakeFaceVector(frame.data());
        gsl_vector* reference = ReferenceTakeFaceVector(frame.data());
        ExpectSameBits(engine, reference);
        gsl_vector_free(engine);
        gsl_vector_free(reference);
    }
}

TEST_F(PerFramePath, DistanceMatchesTheGslCallSequenceOnTrainedModels) {
    std::mt19937 rng(22);
    for (int model = 0; model < 3; ++model) {
        TrainOnRandomFrames(rng);
        for (int trial = 0; trial < 4; ++trial) {
            gsl_vector* x = TakeFaceVector(RandomFrame(rng).data());
            ExpectSameDistance(x);
            gsl_vector_free(x);
        }
        ExpectSameDistance(MeanFace);
        ReleaseModel();
    }
}

TEST_F(PerFramePath, DistanceMatchesTheGslCallSequenceOnRandomModels) {
    std::mt19937 rng(23);
    // Any basis, not only an orthonormal one: the rounding must agree whatever the values.
    for (double scale : {1e-3, 1.0, 1e4}) {
        SCOPED_TRACE(testing::Message() << "basis scale " << scale);
        MeanFace = RandomVector(rng, kLength, 100.0);
        FaceBasis = gsl_matrix_alloc(kLength, 7);
        std::normal_distribution<double> entry(0.0, scale);
        for (size_t i = 0; i < kLength; ++i) {
            for (size_t j = 0; j < 7; ++j) {
                gsl_matrix_set(FaceBasis, i, j, entry(rng));
            }
        }
        for (int trial = 0; trial < 4; ++trial) {
            gsl_vector* x = RandomVector(rng, kLength, 255.0);
            ExpectSameDistance(x);
            gsl_vector_free(x);
        }
        ReleaseModel();
    }
}

// A distance over many rows hides a last-bit difference in one of them, so here only a few
// rows are used, with entries of wildly different sizes whose sums depend on their order.
TEST_F(PerFramePath, DistanceMatchesTheGslCallSequenceRowByRow) {
    std::mt19937 rng(24);
    std::normal_distribution<double> mantissa(0.0, 1.0);
    std::uniform_int_distribution<int> exponent(-40, 40);
    const auto wildValue = [&] { return std::ldexp(mantissa(rng), exponent(rng)); };
    for (size_t row : {0, 1, 2, 3, 6, 4097, 16383}) {
        SCOPED_TRACE(testing::Message() << "row " << row);
        for (int trial = 0; trial < 8; ++trial) {
            MeanFace = gsl_vector_calloc(kLength);
            FaceBasis = gsl_matrix_calloc(kLength, 7);
            gsl_vector* x = gsl_vector_calloc(kLength);
            gsl_vector_set(MeanFace, row, wildValue());
            gsl_vector_set(x, row, wildValue());
            for (size_t j = 0; j < 7; ++j) {
                gsl_matrix_set(FaceBasis, row, j, wildValue());
            }
            ExpectSameDistance(x);
            gsl_vector_free(x);
            ReleaseModel();
        }
    }
}

}  // namespace
