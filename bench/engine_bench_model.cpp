#include "bench/engine_bench_model.h"

#include "engine/face_patch.h"
#include "engine/face_space.h"
#include "tests/engine_reference.h"

#include <random>

BenchFrame RandomBenchFrame(unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    BenchFrame frame(320 * 240 * 3);
    for (unsigned char& b : frame) {
        b = static_cast<unsigned char>(byte(rng));
    }
    return frame;
}

BenchFrame MeasuredBenchFrame() {
    return RandomBenchFrame(100);
}

void CollectBenchSamples() {
    CreateSampleStorage();
    for (unsigned k = 0; k < SampleCount; ++k) {
        gsl_vector* v = TakeFaceVector(RandomBenchFrame(k).data());
        AddSample(static_cast<int>(k), v);
        gsl_vector_free(v);
    }
}

void ReleaseBenchModel() {
    ReleaseFaceSpaceModel();
}

void EnsureBenchModel() {
    if (FaceBasis == nullptr) {
        ReleaseBenchModel();
        CollectBenchSamples();
        TrainFaceSpace();
    }
}
