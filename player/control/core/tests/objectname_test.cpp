// Object names at the control's entrances: local files, file URLs, addresses.
#include "objectname.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

using qivctl::ObjectName;
using K = ObjectName::Kind;

TEST(ObjectName, ReadsEachFormOnce) {
    const std::set<std::string> files = {"C:/a b.qiv", "C:/50%.qiv", "C:/x%41.qiv"};
    auto exists = [&](const std::string& p) { return files.count(p) != 0; };
    const struct {
        const char* name;
        K kind;
        const char* path;
    } cases[] = {
        {"", K::None, ""},
        {"C:\\dir\\x.qiv", K::Local, "C:\\dir\\x.qiv"},
        {"sub/x.pel", K::Local, "sub/x.pel"},
        {"file:///C:/a%20b.qiv", K::Local, "C:/a b.qiv"},      // three slashes, an escape
        {"FILE:///C:/a%20b.qiv", K::Local, "C:/a b.qiv"},      // the scheme in any case
        {"file://C:/a b.qiv", K::Local, "C:/a b.qiv"},
        {"file:///C:/50%.qiv", K::Local, "C:/50%.qiv"},        // not an escape
        {"file:///C:/x%41.qiv", K::Local, "C:/x%41.qiv"},      // the literal name exists
        {"file:///C:/missing%20one.qiv", K::Local, "C:/missing%20one.qiv"},
        {"file://\\\\server\\share\\x.qiv", K::Local, "\\\\server\\share\\x.qiv"},
        {"http://host/a%20b.qiv", K::Address, "http://host/a%20b.qiv"},
        {"ftp://host/x", K::Address, "ftp://host/x"},
    };
    for (const auto& c : cases) {
        const ObjectName n = qivctl::resolveObjectName(c.name, exists);
        EXPECT_EQ(int(c.kind), int(n.kind)) << c.name;
        EXPECT_EQ(c.path, n.path) << c.name;
    }
}

TEST(ObjectName, EscapeOfANulIsNotDecoded) {
    const ObjectName n =
        qivctl::resolveObjectName("file:///C:/a%00b.qiv", [](const std::string& p) { return p.find("%00") == std::string::npos; });
    EXPECT_EQ(int(K::Local), int(n.kind));
    EXPECT_EQ("C:/a%00b.qiv", n.path);
}

}  // namespace
