#include "platform/drivers/display_keys.h"

#include "platform/drivers/display.h"

namespace morvala::drivers {
namespace {

// Scan codes of the keys A..Z and 0..9 in virtual-key order.
constexpr unsigned char kLetterScanCodes[26] = {
    0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17, 0x24, 0x25, 0x26, 0x32,
    0x31, 0x18, 0x19, 0x10, 0x13, 0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};
constexpr unsigned char kDigitScanCodes[10] = {0x0B, 0x02, 0x03, 0x04, 0x05,
                                               0x06, 0x07, 0x08, 0x09, 0x0A};
constexpr char kShiftedDigits[] = ")!@#$%^&*(";

constexpr LPARAM kPreviousStateBit = LPARAM{1} << 30;
constexpr LPARAM kTransitionBit = LPARAM{1} << 31;

bool IsLetter(unsigned virtualKey) {
    return virtualKey >= 'A' && virtualKey <= 'Z';
}
bool IsDigit(unsigned virtualKey) {
    return virtualKey >= '0' && virtualKey <= '9';
}

}  // namespace

unsigned ScanCodeOf(unsigned virtualKey) {
    if (IsLetter(virtualKey)) {
        return kLetterScanCodes[virtualKey - 'A'];
    }
    if (IsDigit(virtualKey)) {
        return kDigitScanCodes[virtualKey - '0'];
    }
    switch (virtualKey) {
        case VK_BACK:
            return 0x0E;
        case VK_TAB:
            return 0x0F;
        case VK_RETURN:
            return 0x1C;
        case VK_SHIFT:
            return 0x2A;
        case VK_ESCAPE:
            return 0x01;
        case VK_SPACE:
            return 0x39;
        default:
            return 0;
    }
}

MSG KeyMessage(HWND window, UINT message, unsigned virtualKey, bool wasDown) {
    LPARAM flags = 1 | LPARAM(ScanCodeOf(virtualKey)) << 16;
    if (message == WM_KEYUP) {
        flags |= kPreviousStateBit | kTransitionBit;
    } else if (wasDown) {
        flags |= kPreviousStateBit;
    }
    return MessageFor(window, message, virtualKey, flags);
}

char CharacterOf(unsigned virtualKey, bool shifted) {
    if (IsLetter(virtualKey)) {
        return char(shifted ? virtualKey : virtualKey - 'A' + 'a');
    }
    if (IsDigit(virtualKey)) {
        return shifted ? kShiftedDigits[virtualKey - '0'] : char(virtualKey);
    }
    switch (virtualKey) {
        case VK_BACK:
        case VK_TAB:
        case VK_RETURN:
        case VK_ESCAPE:
        case VK_SPACE:
            return char(virtualKey);
        default:
            return 0;
    }
}

}  // namespace morvala::drivers
