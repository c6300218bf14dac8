// The process's start: what the run-time library does before and after WinMain.
#include <string>

#include "platform/win32.h"
#include "platform/win32/command_line.h"

// The executable's first byte, placed by the linker: the module handle, as on Windows.
extern "C" const char __executable_start;

int main(int argc, char** argv) {
    std::string commandLine = morvala::win32::CommandTail(argc, argv);
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(const_cast<char*>(&__executable_start));
    return WinMain(instance, nullptr, commandLine.data(), SW_SHOWDEFAULT);
}
