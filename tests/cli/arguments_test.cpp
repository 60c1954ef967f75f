#include "arguments.h"

#include <gtest/gtest.h>

namespace {

TEST(ParseDecimal, AcceptsWholeNumbersWithinTheRangeOnly)
{
    int32_t v = -1;
    EXPECT_TRUE(parseDecimal("16384", 1, 16384, &v));
    EXPECT_EQ(v, 16384);
    EXPECT_TRUE(parseDecimal("0640", 1, 16384, &v));  // leading zeros are still decimal
    EXPECT_EQ(v, 640);
    for (const char* bad : {"0", "16385", "", "-5", "+5", " 5", "5 ", "0x10", "1e3", "4000.0",
                            "99999999999999999999999"}) {
        EXPECT_FALSE(parseDecimal(bad, 1, 16384, &v)) << "'" << bad << "'";
        EXPECT_EQ(v, 640) << "a refused number leaves the value alone";
    }
}

TEST(ParseArguments, ReadsOptionsAnywhereUntilDoubleDash)
{
    const Arguments a = parseArguments({"a.raw", "--width", "4000", "--height=3000", "b.raw", "--pattern",
                                        "gbrg", "-q", "--width=12", "--", "--height", "-"});
    ASSERT_EQ(a.command, Command::Convert) << a.error;
    EXPECT_EQ(a.width, 12) << "a repeated option takes its last value";
    EXPECT_EQ(a.height, 3000);
    EXPECT_EQ(a.pattern, 4);
    EXPECT_TRUE(a.quiet);
    EXPECT_EQ(a.inputs, (std::vector<std::string>{"a.raw", "b.raw", "--height", "-"}));

    EXPECT_EQ(parseArguments({"x.raw", "-V", "--bogus"}).command, Command::Version);
    EXPECT_EQ(parseArguments({"--bogus", "--help"}).command, Command::UsageError)
        << "an error before --help is still an error";
}

}  // namespace
