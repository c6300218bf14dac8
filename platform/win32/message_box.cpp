#include <cctype>
#include <cstdio>
#include <string>

#include "platform/drivers/display.h"
#include "platform/win32.h"
#include "platform/win32/ansi.h"
#include "platform/win32/window_state.h"

namespace {

// The text alone when it already begins with the caption's word ("Error: cannot ..." in a box
// titled "Error"), else "caption: text".
std::string StderrLine(const std::string& caption, const std::string& text) {
    bool beginsWithCaption = text.compare(0, caption.size(), caption) == 0 &&
                             (text.size() == caption.size() ||
                              !std::isalnum(static_cast<unsigned char>(text[caption.size()])));
    return caption.empty() || beginsWithCaption ? text : caption + ": " + text;
}

}  // namespace

// Every box also goes to stderr, so that a terminal user sees why the program ended.
int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    std::string captionText = morvala::win32::AnsiToUtf8(caption != nullptr ? caption : "Error");
    std::string bodyText = morvala::win32::AnsiToUtf8(text != nullptr ? text : "");
    std::fprintf(stderr, "%s\n", StderrLine(captionText, bodyText).c_str());
    std::fflush(stderr);
    HWND topLevel = morvala::win32::LookUpWindow(owner) != nullptr
                        ? morvala::win32::TopLevelOf(owner)
                        : nullptr;
    morvala::drivers::ActiveDisplay().ShowMessageBox(topLevel, captionText, bodyText, type);
    return IDOK;
}
