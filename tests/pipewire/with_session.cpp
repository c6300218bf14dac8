// Runs a command inside a private PipeWire session that holds PipeWire's own test pattern,
// for the real program's tests and measurements:
//   with_pipewire_session NODE-NAME COMMAND [ARGS...]
// Exits with the command's status, or 77 (a skipped test) when no session can be started.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "tests/pipewire/pipewire_session.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s NODE-NAME COMMAND [ARGS...]\n", argv[0]);
        return 2;
    }
    morvala::test::PipeWireSession session;
    std::string reason;
    if (!session.Start(&reason)) {
        std::printf("skipped: no private PipeWire session can be started here: %s\n",
                    reason.c_str());
        return 77;
    }
    if (!session.CreateTestPattern(argv[1])) {
        std::fprintf(stderr, "%s: the test pattern did not appear\n", argv[0]);
        return 1;
    }
    pid_t command = fork();
    if (command == 0) {
        execvp(argv[2], argv + 2);
        std::perror(argv[2]);
        _exit(127);
    }
    int status = 0;
    waitpid(command, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
