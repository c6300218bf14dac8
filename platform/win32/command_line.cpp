#include "platform/win32/command_line.h"

#include <cstring>

namespace morvala::win32 {

std::string CommandTail(int argc, const char* const* argv) {
    std::string tail;
    for (int index = 1; index < argc; ++index) {
        if (index > 1) {
            tail += ' ';
        }
        bool quoted = argv[index][0] == '\0' || std::strpbrk(argv[index], " \t") != nullptr;
        tail += quoted ? '"' + std::string(argv[index]) + '"' : std::string(argv[index]);
    }
    return tail;
}

}  // namespace morvala::win32
