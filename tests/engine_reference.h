#pragma once

// The per-frame path written as the plain sequence of GSL calls, one GSL operation per
// step. The engine's faster path must give the same bits on the same CBLAS.

#include <gsl/gsl_vector.h>

gsl_vector* ReferenceTakeFaceVector(const unsigned char* frame);
// Distance of x from the face space in MeanFace and FaceBasis; consumes x.
double ReferenceDistanceFromFaceSpace(gsl_vector* x);

// Releases MeanFace, SampleStore and FaceBasis, whichever exist, and clears them, so that
// a test or benchmark can start from no model.
void ReleaseFaceSpaceModel();
