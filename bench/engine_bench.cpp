// The per-frame path (sampling a frame, then its distance from the face space), beside the
// plain sequence of GSL calls it replaces, and training, which is that sequence itself.

#include "bench/engine_bench_model.h"
#include "engine/face_patch.h"
#include "engine/face_space.h"
#include "tests/engine_reference.h"

#include <benchmark/benchmark.h>

namespace {

template <gsl_vector* (*Take)(const unsigned char*), double (*Distance)(gsl_vector*)>
void PerFrame(benchmark::State& state) {
    EnsureBenchModel();
    const BenchFrame frame = MeasuredBenchFrame();
    for (auto _ : state) {
        benchmark::DoNotOptimize(Distance(Take(frame.data())));
    }
}

template <gsl_vector* (*Take)(const unsigned char*)>
void Sampling(benchmark::State& state) {
    const BenchFrame frame = MeasuredBenchFrame();
    for (auto _ : state) {
        gsl_vector* v = Take(frame.data());
        benchmark::DoNotOptimize(v->data);
        gsl_vector_free(v);
    }
}

// Includes copying the face vector, since the distance consumes it.
template <double (*Distance)(gsl_vector*)>
void DistanceOnly(benchmark::State& state) {
    EnsureBenchModel();
    gsl_vector* face = TakeFaceVector(MeasuredBenchFrame().data());
    for (auto _ : state) {
        gsl_vector* x = gsl_vector_alloc(face->size);
        gsl_vector_memcpy(x, face);
        benchmark::DoNotOptimize(Distance(x));
    }
    gsl_vector_free(face);
}

void Training(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        ReleaseBenchModel();
        CollectBenchSamples();
        state.ResumeTiming();
        TrainFaceSpace();
    }
}

}  // namespace

BENCHMARK(PerFrame<TakeFaceVector, DistanceFromFaceSpace>)
    ->Name("PerFrame")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(PerFrame<ReferenceTakeFaceVector, ReferenceDistanceFromFaceSpace>)
    ->Name("PerFrame/GslSequence")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(Sampling<TakeFaceVector>)->Name("Sampling")->Unit(benchmark::kMicrosecond);
BENCHMARK(Sampling<ReferenceTakeFaceVector>)
    ->Name("Sampling/GslSequence")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(DistanceOnly<DistanceFromFaceSpace>)->Name("Distance")->Unit(benchmark::kMicrosecond);
BENCHMARK(DistanceOnly<ReferenceDistanceFromFaceSpace>)
    ->Name("Distance/GslSequence")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(Training)->Unit(benchmark::kMillisecond);
