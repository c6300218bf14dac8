// A private PipeWire session for tests: its own D-Bus session bus, PipeWire and WirePlumber in
// a scratch runtime folder, and test cameras in it. The test process is pointed at it (its
// XDG_RUNTIME_DIR and friends) while it runs; everything it started is stopped by process id.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace morvala::test {

class PipeWireSession {
  public:
    PipeWireSession() = default;
    PipeWireSession(const PipeWireSession&) = delete;
    PipeWireSession& operator=(const PipeWireSession&) = delete;
    ~PipeWireSession();

    // False, with *reason, when the session cannot be had here (programs missing, the daemon
    // does not come up).
    bool Start(std::string* reason);
    void Stop();

    // The session's own test pattern (PipeWire's videotestsrc, RGB colour bars), made with
    // pw-cli; true once the node is listed.
    bool CreateTestPattern(const std::string& name);
    // A camera of one format and size in a process of its own (tests/pipewire/test_camera.cpp,
    // which tells its options); true once the node is listed.
    bool StartCamera(const std::string& name, const std::string& description,
                     const std::string& format, int width, int height,
                     const std::vector<std::string>& options = {});
    // Kills the camera's process; returns once its node has gone.
    void StopCamera(const std::string& name);
    // Stops the daemon alone, leaving the bus and the session manager to notice.
    void StopDaemon();
    // Stops WirePlumber: nothing links streams any more.
    void StopSessionManager();

    // What PipeWire says when asked for its nodes.
    std::string ListNodes() const;
    const std::string& RuntimeDir() const { return runtimeDir_; }

  private:
    struct Child {
        std::string name;
        pid_t pid;
    };
    pid_t Spawn(const std::string& name, const std::vector<std::string>& argv);
    void Kill(const std::string& name);
    // Until the node is listed, or until it is not.
    bool WaitForNode(const std::string& name, bool listed) const;
    void SetEnvironment(const std::string& variable, const std::string& value);

    std::string scratch_;
    std::string runtimeDir_;
    std::vector<Child> children_;
    std::vector<std::pair<std::string, std::string>> savedEnvironment_;  // "" when unset
    std::vector<std::string> unsetEnvironment_;
};

}  // namespace morvala::test
