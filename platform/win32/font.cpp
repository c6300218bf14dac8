#include "platform/win32/font.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "platform/win32/ansi.h"

namespace morvala::win32 {
namespace {

// 12 pixels to the em gives a line of about 14 pixels, like a desktop's default UI font.
constexpr int kEmPixels = 12;

std::string SansSerifFontFile() {
    std::string file;
    FcConfig* config = FcInitLoadConfigAndFonts();
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("sans-serif"));
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    FcPattern* match = FcFontMatch(config, pattern, &result);
    FcChar8* path = nullptr;
    if (match != nullptr && FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch) {
        file = reinterpret_cast<const char*>(path);
    }
    if (match != nullptr) {
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    FcConfigDestroy(config);
    return file;
}

TTF_Font* OpenUserInterfaceFont() {
    if (TTF_Init() != 0) {
        std::fprintf(stderr, "morvala: cannot draw text: %s\n", TTF_GetError());
        return nullptr;
    }
    std::string file = SansSerifFontFile();
    if (file.empty()) {
        std::fprintf(stderr, "morvala: cannot draw text: fontconfig finds no sans-serif font\n");
        return nullptr;
    }
    TTF_Font* font = TTF_OpenFont(file.c_str(), kEmPixels);
    if (font == nullptr) {
        std::fprintf(stderr, "morvala: cannot draw text: %s: %s\n", file.c_str(), TTF_GetError());
    }
    return font;
}

// A rendered line is as high as its glyphs reach, so a line of every character measures them all.
int LineHeightOf(TTF_Font* font) {
    std::string everyCharacter;
    for (int code = 0x20; code <= 0xFF; ++code) {
        // Windows-1252 leaves these undefined.
        bool undefined = code == 0x7F || code == 0x81 || code == 0x8D || code == 0x8F ||
                         code == 0x90 || code == 0x9D;
        if (!undefined) {
            everyCharacter += char(code);
        }
    }
    int height = 0;
    if (TTF_SizeUTF8(font, AnsiToUtf8(everyCharacter).c_str(), nullptr, &height) != 0) {
        return TTF_FontHeight(font);
    }
    return std::max(height, TTF_FontHeight(font));
}

}  // namespace

TTF_Font* UserInterfaceFont() {
    static TTF_Font* font = OpenUserInterfaceFont();
    return font;
}

int UserInterfaceLineHeight() {
    static int height = UserInterfaceFont() != nullptr ? LineHeightOf(UserInterfaceFont()) : 0;
    return height;
}

}  // namespace morvala::win32
