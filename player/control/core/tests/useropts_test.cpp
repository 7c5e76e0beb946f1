#include "useropts.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

namespace {

// An in-memory key that counts how often it is read.
class FakeStore : public QivOptionStore {
public:
    bool exists = false;
    std::map<std::string, uint32_t> dwords;
    std::map<std::string, std::string> strings;  // raw bytes as stored
    int reads = 0;
    bool pellow = false;
    long writeError = 0;

    bool canRead() override {
        ++reads;
        return exists;
    }
    bool readDword(const char* name, uint32_t& v) override {
        auto it = dwords.find(name);
        if (it == dwords.end()) return false;
        v = it->second;
        return true;
    }
    bool readString(const char* name, char* buf, size_t cap, size_t& got) override {
        auto it = strings.find(name);
        if (it == strings.end() || it->second.size() > cap) return false;
        std::memcpy(buf, it->second.data(), it->second.size());
        got = it->second.size();
        return true;
    }
    long writeDword(const char* name, uint32_t v) override {
        exists = true;
        dwords[name] = v;
        return writeError;
    }
    long writeString(const char* name, const char* text, size_t bytes) override {
        exists = true;
        strings[name] = std::string(text, bytes);
        return writeError;
    }
    bool defaultPaths(std::string& texture, std::string& object) override {
        if (!pellow) return false;
        texture = "C:\\Pellow\\Textures";
        object = "C:\\Pellow\\Objects\\Qiv";
        return true;
    }
};

TEST(UserOptions, DwordDefaultsWithoutKeyAndRetry) {
    FakeStore store;
    QivUserOptions o(&store);
    struct Case { QivDwordOption which; uint32_t def; } cases[] = {
        {QivDwordOption::AutoSave, 0}, {QivDwordOption::SaveFilesWithDocument, 0},
        {QivDwordOption::Use4DVision, 0}, {QivDwordOption::Use3DHardware, 1},
    };
    for (const Case& c : cases) {
        int before = store.reads;
        EXPECT_EQ(c.def, o.get(c.which));
        EXPECT_EQ(c.def, o.get(c.which));
        EXPECT_EQ(before + 2, store.reads) << "no key: every call tries again";
    }
    store.exists = true;
    store.dwords["AutoSave"] = 1;
    EXPECT_EQ(1u, o.get(QivDwordOption::AutoSave));
    store.dwords["AutoSave"] = 0;
    int before = store.reads;
    EXPECT_EQ(1u, o.get(QivDwordOption::AutoSave)) << "read once per process";
    EXPECT_EQ(before, store.reads);
    // Key present but value missing: the default, and no more reads.
    EXPECT_EQ(1u, o.get(QivDwordOption::Use3DHardware));
    EXPECT_EQ(1u, o.get(QivDwordOption::Use3DHardware));
    EXPECT_EQ(before + 1, store.reads);
}

TEST(UserOptions, SetterKeepsCopyEvenWhenWriteFails) {
    FakeStore store;
    store.writeError = 5;
    QivUserOptions o(&store);
    EXPECT_EQ(5, o.set(QivDwordOption::Use3DHardware, 0));
    int before = store.reads;
    EXPECT_EQ(0u, o.get(QivDwordOption::Use3DHardware));
    EXPECT_EQ(before, store.reads) << "answered without reading";
    EXPECT_EQ(5, o.set(QivPathOption::TexturePath, "D:\\tex"));
    EXPECT_STREQ("D:\\tex", o.get(QivPathOption::TexturePath));
}

TEST(UserOptions, PathWithNeitherKeyNorProgramStaysEmptyAndRetries) {
    FakeStore store;
    QivUserOptions o(&store);
    EXPECT_STREQ("", o.get(QivPathOption::ObjectPath));
    EXPECT_STREQ("", o.get(QivPathOption::ObjectPath));
    EXPECT_EQ(2, store.reads);
}

TEST(UserOptions, PathFallsBackToInstalledProgram) {
    FakeStore store;
    store.pellow = true;
    QivUserOptions o(&store);
    EXPECT_STREQ("C:\\Pellow\\Objects\\Qiv", o.get(QivPathOption::ObjectPath));
    EXPECT_STREQ("C:\\Pellow\\Textures", o.get(QivPathOption::TexturePath));
    EXPECT_EQ(1, store.reads) << "both paths taken at once";
}

TEST(UserOptions, PathFromStoreIsTerminatedAndBounded) {
    FakeStore store;
    store.exists = true;
    store.strings["TexturePath"] = std::string(260, 't');   // no terminator in 260 bytes
    store.strings["ObjectPath"] = std::string("C:\\obj\0junk", 11);
    QivUserOptions o(&store);
    EXPECT_EQ(259u, std::strlen(o.get(QivPathOption::TexturePath)));
    EXPECT_STREQ("C:\\obj", o.get(QivPathOption::ObjectPath));

    store.strings["TexturePath"] = std::string(300, 'x');  // too long for the buffer: not taken
    o.reset();
    EXPECT_STREQ("", o.get(QivPathOption::TexturePath));
}

TEST(UserOptions, PathSetterWritesOnlyTheString) {
    FakeStore store;
    QivUserOptions o(&store);
    EXPECT_EQ(0, o.set(QivPathOption::ObjectPath, "C:\\x"));
    EXPECT_EQ(std::string("C:\\x\0", 5), store.strings["ObjectPath"]);
    std::string longPath(400, 'L');
    o.set(QivPathOption::ObjectPath, longPath.c_str());
    EXPECT_EQ(259u, std::strlen(o.get(QivPathOption::ObjectPath)));
    EXPECT_EQ(260u, store.strings["ObjectPath"].size());
    o.set(QivPathOption::ObjectPath, nullptr);
    EXPECT_STREQ("", o.get(QivPathOption::ObjectPath));
}

TEST(UserOptions, SiblingFile) {
    EXPECT_EQ("C:\\Prog\\pellow.ini", qivSiblingFile("C:\\Prog\\pellow.exe", "pellow.ini"));
    EXPECT_EQ("", qivSiblingFile("pellow.exe", "pellow.ini"));
}

}  // namespace
