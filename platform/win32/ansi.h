// The program's texts are single-byte (Windows-1252); fonts, titles and terminals want UTF-8.
#pragma once

#include <string>

namespace morvala::win32 {

std::string AnsiToUtf8(const std::string& ansi);

}  // namespace morvala::win32
