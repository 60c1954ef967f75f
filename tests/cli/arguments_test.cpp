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

}  // namespace
