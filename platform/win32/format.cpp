#include <locale.h>

#include <cstdio>

#include "platform/win32.h"

// Formats in the C locale whatever the process's locale is, so "%f" always writes ".".
// A text that does not fit is cut short, still terminated, and the result is -1.
int vsprintf_s(char* buffer, size_t sizeInBytes, const char* format, va_list arguments) {
    if (buffer == nullptr || sizeInBytes == 0) {
        return -1;
    }
    if (format == nullptr) {
        buffer[0] = '\0';
        return -1;
    }
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(0));
    locale_t previous = uselocale(cLocale);
    int written = std::vsnprintf(buffer, sizeInBytes, format, arguments);
    uselocale(previous);
    if (written < 0) {
        buffer[0] = '\0';
        return -1;
    }
    return size_t(written) < sizeInBytes ? written : -1;
}
