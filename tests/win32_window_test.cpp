// Window classes and windows: creation, frame, children, showing, updating, destruction.
#include <cstdlib>

#include "tests/win32_test_support.h"

namespace {

using morvala::testing::DescribeWindow;
using win32_test::handlers;
using win32_test::logged;
using win32_test::Logged;

class WindowTest : public win32_test::SubsetTest {};

TEST_F(WindowTest, CreationSendsCreateWithTheNewHandleBeforeReturning) {
    HWND seenInCreate = nullptr;
    void* creationData = nullptr;
    handlers[WM_CREATE] = [&](HWND window, WPARAM, LPARAM lParam) -> LRESULT {
        seenInCreate = window;
        // The creation record starts with the creation data.
        creationData = *reinterpret_cast<void* const*>(lParam);
        EXPECT_TRUE(IsWindow(window));
        return 0;
    };
    int data = 0;
    HWND window = CreateWindowExA(0, win32_test::kClassName, "Morvala", WS_OVERLAPPEDWINDOW, 475,
                                  245, 330, 270, nullptr, nullptr, nullptr, &data);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(seenInCreate, window);
    EXPECT_EQ(creationData, &data);
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].message, UINT(WM_CREATE));
}

TEST_F(WindowTest, CreationFailsWhenCreateAnswersMinusOne) {
    handlers[WM_CREATE] = [](HWND, WPARAM, LPARAM) -> LRESULT { return -1; };
    HWND seen = nullptr;
    handlers[WM_DESTROY] = [&](HWND window, WPARAM, LPARAM) -> LRESULT {
        seen = window;
        return 0;
    };
    EXPECT_EQ(CreateMainWindow(), nullptr);
    EXPECT_NE(seen, nullptr);
    EXPECT_FALSE(IsWindow(seen));
}

TEST_F(WindowTest, ClassesMustBeRegisteredOnceWithTheRecordsSize) {
    EXPECT_EQ(CreateWindowExA(0, "No Such Class", "", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                              nullptr, nullptr, nullptr),
              nullptr);
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = win32_test::LoggingProc;
    windowClass.lpszClassName = "logging window";  // names are compared without case
    EXPECT_EQ(RegisterClassExA(&windowClass), 0);
    windowClass.lpszClassName = "Morvala Capture";
    windowClass.cbSize = 48;
    EXPECT_EQ(RegisterClassExA(&windowClass), 0);
    windowClass.cbSize = sizeof(windowClass);
    EXPECT_NE(RegisterClassExA(&windowClass), 0);
    EXPECT_NE(CreateWindowExA(0, "Morvala Capture", "Capture Window", WS_CHILD, 0, 0, 320, 240,
                              CreateMainWindow(), nullptr, nullptr, nullptr),
              nullptr);
}

TEST_F(WindowTest, AnOverlappedWindowOf330By270HasA320By240ClientArea) {
    HWND window = CreateMainWindow();
    RECT client{-1, -1, -1, -1};
    ASSERT_TRUE(GetClientRect(window, &client));
    EXPECT_EQ(client.left, 0);
    EXPECT_EQ(client.top, 0);
    EXPECT_EQ(client.right, 330 - 2 * 5);
    EXPECT_EQ(client.bottom, 270 - 25 - 5);  // the caption on top, a border below
    morvala::testing::Surface surface = morvala::testing::WindowSurface(window);
    EXPECT_EQ(surface.width, 320);
    EXPECT_EQ(surface.height, 240);
    morvala::testing::WindowDescription description = DescribeWindow(window);
    EXPECT_EQ(description.title, "Morvala");
    EXPECT_EQ(description.outer.left, 475);
    EXPECT_EQ(description.outer.top, 245);
    EXPECT_EQ(description.outer.right, 475 + 330);
    EXPECT_EQ(description.outer.bottom, 245 + 270);
    EXPECT_FALSE(description.visible);
}

TEST_F(WindowTest, AdjustWindowRectGivesTheOutsideOfAClientArea) {
    struct Case {
        const char* name;
        DWORD style;
        RECT client;
        RECT outside;
    };
    const Case cases[] = {
        {"the program's window", WS_OVERLAPPEDWINDOW, {0, 0, 320, 240}, {-5, -25, 325, 245}},
        {"placed elsewhere", WS_OVERLAPPEDWINDOW | WS_VISIBLE, {10, 20, 110, 70}, {5, -5, 115, 75}},
        {"empty", WS_OVERLAPPEDWINDOW, {0, 0, 0, 0}, {-5, -25, 5, 5}},
        {"a child has no frame", WS_CHILD, {1, 2, 3, 4}, {1, 2, 3, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RECT rect = c.client;
        ASSERT_TRUE(AdjustWindowRect(&rect, c.style, FALSE));
        EXPECT_EQ(rect.left, c.outside.left);
        EXPECT_EQ(rect.top, c.outside.top);
        EXPECT_EQ(rect.right, c.outside.right);
        EXPECT_EQ(rect.bottom, c.outside.bottom);
    }
    EXPECT_FALSE(AdjustWindowRect(nullptr, WS_OVERLAPPEDWINDOW, FALSE));

    // A window made that size has that client area.
    RECT outside = {0, 0, 200, 100};
    AdjustWindowRect(&outside, WS_OVERLAPPEDWINDOW, FALSE);
    HWND window = CreateWindowExA(0, win32_test::kClassName, "Sized", WS_OVERLAPPEDWINDOW, 0, 0,
                                  outside.right - outside.left, outside.bottom - outside.top,
                                  nullptr, nullptr, nullptr, nullptr);
    RECT client{};
    ASSERT_TRUE(GetClientRect(window, &client));
    EXPECT_EQ(client.right, 200);
    EXPECT_EQ(client.bottom, 100);
}

TEST_F(WindowTest, AChildLiesAtItsPositionInTheParentsClientArea) {
    HWND parent = CreateMainWindow(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    HWND child = CreateChild(parent, 10, 20, 50, 40, WS_CHILD | WS_VISIBLE);
    ASSERT_NE(child, nullptr);
    RECT client;
    ASSERT_TRUE(GetClientRect(child, &client));
    EXPECT_EQ(client.right, 50);
    EXPECT_EQ(client.bottom, 40);
    EXPECT_EQ(DescribeWindow(child).parent, parent);
    EXPECT_EQ(morvala::testing::WindowSurface(child).pixels, nullptr);

    // A line across the whole child, and beyond it on both sides.
    PaintWith([](HDC dc) {
        HPEN red = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
        HGDIOBJ previous = SelectObject(dc, red);
        MoveToEx(dc, -5, 0, nullptr);
        LineTo(dc, 70, 0);
        SelectObject(dc, previous);
        DeleteObject(red);
    });
    UpdateWindow(child);
    morvala::testing::Surface surface = morvala::testing::WindowSurface(parent);
    for (int x = 0; x < 320; ++x) {
        bool insideChild = x >= 10 && x < 60;
        EXPECT_EQ(surface.At(x, 20), insideChild ? 0xFF0000u : 0u) << "x " << x;
    }
    EXPECT_EQ(surface.At(10, 19), 0u);
}

TEST_F(WindowTest, AChildNeedsAParent) {
    EXPECT_EQ(CreateChild(nullptr, 0, 0, 10, 10), nullptr);
}

TEST_F(WindowTest, ShowWindowGivesThePreviousVisibility) {
    HWND window = CreateMainWindow();
    EXPECT_FALSE(ShowWindow(window, SW_SHOWDEFAULT));
    EXPECT_TRUE(DescribeWindow(window).visible);
    EXPECT_TRUE(ShowWindow(window, SW_SHOW));
    EXPECT_TRUE(ShowWindow(window, SW_HIDE));
    EXPECT_FALSE(DescribeWindow(window).visible);
    EXPECT_TRUE(CreateMainWindow(WS_OVERLAPPEDWINDOW | WS_VISIBLE) != nullptr);
}

TEST_F(WindowTest, UpdateWindowPaintsAShownInvalidWindowOnceAtOnce) {
    HWND window = CreateMainWindow();
    UpdateWindow(window);  // hidden: nothing to paint
    EXPECT_EQ(MessagesTo(window), (std::vector<UINT>{WM_CREATE}));
    RECT painted{};
    handlers[WM_PAINT] = [&](HWND w, WPARAM, LPARAM) -> LRESULT {
        PAINTSTRUCT paint;
        BeginPaint(w, &paint);
        painted = paint.rcPaint;
        EndPaint(w, &paint);
        return 0;
    };
    ShowWindow(window, SW_SHOWDEFAULT);
    UpdateWindow(window);
    UpdateWindow(window);
    EXPECT_EQ(MessagesTo(window), (std::vector<UINT>{WM_CREATE, WM_PAINT}));
    // A new window is wholly invalid.
    EXPECT_EQ(painted.left, 0);
    EXPECT_EQ(painted.top, 0);
    EXPECT_EQ(painted.right, 320);
    EXPECT_EQ(painted.bottom, 240);
}

TEST_F(WindowTest, DestroyingAWindowDestroysItsChildrenAfterIt) {
    HWND parent = CreateMainWindow(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    HWND child = CreateChild(parent, 0, 0, 320, 240);
    HWND grandchild = CreateChild(child, 5, 5, 10, 10);
    std::vector<BOOL> stillWindowsDuringDestroy;
    handlers[WM_DESTROY] = [&](HWND window, WPARAM, LPARAM) -> LRESULT {
        stillWindowsDuringDestroy.push_back(IsWindow(window));
        DestroyWindow(window);  // a second request on the way changes nothing
        return 0;
    };
    logged.clear();
    EXPECT_TRUE(DestroyWindow(parent));
    std::vector<HWND> destroyed;
    for (const Logged& entry : logged) {
        EXPECT_EQ(entry.message, UINT(WM_DESTROY));
        destroyed.push_back(entry.window);
    }
    EXPECT_EQ(destroyed, (std::vector<HWND>{parent, child, grandchild}));
    EXPECT_EQ(stillWindowsDuringDestroy, (std::vector<BOOL>{TRUE, TRUE, TRUE}));
    EXPECT_FALSE(IsWindow(parent));
    EXPECT_FALSE(IsWindow(child));
    EXPECT_FALSE(IsWindow(grandchild));
    EXPECT_FALSE(DestroyWindow(parent));
    EXPECT_EQ(SendMessageA(child, WM_USER, 0, 0), 0);
}

TEST_F(WindowTest, DestroyingAChildLeavesTheParent) {
    HWND parent = CreateMainWindow();
    HWND child = CreateChild(parent, 0, 0, 10, 10);
    DestroyWindow(child);
    EXPECT_TRUE(IsWindow(parent));
    logged.clear();
    DestroyWindow(parent);
    EXPECT_EQ(MessagesTo(parent), (std::vector<UINT>{WM_DESTROY}));
    EXPECT_EQ(logged.size(), 1u);
}

TEST_F(WindowTest, DefaultHandlingOfCloseDestroysTheWindow) {
    HWND window = CreateMainWindow();
    EXPECT_EQ(SendMessageA(window, WM_CLOSE, 0, 0), 0);
    EXPECT_EQ(MessagesTo(window), (std::vector<UINT>{WM_CREATE, WM_CLOSE, WM_DESTROY}));
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(WindowTest, SendMessageCallsTheProcedureAndGivesItsResult) {
    HWND window = CreateMainWindow();
    handlers[WM_USER + 7] = [](HWND, WPARAM wParam, LPARAM lParam) -> LRESULT {
        return LRESULT(wParam) * 1000 + lParam;
    };
    EXPECT_EQ(SendMessageA(window, WM_USER + 7, 3, 4), 3004);
    const Logged& sent = logged.back();
    EXPECT_EQ(sent.window, window);
    EXPECT_EQ(sent.wParam, 3u);
    EXPECT_EQ(sent.lParam, 4);
}

TEST_F(WindowTest, TheArrowCursorIsTheSystemsOwn) {
    HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
    EXPECT_NE(arrow, nullptr);
    EXPECT_EQ(LoadCursorA(nullptr, IDC_ARROW), arrow);
    EXPECT_EQ(LoadCursorA(nullptr, MAKEINTRESOURCEA(1)), nullptr);
}

TEST_F(WindowTest, IsWindowCountsItsCalls) {
    HWND window = CreateMainWindow();
    EXPECT_EQ(morvala::testing::IsWindowCallCount(), 0);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_FALSE(IsWindow(nullptr));
    HWND gone = CreateMainWindow();
    DestroyWindow(gone);
    EXPECT_FALSE(IsWindow(gone));
    EXPECT_EQ(morvala::testing::IsWindowCallCount(), 3);
}

TEST_F(WindowTest, TheRecordsHaveTheirWindowsLayouts) {
    EXPECT_EQ(sizeof(BITMAPINFOHEADER), 40u);
    EXPECT_EQ(sizeof(BITMAPINFO), 44u);
    EXPECT_EQ(sizeof(RECT), 16u);
    EXPECT_EQ(sizeof(POINT), 8u);
    EXPECT_EQ(sizeof(DWORD), 4u);
    // With 8-byte pointers, as on 64-bit Windows; 32-bit Windows has 48, 28 and 64.
    EXPECT_EQ(sizeof(WNDCLASSEXA), 80u);
    EXPECT_EQ(sizeof(MSG), 48u);
    EXPECT_EQ(sizeof(PAINTSTRUCT), 72u);
    EXPECT_EQ(sizeof(VIDEOHDR), 72u);
}

// Without a display the real driver cannot open a window; each case runs in a fresh process,
// where no display has been chosen yet.
struct NoDisplayCase {
    const char* display;
    const char* reason;
};

class NoDisplayTest : public ::testing::TestWithParam<NoDisplayCase> {};

TEST_P(NoDisplayTest, CreateWindowFailsAndSaysWhy) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    NoDisplayCase noDisplay = GetParam();
    EXPECT_EXIT(
        {
            unsetenv("MORVALA_DISPLAY");
            unsetenv("WAYLAND_DISPLAY");
            unsetenv("SDL_VIDEODRIVER");
            if (noDisplay.display != nullptr) {
                setenv("DISPLAY", noDisplay.display, 1);
            } else {
                unsetenv("DISPLAY");
            }
            WNDCLASSEXA windowClass{};
            windowClass.cbSize = sizeof(windowClass);
            windowClass.lpfnWndProc = DefWindowProcA;
            windowClass.lpszClassName = "Plain";
            RegisterClassExA(&windowClass);
            HWND window = CreateWindowExA(0, "Plain", "Morvala", WS_OVERLAPPEDWINDOW, 0, 0, 330,
                                          270, nullptr, nullptr, nullptr, nullptr);
            std::exit(window == nullptr ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), noDisplay.reason);
}

INSTANTIATE_TEST_SUITE_P(
    Displays, NoDisplayTest,
    ::testing::Values(
        NoDisplayCase{nullptr,
                      "^morvala: cannot open a window: no display \\(DISPLAY is not set\\)\n"},
        NoDisplayCase{":97531",
                      "^morvala: cannot open a window: the display :97531 cannot be opened"}));

}  // namespace
