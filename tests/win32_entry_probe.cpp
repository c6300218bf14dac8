// A program that reports what the process entry gave its WinMain and ends with a code of its
// own choosing: the length of its command line.
#include <cstdio>
#include <cstring>

#include "platform/win32.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine,
                   int showCommand) {
    std::printf("instance %s\n", instance != nullptr ? "given" : "null");
    std::printf("previous instance %s\n", previousInstance != nullptr ? "given" : "null");
    std::printf("command line [%s]\n", commandLine);
    std::printf("show command %d\n", showCommand);
    std::printf("one and a half %.1f\n", 1.5);  // the C locale, whatever the environment says
    return int(std::strlen(commandLine));
}
