// Small pictures and clips written with FFmpeg's own encoders, for the file source's tests,
// and reading pixels out of a frame.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

namespace morvala::test {

using Rgb = std::array<unsigned char, 3>;
using Picture = std::function<Rgb(int x, int y)>;  // screen coordinates, top-left origin

// Encodes a width x height picture as PNG.
std::vector<unsigned char> EncodePng(int width, int height, const Picture& picture);

void WriteFile(const std::string& path, const std::vector<unsigned char>& bytes);

// Writes a lossless clip of solid-coloured 320 x 240 frames, framesPerSecond of them a second;
// the frame numbered brokenFrame, if any, is cut short so that it cannot be decoded.
void WriteSolidClip(const std::string& path, int framesPerSecond, const std::vector<Rgb>& colours,
                    int brokenFrame = -1);

// The pixel at screen position (x, y) of a frame, whose rows are stored bottom-up.
Rgb FramePixel(const std::vector<unsigned char>& frame, int x, int y);

// A file name in a fresh folder of its own under the tests' temporary folder.
std::string TemporaryPath(const std::string& name);

}  // namespace morvala::test
