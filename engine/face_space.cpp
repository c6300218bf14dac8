#include "engine/face_space.h"

#include "engine/face_patch.h"

#include "engine/wide_loops.h"

#include <gsl/gsl_blas.h>
#include <gsl/gsl_eigen.h>

#include <algorithm>
#include <cstring>
#include <utility>

gsl_vector* MeanFace = nullptr;
gsl_matrix* SampleStore = nullptr;
gsl_matrix* FaceBasis = nullptr;

namespace {

// The double nearest to 1 / SampleCount.
constexpr double kMeanFactor = 0.14285714285714285;

void CentreSamples() {
    gsl_vector* t = gsl_vector_alloc(FaceVectorSize);
    for (size_t i = 0; i < SampleCount; ++i) {
        gsl_matrix_get_col(t, SampleStore, i);
        gsl_vector_sub(t, MeanFace);
        gsl_matrix_set_col(SampleStore, i, t);
    }
    gsl_vector_free(t);
}

// Seven centred samples span at most six directions: the Gram matrix's seventh eigenvalue is
// zero but for rounding, and its column is that rounding's noise. Normalised to unit length,
// that noise would take an arbitrary direction out of every distance, one that changes with
// the CBLAS, the C library and the compiler. A column this much shorter than the longest
// (an eigenvalue 1e-20 of the largest) holds nothing but noise, and is left zero.
constexpr double kNoiseColumnRatio = 1e-10;

void NormaliseBasisColumns() {
    double norms[SampleCount];
    double longest = 0;
    for (size_t j = 0; j < SampleCount; ++j) {
        gsl_vector_view column = gsl_matrix_column(FaceBasis, j);
        norms[j] = gsl_blas_dnrm2(&column.vector);
        longest = std::max(longest, norms[j]);
    }
    for (size_t j = 0; j < SampleCount; ++j) {
        gsl_vector_view column = gsl_matrix_column(FaceBasis, j);
        // Identical samples cancel to exactly zero columns, which 1 / 0 would make
        // not-a-number, and with them every distance.
        if (norms[j] == 0 || norms[j] <= longest * kNoiseColumnRatio) {
            gsl_vector_set_zero(&column.vector);
        } else {
            gsl_vector_scale(&column.vector, 1.0 / norms[j]);
        }
    }
}

// Four doubles; lanes 0, 1 and lanes 2, 3 each hold a pair of neighbours in a basis row.
typedef double Quad __attribute__((vector_size(32)));
typedef double Pair __attribute__((vector_size(16)));

// Adds term i of four rows' rebuilds: basis column i of rows r..r + 3 times w_i. Rows r,
// r + 1 lie in y[0..6] lanes 0, 1 as 14 consecutive doubles, rows r + 2, r + 3 in lanes 2, 3.
template <size_t i>
inline void AddRebuildTerm(const Quad* y, const Quad* w, Quad& rebuilt) {
    constexpr size_t nextRow = SampleCount + i;  // column i of the next row
    rebuilt += __builtin_shufflevector(y[i / 2], y[nextRow / 2], i % 2, 4 + nextRow % 2, 2 + i % 2,
                                       6 + nextRow % 2) *
               w[i];
}

template <size_t... i>
inline void AddRebuildTerms(const Quad* y, const Quad* w, Quad& rebuilt,
                            std::index_sequence<i...>) {
    (AddRebuildTerm<i>(y, w, rebuilt), ...);
}

// Subtracts from x its rebuild from the basis with coefficients w. Four rows at a time,
// so the row-major basis is read once, not once per column; each row's sum still starts
// from zero and adds its seven scaled columns in order, as summing the scaled columns
// into a zeroed vector would. Needs the contiguous FaceBasis that training makes.
WIDE_LOOPS void SubtractRebuild(double* x, const double* w) {
    static_assert(SampleCount == 7 && FaceVectorSize % 4 == 0, "four rows are 7 pairs x 2");
    Quad weights[SampleCount];
    for (size_t i = 0; i < SampleCount; ++i) {
        weights[i] = Quad{w[i], w[i], w[i], w[i]};
    }
    const double* basis = FaceBasis->data;
    for (size_t row = 0; row < FaceVectorSize; row += 4, basis += 4 * SampleCount) {
        Quad y[SampleCount];
        for (size_t k = 0; k < SampleCount; ++k) {
            Pair firstRows, lastRows;
            std::memcpy(&firstRows, basis + 2 * k, sizeof firstRows);
            std::memcpy(&lastRows, basis + 2 * (SampleCount + k), sizeof lastRows);
            y[k] = __builtin_shufflevector(firstRows, lastRows, 0, 1, 2, 3);
        }
        Quad rebuilt = {0, 0, 0, 0};
        AddRebuildTerms(y, weights, rebuilt, std::make_index_sequence<SampleCount>());
        Quad residual;
        std::memcpy(&residual, x + row, sizeof residual);
        residual -= rebuilt;
        std::memcpy(x + row, &residual, sizeof residual);
    }
}

// x - MeanFace, element by element.
WIDE_LOOPS void Centre(double* x) {
    const double* mean = MeanFace->data;
    for (size_t k = 0; k < FaceVectorSize; ++k) {
        x[k] -= mean[k];
    }
}

}  // namespace

void CreateSampleStorage() {
    MeanFace = gsl_vector_calloc(FaceVectorSize);
    SampleStore = gsl_matrix_alloc(FaceVectorSize, SampleCount);
}

void AddSample(int k, const gsl_vector* v) {
    gsl_matrix_set_col(SampleStore, k, v);
    gsl_vector_add(MeanFace, v);
}

void TrainFaceSpace() {
    gsl_vector_scale(MeanFace, kMeanFactor);
    CentreSamples();

    // The 7 x 7 Gram matrix of the centred samples A stands in for the huge A Aᵀ: each of
    // its eigenvectors, multiplied by A, is an eigenvector of A Aᵀ.
    gsl_matrix* gram = gsl_matrix_alloc(SampleCount, SampleCount);
    gsl_blas_dgemm(CblasTrans, CblasNoTrans, 1.0, SampleStore, SampleStore, 0.0, gram);

    gsl_vector* eval = gsl_vector_alloc(SampleCount);
    gsl_matrix* evec = gsl_matrix_alloc(SampleCount, SampleCount);
    gsl_eigen_symmv_workspace* workspace = gsl_eigen_symmv_alloc(SampleCount);
    gsl_eigen_symmv(gram, eval, evec, workspace);
    gsl_eigen_symmv_free(workspace);
    gsl_eigen_symmv_sort(eval, evec, GSL_EIGEN_SORT_ABS_DESC);

    FaceBasis = gsl_matrix_alloc(FaceVectorSize, SampleCount);
    gsl_blas_dgemm(CblasNoTrans, CblasNoTrans, 1.0, SampleStore, evec, 0.0, FaceBasis);
    NormaliseBasisColumns();

    gsl_vector_free(eval);
    gsl_matrix_free(evec);
    gsl_matrix_free(gram);
    gsl_matrix_free(SampleStore);
    SampleStore = nullptr;
}

double DistanceFromFaceSpace(gsl_vector* x) {
    Centre(x->data);
    double coefficients[SampleCount] = {};
    gsl_vector_view w = gsl_vector_view_array(coefficients, SampleCount);
    gsl_blas_dgemv(CblasTrans, 1.0, FaceBasis, x, 0.0, &w.vector);
    SubtractRebuild(x->data, coefficients);
    const double distance = gsl_blas_dnrm2(x);
    gsl_vector_free(x);
    return distance;
}
