#include "platform/win32/ansi.h"

#include <SDL.h>

namespace morvala::win32 {

std::string AnsiToUtf8(const std::string& ansi) {
    char* converted = SDL_iconv_string("UTF-8", "WINDOWS-1252", ansi.c_str(), ansi.size() + 1);
    if (converted == nullptr) {
        return ansi;
    }
    std::string result(converted);
    SDL_free(converted);
    return result;
}

}  // namespace morvala::win32
