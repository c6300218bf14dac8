// The font every device context draws text in: the desktop's sans-serif face, found with
// fontconfig, opened once through SDL2_ttf (FreeType) at a desktop's usual UI size.
#pragma once

#include <SDL_ttf.h>

namespace morvala::win32 {

// Null, after one line on stderr, when no font can be opened.
TTF_Font* UserInterfaceFont();

// The height of one line in that font, as the system measures it: from the top of its highest
// glyph to the bottom of its deepest, over every character of the program's code page.
// FreeType's rounded descent alone leaves the deepest descenders a row below the line.
// Zero without a font.
int UserInterfaceLineHeight();

}  // namespace morvala::win32
