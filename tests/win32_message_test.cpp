// The message loop: order of messages, paints, timers, key translation, quitting.
#include <string>

#include "tests/win32_test_support.h"

namespace {

using morvala::testing::LetTimePass;
using morvala::testing::Now;
using morvala::testing::PressKey;
using morvala::testing::PressShiftedKey;
using morvala::testing::RequestClose;
using morvala::testing::RunWhenIdle;
using morvala::testing::TypeCharacter;
using win32_test::handlers;
using win32_test::Logged;
using win32_test::logged;

// The window StartProgram made, for the scenarios' steps.
HWND programWindow = nullptr;

class MessageTest : public win32_test::SubsetTest {
  protected:
    // A shown main window that quits when destroyed, painted and logged from here on.
    HWND StartProgram() {
        QuitOnDestroy();
        PaintWith([](HDC) {});
        HWND window = CreateMainWindow();
        ShowWindow(window, SW_SHOWDEFAULT);
        UpdateWindow(window);
        logged.clear();
        programWindow = window;
        return window;
    }

    static std::vector<UINT> Messages() {
        std::vector<UINT> messages;
        for (const Logged& entry : logged) {
            messages.push_back(entry.message);
        }
        return messages;
    }
};

// What the window procedure sees for each kind of user action, from the message loop.
struct Scenario {
    const char* name;
    std::function<void()> act;
    std::vector<UINT> expected;
};

class MessageSequenceTest : public MessageTest, public ::testing::WithParamInterface<Scenario> {};

TEST_P(MessageSequenceTest, TheWindowProcedureSees) {
    StartProgram();
    GetParam().act();
    RequestClose();
    EXPECT_EQ(RunMessageLoop(), 0);
    std::vector<UINT> expected = GetParam().expected;
    expected.insert(expected.end(), {WM_CLOSE, WM_DESTROY});
    EXPECT_EQ(Messages(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Actions, MessageSequenceTest,
    ::testing::Values(
        Scenario{"Nothing", [] {}, {}},
        Scenario{"KeyPress", [] { PressKey('A'); }, {WM_KEYDOWN, WM_CHAR, WM_KEYUP}},
        Scenario{"AutoRepeat",
                 [] { PressKey(VK_SPACE, 2); },
                 {WM_KEYDOWN, WM_CHAR, WM_KEYDOWN, WM_CHAR, WM_KEYDOWN, WM_CHAR, WM_KEYUP}},
        Scenario{"Shifted",
                 [] { PressShiftedKey('A'); },
                 {WM_KEYDOWN, WM_KEYDOWN, WM_CHAR, WM_KEYUP, WM_KEYUP}},
        Scenario{"KeyWithoutCharacter", [] { PressKey(VK_SHIFT); }, {WM_KEYDOWN, WM_KEYUP}},
        Scenario{"TypedCharacter", [] { TypeCharacter(' '); }, {WM_CHAR}},
        Scenario{"PostedMessage",
                 [] { RunWhenIdle([] { PostMessageA(programWindow, WM_USER, 0, 0); }); },
                 {WM_USER}},
        Scenario{"Invalidation",
                 [] { RunWhenIdle([] { InvalidateRect(programWindow, nullptr, FALSE); }); },
                 {WM_PAINT}},
        Scenario{"TimerTicks",
                 [] {
                     RunWhenIdle([] { SetTimer(programWindow, 0, 24, nullptr); });
                     LetTimePass(50);
                     RunWhenIdle([] { KillTimer(programWindow, 0); });
                 },
                 {WM_TIMER, WM_TIMER}}),
    [](const ::testing::TestParamInfo<Scenario>& info) { return std::string(info.param.name); });

TEST_F(MessageTest, PostedMessagesAndInputComeBeforePaintsAndPaintsBeforeTimers) {
    HWND window = StartProgram();
    RunWhenIdle([window] {
        SetTimer(window, 1, 10, nullptr);
        morvala::testing::AdvanceClock(10);  // the timer is due
        InvalidateRect(window, nullptr, FALSE);
        PostMessageA(window, WM_USER, 0, 0);
    });
    TypeCharacter('x');  // comes only once the others are done and the loop would wait
    RunWhenIdle([window] { DestroyWindow(window); });
    RunMessageLoop();
    EXPECT_EQ(Messages(), (std::vector<UINT>{WM_USER, WM_PAINT, WM_TIMER, WM_CHAR, WM_DESTROY}));
}

TEST_F(MessageTest, TimersTickAtTheirPeriodWithAPaintAfterEachTick) {
    HWND window = StartProgram();
    std::vector<uint64_t> tickTimes;
    handlers[WM_TIMER] = [&](HWND w, WPARAM id, LPARAM) -> LRESULT {
        EXPECT_EQ(id, 0u);
        tickTimes.push_back(Now());
        InvalidateRect(w, nullptr, FALSE);
        return 0;
    };
    RunWhenIdle([window] { SetTimer(window, 0, 24, nullptr); });
    LetTimePass(100);
    RunWhenIdle([window] { DestroyWindow(window); });
    RunMessageLoop();
    EXPECT_EQ(tickTimes, (std::vector<uint64_t>{24, 48, 72, 96}));
    EXPECT_EQ(Messages(), (std::vector<UINT>{WM_TIMER, WM_PAINT, WM_TIMER, WM_PAINT, WM_TIMER,
                                             WM_PAINT, WM_TIMER, WM_PAINT, WM_DESTROY}));
}

TEST_F(MessageTest, TicksDoNotPileUpWhileTheThreadIsBusy) {
    HWND window = StartProgram();
    std::vector<uint64_t> tickTimes;
    handlers[WM_TIMER] = [&](HWND, WPARAM, LPARAM) -> LRESULT {
        tickTimes.push_back(Now());
        if (tickTimes.size() == 1) {
            morvala::testing::AdvanceClock(100);  // four periods' work
        }
        return 0;
    };
    RunWhenIdle([window] { SetTimer(window, 0, 24, nullptr); });
    LetTimePass(24);
    RunWhenIdle([window] { DestroyWindow(window); });
    RunMessageLoop();
    // The busy tick ends at 124: one tick then, not four, and none again before 144.
    EXPECT_EQ(tickTimes, (std::vector<uint64_t>{24, 124}));
}

TEST_F(MessageTest, InvalidationsMergeIntoOnePaint) {
    HWND window = StartProgram();
    std::vector<RECT> painted;
    handlers[WM_PAINT] = [&](HWND w, WPARAM, LPARAM) -> LRESULT {
        PAINTSTRUCT paint;
        BeginPaint(w, &paint);
        painted.push_back(paint.rcPaint);
        EndPaint(w, &paint);
        return 0;
    };
    RunWhenIdle([window] {
        RECT first{10, 20, 30, 40};
        RECT second{100, 5, 110, 15};
        InvalidateRect(window, &first, FALSE);
        InvalidateRect(window, &second, FALSE);
        InvalidateRect(window, &second, FALSE);
    });
    RunWhenIdle([window] { DestroyWindow(window); });
    RunMessageLoop();
    ASSERT_EQ(painted.size(), 1u);
    EXPECT_EQ(painted[0].left, 10);
    EXPECT_EQ(painted[0].top, 5);
    EXPECT_EQ(painted[0].right, 110);
    EXPECT_EQ(painted[0].bottom, 40);
}

TEST_F(MessageTest, OnlyShownWindowsArePainted) {
    HWND window = StartProgram();
    HWND hiddenChild = CreateChild(window, 0, 0, 320, 240);
    HWND hiddenTopLevel = CreateMainWindow();
    RunWhenIdle([=] {
        InvalidateRect(hiddenTopLevel, nullptr, TRUE);
        InvalidateRect(hiddenChild, nullptr, TRUE);
    });
    RunWhenIdle([window] { DestroyWindow(window); });
    RunMessageLoop();
    EXPECT_EQ(MessagesTo(hiddenChild), (std::vector<UINT>{WM_CREATE, WM_DESTROY}));
    EXPECT_EQ(MessagesTo(hiddenTopLevel), (std::vector<UINT>{WM_CREATE}));
}

TEST_F(MessageTest, QuitEndsTheLoopWithItsCode) {
    StartProgram();
    RunWhenIdle([] { PostQuitMessage(42); });
    MSG message;
    EXPECT_EQ(GetMessageA(&message, nullptr, 0, 0), 0);
    EXPECT_EQ(message.message, UINT(WM_QUIT));
    EXPECT_EQ(message.wParam, 42u);
    EXPECT_EQ(message.hwnd, nullptr);
}

TEST_F(MessageTest, MessagesForADestroyedWindowAreDropped) {
    HWND window = StartProgram();
    HWND other = CreateMainWindow(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    RunWhenIdle([=] {
        PostMessageA(other, WM_USER, 0, 0);
        SetTimer(other, 1, 10, nullptr);
        DestroyWindow(other);
        EXPECT_FALSE(PostMessageA(other, WM_USER, 0, 0));
        EXPECT_EQ(SetTimer(other, 2, 10, nullptr), 0u);
    });
    LetTimePass(30);
    RunWhenIdle([window] { DestroyWindow(window); });
    RunMessageLoop();
    EXPECT_EQ(MessagesTo(other), (std::vector<UINT>{WM_CREATE, WM_PAINT, WM_DESTROY}));
}

struct Translation {
    unsigned virtualKey;
    bool shifted;
    char character;
};

class TranslationTest : public MessageTest, public ::testing::WithParamInterface<Translation> {};

TEST_P(TranslationTest, AKeyPressTypesItsCharacter) {
    HWND window = StartProgram();
    Translation translation = GetParam();
    translation.shifted ? PressShiftedKey(translation.virtualKey)
                        : PressKey(translation.virtualKey);
    RunWhenIdle([window] { DestroyWindow(window); });
    RunMessageLoop();
    std::vector<WPARAM> characters;
    for (const Logged& entry : logged) {
        if (entry.message == WM_CHAR) {
            characters.push_back(entry.wParam);
        }
    }
    EXPECT_EQ(characters, std::vector<WPARAM>{static_cast<unsigned char>(translation.character)});
}

INSTANTIATE_TEST_SUITE_P(
    UsLayout, TranslationTest,
    ::testing::Values(Translation{VK_SPACE, false, ' '}, Translation{'A', false, 'a'},
                      Translation{'Z', true, 'Z'}, Translation{'7', false, '7'},
                      Translation{'7', true, '&'}, Translation{VK_RETURN, false, '\r'},
                      Translation{VK_ESCAPE, false, '\x1B'}, Translation{VK_BACK, false, '\b'},
                      Translation{VK_TAB, false, '\t'}));

TEST_F(MessageTest, KeyMessagesCarryRepeatCountScanCodeAndKeyState) {
    HWND window = StartProgram();
    PressKey(VK_SPACE, 1);
    RunWhenIdle([window] { DestroyWindow(window); });
    RunMessageLoop();
    constexpr LPARAM kSpaceScanCode = LPARAM(0x39) << 16;
    constexpr LPARAM kWasDown = LPARAM(1) << 30;
    constexpr LPARAM kReleased = LPARAM(1) << 31;
    std::vector<std::pair<UINT, LPARAM>> keys;
    for (const Logged& entry : logged) {
        if (entry.message != WM_DESTROY) {
            keys.push_back({entry.message, entry.lParam});
        }
    }
    EXPECT_EQ(keys, (std::vector<std::pair<UINT, LPARAM>>{
                        {WM_KEYDOWN, 1 | kSpaceScanCode},
                        {WM_CHAR, 1 | kSpaceScanCode},
                        {WM_KEYDOWN, 1 | kSpaceScanCode | kWasDown},
                        {WM_CHAR, 1 | kSpaceScanCode | kWasDown},
                        {WM_KEYUP, 1 | kSpaceScanCode | kWasDown | kReleased},
                    }));
}

TEST_F(MessageTest, KeysGoToTheMostRecentlyShownWindow) {
    HWND first = StartProgram();
    HWND second = CreateMainWindow(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    TypeCharacter('1');
    RunWhenIdle([second] { ShowWindow(second, SW_HIDE); });
    TypeCharacter('2');
    RunWhenIdle([first] { DestroyWindow(first); });
    RunMessageLoop();
    EXPECT_EQ(MessagesTo(second), (std::vector<UINT>{WM_CREATE, WM_PAINT, WM_CHAR}));
    EXPECT_EQ(MessagesTo(first), (std::vector<UINT>{WM_CHAR, WM_DESTROY}));
}

TEST_F(MessageTest, DispatchCallsTheProcedureOrTheTimersOwnProcedure) {
    HWND window = StartProgram();
    static std::vector<UINT_PTR> timerCalls;
    timerCalls.clear();
    TIMERPROC onTimer = [](HWND, UINT message, UINT_PTR id, DWORD) {
        EXPECT_EQ(message, UINT(WM_TIMER));
        timerCalls.push_back(id);
    };
    UINT_PTR threadTimer = SetTimer(nullptr, 0, 10, onTimer);
    EXPECT_NE(threadTimer, 0u);
    LetTimePass(10);
    RunWhenIdle([=] {
        KillTimer(nullptr, threadTimer);
        DestroyWindow(window);
    });
    RunMessageLoop();
    EXPECT_EQ(timerCalls, std::vector<UINT_PTR>{threadTimer});
    EXPECT_EQ(Messages(), (std::vector<UINT>{WM_DESTROY}));

    MSG message{};
    message.hwnd = CreateMainWindow();
    message.message = WM_USER;
    message.wParam = 5;
    handlers[WM_USER] = [](HWND, WPARAM wParam, LPARAM) -> LRESULT { return LRESULT(wParam) + 1; };
    EXPECT_EQ(DispatchMessageA(&message), 6);
}

TEST_F(MessageTest, WaitingWithAnEmptyScriptEndsTheTestLoudly) {
    StartProgram();
    EXPECT_DEATH(RunMessageLoop(), "morvala headless display: the scripted input ran out");
}

TEST_F(MessageTest, ScriptedInputWithNoWindowShownEndsTheTestLoudly) {
    TypeCharacter('a');
    EXPECT_DEATH(RunMessageLoop(), "no window is shown");
}

}  // namespace
