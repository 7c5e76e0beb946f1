#include "ctlmessage.h"

#include <gtest/gtest.h>

using namespace qivctl;

TEST(ControlMessages, ArgumentTakesTheFirstConversionOnly) {
    struct {
        const char* text;
        const char* arg;
        const char* out;
    } cases[] = {
        {"Invalid URL: %s", "http://x/a b", "Invalid URL: http://x/a b"},
        {"%s and %s", "one", "one and %s"},
        {"100%% done: %s", "a", "100% done: a"},
        {"%d %n %x %s", "arg", "%d %n %x arg"},
        {"no conversion", "arg", "no conversion"},
        {"trailing %", "arg", "trailing %"},
        {"%s", "%s%n%%", "%s%n%%"},  // the argument is never read as a format
    };
    for (const auto& c : cases) EXPECT_EQ(formatMessage(c.text, c.arg), c.out) << c.text;
    EXPECT_EQ(formatMessage("Error %d in %s", 42), "Error 42 in %s");
    EXPECT_EQ(formatMessage("Error %d", -7), "Error -7");
}

TEST(ControlMessages, BoundedLength) {
    EXPECT_EQ(formatMessage("URL %s", std::string(5000, 'u')).size(), kMessageMax);
    EXPECT_EQ(formatMessage(std::string(3000, 't'), "x").size(), kMessageMax);
    std::string justFits = formatMessage(std::string(kMessageMax - 2, 't') + "%s", "ab");
    EXPECT_EQ(justFits.size(), kMessageMax);
    EXPECT_EQ(justFits.substr(kMessageMax - 2), "ab");
}
