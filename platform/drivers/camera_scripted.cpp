// The scripted camera of the test hooks, and the request counts they read.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "platform/drivers/camera.h"
#include "platform/drivers/camera_requests.h"
#include "platform/testing/camera_hooks.h"

namespace morvala::drivers {
namespace {

std::map<int, testing::CameraRequests>& RequestCounts() {
    static std::map<int, testing::CameraRequests> counts;
    return counts;
}

class ScriptedCamera : public CameraSource {
  public:
    ScriptedCamera(int index, testing::ScriptedCameraIndex script)
        : index_(index), script_(std::move(script)) {}

    std::string Name() const override { return "scripted " + std::to_string(index_); }

    bool Connect(std::string* reason) override {
        *reason = "scripted not to connect";
        if (!connected_) {
            connected_ = script_.connects;
            return connected_;
        }
        CountCameraRequest(index_, &testing::CameraRequests::reconnects);
        return NextOf(script_.reconnects, nextReconnect_, true);
    }

    bool AcceptsFormat() override { return script_.acceptsFormat; }

    Take TakePicture(uint64_t, int, unsigned char* frame) override {
        Take take = NextOf(script_.takes, nextTake_, Take::kPicture);
        if (take != Take::kPicture) {
            return take;
        }
        if (script_.frames.empty()) {
            std::memset(frame, 0, kFrameBytes);
            return take;
        }
        std::memcpy(frame, script_.frames[nextFrame_].data(), kFrameBytes);
        if (nextFrame_ + 1 < script_.frames.size()) {
            ++nextFrame_;
        }
        return take;
    }

  private:
    template <typename T>
    static T NextOf(const std::vector<T>& script, size_t& next, T onceUsedUp) {
        return next < script.size() ? script[next++] : onceUsedUp;
    }

    int index_;
    testing::ScriptedCameraIndex script_;
    bool connected_ = false;
    size_t nextFrame_ = 0;
    size_t nextTake_ = 0;
    size_t nextReconnect_ = 0;
};

}  // namespace

void CountCameraRequest(int index, CameraRequest request) {
    ++(RequestCounts()[index].*request);
}

}  // namespace morvala::drivers

namespace morvala::testing {

void UseScriptedCamera(std::vector<ScriptedCameraIndex> indices) {
    for (const ScriptedCameraIndex& index : indices) {
        for (const std::vector<unsigned char>& frame : index.frames) {
            if (frame.size() != drivers::kFrameBytes) {
                std::fprintf(stderr, "UseScriptedCamera: a frame of %zu bytes, not %d\n",
                             frame.size(), drivers::kFrameBytes);
                std::abort();
            }
        }
    }
    drivers::RequestCounts().clear();
    drivers::UseCameraSources([indices = std::move(indices)](int index) {
        return index >= 0 && static_cast<size_t>(index) < indices.size()
                   ? std::make_unique<drivers::ScriptedCamera>(index, indices[index])
                   : nullptr;
    });
}

CameraRequests RequestsReceived(int index) {
    return drivers::RequestCounts()[index];
}

}  // namespace morvala::testing
