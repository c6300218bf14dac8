#include "tests/pipewire/pipewire_session.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

extern char** environ;

namespace morvala::test {
namespace {

using Clock = std::chrono::steady_clock;

// Each step takes milliseconds on a quiet machine; the bound only ends a fixture that hangs.
constexpr auto kStepPatience = std::chrono::seconds(10);

template <typename Ready>
bool WaitFor(Ready ready) {
    auto deadline = Clock::now() + kStepPatience;
    while (!ready()) {
        if (Clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::string Run(const std::string& command) {
    std::string output;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        return output;
    }
    char buffer[4096];
    size_t count;
    while ((count = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.append(buffer, count);
    }
    pclose(pipe);
    return output;
}

bool OnPath(const char* program) {
    return std::system(("command -v " + std::string(program) + " >/dev/null 2>&1").c_str()) == 0;
}

void WriteFile(const std::filesystem::path& path, const std::string& text) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

}  // namespace

PipeWireSession::~PipeWireSession() {
    Stop();
}

void PipeWireSession::SetEnvironment(const std::string& variable, const std::string& value) {
    const char* old = std::getenv(variable.c_str());
    if (old != nullptr) {
        savedEnvironment_.emplace_back(variable, old);
    } else {
        unsetEnvironment_.push_back(variable);
    }
    setenv(variable.c_str(), value.c_str(), 1);
}

pid_t PipeWireSession::Spawn(const std::string& name, const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    std::string log = scratch_ + "/" + name + ".log";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_t pid = -1;
    if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    if (pid > 0) {
        children_.push_back({name, pid});
    }
    return pid;
}

void PipeWireSession::Kill(const std::string& name) {
    for (auto child = children_.begin(); child != children_.end(); ++child) {
        if (child->name != name) {
            continue;
        }
        kill(child->pid, SIGTERM);
        auto deadline = Clock::now() + std::chrono::seconds(3);
        while (waitpid(child->pid, nullptr, WNOHANG) == 0) {
            if (Clock::now() > deadline) {
                kill(child->pid, SIGKILL);
                waitpid(child->pid, nullptr, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        children_.erase(child);
        return;
    }
}

bool PipeWireSession::Start(std::string* reason) {
    for (const char* program : {"dbus-daemon", "pipewire", "wireplumber", "pw-cli"}) {
        if (!OnPath(program)) {
            *reason = std::string(program) + " is not installed (scripts/setup test installs it)";
            return false;
        }
    }
    char scratch[] = "/tmp/morvala-pipewire-XXXXXX";
    if (mkdtemp(scratch) == nullptr) {
        *reason = "cannot make a scratch folder";
        return false;
    }
    scratch_ = scratch;
    runtimeDir_ = scratch_ + "/run";
    std::filesystem::create_directories(runtimeDir_);
    chmod(runtimeDir_.c_str(), 0700);
    // PipeWire's test pattern, and a session manager that looks at no real device, so that
    // the session holds only the cameras the tests make.
    WriteFile(scratch_ + "/config/pipewire/pipewire.conf.d/videotestsrc.conf",
              "context.spa-libs = { videotestsrc = videotestsrc/libspa-videotestsrc }\n");
    WriteFile(scratch_ + "/config/wireplumber/main.lua.d/51-no-devices.lua",
              "alsa_monitor.enabled = false\nv4l2_monitor.enabled = false\n"
              "libcamera_monitor.enabled = false\n");
    SetEnvironment("XDG_RUNTIME_DIR", runtimeDir_);
    SetEnvironment("XDG_CONFIG_HOME", scratch_ + "/config");
    SetEnvironment("XDG_STATE_HOME", scratch_ + "/state");
    SetEnvironment("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + runtimeDir_ + "/bus");
    for (const char* inherited : {"PIPEWIRE_REMOTE", "PIPEWIRE_RUNTIME_DIR"}) {
        SetEnvironment(inherited, "");
        unsetenv(inherited);
    }

    auto exists = [](const std::string& path) { return std::filesystem::exists(path); };
    if (Spawn("dbus", {"dbus-daemon", "--session", "--nofork",
                       "--address=unix:path=" + runtimeDir_ + "/bus"}) < 0 ||
        !WaitFor([&] { return exists(runtimeDir_ + "/bus"); })) {
        *reason = "the session bus did not start (see " + scratch_ + "/dbus.log)";
        return false;
    }
    if (Spawn("pipewire", {"pipewire"}) < 0 ||
        !WaitFor([&] { return exists(runtimeDir_ + "/pipewire-0"); })) {
        *reason = "PipeWire did not start";
        return false;
    }
    // WirePlumber is ready once it has made the session's "default" metadata.
    if (Spawn("wireplumber", {"wireplumber"}) < 0 || !WaitFor([] {
            return Run("pw-cli ls Metadata").find("\"default\"") != std::string::npos;
        })) {
        *reason = "WirePlumber did not start";
        return false;
    }
    return true;
}

void PipeWireSession::Stop() {
    while (!children_.empty()) {
        Kill(children_.back().name);
    }
    for (const auto& [variable, value] : savedEnvironment_) {
        setenv(variable.c_str(), value.c_str(), 1);
    }
    for (const std::string& variable : unsetEnvironment_) {
        unsetenv(variable.c_str());
    }
    savedEnvironment_.clear();
    unsetEnvironment_.clear();
    if (!scratch_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(scratch_, ignored);
        scratch_.clear();
    }
}

std::string PipeWireSession::ListNodes() const {
    return Run("pw-cli ls Node");
}

bool PipeWireSession::WaitForNode(const std::string& name, bool listed) const {
    std::string line = "node.name = \"" + name + "\"";
    return WaitFor([&] { return (ListNodes().find(line) != std::string::npos) == listed; });
}

bool PipeWireSession::CreateTestPattern(const std::string& name) {
    Run("pw-cli create-node spa-node-factory '{ factory.name=videotestsrc node.name=" + name +
        " media.class=Video/Source object.linger=true }'");
    return WaitForNode(name, true);
}

bool PipeWireSession::StartCamera(const std::string& name, const std::string& description,
                                  const std::string& format, int width, int height,
                                  const std::vector<std::string>& options) {
    std::vector<std::string> argv = {
        MORVALA_PIPEWIRE_TEST_CAMERA, name, description, format, std::to_string(width),
        std::to_string(height)};
    argv.insert(argv.end(), options.begin(), options.end());
    return Spawn(name, argv) > 0 && WaitForNode(name, true);
}

void PipeWireSession::StopCamera(const std::string& name) {
    // The daemon removes the node a moment after its process ends: a camera started again
    // under the same name must not be mistaken for the old one.
    bool started = std::any_of(children_.begin(), children_.end(),
                               [&](const Child& child) { return child.name == name; });
    Kill(name);
    if (started) {
        WaitForNode(name, false);
    }
}

void PipeWireSession::StopDaemon() {
    Kill("pipewire");
}

void PipeWireSession::StopSessionManager() {
    Kill("wireplumber");
}

}  // namespace morvala::test
