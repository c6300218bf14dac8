// The font every device context draws text in: the desktop's sans-serif face, found with
// fontconfig, opened once through SDL2_ttf (FreeType) at a desktop's usual UI size.
#pragma once

#include <SDL_ttf.h>

namespace morvala::win32 {

// Null, after one line on stderr, when no font can be opened.
TTF_Font* UserInterfaceFont();

}  // namespace morvala::win32
