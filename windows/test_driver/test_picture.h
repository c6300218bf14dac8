// The pictures the test capture driver shows, numbered: the same bytes wherever they are made,
// so that the Windows program under Wine and the Linux program can be handed the same frames.
// Integers only, so no compiler or floating-point mode can change a byte.
#pragma once

#include <stddef.h>

// 320 x 240 BGR, rows bottom-up. A lit oval on a shaded background with two dark eyes; each
// number moves, sizes and tints it differently.
inline void FillTestPicture(int number, unsigned char* frame) {
    const int centreX = 160 + (number * 7) % 23 - 11;
    const int centreY = 118 + (number * 5) % 17 - 8;
    const int halfWidth = 42 + (number * 3) % 9;
    const int halfHeight = 56 + (number * 11) % 7;
    for (int y = 0; y < 240; ++y) {
        unsigned char* row = frame + size_t(239 - y) * 960;
        for (int x = 0; x < 320; ++x) {
            int blue = (x / 2 + y + number * 29) % 160;
            int green = (x + y / 3 + number * 13) % 140;
            int red = (x / 3 + 2 * y + number * 41) % 180;
            const int dx = x - centreX, dy = y - centreY;
            // Inside the oval: (dx / halfWidth)^2 + (dy / halfHeight)^2 <= 1, in integers.
            const long long reach = (long long)dx * dx * halfHeight * halfHeight +
                                    (long long)dy * dy * halfWidth * halfWidth;
            const long long edge = (long long)halfWidth * halfWidth * halfHeight * halfHeight;
            if (reach <= edge) {
                const int shade = int(reach * 60 / edge);
                red = 230 - shade - number % 5 * 4;
                green = 180 - shade + (x + y) % 7;
                blue = 150 - shade + number % 3 * 6;
                const int eyeY = dy + halfHeight / 4;
                const int leftEyeX = dx + halfWidth / 2 - 4, rightEyeX = dx - halfWidth / 2 + 4;
                if (leftEyeX * leftEyeX + eyeY * eyeY <= 36 ||
                    rightEyeX * rightEyeX + eyeY * eyeY <= 36) {
                    red = green = blue = 30 + number % 4 * 5;
                }
            }
            row[3 * x] = static_cast<unsigned char>(blue);
            row[3 * x + 1] = static_cast<unsigned char>(green);
            row[3 * x + 2] = static_cast<unsigned char>(red);
        }
    }
}
