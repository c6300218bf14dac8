// An emulated USB webcam for tests: a shared library that, linked into a test or preloaded into
// a program, makes one /dev/videoN appear and answers it as the uvcvideo driver and its buffer
// layer do, reached through the C library's open, ioctl, syscall, mmap, poll and stat.
//
// It is set up by EMULATED_CAMERA in the environment at start, or by emulated_camera_configure
// in a test: words separated by spaces or commas,
//   device=/dev/video0     the node that appears
//   mode=yuyv640           yuyv640 | yuyv320 | mjpeg720 | laptop | bayer
//   control=PATH           a file read at run time: "unplugged", "silent" or "plugged" (default)
//   damaged-every=N        every Nth frame is damaged ...
//   damaged-as=flag        ... and handed out flagged V4L2_BUF_FLAG_ERROR, whole in length
//                          (flag) or cut short (short), or dropped by the driver (drop)
//   first-damaged          the first frame after each stream-on is damaged and flagged
//   slow-first-ms=MS       the first frame after each stream-on comes MS after it
//   cut-short-every=N      every Nth compressed frame is cut short, unflagged
// The picture is a test card: red top left, green top right, blue bottom left, white bottom
// right, and a black ring at the centre that is round only when the picture is undistorted.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// Replaces the camera with the one described (unplugging the one before); 0 when understood.
int emulated_camera_configure(const char* config);
// The format of the last stream started: fourcc, width, height; 0 when none has started.
int emulated_camera_streamed_format(unsigned* fourcc, int* width, int* height);

#ifdef __cplusplus
}

namespace emulated_camera {
// The ring: centred, its outer radius this share of the picture's height, this thick.
constexpr double kRingRadius = 0.35;
constexpr double kRingThickness = 0.06;
}  // namespace emulated_camera
#endif
