// Fixed-width template writes and reads, and the free-format list read.
#include "core/format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

using namespace gonioctl;

namespace {

std::string f(double v, int32_t w, int32_t d) {
    std::string s(static_cast<std::size_t>(w), '?');
    write_f(s.data(), w, d, v);
    return s;
}
std::string i(int64_t v, int32_t w) {
    std::string s(static_cast<std::size_t>(w), '?');
    write_i(s.data(), w, v);
    return s;
}
std::string z(int64_t v, int32_t w) {
    std::string s(static_cast<std::size_t>(w), '?');
    write_z(s.data(), w, v);
    return s;
}

}  // namespace

TEST(FormatTest, FixedPointWrites) {
    struct Case {
        double v;
        int32_t w, d;
        const char *expected;
    } cases[] = {
        {10.9, 9, 3, "   10.900"},
        {-110.0, 8, 3, "-110.000"},
        {2.5, 10, 5, "   2.50000"},
        {0.5, 6, 3, " 0.500"},
        {0.5, 4, 3, ".500"},  // no room for the leading 0
        {-0.5, 5, 3, "-.500"},
        {-0.5, 6, 3, "-0.500"},
        {0.125, 5, 2, " 0.13"},  // halves away from zero
        {-0.125, 5, 2, "-0.13"},
        {2.5, 3, 0, " 3."},
        {0.9996, 6, 3, " 1.000"},  // rounding carries into the integer part
        {99.95, 5, 1, "100.0"},
        {99.95, 4, 1, "****"},
        {-1000.0, 8, 3, "********"},
        {-0.0004, 6, 3, " 0.000"},  // rounds to zero: no minus sign
        {12.5, 8, 4, " 12.5000"},
        {5.0, 6, 1, "   5.0"},
        {12345.678, 15, 3, "      12345.678"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(f(c.v, c.w, c.d), c.expected) << c.v << " F" << c.w << '.' << c.d;
    }
    EXPECT_EQ(f(std::numeric_limits<double>::quiet_NaN(), 5, 1), "*****");
    EXPECT_EQ(f(std::numeric_limits<double>::infinity(), 5, 1), "*****");
    EXPECT_EQ(f(1e40, 6, 2), "******");
}

TEST(FormatTest, IntegerAndHexWrites) {
    EXPECT_EQ(i(250, 6), "   250");
    EXPECT_EQ(i(-9999, 5), "-9999");
    EXPECT_EQ(i(-10000, 5), "*****");
    EXPECT_EQ(i(100000, 5), "*****");
    EXPECT_EQ(i(0, 1), "0");
    EXPECT_EQ(i(std::numeric_limits<int64_t>::min(), 4), "****");
    EXPECT_EQ(z(72155146, 10), "   44D000A");
    EXPECT_EQ(z(-1, 10), "  FFFFFFFF");
    EXPECT_EQ(z(200, 8), "      C8");
    EXPECT_EQ(z(0x12345, 4), "****");
}

TEST(FormatTest, WriterComposesTemplatesAndNeverRunsPastItsBuffer) {
    char buf[32];
    FieldWriter w(buf, 32);
    w.lit("S").i(2, 1).tr(1).f(2.5, 10, 5).lit(" A").i(2, 1).chr('\r');
    EXPECT_EQ(std::string(buf, 32), "S2    2.50000 A2\r" + std::string(15, ' '));
    EXPECT_EQ(w.pos(), 17);
    EXPECT_FALSE(w.overflowed());

    char small[6 + 2] = {'x', 'x', 'x', 'x', 'x', 'x', '#', '#'};
    FieldWriter s(small, 6);
    s.lit("U1,").f(10.9, 9, 3);
    EXPECT_EQ(std::string(small, 8), "U1,   ##");  // cut at 6, guard bytes untouched
    EXPECT_TRUE(s.overflowed());
    EXPECT_EQ(s.pos(), 6);

    char a[8];
    FieldWriter(a, 8).a("AB", 4).a("CDEF", 2);
    EXPECT_EQ(std::string(a, 8), "AB  CD  ");
}

TEST(FormatTest, FieldReads) {
    struct Case {
        const char *text;
        int32_t d;
        int32_t status;
        float value;
    } cases[] = {
        {"12345", 3, 0, 12.345f},                            // implied decimals
        {" 12.5   ", 3, 0, 12.5f},                           // an explicit point overrides them
        {"1 2 3", 0, 0, 123.0f},                             // blanks ignored
        {"        ", 3, 0, 0.0f},                            // all blank reads as 0
        {"-1.5E2", 3, 0, -150.0f}, {"1.5-2", 3, 0, 0.015f},  // sign and digits alone as exponent
        {"  -7", 1, 0, -0.7f},     {"1.2.3", 3, kReadBad, 0}, {"12A", 3, kReadBad, 0},
        {"+", 3, kReadBad, 0},     {"1E", 3, kReadBad, 0},
    };
    for (const auto &c : cases) {
        float v = -99.0f;
        const int32_t w = static_cast<int32_t>(std::string(c.text).size());
        EXPECT_EQ(read_f(c.text, w, c.d, v), c.status) << c.text;
        EXPECT_FLOAT_EQ(v, c.status == 0 ? c.value : -99.0f) << c.text;
    }
    float v = 0;
    EXPECT_EQ(read_f("1E99", 4, 0, v), kReadBad);  // beyond single precision
    EXPECT_EQ(read_g16("123456789", 9, v), 0);     // G16.7: seven implied decimals
    EXPECT_FLOAT_EQ(v, 12.3456789f);
    EXPECT_EQ(read_g16("1.0            2", 16, v), 0);  // blank-null: the 2 is a digit
    EXPECT_FLOAT_EQ(v, 1.02f);

    int32_t n = -5;
    EXPECT_EQ(read_i("  42", 4, n), 0);
    EXPECT_EQ(n, 42);
    EXPECT_EQ(read_i("- 1 0", 5, n), 0);
    EXPECT_EQ(n, -10);
    EXPECT_EQ(read_i("    ", 4, n), 0);
    EXPECT_EQ(n, 0);
    n = 7;
    EXPECT_EQ(read_i("4.0", 3, n), kReadBad);
    EXPECT_EQ(read_i("99999999999", 11, n), kReadBad);
    EXPECT_EQ(n, 7);
    EXPECT_EQ(read_i("12\0"
                     "34",
                     5, n),
              0);  // a NUL ends the field
    EXPECT_EQ(n, 12);
}

TEST(FormatTest, ListReadSeparatorsAndEmptyItems) {
    const char *text = " 10.5, -2 ,, 3E1 4";
    ListReader r(text, static_cast<int32_t>(std::string(text).size()));
    float a = 0, b = 0, c = 9, d = 0;
    int32_t e = 0;
    EXPECT_EQ(r.real(a), 0);
    EXPECT_EQ(r.real(b), 0);
    EXPECT_EQ(r.real(c), 0);  // empty item: unchanged
    EXPECT_EQ(r.real(d), 0);
    EXPECT_EQ(r.integer(e), 0);
    EXPECT_FLOAT_EQ(a, 10.5f);
    EXPECT_FLOAT_EQ(b, -2.0f);
    EXPECT_FLOAT_EQ(c, 9.0f);
    EXPECT_FLOAT_EQ(d, 30.0f);
    EXPECT_EQ(e, 4);
    EXPECT_EQ(r.status(), 0);

    ListReader lead(",5", 2);  // a leading comma is an empty item
    float x = 1, y = 2;
    EXPECT_EQ(lead.real(x), 0);
    EXPECT_EQ(lead.real(y), 0);
    EXPECT_EQ(x, 1.0f);
    EXPECT_EQ(y, 5.0f);
}

TEST(FormatTest, ListReadFailures) {
    {
        ListReader r("1 2", 3);  // text ends before the third item
        float a, b, c = 4;
        EXPECT_EQ(r.real(a), 0);
        EXPECT_EQ(r.real(b), 0);
        EXPECT_EQ(r.real(c), kReadEnd);
        EXPECT_EQ(c, 4.0f);
        EXPECT_EQ(r.status(), kReadEnd);
    }
    {
        ListReader r("1.5 7", 5);  // an integer item refuses a point
        int32_t n = 3, m = 3;
        EXPECT_EQ(r.integer(n), kReadBad);
        EXPECT_EQ(n, 3);
        EXPECT_EQ(r.integer(m), kReadBad);  // sticky: nothing more is read
        EXPECT_EQ(m, 3);
    }
    {
        ListReader r("12 abc", 6);  // characters after the last item are ignored
        int32_t n = 0;
        EXPECT_EQ(r.integer(n), 0);
        EXPECT_EQ(n, 12);
        EXPECT_EQ(r.status(), 0);
        float bad = 0;
        EXPECT_EQ(r.real(bad), kReadBad);
    }
    {
        ListReader r("", 0);
        float v;
        EXPECT_EQ(r.real(v), kReadEnd);
    }
}
