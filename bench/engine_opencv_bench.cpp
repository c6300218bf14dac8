// The same per-frame work done with OpenCV, measured in the same run as the engine's:
// grey conversion and min-max stretch of the patch, then PCA projection, back-projection
// and the norm of the difference.

#include "bench/engine_bench_model.h"
#include "engine/face_space.h"

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

namespace {

// The engine's model as an OpenCV PCA: the mean as a row, the basis images as rows.
cv::PCA ModelAsPca() {
    EnsureBenchModel();
    cv::PCA pca;
    pca.mean = cv::Mat(1, static_cast<int>(MeanFace->size), CV_64F, MeanFace->data).clone();
    const cv::Mat basis(static_cast<int>(FaceBasis->size1), static_cast<int>(FaceBasis->size2),
                        CV_64F, FaceBasis->data, FaceBasis->tda * sizeof(double));
    pca.eigenvectors = basis.t();
    return pca;
}

void PerFrameOpenCv(benchmark::State& state) {
    const cv::PCA pca = ModelAsPca();
    BenchFrame frame = MeasuredBenchFrame();
    const cv::Mat picture(240, 320, CV_8UC3, frame.data());
    const cv::Rect patch(96, 56, 128, 128);
    cv::Mat grey, face, coefficients, rebuilt;
    for (auto _ : state) {
        cv::cvtColor(picture(patch), grey, cv::COLOR_BGR2GRAY);
        cv::normalize(grey, face, 0, 255, cv::NORM_MINMAX, CV_64F);
        const cv::Mat row = face.reshape(1, 1);
        pca.project(row, coefficients);
        pca.backProject(coefficients, rebuilt);
        benchmark::DoNotOptimize(cv::norm(row, rebuilt, cv::NORM_L2));
    }
}

}  // namespace

BENCHMARK(PerFrameOpenCv)->Name("PerFrame/OpenCV")->Unit(benchmark::kMicrosecond);
