// Drawing on a window's surface: lines and pens, bitmaps, text, and the paint cycle.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>
#include <utility>

#include "tests/win32_test_support.h"

namespace {

using morvala::testing::Surface;
using morvala::testing::WindowSurface;

constexpr uint32_t kWhite = 0xFFFFFF;

class DrawingTest : public win32_test::SubsetTest {
  protected:
    // Shows the main window, painted by `draw` once.
    HWND Draw(std::function<void(HDC)> draw) {
        PaintWith(std::move(draw));
        HWND window = CreateMainWindow();
        ShowWindow(window, SW_SHOWDEFAULT);
        UpdateWindow(window);
        return window;
    }

    static std::set<std::pair<int, int>> PixelsNot(const Surface& surface, uint32_t background) {
        std::set<std::pair<int, int>> pixels;
        for (int y = 0; y < surface.height; ++y) {
            for (int x = 0; x < surface.width; ++x) {
                if (surface.At(x, y) != background) {
                    pixels.insert({x, y});
                }
            }
        }
        return pixels;
    }

    static void Line(HDC dc, POINT from, POINT to) {
        MoveToEx(dc, from.x, from.y, nullptr);
        LineTo(dc, to.x, to.y);
    }
};

TEST_F(DrawingTest, TheFirstPaintFindsTheSurfaceErasedToTheClassBackground) {
    HWND window = Draw([](HDC) {});
    Surface surface = WindowSurface(window);
    EXPECT_TRUE(PixelsNot(surface, kWhite).empty());
}

struct LineCase {
    const char* name;
    POINT from;
    POINT to;
};

class LineTest : public DrawingTest, public ::testing::WithParamInterface<LineCase> {};

// A one-pixel line has one pixel for each step along its longer axis, from its start up to
// but not including its end, each within half a pixel of the ideal line.
TEST_P(LineTest, DrawsOnePixelPerStepUpToButNotIncludingTheEnd) {
    LineCase line = GetParam();
    HWND window = Draw([&](HDC dc) { Line(dc, line.from, line.to); });
    std::set<std::pair<int, int>> drawn = PixelsNot(WindowSurface(window), kWhite);

    int dx = line.to.x - line.from.x;
    int dy = line.to.y - line.from.y;
    bool alongX = std::abs(dx) >= std::abs(dy);
    int steps = std::max(std::abs(dx), std::abs(dy));
    ASSERT_EQ(drawn.size(), size_t(steps));
    EXPECT_TRUE(drawn.count({line.from.x, line.from.y}));
    EXPECT_FALSE(drawn.count({line.to.x, line.to.y}));
    for (int step = 0; step < steps; ++step) {
        int major = (alongX ? line.from.x : line.from.y) + step * ((alongX ? dx : dy) > 0 ? 1 : -1);
        double ideal = alongX ? line.from.y + double(dy) * (major - line.from.x) / dx
                              : line.from.x + double(dx) * (major - line.from.y) / dy;
        auto onLine = std::find_if(drawn.begin(), drawn.end(), [&](const std::pair<int, int>& p) {
            return (alongX ? p.first : p.second) == major;
        });
        ASSERT_NE(onLine, drawn.end()) << "no pixel at step " << step;
        int minor = alongX ? onLine->second : onLine->first;
        EXPECT_LE(std::abs(minor - ideal), 0.5 + 1e-9) << "step " << step;
    }
    // Lines are drawn in the default pen: black.
    for (const auto& [x, y] : drawn) {
        EXPECT_EQ(WindowSurface(window).At(x, y), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Directions, LineTest,
    ::testing::Values(LineCase{"Right", {10, 10}, {20, 10}}, LineCase{"Left", {20, 10}, {10, 10}},
                      LineCase{"Down", {7, 3}, {7, 30}}, LineCase{"Up", {7, 30}, {7, 3}},
                      LineCase{"Diagonal", {0, 0}, {10, 10}}, LineCase{"Shallow", {5, 5}, {25, 12}},
                      LineCase{"ShallowBack", {25, 12}, {5, 5}},
                      LineCase{"Steep", {30, 5}, {26, 40}}),
    [](const ::testing::TestParamInfo<LineCase>& info) { return std::string(info.param.name); });

TEST_F(DrawingTest, ClosedSquaresHaveEveryEdgeAndCorner) {
    HWND window = Draw([](HDC dc) {
        HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 128, 1));
        HGDIOBJ previous = SelectObject(dc, pen);
        const POINT squares[2][5] = {{{95, 55}, {95, 184}, {224, 184}, {224, 55}, {95, 55}},
                                     {{94, 54}, {94, 183}, {223, 183}, {223, 54}, {94, 54}}};
        for (const auto& square : squares) {
            MoveToEx(dc, square[0].x, square[0].y, nullptr);
            for (int corner = 1; corner < 5; ++corner) {
                LineTo(dc, square[corner].x, square[corner].y);
            }
        }
        SelectObject(dc, previous);
        DeleteObject(pen);
    });
    std::set<std::pair<int, int>> expected;
    for (int offset = 0; offset <= 1; ++offset) {
        int left = 95 - offset, top = 55 - offset, right = 224 - offset, bottom = 184 - offset;
        for (int i = 0; i <= 129; ++i) {
            expected.insert({left + i, top});
            expected.insert({left + i, bottom});
            expected.insert({left, top + i});
            expected.insert({right, top + i});
        }
    }
    Surface surface = WindowSurface(window);
    EXPECT_EQ(PixelsNot(surface, kWhite), expected);
    EXPECT_EQ(surface.At(95, 55), 0xFF8001u);
}

TEST_F(DrawingTest, SelectObjectGivesBackThePenItReplaces) {
    Draw([](HDC dc) {
        HPEN red = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
        ASSERT_NE(red, nullptr);
        HGDIOBJ original = SelectObject(dc, red);
        EXPECT_NE(original, nullptr);
        EXPECT_FALSE(DeleteObject(red));  // still selected
        EXPECT_EQ(SelectObject(dc, original), red);
        EXPECT_TRUE(DeleteObject(red));
        EXPECT_EQ(SelectObject(dc, red), nullptr);  // gone
        EXPECT_FALSE(DeleteObject(red));
    });
    EXPECT_EQ(CreatePen(PS_SOLID, 3, 0), nullptr);  // only one-pixel pens are drawn
}

TEST_F(DrawingTest, DrawingStaysInsideTheClientArea) {
    HWND window = Draw([](HDC dc) {
        Line(dc, {-50, 5}, {400, 5});
        Line(dc, {5, -50}, {5, 300});
    });
    std::set<std::pair<int, int>> drawn = PixelsNot(WindowSurface(window), kWhite);
    EXPECT_EQ(drawn.size(), size_t(320 + 240 - 1));
}

TEST_F(DrawingTest, APaintChangesOnlyWhatWasInvalid) {
    HWND window = Draw([](HDC) {});
    PaintWith([](HDC dc) { Line(dc, {0, 5}, {320, 5}); });
    RECT invalid{100, 0, 110, 10};
    InvalidateRect(window, &invalid, FALSE);
    UpdateWindow(window);
    std::set<std::pair<int, int>> expected;
    for (int x = 100; x < 110; ++x) {
        expected.insert({x, 5});
    }
    EXPECT_EQ(PixelsNot(WindowSurface(window), kWhite), expected);
}

TEST_F(DrawingTest, EveryPaintIsPresented) {
    std::vector<HWND> presented;
    morvala::testing::OnPresent([&](HWND window) { presented.push_back(window); });
    HWND window = Draw([](HDC) {});
    HWND child = CreateChild(window, 10, 10, 20, 20, WS_CHILD | WS_VISIBLE);
    UpdateWindow(child);
    InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);
    EXPECT_EQ(presented, (std::vector<HWND>{window, window, window}));
}

// A bottom-up 24-bit bitmap whose every pixel says where it is in memory.
struct Bitmap {
    BITMAPINFO info{};
    std::vector<BYTE> bits;

    Bitmap(int width, int height) {
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        info.bmiHeader.biCompression = BI_RGB;
        int stride = (width * 3 + 3) / 4 * 4;
        bits.assign(size_t(stride) * size_t(height), 0);
        for (int row = 0; row < height; ++row) {
            for (int column = 0; column < width; ++column) {
                BYTE* pixel = &bits[size_t(row) * stride + size_t(column) * 3];
                uint32_t color = Color(column, row);
                pixel[0] = BYTE(color);
                pixel[1] = BYTE(color >> 8);
                pixel[2] = BYTE(color >> 16);
            }
        }
    }

    // Blue from the column, green from the memory row, red from both's high parts.
    static uint32_t Color(int column, int memoryRow) {
        return uint32_t(0x40 + column / 256 * 0x40 + memoryRow / 256) << 16 |
               uint32_t(memoryRow % 256) << 8 | uint32_t(column % 256);
    }
};

TEST_F(DrawingTest, ABottomUpBitmapIsShownUpright) {
    Bitmap frame(320, 240);
    int lines = 0;
    HWND window = Draw([&](HDC dc) {
        lines = SetDIBitsToDevice(dc, 0, 0, 320, 240, 0, 0, 0, 240, frame.bits.data(), &frame.info,
                                  DIB_RGB_COLORS);
    });
    EXPECT_EQ(lines, 240);
    Surface surface = WindowSurface(window);
    for (int y = 0; y < 240; ++y) {
        for (int x = 0; x < 320; ++x) {
            ASSERT_EQ(surface.At(x, y), Bitmap::Color(x, 239 - y)) << x << ", " << y;
        }
    }
}

TEST_F(DrawingTest, BitmapRowsArePaddedToFourBytes) {
    Bitmap small(3, 2);
    HWND window = Draw([&](HDC dc) {
        SetDIBitsToDevice(dc, 100, 50, 3, 2, 0, 0, 0, 2, small.bits.data(), &small.info,
                          DIB_RGB_COLORS);
    });
    Surface surface = WindowSurface(window);
    for (int x = 0; x < 3; ++x) {
        EXPECT_EQ(surface.At(100 + x, 50), Bitmap::Color(x, 1));
        EXPECT_EQ(surface.At(100 + x, 51), Bitmap::Color(x, 0));
    }
    EXPECT_EQ(PixelsNot(surface, kWhite).size(), 6u);
}

TEST_F(DrawingTest, ABandOfScanLinesFillsItsPartOfTheDestination) {
    Bitmap frame(320, 240);  // only its first 120 memory rows, the lower half, are given
    HWND window = Draw([&](HDC dc) {
        EXPECT_EQ(SetDIBitsToDevice(dc, 0, 0, 320, 240, 0, 0, 0, 120, frame.bits.data(),
                                    &frame.info, DIB_RGB_COLORS),
                  120);
    });
    Surface surface = WindowSurface(window);
    EXPECT_EQ(surface.At(5, 119), kWhite);
    EXPECT_EQ(surface.At(5, 120), Bitmap::Color(5, 119));
    EXPECT_EQ(surface.At(5, 239), Bitmap::Color(5, 0));
}

struct PlacedBitmapCase {
    const char* name;
    int xDest, yDest, width, height, xSrc, ySrc;
};

class PlacedBitmapTest : public DrawingTest,
                         public ::testing::WithParamInterface<PlacedBitmapCase> {};

// Each pixel of the destination rectangle inside the window shows its pixel of the source
// rectangle (whose origin is the bitmap's lower left corner), where that lies in the bitmap;
// everything else is left as it was.
TEST_P(PlacedBitmapTest, ShowsExactlyTheOverlap) {
    const PlacedBitmapCase& c = GetParam();
    Bitmap frame(320, 240);
    HWND window = Draw([&](HDC dc) {
        SetDIBitsToDevice(dc, c.xDest, c.yDest, c.width, c.height, c.xSrc, c.ySrc, 0, 240,
                          frame.bits.data(), &frame.info, DIB_RGB_COLORS);
    });
    Surface surface = WindowSurface(window);
    for (int y = 0; y < surface.height; ++y) {
        for (int x = 0; x < surface.width; ++x) {
            int column = c.xSrc + x - c.xDest;
            int memoryRow = c.ySrc + c.height - 1 - (y - c.yDest);
            bool inDestination =
                x >= c.xDest && x < c.xDest + c.width && y >= c.yDest && y < c.yDest + c.height;
            bool inBitmap = column >= 0 && column < 320 && memoryRow >= 0 && memoryRow < 240;
            uint32_t expected =
                inDestination && inBitmap ? Bitmap::Color(column, memoryRow) : kWhite;
            ASSERT_EQ(surface.At(x, y), expected) << x << ", " << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Placements, PlacedBitmapTest,
    ::testing::Values(PlacedBitmapCase{"FromAnOffset", 10, 20, 50, 30, 100, 60},
                      PlacedBitmapCase{"OffTheTopLeft", -30, -10, 100, 50, 0, 0},
                      PlacedBitmapCase{"OffTheBottomRight", 300, 220, 100, 100, 0, 0},
                      PlacedBitmapCase{"BeforeTheBitmapsLeftEdge", 40, 40, 60, 20, -20, 0},
                      PlacedBitmapCase{"PastTheBitmapsRightEdge", 40, 40, 60, 20, 300, 0},
                      PlacedBitmapCase{"PastTheBitmapsTop", 40, 40, 60, 20, 0, 230},
                      PlacedBitmapCase{"OutsideTheWindow", 400, 0, 50, 50, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DrawingTest, OtherBitmapFormatsAreRefused) {
    Bitmap frame(320, 240);
    frame.info.bmiHeader.biBitCount = 32;
    HWND window = Draw([&](HDC dc) {
        EXPECT_EQ(SetDIBitsToDevice(dc, 0, 0, 320, 240, 0, 0, 0, 240, frame.bits.data(),
                                    &frame.info, DIB_RGB_COLORS),
                  0);
    });
    EXPECT_TRUE(PixelsNot(WindowSurface(window), kWhite).empty());
}

// Where the ink of a line of text lands.
struct InkBox {
    int left = 1 << 20, top = 1 << 20, right = -1, bottom = -1;  // inclusive

    static InkBox Of(const Surface& surface, uint32_t background) {
        InkBox box;
        for (int y = 0; y < surface.height; ++y) {
            for (int x = 0; x < surface.width; ++x) {
                if (surface.At(x, y) != background) {
                    box.left = std::min(box.left, x);
                    box.right = std::max(box.right, x);
                    box.top = std::min(box.top, y);
                    box.bottom = std::max(box.bottom, y);
                }
            }
        }
        return box;
    }
    double CenterX() const { return (left + right) / 2.0; }
    double CenterY() const { return (top + bottom) / 2.0; }
};

constexpr const char* kLongestPrompt = "Keep your face in the white rectangle.";
constexpr RECT kTextRect{0, 0, 320, 240};

struct PlacementCase {
    const char* name;
    UINT format;
    std::function<void(const InkBox&)> check;
};

class PlacementTest : public DrawingTest, public ::testing::WithParamInterface<PlacementCase> {};

TEST_P(PlacementTest, TheTextLandsWhereTheFlagsSay) {
    HWND window = Draw([](HDC dc) {
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(0, 0, 255));
        RECT rect = kTextRect;
        DrawTextA(dc, kLongestPrompt, -1, &rect, GetParam().format);
    });
    InkBox ink = InkBox::Of(WindowSurface(window), kWhite);
    ASSERT_GE(ink.right, 0) << "no text drawn";
    // A desktop's UI font: the longest prompt fits, at a readable size.
    EXPECT_GT(ink.right - ink.left, 150);
    EXPECT_LT(ink.right - ink.left, 320);
    EXPECT_GE(ink.bottom - ink.top + 1, 9);
    EXPECT_LE(ink.bottom - ink.top + 1, 18);
    GetParam().check(ink);
}

void CentredAcross(const InkBox& ink) {
    EXPECT_NEAR(ink.CenterX(), 159.5, 2.0);
}
void AtTheBottom(const InkBox& ink) {
    EXPECT_LE(ink.bottom, 239);
    EXPECT_GE(ink.bottom, 239 - 5);  // no further than a descender's room from it
}

INSTANTIATE_TEST_SUITE_P(
    Placements, PlacementTest,
    ::testing::Values(PlacementCase{"Centre", DT_CENTER | DT_VCENTER | DT_SINGLELINE,
                                    [](const InkBox& ink) {
                                        CentredAcross(ink);
                                        EXPECT_NEAR(ink.CenterY(), 119.5, 3.0);
                                    }},
                      PlacementCase{"BottomCentre", DT_CENTER | DT_BOTTOM | DT_SINGLELINE,
                                    [](const InkBox& ink) {
                                        CentredAcross(ink);
                                        AtTheBottom(ink);
                                    }},
                      PlacementCase{"BottomRight", DT_RIGHT | DT_BOTTOM | DT_SINGLELINE,
                                    [](const InkBox& ink) {
                                        EXPECT_LE(ink.right, 319);
                                        EXPECT_GE(ink.right, 319 - 3);
                                        AtTheBottom(ink);
                                    }},
                      PlacementCase{"TopLeft", DT_LEFT | DT_TOP | DT_SINGLELINE,
                                    [](const InkBox& ink) {
                                        EXPECT_LE(ink.left, 3);
                                        EXPECT_LE(ink.top, 5);
                                    }},
                      // Vertical placement is for single lines only.
                      PlacementCase{"CentreWithoutSingleLine", DT_CENTER | DT_VCENTER,
                                    [](const InkBox& ink) {
                                        CentredAcross(ink);
                                        EXPECT_LE(ink.top, 5);
                                    }}),
    [](const ::testing::TestParamInfo<PlacementCase>& info) {
        return std::string(info.param.name);
    });

// Placed at the bottom of its rectangle, a line keeps every row of its ink, descenders
// included, and every line stands on the same baseline: the line is the font's full height.
TEST_F(DrawingTest, BottomAlignedLinesKeepTheirDescentAndShareOneBaseline) {
    constexpr RECT kAboveTheEdge{0, 0, 320, 200};  // clipped by the rectangle, not the window
    auto inkOf = [&](const char* text, UINT format) {
        HWND window = Draw([&](HDC dc) {
            SetBkMode(dc, TRANSPARENT);
            RECT rect = kAboveTheEdge;
            DrawTextA(dc, text, -1, &rect, format);
        });
        InkBox ink = InkBox::Of(WindowSurface(window), kWhite);
        DestroyWindow(window);
        return ink;
    };
    std::set<int> drops;
    for (const char* text :
         {kLongestPrompt, "Press space 7 more times.", "gjpqy", "1234.500000", "@|"}) {
        SCOPED_TRACE(text);
        InkBox atTop = inkOf(text, DT_LEFT | DT_TOP | DT_SINGLELINE);
        InkBox atBottom = inkOf(text, DT_LEFT | DT_BOTTOM | DT_SINGLELINE);
        ASSERT_GE(atTop.bottom, 0) << "no text drawn";
        EXPECT_EQ(atBottom.bottom - atBottom.top, atTop.bottom - atTop.top) << "rows were cut";
        EXPECT_LT(atBottom.bottom, kAboveTheEdge.bottom);
        drops.insert(atBottom.top - atTop.top);
    }
    EXPECT_EQ(drops.size(), 1u) << "the lines stand on different baselines";
}

TEST_F(DrawingTest, TextIsAntiAliasedInTheTextColour) {
    HWND window = Draw([](HDC dc) {
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(0, 0, 255));
        RECT rect = kTextRect;
        DrawTextA(dc, kLongestPrompt, -1, &rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    });
    Surface surface = WindowSurface(window);
    int solid = 0, partial = 0;
    for (const auto& [x, y] : PixelsNot(surface, kWhite)) {
        uint32_t pixel = surface.At(x, y);
        // Blended from white towards blue: red and green fall together, blue stays.
        EXPECT_EQ(pixel & 0xFF, 0xFFu);
        EXPECT_EQ(pixel >> 16, (pixel >> 8) & 0xFF);
        (pixel == 0x0000FF ? solid : partial)++;
    }
    EXPECT_GT(solid, 0);
    EXPECT_GT(partial, 0);
}

TEST_F(DrawingTest, ATransparentBackgroundLeavesThePictureAroundTheGlyphs) {
    Bitmap frame(320, 240);
    for (int mode : {TRANSPARENT, OPAQUE}) {
        HWND window = Draw([&](HDC dc) {
            SetDIBitsToDevice(dc, 0, 0, 320, 240, 0, 0, 0, 240, frame.bits.data(), &frame.info,
                              DIB_RGB_COLORS);
            SetBkMode(dc, mode);
            SetTextColor(dc, RGB(0, 0, 0));
            RECT rect = kTextRect;
            DrawTextA(dc, "Press space 7 more times.", -1, &rect,
                      DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        });
        Surface surface = WindowSurface(window);
        int whitePixels = 0;
        for (int y = 0; y < 240; ++y) {
            for (int x = 0; x < 320; ++x) {
                whitePixels += surface.At(x, y) == kWhite;
            }
        }
        // The picture has no white; an opaque background fills the line's box with it.
        if (mode == TRANSPARENT) {
            EXPECT_EQ(whitePixels, 0);
        } else {
            EXPECT_GT(whitePixels, 100);
        }
        DestroyWindow(window);
    }
}

TEST_F(DrawingTest, TextIsClippedToItsRectangleAndTheClientArea) {
    HWND window = Draw([](HDC dc) {
        SetBkMode(dc, TRANSPARENT);
        RECT narrow{0, 0, 40, 120};
        DrawTextA(dc, kLongestPrompt, -1, &narrow, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
        RECT beyond{250, 120, 900, 240};
        DrawTextA(dc, kLongestPrompt, -1, &beyond, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    });
    Surface surface = WindowSurface(window);
    std::set<std::pair<int, int>> ink = PixelsNot(surface, kWhite);
    bool inNarrow = false, inBeyond = false;
    for (const auto& [x, y] : ink) {
        bool narrow = x < 40 && y < 120;
        bool beyond = x >= 250 && y >= 120;
        EXPECT_TRUE(narrow || beyond) << x << ", " << y;
        inNarrow = inNarrow || narrow;
        inBeyond = inBeyond || beyond;
    }
    EXPECT_TRUE(inNarrow);
    EXPECT_TRUE(inBeyond);
}

TEST_F(DrawingTest, DrawTextGivesTheHeightOrWhereTheTextEnds) {
    int fromTop = 0, fromBottom = 0;
    Draw([&](HDC dc) {
        RECT rect = kTextRect;
        fromTop = DrawTextA(dc, "Ag", -1, &rect, DT_LEFT | DT_SINGLELINE);
        fromBottom = DrawTextA(dc, "Ag", -1, &rect, DT_RIGHT | DT_BOTTOM | DT_SINGLELINE);
    });
    EXPECT_GE(fromTop, 13);  // the line height of a desktop's UI font
    EXPECT_LE(fromTop, 16);
    EXPECT_EQ(fromBottom, 240);
}

TEST_F(DrawingTest, TheTextsOfTheLastPaintAreRecorded) {
    int paints = 0;
    HWND window = Draw([&](HDC dc) {
        ++paints;
        SetTextColor(dc, RGB(255, 255, 255));
        RECT rect = kTextRect;
        char number[] = "1234.500000 and more";
        DrawTextA(dc, number, 11, &rect, DT_RIGHT | DT_BOTTOM | DT_SINGLELINE);
        if (paints == 1) {
            DrawTextA(dc, "first paint only", -1, &rect, DT_CENTER);
        }
    });
    InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);
    std::vector<morvala::testing::DrawnText> texts =
        morvala::testing::TextsDrawnInLastPaint(window);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].text, "1234.500000");
    EXPECT_EQ(texts[0].format, UINT(DT_RIGHT | DT_BOTTOM | DT_SINGLELINE));
    EXPECT_EQ(texts[0].color, RGB(255, 255, 255));
    EXPECT_EQ(texts[0].rect.right, 320);
    EXPECT_EQ(texts[0].rect.bottom, 240);
}

TEST_F(DrawingTest, TextSettingsGiveTheirPreviousValues) {
    Draw([](HDC dc) {
        EXPECT_EQ(SetBkMode(dc, TRANSPARENT), OPAQUE);
        EXPECT_EQ(SetBkMode(dc, TRANSPARENT), TRANSPARENT);
        EXPECT_EQ(SetTextColor(dc, RGB(255, 255, 255)), RGB(0, 0, 0));
        EXPECT_EQ(SetTextColor(dc, RGB(1, 2, 3)), RGB(255, 255, 255));
    });
}

}  // namespace
