// The process entry and the run-time library's bounded formatter.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "platform/win32/command_line.h"

namespace {

int Format(char* buffer, size_t size, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    int result = vsprintf_s(buffer, size, format, arguments);
    va_end(arguments);
    return result;
}

TEST(FormatTest, WritesWithinTheBoundAndCountsTheCharacters) {
    char buffer[260];
    EXPECT_EQ(Format(buffer, 255, "Press space %d more times.", 7), 25);
    EXPECT_STREQ(buffer, "Press space 7 more times.");
    EXPECT_EQ(Format(buffer, 255, "%f", 4321.0625), 11);
    EXPECT_STREQ(buffer, "4321.062500");
    EXPECT_EQ(Format(buffer, 255, "%f", 0.25), 8);
    EXPECT_STREQ(buffer, "0.250000");
    EXPECT_EQ(Format(buffer, 255, "%f", 1234567.0), 14);
    EXPECT_STREQ(buffer, "1234567.000000");  // no digit grouping
}

TEST(FormatTest, ATextThatDoesNotFitIsCutShortAndTerminated) {
    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(Format(buffer, 5, "%s", "abcd"), 4);  // exactly fits, with its terminating zero
    EXPECT_STREQ(buffer, "abcd");
    EXPECT_EQ(Format(buffer, 5, "%s", "abcdefgh"), -1);
    EXPECT_STREQ(buffer, "abcd");
    EXPECT_EQ(buffer[5], 'x');  // nothing written past the bound
    EXPECT_EQ(Format(nullptr, 5, "%d", 1), -1);
    EXPECT_EQ(Format(buffer, 0, "%d", 1), -1);
}

TEST(FormatTest, TheDecimalPointIsAPointInEveryLocale) {
    // A locale built for the tests, whose decimal point is a comma.
    setenv("LOCPATH", MORVALA_TEST_LOCALES, 1);
    ASSERT_NE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8"), nullptr);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.2f", 3.5);
    EXPECT_STREQ(buffer, "3,50");  // the locale is really in force
    EXPECT_EQ(Format(buffer, sizeof buffer, "%f", 3.5), 8);
    EXPECT_STREQ(buffer, "3.500000");
    std::snprintf(buffer, sizeof buffer, "%.2f", 3.5);
    EXPECT_STREQ(buffer, "3,50");  // and left as it was
    std::setlocale(LC_NUMERIC, "C");
}

struct TailCase {
    std::vector<const char*> argv;
    const char* tail;
};

class CommandTailTest : public ::testing::TestWithParam<TailCase> {};

TEST_P(CommandTailTest, IsTheArgumentsAfterTheProgramsName) {
    const TailCase& tailCase = GetParam();
    EXPECT_EQ(morvala::win32::CommandTail(int(tailCase.argv.size()), tailCase.argv.data()),
              tailCase.tail);
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, CommandTailTest,
    ::testing::Values(TailCase{{"morvala"}, ""}, TailCase{{"morvala", "-x"}, "-x"},
                      TailCase{{"morvala", "a", "b"}, "a b"},
                      TailCase{{"morvala", "two words", "c"}, "\"two words\" c"},
                      TailCase{{"morvala", "tab\there"}, "\"tab\there\""},
                      TailCase{{"morvala", ""}, "\"\""}));

struct ProbeRun {
    std::string output;
    int exitCode;
};

ProbeRun RunProbe(const std::string& environment, const std::string& arguments) {
    std::string command = environment + " " MORVALA_ENTRY_PROBE " " + arguments;
    FILE* pipe = popen(command.c_str(), "r");
    ProbeRun run{"", -1};
    if (pipe == nullptr) {
        return run;
    }
    char chunk[256];
    while (std::fgets(chunk, sizeof chunk, pipe) != nullptr) {
        run.output += chunk;
    }
    int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST(EntryTest, MainCallsWinMainAndExitsWithItsResult) {
    ProbeRun run = RunProbe("", "alpha 'two words'");
    EXPECT_EQ(run.output,
              "instance given\n"
              "previous instance null\n"
              "command line [alpha \"two words\"]\n"
              "show command 10\n"
              "one and a half 1.5\n");
    EXPECT_EQ(run.exitCode, int(std::strlen("alpha \"two words\"")));
    EXPECT_EQ(RunProbe("", "").exitCode, 0);
}

TEST(EntryTest, TheProgramRunsInTheCLocaleWhateverTheEnvironmentSays) {
    ProbeRun run =
        RunProbe("LOCPATH=" MORVALA_TEST_LOCALES " LC_ALL=de_DE.UTF-8 LANG=de_DE.UTF-8", "");
    EXPECT_NE(run.output.find("one and a half 1.5\n"), std::string::npos) << run.output;
}

}  // namespace
