#include <waterline/json/JsonNumber.h>

#include <gtest/gtest.h>

#include <limits>

using namespace waterline;

TEST(JsonNumber, CanonicalText)
{
    const struct {
        const char *text, *canonical;
    } cases[] = {
        {"0", "0"},
        {"-0", "0"},
        {"-0.0e5", "0"},
        {"0e99999999999999", "0"},
        {"1.50", "1.5"},
        {"1E5", "100000"},
        {"1e+5", "100000"},
        {"100", "100"},
        {"-12.5e3", "-12500"},
        {"0.1", "0.1"},
        {"0.000001", "0.000001"},
        {"0.0000001", "1e-7"},
        {"1.5e-7", "1.5e-7"},
        {"1e21", "1000000000000000000000"},
        {"1e22", "1e+22"},
        {"1e400", "1e+400"},
        {"-1e-400", "-1e-400"},
        {"10000000000000000000000000", "1e+25"},
        {"123.456", "123.456"},
        {"0.00123", "0.00123"},
        {"1234567890123456789012345678901234567890", "1234567890123456789012345678901234567890"},
        {"12345678901234567890.123456789", "12345678901234567890.123456789"},
        {"-65.613616999999977", "-65.613616999999977"},
        {"5e-1", "0.5"},
        {"25e-1", "2.5"},
        {"1e999999999", "1e+999999999"},
        {"0.1e-999999998", "1e-999999999"},
        {"10e999999998", "1e+999999999"},
    };
    for (const auto& c : cases) {
        auto number = JsonNumber::fromString(c.text);
        ASSERT_TRUE(number) << c.text;
        EXPECT_EQ(number->toString(), c.canonical) << c.text;
        EXPECT_EQ(number->text(), c.text);
        EXPECT_EQ(JsonNumber::fromString(number->toString()), number) << "canonical text keeps the value";
    }
}

TEST(JsonNumber, FromStringRefusesWhatIsNotANumber)
{
    // The last ones are out of range: their canonical text would need an exponent
    // beyond 999999999.
    for (const char* text : {"", "-", "+1", "01", "1.", ".5", "1e", "1e+", "0x10", " 1", "1 ", "NaN", "1e1000000000",
                             "1999E999999998", "10e999999999", "0.01e-999999998", "1e99999999999999999999"})
        EXPECT_FALSE(JsonNumber::fromString(text)) << text;
}

TEST(JsonNumber, EqualityIsByValue)
{
    auto n = [](const char* text) { return *JsonNumber::fromString(text); };
    EXPECT_EQ(n("1.0"), n("1"));
    EXPECT_EQ(n("-0"), n("0"));
    EXPECT_EQ(n("1e2"), n("100"));
    EXPECT_EQ(n("0.50"), n("5e-1"));
    EXPECT_NE(n("1"), n("-1"));
    EXPECT_NE(n("0.1"), n("0.10000000000000001"));
    EXPECT_EQ(JsonNumber(42), n("42"));
    EXPECT_EQ(JsonNumber(0.1), n("0.1")); // shortest text of the double
}

TEST(JsonNumber, ConversionsSayWhenTheValueDoesNotFit)
{
    auto n = [](const char* text) { return *JsonNumber::fromString(text); };
    EXPECT_EQ(n("9223372036854775807").toInt64(), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(n("-9223372036854775808").toInt64(), std::numeric_limits<std::int64_t>::min());
    EXPECT_FALSE(n("9223372036854775808").toInt64());
    EXPECT_EQ(n("18446744073709551615").toUInt64(), std::numeric_limits<std::uint64_t>::max());
    EXPECT_FALSE(n("18446744073709551616").toUInt64());
    EXPECT_FALSE(n("-1").toUInt64());
    EXPECT_EQ(n("1.5e1").toInt64(), 15);
    EXPECT_EQ(n("12e17").toInt64(), 1200000000000000000);
    EXPECT_FALSE(n("1.5").toInt64());
    EXPECT_FALSE(n("1e400").toInt64());
    EXPECT_EQ(n("-0.0").toInt64(), 0);
    EXPECT_EQ(n("0.1").toDouble(), 0.1);
    EXPECT_EQ(n("1e308").toDouble(), 1e308);
    EXPECT_FALSE(n("1e400").toDouble());
    EXPECT_FALSE(n("-1e400").toDouble());
    EXPECT_FALSE(n("1e-400").toDouble());
    EXPECT_EQ(n("0e-400").toDouble(), 0.0);
    EXPECT_TRUE(n("3").isInteger());
    EXPECT_FALSE(n("3.25").isInteger());
    EXPECT_THROW(JsonNumber{std::numeric_limits<double>::infinity()}, std::invalid_argument);
}

TEST(JsonNumber, LongTextMovesAndCopies)
{
    std::string digits(100, '7');
    JsonNumber a = *JsonNumber::fromString(digits);
    JsonNumber b = a;
    JsonNumber c = std::move(a);
    b = c;
    c = JsonNumber(1);
    EXPECT_EQ(b.text(), digits);
    EXPECT_EQ(c.text(), "1");
}
