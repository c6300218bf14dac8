#include "engine/face_space.h"

#include "engine/face_patch.h"

#include <gsl/gsl_blas.h>
#include <gsl/gsl_eigen.h>

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

void NormaliseBasisColumns() {
    for (size_t j = 0; j < SampleCount; ++j) {
        gsl_vector_view column = gsl_matrix_column(FaceBasis, j);
        const double norm = gsl_blas_dnrm2(&column.vector);
        // Identical samples can cancel to an exactly zero column; 1 / 0 would make it
        // not-a-number and with it every distance. Left zero, it adds nothing.
        if (norm != 0) {
            gsl_vector_scale(&column.vector, 1.0 / norm);
        }
    }
}

// Subtracts from x its rebuild from the basis with coefficients w. Row by row, so the
// basis is read once, with the same operations in the same order as summing the
// scaled columns into a zeroed vector one column at a time.
void SubtractRebuild(gsl_vector* x, const double* w) {
    for (size_t row = 0; row < FaceBasis->size1; ++row) {
        const double* basisRow = FaceBasis->data + row * FaceBasis->tda;
        double rebuilt = 0.0;
        for (size_t i = 0; i < SampleCount; ++i) {
            rebuilt += basisRow[i] * w[i];
        }
        x->data[row * x->stride] -= rebuilt;
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
    gsl_vector_sub(x, MeanFace);
    double coefficients[SampleCount] = {};
    gsl_vector_view w = gsl_vector_view_array(coefficients, SampleCount);
    gsl_blas_dgemv(CblasTrans, 1.0, FaceBasis, x, 0.0, &w.vector);
    SubtractRebuild(x, coefficients);
    const double distance = gsl_blas_dnrm2(x);
    gsl_vector_free(x);
    return distance;
}
