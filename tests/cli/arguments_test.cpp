#include "arguments.h"

#include <gtest/gtest.h>

namespace {

Arguments parse(const std::vector<std::string>& words)
{
    return parseArguments(words);
}

TEST(ParseDecimal, AcceptsWholeNumbersWithinTheRangeOnly)
{
    int32_t v = -1;
    EXPECT_TRUE(parseDecimal("1", 1, 16384, &v));
    EXPECT_EQ(v, 1);
    EXPECT_TRUE(parseDecimal("16384", 1, 16384, &v));
    EXPECT_EQ(v, 16384);
    EXPECT_TRUE(parseDecimal("0640", 1, 16384, &v));  // leading zeros are still decimal
    EXPECT_EQ(v, 640);

    for (const char* bad : {"0", "16385", "", "-5", "+5", " 5", "5 ", "5x", "0x10", "1e3", "4000.0",
                            "99999999999999999999999"}) {
        v = 7;
        EXPECT_FALSE(parseDecimal(bad, 1, 16384, &v)) << "'" << bad << "'";
        EXPECT_EQ(v, 7) << "a refused number must leave the value alone";
    }
    EXPECT_FALSE(parseDecimal("1", 2, 16384, &v));
}

TEST(ParseArguments, ReadsEveryOptionInEitherSpellingAndAnyOrder)
{
    const Arguments a = parse({"a.raw", "--width", "4000", "--height=3000", "b.raw", "--pattern",
                               "gbrg", "-q"});
    ASSERT_EQ(a.command, Command::Convert) << a.error;
    EXPECT_EQ(a.width, 4000);
    EXPECT_EQ(a.height, 3000);
    EXPECT_EQ(a.pattern, 4);
    EXPECT_TRUE(a.quiet);
    EXPECT_EQ(a.inputs, (std::vector<std::string>{"a.raw", "b.raw"}));
    EXPECT_TRUE(a.output.empty());

    const Arguments single = parse({"--output", "out.bmp", "--width=6", "--width", "12", "x.raw"});
    ASSERT_EQ(single.command, Command::Convert) << single.error;
    EXPECT_EQ(single.output, "out.bmp");
    EXPECT_EQ(single.width, 12) << "a repeated option takes its last value";
    EXPECT_EQ(single.height, 0) << "not given: each input's name supplies it";
    EXPECT_EQ(single.pattern, 0);
}

TEST(ParseArguments, DoubleDashMakesEverythingAfterItAFileName)
{
    const Arguments a = parse({"--width", "8", "--", "--height", "-q", "-"});
    ASSERT_EQ(a.command, Command::Convert) << a.error;
    EXPECT_EQ(a.inputs, (std::vector<std::string>{"--height", "-q", "-"}));
    EXPECT_FALSE(a.quiet);
}

TEST(ParseArguments, HelpAndVersionWinOverLaterWords)
{
    EXPECT_EQ(parse({"--help"}).command, Command::Help);
    EXPECT_EQ(parse({"-h", "--bogus"}).command, Command::Help);
    EXPECT_EQ(parse({"--version"}).command, Command::Version);
    EXPECT_EQ(parse({"x.raw", "-V"}).command, Command::Version);
    EXPECT_EQ(parse({"--bogus", "--help"}).command, Command::UsageError)
        << "an error before --help is still an error";
}

TEST(ParseArguments, RefusesBadCommandLinesWithAReasonNamingTheCulprit)
{
    const struct {
        std::vector<std::string> words;
        const char* reason;
    } cases[] = {
        {{"--frobnicate", "x.raw"}, "unknown option '--frobnicate'"},
        {{"-w", "10", "x.raw"}, "unknown option '-w'"},
        {{"--quiet=yes", "x.raw"}, "unknown option '--quiet=yes'"},
        {{"x.raw", "--width"}, "--width needs a value"},
        {{"--width", "abc", "x.raw"}, "--width 'abc' is not a whole number from 1 to 16384"},
        {{"--width", "0", "x.raw"}, "--width '0' is not a whole number from 1 to 16384"},
        {{"--width=16385", "x.raw"}, "--width '16385' is not a whole number from 1 to 16384"},
        {{"--height", "1", "x.raw"}, "--height '1' is not a whole number from 2 to 16384"},
        {{"--height", "-2", "x.raw"}, "--height '-2' is not a whole number from 2 to 16384"},
        {{"--pattern", "RGBG", "x.raw"}, "--pattern 'RGBG' is not one of RGGB, GRBG, BGGR, GBRG"},
        {{"--output=", "x.raw"}, "--output needs a file name"},
        {{"--width", "10"}, "no input file given"},
        {{"--output", "o.bmp", "a.raw", "b.raw"},
         "--output names the file for a single input, but 2 inputs were given"},
    };
    for (const auto& c : cases) {
        const Arguments a = parse(c.words);
        EXPECT_EQ(a.command, Command::UsageError) << c.reason;
        EXPECT_EQ(a.error, c.reason);
        EXPECT_EQ(a.error.find('\n'), std::string::npos) << "the reason is one line";
    }
}

TEST(PatternIndex, NamesThePanelsPatternsInAnyCase)
{
    EXPECT_EQ(patternIndex("RGGB"), 1);
    EXPECT_EQ(patternIndex("grbg"), 2);
    EXPECT_EQ(patternIndex("Bggr"), 3);
    EXPECT_EQ(patternIndex("GBRG"), 4);
    EXPECT_EQ(patternIndex("Select..."), 0);
    EXPECT_EQ(patternIndex("RGGBX"), 0);
    EXPECT_EQ(patternIndex(""), 0);
}

}  // namespace
