#pragma once

#include <gsl/gsl_vector.h>

#include <cstddef>

// A face vector holds the 128 x 128 patch in the middle of a 320 x 240 frame.
constexpr size_t FaceVectorSize = 128 * 128;

// Fills the existing FaceVectorSize-element v with the raw grey levels of the patch of
// frame (320 x 240 pixels, bytes blue, green, red, rows bottom-up, no row padding).
void SampleFacePatch(const unsigned char* frame, gsl_vector* v);

// Stretches v in place so that its smallest element is 0 and its largest 255.
void NormaliseFaceVector(gsl_vector* v);

// A new, sampled and stretched face vector of frame; the caller releases it with
// gsl_vector_free.
gsl_vector* TakeFaceVector(const unsigned char* frame);
