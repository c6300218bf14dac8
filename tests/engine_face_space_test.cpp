#include "engine/face_patch.h"
#include "engine/face_space.h"
#include "tests/engine_test_support.h"

#include <gsl/gsl_blas.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr size_t kLength = 128 * 128;
constexpr int kSamples = 7;

using FaceSpaceTraining = EngineModelTest;
using FaceSpaceDistance = EngineModelTest;

// Samples of clearly different spread, so that the eigenvalues are well apart.
std::vector<std::vector<double>> SpreadSamples(std::mt19937& rng) {
    std::vector<std::vector<double>> samples(kSamples, std::vector<double>(kLength));
    for (int k = 0; k < kSamples; ++k) {
        std::uniform_real_distribution<double> value(0.0, 255.0 * (k + 1) / kSamples);
        for (double& x : samples[k]) {
            x = value(rng);
        }
    }
    return samples;
}

void AddSamples(const std::vector<std::vector<double>>& samples) {
    gsl_vector* v = gsl_vector_alloc(kLength);
    for (int k = 0; k < kSamples; ++k) {
        std::copy(samples[k].begin(), samples[k].end(), v->data);
        AddSample(k, v);
    }
    gsl_vector_free(v);
}

std::vector<double> SumOf(const std::vector<std::vector<double>>& samples) {
    std::vector<double> sum(kLength, 0.0);
    for (const std::vector<double>& sample : samples) {
        for (size_t i = 0; i < kLength; ++i) {
            sum[i] += sample[i];
        }
    }
    return sum;
}

// Trains the face space on spread samples made from seed; returns the samples.
std::vector<std::vector<double>> TrainOnSpreadSamples(unsigned seed) {
    std::mt19937 rng(seed);
    auto samples = SpreadSamples(rng);
    CreateSampleStorage();
    AddSamples(samples);
    TrainFaceSpace();
    return samples;
}

gsl_vector* Column(const gsl_matrix* m, size_t j) {
    gsl_vector* v = gsl_vector_alloc(m->size1);
    gsl_matrix_get_col(v, m, j);
    return v;
}

gsl_vector* CopyOf(const gsl_vector* v) {
    gsl_vector* copy = gsl_vector_alloc(v->size);
    gsl_vector_memcpy(copy, v);
    return copy;
}

TEST_F(FaceSpaceTraining, StoresSamplesAndSumsThem) {
    std::mt19937 rng(1);
    const auto samples = SpreadSamples(rng);
    CreateSampleStorage();
    for (size_t i = 0; i < kLength; ++i) {
        ASSERT_EQ(gsl_vector_get(MeanFace, i), 0.0);
    }
    AddSamples(samples);
    const std::vector<double> sum = SumOf(samples);
    for (size_t i = 0; i < kLength; ++i) {
        ASSERT_EQ(gsl_vector_get(MeanFace, i), sum[i]) << "element " << i;
        for (int k = 0; k < kSamples; ++k) {
            ASSERT_EQ(gsl_matrix_get(SampleStore, i, k), samples[k][i]);
        }
    }
}

TEST_F(FaceSpaceTraining, TurnsTheSumIntoTheMean) {
    const auto samples = TrainOnSpreadSamples(2);
    const std::vector<double> sum = SumOf(samples);
    for (size_t i = 0; i < kLength; ++i) {
        ASSERT_EQ(gsl_vector_get(MeanFace, i), sum[i] * (1.0 / 7)) << "element " << i;
    }
    EXPECT_EQ(SampleStore, nullptr);
}

TEST_F(FaceSpaceTraining, BuildsSixOrthonormalBasisImagesAndLeavesTheNoiseColumnZero) {
    TrainOnSpreadSamples(3);
    ASSERT_EQ(FaceBasis->size1, kLength);
    ASSERT_EQ(FaceBasis->size2, size_t{kSamples});
    std::vector<gsl_vector*> basis;
    for (int j = 0; j < kSamples; ++j) {
        basis.push_back(Column(FaceBasis, j));
    }
    // Seven centred samples span six directions; the seventh column would be rounding noise.
    for (int a = 0; a < kSamples - 1; ++a) {
        EXPECT_NEAR(std::sqrt(Dot(basis[a], basis[a])), 1.0, 1e-12) << "column " << a;
        for (int b = a + 1; b < kSamples - 1; ++b) {
            EXPECT_NEAR(Dot(basis[a], basis[b]), 0.0, 1e-9) << "columns " << a << ", " << b;
        }
    }
    EXPECT_EQ(Dot(basis[kSamples - 1], basis[kSamples - 1]), 0.0);
    for (gsl_vector* column : basis) {
        gsl_vector_free(column);
    }
}

// What x - MeanFace keeps outside the span of the centred samples, found apart from the
// engine: Gram-Schmidt, each direction taken twice, dropping what is left of a sample that
// lies in the span of those before it.
double ResidualOutsideTheSamples(const std::vector<std::vector<double>>& samples,
                                 const gsl_vector* x, int* rank) {
    std::vector<double> mean = SumOf(samples);
    for (double& m : mean) {
        m /= kSamples;
    }
    auto removeDirections = [](std::vector<double>& v, const std::vector<std::vector<double>>& q) {
        for (int pass = 0; pass < 2; ++pass) {
            for (const std::vector<double>& u : q) {
                double along = 0;
                for (size_t i = 0; i < kLength; ++i) {
                    along += v[i] * u[i];
                }
                for (size_t i = 0; i < kLength; ++i) {
                    v[i] -= along * u[i];
                }
            }
        }
    };
    auto length = [](const std::vector<double>& v) {
        double sum = 0;
        for (double e : v) {
            sum += e * e;
        }
        return std::sqrt(sum);
    };
    std::vector<std::vector<double>> directions;
    for (const std::vector<double>& sample : samples) {
        std::vector<double> v(kLength);
        for (size_t i = 0; i < kLength; ++i) {
            v[i] = sample[i] - mean[i];
        }
        const double before = length(v);
        removeDirections(v, directions);
        const double after = length(v);
        if (after > 1e-6 * before) {
            for (double& e : v) {
                e /= after;
            }
            directions.push_back(v);
        }
    }
    *rank = static_cast<int>(directions.size());
    std::vector<double> r(kLength);
    for (size_t i = 0; i < kLength; ++i) {
        r[i] = gsl_vector_get(x, i) - mean[i];
    }
    removeDirections(r, directions);
    return length(r);
}

TEST_F(FaceSpaceDistance, IsWhatTheSamplesSpanCannotRebuildAndNoRoundingNoise) {
    // The seventh column, normalised rounding noise, took an arbitrary direction out of
    // every distance: a change in the third or fourth digit from one CBLAS to another.
    struct Case {
        const char* name;
        std::vector<int> pictures;  // sample k is random frame pictures[k]
    };
    const Case cases[] = {
        {"seven different frames", {0, 1, 2, 3, 4, 5, 6}},
        {"two frames, one of them six times", {0, 0, 0, 1, 0, 0, 0}},
        {"three frames", {0, 1, 2, 0, 1, 2, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ReleaseModel();
        std::mt19937 rng(11);
        std::vector<Frame> frames;
        for (int k = 0; k < kSamples; ++k) {
            frames.push_back(RandomFrame(rng));
        }
        std::vector<std::vector<double>> samples;
        CreateSampleStorage();
        for (int k = 0; k < kSamples; ++k) {
            gsl_vector* v = TakeFaceVector(frames[c.pictures[k]].data());
            samples.emplace_back(v->data, v->data + kLength);
            AddSample(k, v);
            gsl_vector_free(v);
        }
        TrainFaceSpace();
        int rank = 0;
        for (int trial = 0; trial < 3; ++trial) {
            gsl_vector* x = TakeFaceVector(RandomFrame(rng).data());
            const double expected = ResidualOutsideTheSamples(samples, x, &rank);
            EXPECT_NEAR(DistanceFromFaceSpace(x), expected, 1e-9 * expected);
        }
        int nonZeroColumns = 0;
        for (int j = 0; j < kSamples; ++j) {
            gsl_vector* column = Column(FaceBasis, j);
            nonZeroColumns += Dot(column, column) != 0;
            gsl_vector_free(column);
        }
        EXPECT_EQ(nonZeroColumns, rank);
    }
}

TEST_F(FaceSpaceTraining, OrdersEigenvectorsOfTheCentredSamplesByEigenvalue) {
    const auto samples = TrainOnSpreadSamples(4);

    std::vector<double> mean = SumOf(samples);
    for (double& m : mean) {
        m /= kSamples;
    }
    std::vector<gsl_vector*> centred;
    double trace = 0;
    for (const std::vector<double>& sample : samples) {
        gsl_vector* a = gsl_vector_alloc(kLength);
        for (size_t i = 0; i < kLength; ++i) {
            gsl_vector_set(a, i, sample[i] - mean[i]);
        }
        trace += Dot(a, a);
        centred.push_back(a);
    }

    // For a unit eigenvector b of A Aᵀ, its eigenvalue is |Aᵀ b|², and A Aᵀ b = λ b. The
    // seventh column is left zero; the six before it must hold all of the samples' spread.
    std::vector<double> eigenvalues;
    for (int j = 0; j < kSamples - 1; ++j) {
        SCOPED_TRACE(testing::Message() << "column " << j);
        gsl_vector* b = Column(FaceBasis, j);
        gsl_vector* image = gsl_vector_calloc(kLength);
        double lambda = 0;
        for (gsl_vector* a : centred) {
            const double projection = Dot(a, b);
            lambda += projection * projection;
            gsl_blas_daxpy(projection, a, image);
        }
        eigenvalues.push_back(lambda);
        gsl_blas_daxpy(-lambda, b, image);
        EXPECT_LT(std::sqrt(Dot(image, image)), 1e-9 * lambda);
        gsl_vector_free(image);
        gsl_vector_free(b);
    }
    double total = eigenvalues[0];
    for (size_t j = 1; j < eigenvalues.size(); ++j) {
        EXPECT_GT(eigenvalues[j - 1], eigenvalues[j]) << "columns " << j - 1 << ", " << j;
        total += eigenvalues[j];
    }
    EXPECT_NEAR(total, trace, 1e-9 * trace);
    for (gsl_vector* a : centred) {
        gsl_vector_free(a);
    }
}

TEST_F(FaceSpaceTraining, SurvivesACoveredLensAmongTheSamples) {
    std::mt19937 rng(5);
    CreateSampleStorage();
    for (int k = 0; k < kSamples; ++k) {
        const Frame frame = k == 3 ? UniformFrame(0, 0, 0) : RandomFrame(rng);
        gsl_vector* v = TakeFaceVector(frame.data());
        AddSample(k, v);
        gsl_vector_free(v);
    }
    TrainFaceSpace();
    EXPECT_TRUE(AllFinite(FaceBasis));
    const Frame frame = RandomFrame(rng);
    EXPECT_TRUE(std::isfinite(DistanceFromFaceSpace(TakeFaceVector(frame.data()))));
}

TEST_F(FaceSpaceTraining, LeavesColumnsOfIdenticalFlatSamplesZero) {
    CreateSampleStorage();
    for (int k = 0; k < kSamples; ++k) {
        gsl_vector* v = TakeFaceVector(UniformFrame(9, 9, 9).data());
        AddSample(k, v);
        gsl_vector_free(v);
    }
    TrainFaceSpace();
    for (size_t i = 0; i < kLength; ++i) {
        for (int j = 0; j < kSamples; ++j) {
            ASSERT_EQ(gsl_matrix_get(FaceBasis, i, j), 0.0) << "row " << i << " column " << j;
        }
    }
    // Nothing is rebuilt: the distance is the length of the patch itself.
    std::mt19937 rng(6);
    gsl_vector* x = TakeFaceVector(RandomFrame(rng).data());
    const double length = std::sqrt(Dot(x, x));
    EXPECT_NEAR(DistanceFromFaceSpace(x), length, 1e-12 * length);
}

// A model with exactly orthonormal columns: column j is 1/32 on rows 1024 j .. 1024 j + 1023.
class OrthonormalModel : public EngineModelTest {
  protected:
    static constexpr size_t kBlock = 1024;

    void SetUp() override {
        EngineModelTest::SetUp();
        std::mt19937 rng(8);
        MeanFace = gsl_vector_alloc(kLength);
        std::uniform_real_distribution<double> level(0.0, 255.0);
        for (size_t i = 0; i < kLength; ++i) {
            gsl_vector_set(MeanFace, i, level(rng));
        }
        FaceBasis = gsl_matrix_calloc(kLength, kSamples);
        for (size_t j = 0; j < kSamples; ++j) {
            for (size_t i = j * kBlock; i < (j + 1) * kBlock; ++i) {
                gsl_matrix_set(FaceBasis, i, j, 1.0 / 32);
            }
        }
    }

    // MeanFace + the basis combination with coefficients c + o, where o, on rows the basis
    // does not reach, has the given length.
    static gsl_vector* Patch(const std::vector<double>& c, double orthogonalLength) {
        gsl_vector* x = CopyOf(MeanFace);
        for (size_t j = 0; j < kSamples; ++j) {
            gsl_vector_view column = gsl_matrix_column(FaceBasis, j);
            gsl_blas_daxpy(c[j], &column.vector, x);
        }
        // Equal entries e on n rows have length e sqrt(n).
        const size_t rows = kLength - kSamples * kBlock;
        const double entry = orthogonalLength / std::sqrt(static_cast<double>(rows));
        for (size_t i = kSamples * kBlock; i < kLength; ++i) {
            *gsl_vector_ptr(x, i) += entry;
        }
        return x;
    }
};

TEST_F(OrthonormalModel, MeasuresWhatTheBasisCannotRebuild) {
    struct DistanceCase {
        const char* name;
        std::vector<double> coefficients;
        double orthogonalLength;
    };
    const DistanceCase cases[] = {
        {"the mean", {0, 0, 0, 0, 0, 0, 0}, 0},
        {"in the span", {900, -40, 3, 0, 1200, -7, 55}, 0},
        {"orthogonal", {0, 0, 0, 0, 0, 0, 0}, 4321},
        {"both", {900, -40, 3, 0, 1200, -7, 55}, 4321},
    };
    for (const DistanceCase& c : cases) {
        SCOPED_TRACE(c.name);
        const double d = DistanceFromFaceSpace(Patch(c.coefficients, c.orthogonalLength));
        EXPECT_GE(d, 0.0);
        EXPECT_NEAR(d, c.orthogonalLength, 1e-9 * (c.orthogonalLength + 2000));
    }
}

TEST_F(FaceSpaceDistance, IsZeroForTheMeanOfATrainedModel) {
    TrainOnSpreadSamples(9);
    EXPECT_EQ(DistanceFromFaceSpace(CopyOf(MeanFace)), 0.0);
}

TEST_F(FaceSpaceDistance, IsMostlyTheLengthOfARandomPatch) {
    std::mt19937 rng(10);
    CreateSampleStorage();
    for (int k = 0; k < kSamples; ++k) {
        gsl_vector* v = TakeFaceVector(RandomFrame(rng).data());
        AddSample(k, v);
        gsl_vector_free(v);
    }
    TrainFaceSpace();
    for (int trial = 0; trial < 5; ++trial) {
        gsl_vector* x = TakeFaceVector(RandomFrame(rng).data());
        gsl_vector* centred = CopyOf(x);
        gsl_vector_sub(centred, MeanFace);
        const double length = std::sqrt(Dot(centred, centred));
        gsl_vector_free(centred);
        const double d = DistanceFromFaceSpace(x);
        // A random patch lies mostly outside a seven-dimensional space.
        EXPECT_GT(d, 0.5 * length);
        EXPECT_LE(d, 1.01 * length);
    }
}

}  // namespace
