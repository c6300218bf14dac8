// One 1280x720 Motion-JPEG camera frame into the 320 x 240 frame, decode, crop and scale: the
// emulated webcam's card as it sends it, and the card under a sensor's noise at a webcam's
// quality, whose Huffman data no reduced size lets a decoder skip.
#include <benchmark/benchmark.h>
#include <linux/videodev2.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "platform/drivers/camera.h"
#include "platform/drivers/camera_v4l2_mjpeg.h"
#include "tests/emulated_camera/pictures.h"

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;

std::vector<uint8_t> NoisyCard() {
    std::vector<uint8_t> rgb = emulated_camera::DrawCard(kWidth, kHeight);
    std::mt19937 generator(7);
    std::normal_distribution<double> noise(0.0, 6.0);
    for (uint8_t& sample : rgb) {
        sample = static_cast<uint8_t>(std::clamp(sample + noise(generator), 0.0, 255.0));
    }
    return emulated_camera::EncodeJpeg(rgb, kWidth, kHeight, {JCS_YCbCr, 2, 1, 85});
}

void DecodeMjpeg(benchmark::State& state, bool noisy) {
    std::vector<uint8_t> jpeg =
        noisy ? NoisyCard()
              : emulated_camera::MakePictures(V4L2_PIX_FMT_MJPEG, kWidth, kHeight).good;
    morvala::drivers::MjpegDecoder decoder;
    morvala::drivers::FrameScaler scaler;
    std::vector<unsigned char> frame(morvala::drivers::kFrameBytes);
    std::string reason;
    if (!decoder.Start(&reason)) {
        state.SkipWithError(reason.c_str());
        return;
    }
    for (auto _ : state) {
        if (!decoder.Decode(jpeg.data(), jpeg.size(), scaler, frame.data())) {
            state.SkipWithError("the frame was refused");
            return;
        }
        benchmark::DoNotOptimize(frame.data());
    }
    state.counters["frame_kB"] = jpeg.size() / 1000.0;
}

BENCHMARK_CAPTURE(DecodeMjpeg, card, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(DecodeMjpeg, noisy, true)->Unit(benchmark::kMicrosecond);

}  // namespace
