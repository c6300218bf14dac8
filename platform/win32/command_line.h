// The command line as WinMain sees it.
#pragma once

#include <string>

namespace morvala::win32 {

// The arguments after the program's name, joined by spaces; an argument that is empty or holds
// a space or tab is quoted.
std::string CommandTail(int argc, const char* const* argv);

}  // namespace morvala::win32
