#include "tests/engine_reference.h"

#include "engine/face_space.h"

#include <gsl/gsl_blas.h>

namespace {

constexpr size_t kSide = 128;
constexpr size_t kLength = kSide * kSide;
constexpr size_t kBasisSize = 7;

}  // namespace

gsl_vector* ReferenceTakeFaceVector(const unsigned char* frame) {
    gsl_vector* v = gsl_vector_alloc(kLength);
    const float red = 0.3f, green = 0.59f, blue = 0.11f;
    for (size_t i = 0; i < kSide; ++i) {
        for (size_t j = 0; j < kSide; ++j) {
            const unsigned char* pixel = frame + (56 + i) * 960 + (96 + j) * 3;
            const double sum = pixel[2] * static_cast<double>(red) +
                               pixel[1] * static_cast<double>(green) +
                               pixel[0] * static_cast<double>(blue);
            gsl_vector_set(v, i * kSide + j, static_cast<int>(sum) & 0xFF);
        }
    }
    const double m = gsl_vector_min(v);
    gsl_vector_add_constant(v, -m);
    const double range = gsl_vector_max(v);
    if (range != 0) {
        gsl_vector_scale(v, 255 / range);
    }
    return v;
}

double ReferenceDistanceFromFaceSpace(gsl_vector* x) {
    gsl_vector_sub(x, MeanFace);
    gsl_vector* w = gsl_vector_alloc(kBasisSize);
    gsl_blas_dgemv(CblasTrans, 1.0, FaceBasis, x, 0.0, w);
    gsl_vector* r = gsl_vector_calloc(kLength);
    gsl_vector* t = gsl_vector_alloc(kLength);
    for (size_t i = 0; i < kBasisSize; ++i) {
        gsl_matrix_get_col(t, FaceBasis, i);
        gsl_vector_scale(t, gsl_vector_get(w, i));
        gsl_vector_add(r, t);
    }
    gsl_vector_free(t);
    gsl_vector_sub(x, r);
    const double d = gsl_blas_dnrm2(x);
    gsl_vector_free(x);
    gsl_vector_free(w);
    gsl_vector_free(r);
    return d;
}

void ReleaseFaceSpaceModel() {
    gsl_vector_free(MeanFace);
    gsl_matrix_free(SampleStore);
    gsl_matrix_free(FaceBasis);
    MeanFace = nullptr;
    SampleStore = nullptr;
    FaceBasis = nullptr;
}
