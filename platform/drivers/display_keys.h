// The keyboard as both displays report it: a US layout, with the virtual keys the program
// can meet and their PC (set 1) scan codes.
#pragma once

#include "platform/win32.h"

namespace morvala::drivers {

// The scan code of a virtual key, or 0 when it is not one of ours.
unsigned ScanCodeOf(unsigned virtualKey);

// A WM_KEYDOWN or WM_KEYUP as the keyboard sends it: repeat count 1, the scan code in
// bits 16..23, the previous key state in bit 30 and the transition state in bit 31.
MSG KeyMessage(HWND window, UINT message, unsigned virtualKey, bool wasDown);

// The character a key types, or 0 when it types none.
char CharacterOf(unsigned virtualKey, bool shifted);

}  // namespace morvala::drivers
