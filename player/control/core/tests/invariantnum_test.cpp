#include "invariantnum.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "persiststream.h"

using namespace qivctl;

namespace {

std::string printfC(const char* fmt, double v) {
    char buf[512];
    std::snprintf(buf, sizeof buf, fmt, v);
    return buf;
}

// Switches the C locale to a German one with a decimal comma; restores "C".
// Where none is installed, one is compiled from the system's locale sources
// into a folder of the test's own.
class GermanLocale {
public:
    GermanLocale() {
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "German_Germany.1252", "German", "deu"})
            if (std::setlocale(LC_ALL, name)) {
                check();
                return;
            }
#ifndef _WIN32
        std::filesystem::path dir = std::filesystem::temp_directory_path() / "qivctl-locales";
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);
        std::string target = (dir / "de_DE.UTF-8").string();
        if (!std::filesystem::exists(target)) {
            std::string cmd = "localedef -i de_DE -f UTF-8 '" + target + "' >/dev/null 2>&1";
            (void)std::system(cmd.c_str());
        }
        setenv("LOCPATH", dir.string().c_str(), 1);
        if (std::setlocale(LC_ALL, "de_DE.UTF-8")) check();
#endif
    }
    ~GermanLocale() { std::setlocale(LC_ALL, "C"); }
    bool active() const { return active_; }

private:
    void check() { active_ = printfC("%g", 0.5) == "0,5"; }
    bool active_ = false;
};

}  // namespace

// The formats match printf in the C locale for every kind of value.
TEST(InvariantNumbers, FormatsMatchPrintfOfTheCLocale) {
    std::setlocale(LC_ALL, "C");
    std::mt19937 rng(7);
    std::vector<double> values = {0.0, -0.0, 1.0, 0.5, 3.926991, 225.0, 1e-5, 1e-4, 123456.0, 1234567.0, 1e15,
                                  1e16, 0.1, 2.5e-310, 1.7976931348623157e308, -42.125, 99999.95, 9.9999995};
    std::uniform_real_distribution<double> mant(-10, 10);
    std::uniform_int_distribution<int> exps(-30, 30);
    for (int i = 0; i < 2000; ++i) values.push_back(mant(rng) * std::pow(10.0, exps(rng)));
    for (double v : values) {
        EXPECT_EQ(formatInvariantG(v), printfC("%g", v)) << v;
        EXPECT_EQ(formatInvariantE(v), printfC("%e", v)) << v;
        EXPECT_EQ(formatInvariantF(v), printfC("%f", v)) << v;
        EXPECT_EQ(formatInvariantG(v, 9), printfC("%.9g", v)) << v;
    }
}

TEST(InvariantNumbers, ParseLikeStrtodInTheCLocale) {
    struct Case {
        const char* text;
        bool ok;
        double value;
        size_t used;
    };
    const Case cases[] = {
        {"3.926991", true, 3.926991, 8},   {"  -0.5xyz", true, -0.5, 6}, {"+.25", true, 0.25, 4},
        {"5.", true, 5.0, 2},              {"1e5", true, 1e5, 3},        {"1e", true, 1.0, 1},
        {"2E-3,", true, 2e-3, 4},          {"0,5", true, 0.0, 1},        {"", false, 0, 0},
        {".", false, 0, 0},                {"-", false, 0, 0},           {"inf", false, 0, 0},
        {"nan", false, 0, 0},              {"1e400", false, 0, 0},
    };
    for (const Case& c : cases) {
        double v = -99;
        size_t used = 99;
        EXPECT_EQ(parseInvariantDoublePrefix(c.text, &v, &used), c.ok) << c.text;
        if (!c.ok) continue;
        EXPECT_EQ(v, c.value) << c.text;
        EXPECT_EQ(used, c.used) << c.text;
        char* end = nullptr;
        EXPECT_EQ(std::strtod(c.text, &end), c.value) << c.text;
        EXPECT_EQ(size_t(end - c.text), c.used) << c.text;
    }
    double hex = -1;
    size_t hexUsed = 0;
    ASSERT_TRUE(parseInvariantDoublePrefix("0x10", &hex, &hexUsed));  // no hexadecimal form
    EXPECT_EQ(hex, 0.0);
    EXPECT_EQ(hexUsed, 1u);
    float f = 0;
    EXPECT_TRUE(parseInvariantFloat(" 0.4 ", &f));
    EXPECT_EQ(f, 0.4f);
    EXPECT_FALSE(parseInvariantFloat("0.4 x", &f));
    EXPECT_FALSE(parseInvariantFloat("1e39", &f));
    EXPECT_EQ(invariantStrtod("garbage"), 0.0);

    size_t used = 0;
    EXPECT_EQ(invariantStrtol(" -12,5", &used), -12);
    EXPECT_EQ(used, 4u);
    EXPECT_EQ(invariantStrtol("99999999999999999999"), INT32_MAX);
    EXPECT_EQ(invariantStrtol("-99999999999999999999"), INT32_MIN);
    EXPECT_EQ(invariantStrtol("x", &used), 0);
    EXPECT_EQ(used, 0u);
    int32_t i = 0;
    EXPECT_TRUE(parseInvariantInt32("2147483647", &i));
    EXPECT_FALSE(parseInvariantInt32("2147483648", &i));
    EXPECT_TRUE(parseInvariantInt32("-2147483648", &i));
    EXPECT_EQ(i, INT32_MIN);
}

// Under a German locale (decimal comma) the texts stay invariant both ways.
TEST(InvariantNumbers, GermanLocaleChangesNothing) {
    GermanLocale de;
    if (!de.active()) GTEST_SKIP() << "no German locale could be set";
    EXPECT_EQ(printfC("%g", 3.926991), "3,92699");  // the C library now writes commas
    double d = 0;
    ASSERT_TRUE(parseInvariantDouble("3.926991", &d));
    EXPECT_EQ(d, 3.926991);
    EXPECT_FALSE(parseInvariantDouble("3,926991", &d));
    EXPECT_EQ(formatInvariantG(0.5), "0.5");
    EXPECT_EQ(formatInvariantE(1.0), "1.000000e+00");
    EXPECT_EQ(formatInvariantF(-2.25), "-2.250000");
    EXPECT_EQ(formatInvariantShortest(3.926991f), "3.926991");
    // The property bag's path: a host hands "3.926991" as text.
    PersistValue v;
    ASSERT_TRUE(persistValueFromText(PersistType::Float, u"3.926991", &v));
    EXPECT_EQ(v.f, 3.926991f);
    EXPECT_EQ(persistValueToText(PersistValue::ofFloat(0.5f)), u"0.5");
}
