#pragma once

#include <gsl/gsl_matrix.h>
#include <gsl/gsl_vector.h>

#include <cstddef>

// The face space is built from this many samples and has this many basis images.
constexpr size_t SampleCount = 7;

// The running sum of the samples until training, their mean after it.
extern gsl_vector* MeanFace;
// FaceVectorSize x SampleCount; column k holds sample k until training releases it.
extern gsl_matrix* SampleStore;
// FaceVectorSize x SampleCount unit basis images, by absolute eigenvalue, largest first.
extern gsl_matrix* FaceBasis;

// Creates the zeroed MeanFace and the SampleStore.
void CreateSampleStorage();
// Copies face vector v into column k (0..6) of SampleStore and adds it to MeanFace.
void AddSample(int k, const gsl_vector* v);
// Turns MeanFace into the mean, builds FaceBasis and releases SampleStore. Called once,
// after all seven samples have been added.
void TrainFaceSpace();
// The length of what the face space misses of face vector x, a whole vector of its own as
// TakeFaceVector returns it (not a view). Consumes x.
double DistanceFromFaceSpace(gsl_vector* x);
