// Small pictures and clips written with FFmpeg's own encoders, for the file source's tests,
// and reading pixels out of a frame.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/pixfmt.h>
}

namespace morvala::test {

using Rgb = std::array<unsigned char, 3>;
using Rgba = std::array<unsigned char, 4>;
using Picture = std::function<Rgb(int x, int y)>;  // screen coordinates, top-left origin

// Quadrants of a picture, for telling how it was turned.
constexpr Rgb kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255}, kWhite{255, 255, 255};
Rgb Quadrants(int x, int y, int width, int height);  // red, green above blue, white
// Which of the colours given lies nearest to pixel, for lossy codecs.
int NearestColour(Rgb pixel, const std::vector<Rgb>& colours);

// Encodes a width x height picture as PNG.
std::vector<unsigned char> EncodePng(int width, int height, const Picture& picture);
// The same with transparency.
std::vector<unsigned char> EncodePngWithAlpha(int width, int height,
                                              const std::function<Rgba(int x, int y)>& picture);
// Encodes a picture as JPEG; with an EXIF orientation tag (1 to 8) when exifOrientation > 0.
std::vector<unsigned char> EncodeJpeg(int width, int height, const Picture& picture,
                                      int exifOrientation = 0);

// A container and an encoder for clips.
struct ClipFormat {
    const char* name;      // for test names
    const char* muxer;     // FFmpeg's name: "mp4", "matroska", "mpegts", ...
    const char* encoder;   // "libx264", "mpeg2video", ...
    int keyframeInterval;  // pictures from one keyframe to the next
    int bFrames;
};

// Writes a 320 x 240 clip of the pictures, framesPerSecond of them a second, each lasting the
// number of frames lengths gives (1 where it gives none). When not 0, the stream carries a
// display matrix that turns it clockwise by rotationDegrees, as av_display_rotation_set makes
// it.
void WriteClip(const std::string& path, const ClipFormat& format, int framesPerSecond,
               const std::vector<Picture>& pictures, double rotationDegrees = 0,
               const std::vector<int>& lengths = {});

// Writes a one-picture lossless clip of a 64 x 48 picture of one YUV 4:4:4 colour, declaring
// that colour matrix and range.
void WriteYuvPicture(const std::string& path, std::array<unsigned char, 3> yuv, AVColorSpace matrix,
                     AVColorRange range);

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
