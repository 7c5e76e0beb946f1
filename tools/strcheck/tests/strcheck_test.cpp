// The string table check, run as the build runs it: on the real tables (which
// must pass) and on copies of them broken in one place each (which must fail
// and name the fault).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "strcheck.h"

namespace fs = std::filesystem;

namespace {

std::string readBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const fs::path& p, const std::string& data) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << data;
}

struct CheckRun {
  int status = 0;
  std::string output;
};

CheckRun runCheck(const fs::path& script) {
  fs::path out = script.parent_path() / "check.out";
  std::string cmd = std::string("\"") + QIV_STRCHECK_EXE + "\" \"" + script.string() + "\" > \"" + out.string() + "\" 2>&1";
  CheckRun r;
  r.status = std::system(cmd.c_str());
  r.output = readBytes(out);
  return r;
}

// A fresh copy of the real tables in a folder of its own.
class TableCopy {
 public:
  explicit TableCopy(const std::string& name) {
    dir_ = fs::temp_directory_path() / ("qiv-strcheck-" + std::to_string(::getpid()) + "-" + name);
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    for (const auto& e : fs::directory_iterator(QIV_STRINGS_DIR)) {
      std::string n = e.path().filename().string();
      if (n == "stringids.h" || (n.rfind("strings", 0) == 0 && e.path().extension() == ".rc"))
        fs::copy_file(e.path(), dir_ / n);
    }
  }
  ~TableCopy() { fs::remove_all(dir_); }
  fs::path file(const std::string& n) const { return dir_ / n; }
  fs::path script() const { return dir_ / "strings.rc"; }

  // Replaces the first occurrence of `from`; false when it is not there.
  bool replace(const std::string& name, const std::string& from, const std::string& to) {
    std::string data = readBytes(file(name));
    size_t at = data.find(from);
    if (at == std::string::npos) return false;
    data.replace(at, from.size(), to);
    writeBytes(file(name), data);
    return true;
  }
  // Replaces the whole line that starts (after blanks) with `key`.
  bool replaceLine(const std::string& name, const std::string& key, const std::string& line) {
    std::string data = readBytes(file(name));
    size_t at = data.find("    " + key + " ");
    if (at == std::string::npos) return false;
    size_t end = data.find('\n', at);
    data.replace(at, end - at, line);
    writeBytes(file(name), data);
    return true;
  }

 private:
  fs::path dir_;
};

// cp1252 bytes to UTF-8, for the Latin-1 range the German texts use.
std::string latin1ToUtf8(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xc0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3f));
    }
  }
  return out;
}

}  // namespace

TEST(StringTableCheck, RealTablesPass) {
  TableCopy t("real");
  CheckRun r = runCheck(t.script());
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output, "");
}

struct Breakage {
  const char* name;
  const char* file;
  const char* from;  // replaced text, or the key of the replaced line when `line` is set
  std::string to;
  bool line;
  const char* expected;  // part of the report
};

class BrokenTable : public testing::TestWithParam<Breakage> {};

TEST_P(BrokenTable, FailsAndNamesTheFault) {
  const Breakage& b = GetParam();
  TableCopy t(b.name);
  bool changed = b.line ? t.replaceLine(b.file, b.from, b.to) : t.replace(b.file, b.from, b.to);
  ASSERT_TRUE(changed) << "fixture text not found in " << b.file << ": " << b.from;
  CheckRun r = runCheck(t.script());
  EXPECT_NE(r.status, 0) << r.output;
  EXPECT_NE(r.output.find(b.expected), std::string::npos) << "report:\n" << r.output;
}

const std::string kLong(300, 'x');

INSTANTIATE_TEST_SUITE_P(
    Cases, BrokenTable,
    testing::Values(
        // An identifier missing in one language, in all, or unknown.
        Breakage{"missing", "strings_de.rc", "IDS_CANCEL", "", true, "German has no text for IDS_CANCEL (148)"},
        Breakage{"newid", "stringids.h", "#endif", "#define IDS_NEW_TEXT 1400\n#endif", false,
                 "Lithuanian has no text for IDS_NEW_TEXT (1400)"},
        Breakage{"unknownid", "strings_hr.rc", "BEGIN\n", "BEGIN\n    IDS_NOT_THERE \"x\"\n", false,
                 "unknown identifier IDS_NOT_THERE"},
        Breakage{"twice", "strings_fr.rc", "BEGIN\n", "BEGIN\n    IDS_CANCEL \"Annuler\"\n", false,
                 "IDS_CANCEL (148) given twice for French"},
        Breakage{"sharednumber", "stringids.h", "#endif", "#define IDS_OTHER 148\n#endif", false,
                 "share the number 148"},
        Breakage{"notincluded", "strings.rc", "#include \"strings_lt.rc\"", "", false,
                 "no string table for Lithuanian (1063)"},
        // printf conversions that differ from the English text's.
        Breakage{"convdropped", "strings_de.rc", "%d Bytes von %d Bytes", "%d Bytes", false,
                 "German IDS_LOADED_BYTES (129): printf conversions %s %d differ from the English %s %d %d"},
        Breakage{"convtype", "strings_ru.rc", "%lu", "%u", false, "differ from the English %lu %lu"},
        Breakage{"convorder", "strings_fr.rc", "%s charg", "%d charg", false, "French IDS_LOADED_BYTES (129)"},
        Breakage{"convadded", "strings_it.rc", "IDS_CANCEL", "    IDS_CANCEL \"Annulla %s\"", true,
                 "printf conversions %s differ from the English none"},
        Breakage{"convmalformed", "strings_pl.rc", "(%d%%)", "(%d%)", false, "malformed printf conversion"},
        // File-dialog filters.
        Breakage{"filterend", "strings_es.rc", "*.*||\"", "*.*|\"", false,
                 "Spanish IDS_FILTER_OBJECTS (135): file-dialog filter does not end in \"||\""},
        Breakage{"filterenglish", "strings_en.rc", "*.bmp|All files (*.*)|*.*||", "*.bmp|All files (*.*)|*.*|",
                 false, "English IDS_FILTER_BITMAP (1289): file-dialog filter does not end in \"||\""},
        Breakage{"filterpattern", "strings_it.rc", "|*.bmp;*.bms;*.jpg|", "|*.bmp;*.jpg|", false,
                 "file-dialog pattern \"*.bmp;*.jpg\" differs"},
        Breakage{"filterentry", "strings_cs.rc", "|Objekty DB (*.kvo)|*.kvo|", "|", false,
                 "file-dialog filter with 2 entries, the English has 3"},
        Breakage{"filterdbcs", "strings_ja.rc", "IDS_FILTER_BITMAP",
                 "    IDS_FILTER_BITMAP \"\x83\x7C (*.bmp)|*.bmp|x (*.*)|*.*||\"", true,
                 "second byte is '|' in a file-dialog filter"},
        // Languages and code pages.
        Breakage{"codepage", "strings_ja.rc", "code_page(932)", "code_page(1252)", false,
                 "Japanese string table in code page 1252, expected 932"},
        Breakage{"sublanguage", "strings_ptbr.rc", "SUBLANG_PORTUGUESE_BRAZILIAN", "SUBLANG_PORTUGUESE", false,
                 "no string table for Portuguese (Brazil)"},
        Breakage{"dbcsbackslash", "strings_ja.rc", "IDS_POINT_OF_VIEW", "    IDS_POINT_OF_VIEW \"\x95\x5C\x8E\xA6\"",
                 true, "second byte is a backslash"},
        Breakage{"undefinedbyte", "strings_el.rc", "IDS_CANCEL", "    IDS_CANCEL \"\xC1\xD2\"", true,
                 "byte 0xD2 has no character in code page 1253"},
        // Text form.
        Breakage{"mnemonic", "strings_de.rc", "&Animation abbrechen", "Animation abbrechen", false,
                 "0 mnemonic '&' where the English has 1"},
        Breakage{"trailingblank", "strings_de.rc", "Verbinde mit %s \"", "Verbinde mit %s\"", false,
                 "the trailing blank of the English text is missing"},
        Breakage{"toolong", "strings_en.rc", "IDS_PROJNAME", "    IDS_PROJNAME \"" + kLong + "\"", true,
                 "text of 300 bytes, at most 255 fit"},
        Breakage{"empty", "strings_ru.rc", "IDS_CANCEL", "    IDS_CANCEL \"\"", true,
                 "Russian IDS_CANCEL (148): empty text"},
        Breakage{"control", "strings_es.rc", "IDS_CANCEL", "    IDS_CANCEL \"Can\\tcelar\"", true,
                 "control character"},
        Breakage{"unterminated", "strings_lt.rc", "IDS_CANCEL", "    IDS_CANCEL \"Atsaukti", true,
                 "unterminated string"},
        Breakage{"escape", "strings_en.rc", "\"\\\\Qiv\"", "\"\\Qiv\"", false, "unknown escape \\Q"},
        Breakage{"garbage", "strings_hr.rc", "STRINGTABLE", "STRINGTABLE\nDIALOG 1", false,
                 "expected BEGIN after STRINGTABLE"}),
    [](const testing::TestParamInfo<Breakage>& i) { return std::string(i.param.name); });

TEST(StringTableCheck, FileSavedAsUtf8Fails) {
  TableCopy t("utf8");
  writeBytes(t.file("strings_de.rc"), latin1ToUtf8(readBytes(t.file("strings_de.rc"))));
  CheckRun r = runCheck(t.script());
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.output.find("German IDS_PATHS_DOCSTRING (109): text looks like UTF-8, not code page 1252"),
            std::string::npos)
      << r.output;
}

TEST(StringTableCheck, MissingScriptFails) {
  TableCopy t("noscript");
  CheckRun r = runCheck(t.file("nothing.rc"));
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.output.find("cannot read"), std::string::npos) << r.output;
}

TEST(PrintfConversions, ArgumentsAndErrors) {
  struct Case {
    const char* text;
    std::vector<std::string> conversions;
    bool malformed;
  };
  const Case cases[] = {
      {"plain text", {}, false},
      {"%s loaded, %d Bytes of %d Bytes received", {"s", "d", "d"}, false},
      {"%lu Byte of %lu Byte", {"lu", "lu"}, false},
      {"(%d%%)", {"d"}, false},
      {"%-8.3f|%+05d|% x", {"f", "d", "x"}, false},
      {"%*d and %.*s", {"*d", "*s"}, false},
      {"%I64u %lld %hhx %zu", {"I64u", "lld", "hhx", "zu"}, false},
      {"100%", {}, true},
      {"50%!", {}, true},
      {"%y", {}, true},
  };
  for (const auto& c : cases) {
    std::string error;
    auto got = strcheck::printfConversions(c.text, 1252, error);
    if (c.malformed) {
      EXPECT_FALSE(error.empty()) << c.text;
    } else {
      EXPECT_EQ(error, "") << c.text;
      EXPECT_EQ(got, c.conversions) << c.text;
    }
  }
}

TEST(PrintfConversions, DoubleByteCharactersAreSkipped) {
  // "%" cannot be a second byte in code page 932, but a lead byte must not be
  // read as the start of a conversion's text either.
  std::string error;
  auto got = strcheck::printfConversions("\x83\x74\x83\x40\x83\x43\x83\x8B %s", 932, error);
  EXPECT_EQ(error, "");
  EXPECT_EQ(got, std::vector<std::string>{"s"});
}
