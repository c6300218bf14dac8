#pragma once

// The frames and the trained model every engine benchmark measures on, the same in each
// benchmark program so their numbers compare.

#include <vector>

using BenchFrame = std::vector<unsigned char>;

// A 320 x 240 frame of random pixels; frames of different seeds differ.
BenchFrame RandomBenchFrame(unsigned seed);
// The frame whose per-frame path is measured.
BenchFrame MeasuredBenchFrame();
// Fresh sample storage holding the face vectors of seven random frames.
void CollectBenchSamples();
// Releases whatever model there is: MeanFace, SampleStore, FaceBasis.
void ReleaseBenchModel();
// Trains MeanFace and FaceBasis on the bench samples unless they are trained already.
void EnsureBenchModel();
