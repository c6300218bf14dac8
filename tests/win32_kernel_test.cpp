// Events and the process's end.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/win32.h"

namespace {

TEST(EventTest, AnAutoResetEventStartsUnsignalledAndLetsOneWaitThrough) {
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), DWORD(WAIT_TIMEOUT));
    EXPECT_TRUE(SetEvent(event));
    EXPECT_TRUE(SetEvent(event));  // signals do not add up
    EXPECT_EQ(WaitForSingleObject(event, 0), DWORD(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForSingleObject(event, 0), DWORD(WAIT_TIMEOUT));
}

TEST(EventTest, AManualResetEventStaysSignalled) {
    HANDLE event = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), DWORD(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForSingleObject(event, INFINITE), DWORD(WAIT_OBJECT_0));
}

TEST(EventTest, ANameGivesTheSameEventWithinTheProcess) {
    HANDLE first = CreateEventA(nullptr, FALSE, FALSE, "Event");
    HANDLE second = CreateEventA(nullptr, FALSE, FALSE, "Event");
    EXPECT_EQ(first, second);
    EXPECT_NE(CreateEventA(nullptr, FALSE, FALSE, "Other"), first);
    EXPECT_NE(CreateEventA(nullptr, FALSE, FALSE, nullptr),
              CreateEventA(nullptr, FALSE, FALSE, nullptr));
    SetEvent(first);
    EXPECT_EQ(WaitForSingleObject(second, 0), DWORD(WAIT_OBJECT_0));
}

TEST(EventTest, AnInfiniteWaitEndsWhenAnotherThreadSignals) {
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    std::thread signaller([event] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        SetEvent(event);
    });
    EXPECT_EQ(WaitForSingleObject(event, INFINITE), DWORD(WAIT_OBJECT_0));
    signaller.join();
    EXPECT_EQ(WaitForSingleObject(event, 0), DWORD(WAIT_TIMEOUT));  // consumed by the wait
}

TEST(EventTest, ATimedWaitGivesUpNoSoonerThanItsTimeout) {
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForSingleObject(event, 30), DWORD(WAIT_TIMEOUT));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
}

TEST(EventTest, UnknownHandlesAreRefused) {
    int notAnEvent = 0;
    EXPECT_EQ(WaitForSingleObject(&notAnEvent, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForSingleObject(nullptr, INFINITE), WAIT_FAILED);
    EXPECT_FALSE(SetEvent(nullptr));
}

TEST(ExitProcessTest, EndsAtOnceWithTheCodeAfterFlushingStdio) {
    std::string path = ::testing::TempDir() + "morvala_exit_process.txt";
    EXPECT_EXIT(
        {
            std::atexit([] { std::fputs("exit handler ran\n", stderr); });
            FILE* file = std::fopen(path.c_str(), "w");
            std::setvbuf(file, nullptr, _IOFBF, 4096);
            std::fputs("buffered line\n", file);
            ExitProcess(3);
        },
        ::testing::ExitedWithCode(3), ::testing::Not(::testing::HasSubstr("exit handler ran")));
    std::ifstream written(path);
    std::stringstream contents;
    contents << written.rdbuf();
    EXPECT_EQ(contents.str(), "buffered line\n");
    std::remove(path.c_str());
}

}  // namespace
