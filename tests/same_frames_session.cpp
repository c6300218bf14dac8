// The Linux side of the same-frames check against the Windows program under Wine: a whole
// session on the headless display whose camera shows the test capture driver's numbered
// pictures in the order the Wine test hands them out. Prints what the last paint drew at the
// bottom right and writes its 320 x 240 client area as a binary PPM.
// Usage: same_frames_session PICTURE0 PICTURE1..7 LAST-PICTURE CLIENT.ppm
//   PICTURE0 is shown before the first press, press k grabs PICTURE k, and after the eighth
//   press every refresh shows LAST-PICTURE.
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "app/main_window.h"
#include "platform/testing/camera_hooks.h"
#include "platform/testing/display_hooks.h"
#include "windows/test_driver/test_picture.h"

namespace {

std::vector<unsigned char> Picture(int number) {
    std::vector<unsigned char> frame(320 * 240 * 3);
    FillTestPicture(number, frame.data());
    return frame;
}

bool WritePpm(const char* path, const morvala::testing::Surface& surface) {
    FILE* file = fopen(path, "wb");
    if (file == nullptr) {
        return false;
    }
    fprintf(file, "P6\n%d %d\n255\n", surface.width, surface.height);
    for (int y = 0; y < surface.height; ++y) {
        for (int x = 0; x < surface.width; ++x) {
            uint32_t colour = surface.At(x, y);
            unsigned char rgb[3] = {static_cast<unsigned char>(colour >> 16),
                                    static_cast<unsigned char>(colour >> 8),
                                    static_cast<unsigned char>(colour)};
            fwrite(rgb, 1, 3, file);
        }
    }
    return fclose(file) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 11) {
        fprintf(stderr, "usage: %s PICTURE0 PICTURE1..7 LAST-PICTURE CLIENT.ppm\n", argv[0]);
        return 2;
    }
    morvala::testing::UseHeadlessDisplay();
    // Frame 0 is the first paint's; presses without refreshes between them grab 1..7; the
    // eighth trains without a grab, and the refresh after it shows the last picture.
    morvala::testing::ScriptedCameraIndex driver;
    driver.connects = true;
    for (int i = 1; i <= 9; ++i) {
        driver.frames.push_back(Picture(atoi(argv[i])));
    }
    morvala::testing::UseScriptedCamera({driver});
    for (int press = 0; press < 8; ++press) {
        morvala::testing::PressKey(VK_SPACE);
    }
    morvala::testing::LetTimePass(24);
    bool drawn = false;
    morvala::testing::RunWhenIdle([&] {
        std::vector<morvala::testing::DrawnText> texts =
            morvala::testing::TextsDrawnInLastPaint(MainWindow);
        int grabs = morvala::testing::RequestsReceived(0).grabs;
        if (grabs != 9 || texts.size() != 1) {
            fprintf(stderr, "same frames: %d grabs and %zu texts, not 9 and 1\n", grabs,
                    texts.size());
            return;
        }
        printf("%s\n", texts[0].text.c_str());
        drawn = WritePpm(argv[10], morvala::testing::WindowSurface(MainWindow));
    });
    morvala::testing::RequestClose();
    static char commandLine[] = "";
    int status = WinMain(nullptr, nullptr, commandLine, SW_SHOWDEFAULT);
    return status == 0 && drawn ? 0 : 1;
}
