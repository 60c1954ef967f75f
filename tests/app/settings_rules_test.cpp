// The panel's settings rules without the panel, natively and under Wine: how
// a field's text becomes a number, each bound alone, and the error texts.
#include <gtest/gtest.h>

#include <string>

#include "app/settings_rules.h"
#include "window_texts.h"

namespace {

TEST(SettingsRules, EachBoundAloneDecides)
{
    const struct {
        int32_t width, height, pattern;
        const char* path;
        bool accepted;
    } rows[] = {
        {640, 600, 1, "a.raw", false},  {641, 600, 1, "a.raw", true},  {7399, 600, 1, "a.raw", true},
        {7400, 600, 1, "a.raw", false}, {1000, 480, 1, "a.raw", false}, {1000, 481, 1, "a.raw", true},
        {1000, 4999, 1, "a.raw", true}, {1000, 5000, 1, "a.raw", false}, {1000, 600, 0, "a.raw", false},
        {1000, 600, 4, "a.raw", true},  {1000, 600, 5, "a.raw", false}, {1000, 600, -1, "a.raw", false},
        {1000, 600, 1, "", false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(settingsAcceptable(row.width, row.height, row.pattern, row.path), row.accepted)
            << row.width << " x " << row.height << " pattern " << row.pattern << " path '" << row.path << "'";
    }
}

TEST(SettingsRules, FieldsReadTheirFirstNineCharactersByTheCRule)
{
    const std::pair<const char*, int32_t> rows[] = {
        {" 1000abc", 1000}, {"\t+600px", 600}, {"-700", -700}, {"abc", 0}, {"", 0},
        {"1000000000", 100000000}, {"        7", 7}, {"         7", 0},
    };
    for (const auto& [text, number] : rows) {
        EXPECT_EQ(settingNumber(text), number) << "'" << text << "'";
    }
}

TEST(SettingsRules, TextsQuoteTheBoundsAndNameNoPatternOutsideTheList)
{
    char text[1024];
    formatSettingsError(text, sizeof text);
    EXPECT_EQ(std::string(text), kSettingsErrorText);
    for (const auto& [pattern, name] : {std::pair{3, "BGGR"}, {0, "Select..."}, {-1, "Select..."}, {5, "Select..."}}) {
        formatLoadError(text, sizeof text, 7399, -1, pattern);
        EXPECT_EQ(std::string(text), loadErrorText("7399", "-1", name));
    }
}

}  // namespace
