// The displays: the real one's scale factor, and message boxes.
#include <gtest/gtest.h>

#include "platform/drivers/display_scale.h"
#include "tests/win32_test_support.h"

namespace {

struct ScaleCase {
    const char* requested;
    float dotsPerInch;
    int scale;
};

class ScaleTest : public ::testing::TestWithParam<ScaleCase> {};

TEST_P(ScaleTest, IsAWholeFactorFromTheRequestOrTheDensity) {
    ScaleCase scaleCase = GetParam();
    EXPECT_EQ(morvala::drivers::PresentationScale(scaleCase.requested, scaleCase.dotsPerInch),
              scaleCase.scale);
}

INSTANTIATE_TEST_SUITE_P(Densities, ScaleTest,
                         ::testing::Values(ScaleCase{nullptr, 0, 1},  // density unknown
                                           ScaleCase{nullptr, 96, 1}, ScaleCase{nullptr, 144, 1},
                                           ScaleCase{nullptr, 168, 2}, ScaleCase{nullptr, 192, 2},
                                           ScaleCase{nullptr, 288, 3}, ScaleCase{nullptr, 2000, 8},
                                           ScaleCase{"", 192, 2}, ScaleCase{"3", 96, 3},
                                           ScaleCase{"1", 192, 1},
                                           // Not a whole number from 1 to 8: the density rules.
                                           ScaleCase{"0", 192, 2}, ScaleCase{"9", 96, 1},
                                           ScaleCase{"2x", 96, 1}, ScaleCase{"-2", 96, 1}));

class MessageBoxTest : public win32_test::SubsetTest {};

TEST_F(MessageBoxTest, IsShownModallyAndAlsoWrittenToStderr) {
    HWND owner = CreateMainWindow();
    HWND child = CreateChild(owner, 0, 0, 320, 240);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(owner, "Error: cannot connect to camera!", "Error", MB_ICONERROR), IDOK);
    EXPECT_EQ(MessageBoxA(child, "second", "Note", MB_OK), IDOK);
    EXPECT_EQ(MessageBoxA(nullptr, "no owner", nullptr, MB_OK), IDOK);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Error: cannot connect to camera!\n"
              "Note: second\n"
              "Error: no owner\n");
    std::vector<morvala::testing::ShownMessageBox> boxes = morvala::testing::MessageBoxesShown();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].owner, owner);
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[0].text, "Error: cannot connect to camera!");
    EXPECT_EQ(boxes[0].type, UINT(MB_ICONERROR));
    EXPECT_EQ(boxes[1].owner, owner);  // a child's box belongs to its top-level window
    EXPECT_EQ(boxes[2].owner, nullptr);
}

TEST_F(MessageBoxTest, StderrNamesTheCaptionOnlyWhenTheTextDoesNotBeginWithIt) {
    struct Case {
        const char* caption;
        const char* text;
        const char* line;
    };
    const Case cases[] = {
        {"Error", "Error: cannot set video format!", "Error: cannot set video format!"},
        {"Error", "Error", "Error"},
        {"Error", "Error 7 happened", "Error 7 happened"},
        {"Error", "Errors: 2", "Error: Errors: 2"},  // another word
        {"Error", "error: lower case", "Error: error: lower case"},
        {"Error", "cannot go on", "Error: cannot go on"},
        {"Note", "", "Note: "},
        {"", "text", "text"},
    };
    for (const Case& c : cases) {
        ::testing::internal::CaptureStderr();
        MessageBoxA(nullptr, c.text, c.caption, MB_OK);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), std::string(c.line) + "\n")
            << c.caption << " / " << c.text;
    }
}

TEST_F(MessageBoxTest, TextsAreWindows1252) {
    ::testing::internal::CaptureStderr();
    MessageBoxA(nullptr, "caf\xE9 \x80", "Error", MB_OK);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Error: caf\xC3\xA9 \xE2\x82\xAC\n");
}

}  // namespace
