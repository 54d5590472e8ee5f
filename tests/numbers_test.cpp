// Numbers to and from text as the wire and System.cfg carry them, in every locale alike.
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <string>

#include "core/Numbers.h"

namespace {

TEST(Numbers, FormattingGivesTheCLibrarysBytes)
{
    // Fixed notation rounds the exact binary value, ties to even: 0.125 is a tie, 0.375 too; 2.675
    // is stored just below its decimal text.
    EXPECT_EQ(FormatC("%.2f|%.2f|%.2f|%.2f", 0.125, 0.375, 2.675, -0.005), "0.12|0.38|2.67|-0.01");
    EXPECT_EQ(FormatC("%.1f %.0f %.0f %f", 0.05, 0.5, 1.5, 1.0 / 3), "0.1 0 2 0.333333");
    EXPECT_EQ(FormatC("%.*f|%.3f", 1, 12.25, 1e21), "12.2|1000000000000000000000.000");
    EXPECT_EQ(FormatC("%.2f %.2f %.2f", std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                      std::nan("")),
              "inf -inf nan");
    // long is 64 bits on Linux and 32 on Windows: %ld reads it whole on both.
    const long longMin = std::numeric_limits<long>::min();
    EXPECT_EQ(FormatC("%d (Default)|%i|%u|%ld|%d%%", -2147483647 - 1, 7, 4294967295u, longMin, 50),
              "-2147483648 (Default)|7|4294967295|" + std::to_string(longMin) + "|50%");
    EXPECT_EQ(FormatC("%s: (%.2f, %.2f)", "Park refused", 150.0, 250.0), "Park refused: (150.00, 250.00)");
    // An unsupported conversion and the rest are written as they stand; no argument is read.
    EXPECT_EQ(FormatC("a%xb %d", 255u, 3), "a%xb %d");
}

TEST(Numbers, LeadingNumbersAreReadLikeTheCLibraryReadsThem)
{
    const struct {
        const char* text;
        double value;
    } doubles[] = {
        {"12.5abc", 12.5}, {" \t-7.25", -7.25}, {"+.5e1x", 5}, {"5.", 5}, {"1e", 1}, {"1e+", 1}, {"2E-2", 0.02},
        {"", 0}, {"-", 0}, {".", 0}, {".e1", 0}, {"abc", 0}, {"inf", 0}, {"nan", 0}, {"0x10", 0},
        {"1e309", std::numeric_limits<double>::infinity()}, {"-1e400", -std::numeric_limits<double>::infinity()},
        {"1e-400", 0}, {"4e-324", 4.9406564584124654e-324}, {"0e999999", 0},
    };
    for (const auto& d : doubles)
        EXPECT_EQ(ParseLeadingDouble(d.text), d.value) << d.text;
    EXPECT_TRUE(std::signbit(ParseLeadingDouble("-1e-400")));

    const struct {
        const char* text;
        int value;
    } ints[] = {
        {"750", 750}, {"  -12.9", -12}, {"+5000 (Default)", 5000}, {"x1", 0}, {"", 0},
        {"99999999999", 2147483647}, {"-2147483648", -2147483647 - 1}, {"-99999999999", -2147483647 - 1},
    };
    for (const auto& i : ints)
        EXPECT_EQ(ParseLeadingInt(i.text), i.value) << i.text;
}

} // namespace
