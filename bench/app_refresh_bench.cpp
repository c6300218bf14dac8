// One whole refresh of the recognising mode on the headless display (grab, picture, sampling,
// distance, overlay, present), and the eighth press that trains.
#include <benchmark/benchmark.h>

#include <vector>

#include "app/main_window.h"
#include "app/mode_controller.h"
#include "bench/engine_bench_model.h"
#include "engine/face_space.h"
#include "platform/testing/camera_hooks.h"
#include "platform/testing/display_hooks.h"

namespace {

// The program's main window, with seven samples taken from the camera's frames.
void StartProgramWithSevenSamples() {
    static bool started = false;
    if (started) {
        return;
    }
    started = true;
    morvala::testing::UseHeadlessDisplay();
    std::vector<morvala::testing::ScriptedCameraIndex> drivers(1);
    drivers[0].connects = true;
    for (unsigned seed = 1; seed <= 9; ++seed) {
        drivers[0].frames.push_back(RandomBenchFrame(seed));
    }
    morvala::testing::UseScriptedCamera(drivers);
    RegisterMainWindowClass(nullptr);
    CreateMainWindow(nullptr, SW_SHOWDEFAULT);
    for (int sample = 0; sample < 7; ++sample) {
        OnSpaceKey();
    }
}

void RecognisingRefresh(benchmark::State& state) {
    StartProgramWithSevenSamples();
    if (CaptureCount == 7) {
        OnSpaceKey();
    }
    for (auto _ : state) {
        InvalidateRect(MainWindow, nullptr, FALSE);
        UpdateWindow(MainWindow);
    }
}

void TrainingPress(benchmark::State& state) {
    StartProgramWithSevenSamples();
    for (auto _ : state) {
        state.PauseTiming();
        ReleaseBenchModel();
        CollectBenchSamples();
        CaptureCount = 7;
        state.ResumeTiming();
        OnSpaceKey();
    }
}

}  // namespace

BENCHMARK(RecognisingRefresh)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly();
BENCHMARK(TrainingPress)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly();
