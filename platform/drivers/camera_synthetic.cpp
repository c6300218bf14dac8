// A built-in scene for demos and machines without a camera: a shaded face that drifts in and
// out of the middle square, over a background that is not flat, with a little noise. Each
// frame is a function of the elapsed time alone, so a pinned clock gives the same pictures.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "platform/drivers/camera.h"

namespace morvala::drivers {
namespace {

constexpr double kPi = 3.14159265358979323846;

struct Colour {
    double red, green, blue;
};

Colour Scaled(Colour colour, double factor) {
    return {colour.red * factor, colour.green * factor, colour.blue * factor};
}

// Where the face is at a given time: periods of 20 s across and 13 s down, so a session sees the
// face now well inside the square, now half out of it. The cubes make it linger in the middle,
// so that the first seconds, when a user takes the samples, find it in the square.
struct Pose {
    double centreX, centreY;  // screen pixels, top-left origin
    double halfWidth, halfHeight;
};

Pose PoseAt(uint64_t elapsedMs) {
    double seconds = static_cast<double>(elapsedMs) / 1000.0;
    double across = std::sin(2.0 * kPi * seconds / 20.0);
    double down = std::sin(2.0 * kPi * seconds / 13.0);
    return {160.0 + 70.0 * across * across * across, 120.0 + 28.0 * down * down * down, 44.0, 56.0};
}

// (x / rx)^2 + (y / ry)^2 for a point relative to an ellipse's centre: inside below 1.
double EllipseMeasure(double x, double y, double radiusX, double radiusY) {
    return (x * x) / (radiusX * radiusX) + (y * y) / (radiusY * radiusY);
}

Colour Background(int x, int y) {
    double level = 60.0 + 70.0 * y / (kFrameHeight - 1) + 14.0 * std::sin((x + y) / 17.0);
    return {level, level + 12.0, level + 35.0};
}

// The face's features, in units of its half sizes relative to its centre; false where none is.
bool Feature(double u, double v, Colour* colour) {
    for (double side : {-1.0, 1.0}) {
        double eyeU = u - side * 0.38;
        double eyeV = v + 0.12;
        if (EllipseMeasure(eyeU, eyeV * 0.8, 0.06, 0.06) < 1.0) {
            *colour = {45, 32, 25};  // iris
            return true;
        }
        if (EllipseMeasure(eyeU, eyeV, 0.17, 0.08) < 1.0) {
            *colour = {228, 226, 220};
            return true;
        }
        if (EllipseMeasure(eyeU, v + 0.3 - 1.5 * eyeU * eyeU, 0.2, 0.035) < 1.0) {
            *colour = {70, 48, 36};  // brow, arched
            return true;
        }
        if (EllipseMeasure(u - side * 0.08, v - 0.22, 0.05, 0.025) < 1.0) {
            *colour = {95, 55, 45};  // nostril
            return true;
        }
    }
    double mouthV = v - 0.45;
    if (EllipseMeasure(u, mouthV, 0.28, 0.065) < 1.0) {
        *colour = std::abs(mouthV) < 0.012 ? Colour{85, 30, 30} : Colour{165, 70, 70};
        return true;
    }
    return false;
}

Colour FacePixel(double u, double v) {
    // Lit from the upper left as if the face were an ellipsoid.
    double depth = std::sqrt(std::max(0.0, 1.0 - u * u - v * v));
    double light = std::max(0.0, -0.42 * u - 0.5 * v + 0.76 * depth);
    double shade = 0.3 + 0.75 * light;
    if (v < -0.6 + 0.15 * u * u) {
        return Scaled({75, 50, 35}, shade);  // hair
    }
    Colour colour;
    if (Feature(u, v, &colour)) {
        return Scaled(colour, 0.6 + 0.4 * shade);
    }
    // The shadowed side of the nose.
    if (u > 0.02 && u < 0.11 && v > -0.1 && v < 0.2) {
        shade *= 0.78;
    }
    return Scaled({230, 182, 150}, shade);
}

unsigned char ToByte(double value) {
    return static_cast<unsigned char>(std::clamp(value, 0.0, 255.0));
}

class SyntheticCamera : public CameraSource {
  public:
    SyntheticCamera() {
        // The background never moves; working it out once keeps a grab cheap.
        background_.resize(size_t(kFrameWidth) * kFrameHeight);
        for (int y = 0; y < kFrameHeight; ++y) {
            for (int x = 0; x < kFrameWidth; ++x) {
                background_[size_t(y) * kFrameWidth + x] = Background(x, y);
            }
        }
    }

    std::string Name() const override { return "synthetic"; }
    bool Connect(std::string*) override { return true; }

    Take TakePicture(uint64_t elapsedMs, int, unsigned char* frame) override {
        Pose pose = PoseAt(elapsedMs);
        std::minstd_rand noise(static_cast<std::minstd_rand::result_type>(elapsedMs) + 1);
        for (int y = 0; y < kFrameHeight; ++y) {
            // Frame rows are bottom-up.
            unsigned char* pixel = frame + (kFrameHeight - 1 - y) * kFrameRowBytes;
            for (int x = 0; x < kFrameWidth; ++x, pixel += 3) {
                double u = (x - pose.centreX) / pose.halfWidth;
                double v = (y - pose.centreY) / pose.halfHeight;
                Colour colour = u * u + v * v < 1.0 ? FacePixel(u, v)
                                                    : background_[size_t(y) * kFrameWidth + x];
                double grain = static_cast<double>(noise() % 9) - 4.0;
                pixel[0] = ToByte(colour.blue + grain);
                pixel[1] = ToByte(colour.green + grain);
                pixel[2] = ToByte(colour.red + grain);
            }
        }
        return Take::kPicture;
    }

  private:
    std::vector<Colour> background_;  // screen rows, top first
};

}  // namespace

std::unique_ptr<CameraSource> MakeSyntheticCamera() {
    return std::make_unique<SyntheticCamera>();
}

}  // namespace morvala::drivers
