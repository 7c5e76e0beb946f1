#include "strcheck.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace strcheck {
namespace {

struct LanguageInfo {
  int lcid;
  int codePage;
  const char* name;
};

// The control's resource languages and the code page each is written in.
const LanguageInfo kLanguages[] = {
    {1029, 1250, "Czech"},   {1031, 1252, "German"},   {1032, 1253, "Greek"},
    {1033, 1252, "English"}, {1034, 1252, "Spanish"},  {1036, 1252, "French"},
    {1040, 1252, "Italian"}, {1041, 932, "Japanese"},  {1045, 1250, "Polish"},
    {1046, 1252, "Portuguese (Brazil)"},                {1049, 1251, "Russian"},
    {1050, 1250, "Croatian"}, {1063, 1257, "Lithuanian"},
};
constexpr int kEnglish = 1033;
constexpr size_t kMaxTextBytes = 255;  // the smallest buffer a text is loaded into holds 256

const LanguageInfo* findLanguage(int lcid) {
  for (const auto& l : kLanguages)
    if (l.lcid == lcid) return &l;
  return nullptr;
}

const std::map<std::string, int>& primaryLanguages() {
  static const std::map<std::string, int> m = {
      {"LANG_NEUTRAL", 0x00},    {"LANG_CZECH", 0x05},    {"LANG_GERMAN", 0x07},
      {"LANG_GREEK", 0x08},      {"LANG_ENGLISH", 0x09},  {"LANG_SPANISH", 0x0a},
      {"LANG_FRENCH", 0x0c},     {"LANG_ITALIAN", 0x10},  {"LANG_JAPANESE", 0x11},
      {"LANG_POLISH", 0x15},     {"LANG_PORTUGUESE", 0x16}, {"LANG_RUSSIAN", 0x19},
      {"LANG_CROATIAN", 0x1a},   {"LANG_LITHUANIAN", 0x27},
  };
  return m;
}

const std::map<std::string, int>& subLanguages() {
  static const std::map<std::string, int> m = {
      {"SUBLANG_NEUTRAL", 0},    {"SUBLANG_DEFAULT", 1},          {"SUBLANG_ENGLISH_US", 1},
      {"SUBLANG_ENGLISH_UK", 2}, {"SUBLANG_GERMAN", 1},           {"SUBLANG_SPANISH", 1},
      {"SUBLANG_FRENCH", 1},     {"SUBLANG_ITALIAN", 1},          {"SUBLANG_PORTUGUESE", 2},
      {"SUBLANG_PORTUGUESE_BRAZILIAN", 1},                         {"SUBLANG_LITHUANIAN", 1},
      {"SUBLANG_CROATIAN_CROATIA", 1},
  };
  return m;
}

// Double-byte code pages: lead and trail byte ranges.
bool isLeadByte(int codePage, unsigned char c) {
  return codePage == 932 && ((c >= 0x81 && c <= 0x9f) || (c >= 0xe0 && c <= 0xfc));
}
bool isTrailByte(int codePage, unsigned char c) {
  return codePage == 932 && ((c >= 0x40 && c <= 0x7e) || (c >= 0x80 && c <= 0xfc));
}

// Bytes that have no character in a code page.
bool isUndefinedByte(int codePage, unsigned char c) {
  static const std::map<int, std::set<unsigned char>> undefinedBytes = {
      {1250, {0x81, 0x83, 0x88, 0x90, 0x98}},
      {1251, {0x98}},
      {1252, {0x81, 0x8d, 0x8f, 0x90, 0x9d}},
      {1253, {0x81, 0x88, 0x8a, 0x8c, 0x8d, 0x8e, 0x8f, 0x90, 0x98, 0x9a, 0x9c, 0x9d, 0x9e, 0x9f, 0xaa,
              0xd2, 0xff}},
      {1257, {0x81, 0x83, 0x88, 0x8a, 0x8c, 0x90, 0x98, 0x9a, 0x9c, 0x9f, 0xa1, 0xa5}},
      {932, {0x80, 0xa0, 0xfd, 0xfe, 0xff}},
  };
  auto it = undefinedBytes.find(codePage);
  return it != undefinedBytes.end() && it->second.count(c) != 0;
}

// True when the text holds non-ASCII bytes that all form valid UTF-8 sequences:
// a file saved as UTF-8 instead of its code page.
bool looksLikeUtf8(const std::string& s) {
  bool multiByte = false;
  for (size_t i = 0; i < s.size();) {
    unsigned char c = s[i];
    int n = c < 0x80 ? 0 : (c & 0xe0) == 0xc0 ? 1 : (c & 0xf0) == 0xe0 ? 2 : (c & 0xf8) == 0xf0 ? 3 : -1;
    if (n < 0 || (n == 1 && c < 0xc2)) return false;
    for (int k = 1; k <= n; ++k)
      if (i + k >= s.size() || (static_cast<unsigned char>(s[i + k]) & 0xc0) != 0x80) return false;
    multiByte |= n > 0;
    i += n + 1;
  }
  return multiByte;
}

// Splits a text into its characters (one or two bytes each).
std::vector<std::string> characters(const std::string& s, int codePage) {
  std::vector<std::string> out;
  for (size_t i = 0; i < s.size();) {
    size_t n = isLeadByte(codePage, s[i]) && i + 1 < s.size() ? 2 : 1;
    out.push_back(s.substr(i, n));
    i += n;
  }
  return out;
}

struct Entry {
  std::string text;
  std::string file;
  int line = 0;
  int codePage = 1252;
  bool wrongCodePage = false;  // its table is declared in another code page than its language's
};

std::string trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

bool startsWithWord(const std::string& s, const std::string& word) {
  if (s.compare(0, word.size(), word) != 0) return false;
  return s.size() == word.size() || !(std::isalnum(static_cast<unsigned char>(s[word.size()])) || s[word.size()] == '_');
}

bool parseInt(const std::string& s, int& value) {
  if (s.empty()) return false;
  try {
    size_t used = 0;
    long v = std::stol(s, &used, 0);
    if (used != s.size() || v < 0 || v > 0xffff) return false;
    value = static_cast<int>(v);
    return true;
  } catch (...) {
    return false;
  }
}

bool readFile(const std::string& path, std::vector<std::string>& lines) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return true;
}

class Checker {
 public:
  std::vector<std::string> errors;

  void script(const std::string& path, int depth);
  void report();

 private:
  std::map<std::string, int> ids_;
  std::map<int, std::string> names_;
  std::map<int, std::map<int, Entry>> tables_;  // language -> id -> text
  std::map<int, std::string> languageFile_;      // where a language's table was first seen
  std::set<std::string> headers_;
  int codePage_ = 1252;
  int lcid_ = kEnglish;

  void error(const std::string& file, int line, const std::string& text) {
    errors.push_back(file + ":" + std::to_string(line) + ": " + text);
  }
  void header(const std::string& path, const std::string& from, int fromLine);
  bool language(const std::string& args, const std::string& file, int line);
  bool literal(const std::string& line, size_t& pos, int codePage, std::string& out, std::string& why);
  void entry(const std::string& line, const std::string& file, int lineNo, const LanguageInfo* lang);
  void checkText(const Entry& e, const std::string& where);
  void compare(const LanguageInfo& lang, int id, const Entry& en, const Entry& tr);
  std::string idName(int id) const {
    auto it = names_.find(id);
    return (it == names_.end() ? std::string("?") : it->second) + " (" + std::to_string(id) + ")";
  }
};

void Checker::header(const std::string& path, const std::string& from, int fromLine) {
  std::vector<std::string> lines;
  if (!readFile(path, lines)) {
    error(from, fromLine, "cannot read " + path);
    return;
  }
  if (!headers_.insert(path).second) return;
  for (size_t i = 0; i < lines.size(); ++i) {
    std::istringstream words(trim(lines[i]));
    std::string directive, name, value;
    words >> directive >> name >> value;
    if (directive != "#define" || value.empty()) continue;
    int number = 0;
    if (!parseInt(value, number)) {
      error(path, int(i + 1), "identifier " + name + " has no number");
      continue;
    }
    if (ids_.count(name)) {
      error(path, int(i + 1), "identifier " + name + " defined twice");
      continue;
    }
    if (names_.count(number)) {
      error(path, int(i + 1), name + " and " + names_[number] + " share the number " + std::to_string(number));
      continue;
    }
    ids_[name] = number;
    names_[number] = name;
  }
}

bool Checker::language(const std::string& args, const std::string& file, int line) {
  size_t comma = args.find(',');
  if (comma == std::string::npos) {
    error(file, line, "LANGUAGE needs a language and a sublanguage");
    return false;
  }
  auto value = [](const std::map<std::string, int>& names, const std::string& word, int& out) {
    auto it = names.find(word);
    if (it != names.end()) {
      out = it->second;
      return true;
    }
    return parseInt(word, out);
  };
  int primary = 0, sub = 0;
  std::string p = trim(args.substr(0, comma)), s = trim(args.substr(comma + 1));
  if (!value(primaryLanguages(), p, primary) || !value(subLanguages(), s, sub)) {
    error(file, line, "unknown language " + p + ", " + s);
    return false;
  }
  lcid_ = (sub << 10) | primary;
  return true;
}

bool Checker::literal(const std::string& line, size_t& pos, int codePage, std::string& out, std::string& why) {
  size_t i = pos + 1;  // past the opening quote
  for (;;) {
    if (i >= line.size()) {
      why = "unterminated string";
      return false;
    }
    unsigned char c = line[i];
    if (isLeadByte(codePage, c)) {
      if (i + 1 >= line.size() || !isTrailByte(codePage, line[i + 1])) {
        why = "invalid double-byte character in code page " + std::to_string(codePage);
        return false;
      }
      if (line[i + 1] == '\\') {
        why = "double-byte character whose second byte is a backslash (the resource compiler reads an escape)";
        return false;
      }
      out += line.substr(i, 2);
      i += 2;
      continue;
    }
    if (c == '"') {
      if (i + 1 < line.size() && line[i + 1] == '"') {
        out += '"';
        i += 2;
        continue;
      }
      pos = i + 1;
      return true;
    }
    if (c == '\\') {
      char n = i + 1 < line.size() ? line[i + 1] : '\0';
      switch (n) {
        case '\\': out += '\\'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        default:
          why = std::string("unknown escape \\") + (n ? std::string(1, n) : std::string());
          return false;
      }
      i += 2;
      continue;
    }
    out += static_cast<char>(c);
    ++i;
  }
}

void Checker::entry(const std::string& raw, const std::string& file, int lineNo, const LanguageInfo* lang) {
  std::string line = raw;
  size_t b = line.find_first_not_of(" \t");
  size_t e = b;
  while (e < line.size() && (std::isalnum(static_cast<unsigned char>(line[e])) || line[e] == '_')) ++e;
  std::string name = line.substr(b, e - b);
  int id = 0;
  auto known = ids_.find(name);
  if (known != ids_.end()) {
    id = known->second;
  } else if (!parseInt(name, id)) {
    error(file, lineNo, "unknown identifier " + (name.empty() ? line.substr(b) : name));
    return;
  }
  size_t pos = line.find_first_not_of(" \t", e);
  if (pos != std::string::npos && line[pos] == ',') pos = line.find_first_not_of(" \t", pos + 1);
  if (pos == std::string::npos || line[pos] != '"') {
    error(file, lineNo, "expected a string after " + name);
    return;
  }
  Entry entry{"", file, lineNo, codePage_, lang && lang->codePage != codePage_};
  std::string why;
  if (!literal(line, pos, codePage_, entry.text, why)) {
    error(file, lineNo, name + ": " + why);
    return;
  }
  std::string rest = trim(line.substr(pos));
  if (!rest.empty() && rest.compare(0, 2, "//") != 0) {
    error(file, lineNo, name + ": unexpected text after the string: " + rest);
    return;
  }
  if (!lang) return;  // reported at the table
  auto& table = tables_[lang->lcid];
  if (table.count(id)) {
    const Entry& first = table[id];
    error(file, lineNo, idName(id) + " given twice for " + lang->name + " (first at " + first.file + ":" +
                            std::to_string(first.line) + ")");
    return;
  }
  table[id] = entry;
}

void Checker::script(const std::string& path, int depth) {
  std::vector<std::string> lines;
  if (depth > 16) {
    error(path, 0, "includes nested too deeply");
    return;
  }
  if (!readFile(path, lines)) {
    error(path, 0, "cannot read the file");
    return;
  }
  enum { Outside, BeforeBegin, Inside } state = Outside;
  const LanguageInfo* tableLanguage = nullptr;
  int tableLine = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    int lineNo = int(i + 1);
    std::string line = trim(lines[i]);
    if (line.empty() || line.compare(0, 2, "//") == 0) continue;
    if (state == Inside) {
      if (line == "END" || line == "}") {
        state = Outside;
        continue;
      }
      entry(lines[i], path, lineNo, tableLanguage);
      continue;
    }
    if (state == BeforeBegin) {
      if (line == "BEGIN" || line == "{") {
        state = Inside;
      } else {
        error(path, lineNo, "expected BEGIN after STRINGTABLE");
        state = Outside;
      }
      continue;
    }
    if (line[0] == '#') {
      std::istringstream words(line);
      std::string directive;
      words >> directive;
      if (directive == "#include") {
        std::string target = trim(line.substr(8));
        if (target.size() > 2 && target.front() == '<' && target.back() == '>') continue;  // platform header
        if (target.size() < 3 || target.front() != '"' || target.back() != '"') {
          error(path, lineNo, "malformed #include");
          continue;
        }
        std::string name = target.substr(1, target.size() - 2);
        std::string full = (std::filesystem::path(path).parent_path() / name).string();
        if (std::filesystem::path(name).extension() == ".h")
          header(full, path, lineNo);
        else
          script(full, depth + 1);
        continue;
      }
      if (directive == "#pragma") {
        std::string rest = trim(line.substr(7));
        int cp = 0;
        if (rest.compare(0, 9, "code_page") == 0) {
          std::string arg = trim(rest.substr(9));
          if (arg.size() > 2 && arg.front() == '(' && arg.back() == ')' && parseInt(trim(arg.substr(1, arg.size() - 2)), cp)) {
            codePage_ = cp;
            continue;
          }
        }
        error(path, lineNo, "unsupported #pragma: " + rest);
        continue;
      }
      error(path, lineNo, "unsupported directive " + directive);
      continue;
    }
    if (startsWithWord(line, "LANGUAGE")) {
      language(line.substr(8), path, lineNo);
      continue;
    }
    if (startsWithWord(line, "STRINGTABLE")) {
      tableLine = lineNo;
      tableLanguage = findLanguage(lcid_);
      if (!tableLanguage) {
        error(path, tableLine, "string table in language " + std::to_string(lcid_) +
                                   ", which is not one of the control's resource languages");
      } else {
        if (!languageFile_.count(tableLanguage->lcid)) languageFile_[tableLanguage->lcid] = path;
        if (codePage_ != tableLanguage->codePage)
          error(path, tableLine, std::string(tableLanguage->name) + " string table in code page " +
                                     std::to_string(codePage_) + ", expected " +
                                     std::to_string(tableLanguage->codePage));
      }
      std::string rest = trim(line.substr(11));
      if (rest == "BEGIN" || rest == "{") {
        state = Inside;
      } else {
        std::istringstream words(rest);
        std::string word;
        static const std::set<std::string> options = {"DISCARDABLE", "MOVEABLE", "PURE",  "IMPURE",
                                                      "PRELOAD",     "LOADONCALL", "FIXED"};
        while (words >> word)
          if (!options.count(word)) error(path, lineNo, "unexpected " + word + " after STRINGTABLE");
        state = BeforeBegin;
      }
      continue;
    }
    error(path, lineNo, "unrecognised line: " + line);
  }
  if (state != Outside) error(path, tableLine, "string table without END");
}

void Checker::checkText(const Entry& e, const std::string& what) {
  const std::string& t = e.text;
  if (t.empty()) error(e.file, e.line, what + ": empty text");
  if (t.size() > kMaxTextBytes)
    error(e.file, e.line, what + ": text of " + std::to_string(t.size()) + " bytes, at most " +
                              std::to_string(kMaxTextBytes) + " fit");
  for (unsigned char c : t) {
    if (c < 0x20) {
      error(e.file, e.line, what + ": control character in the text");
      break;
    }
  }
  for (const auto& ch : characters(t, e.codePage)) {
    if (e.wrongCodePage) break;
    if (ch.size() == 1 && isUndefinedByte(e.codePage, ch[0])) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned char>(ch[0]));
      error(e.file, e.line, what + ": byte " + hex + " has no character in code page " + std::to_string(e.codePage));
      break;
    }
  }
  if (!e.wrongCodePage && e.codePage != 65001 && looksLikeUtf8(t))
    error(e.file, e.line, what + ": text looks like UTF-8, not code page " + std::to_string(e.codePage));
  std::string why;
  printfConversions(t, e.codePage, why);
  if (!why.empty()) error(e.file, e.line, what + ": " + why);
}

int mnemonics(const std::string& s, int codePage) {
  int n = 0;
  auto chars = characters(s, codePage);
  for (size_t i = 0; i < chars.size(); ++i) {
    if (chars[i] != "&") continue;
    if (i + 1 < chars.size() && chars[i + 1] == "&") {
      ++i;
      continue;
    }
    ++n;
  }
  return n;
}

// The fields of a file-dialog filter without its closing "||"; false when the
// text does not end in "||" or a field is empty.
bool filterFields(const std::string& s, int codePage, std::vector<std::string>& fields, std::string& why) {
  auto chars = characters(s, codePage);
  size_t n = chars.size();
  if (n < 2 || chars[n - 1] != "|" || chars[n - 2] != "|") {
    why = "file-dialog filter does not end in \"||\"";
    return false;
  }
  std::string field;
  for (size_t i = 0; i + 2 < n; ++i) {
    if (chars[i].size() == 2 && chars[i][1] == '|') {
      why = "double-byte character whose second byte is '|' in a file-dialog filter";
      return false;
    }
    if (chars[i] == "|") {
      fields.push_back(field);
      field.clear();
    } else {
      field += chars[i];
    }
  }
  fields.push_back(field);
  for (const auto& f : fields) {
    if (f.empty()) {
      why = "file-dialog filter with an empty field";
      return false;
    }
  }
  if (fields.size() % 2 != 0) {
    why = "file-dialog filter with a description that has no pattern";
    return false;
  }
  return true;
}

std::string joined(const std::vector<std::string>& v) {
  std::string s;
  for (const auto& x : v) s += (s.empty() ? "%" : " %") + x;
  return s.empty() ? "none" : s;
}

void Checker::compare(const LanguageInfo& lang, int id, const Entry& en, const Entry& tr) {
  std::string what = std::string(lang.name) + " " + idName(id);
  std::string ignored;
  auto enConv = printfConversions(en.text, en.codePage, ignored);
  auto trConv = printfConversions(tr.text, tr.codePage, ignored);
  if (enConv != trConv)
    error(tr.file, tr.line, what + ": printf conversions " + joined(trConv) + " differ from the English " + joined(enConv));
  if (mnemonics(en.text, en.codePage) != mnemonics(tr.text, tr.codePage))
    error(tr.file, tr.line, what + ": " + std::to_string(mnemonics(tr.text, tr.codePage)) +
                                " mnemonic '&' where the English has " + std::to_string(mnemonics(en.text, en.codePage)));
  auto edge = [](const std::string& s, bool back) {
    return !s.empty() && (back ? s.back() : s.front()) == ' ';
  };
  if (edge(en.text, true) != edge(tr.text, true))
    error(tr.file, tr.line, what + (edge(en.text, true) ? ": the trailing blank of the English text is missing"
                                                        : ": trailing blank that the English text does not have"));
  if (edge(en.text, false) != edge(tr.text, false))
    error(tr.file, tr.line, what + ": leading blank differs from the English text");

  bool filter = en.text.find('|') != std::string::npos;
  if (!filter) {
    for (const auto& ch : characters(tr.text, tr.codePage))
      if (ch == "|") {
        error(tr.file, tr.line, what + ": '|' in a text that is not a file-dialog filter");
        break;
      }
    return;
  }
  std::vector<std::string> enFields, trFields;
  std::string why;
  if (!filterFields(en.text, en.codePage, enFields, why)) return;  // reported for English
  if (!filterFields(tr.text, tr.codePage, trFields, why)) {
    error(tr.file, tr.line, what + ": " + why);
    return;
  }
  if (enFields.size() != trFields.size()) {
    error(tr.file, tr.line, what + ": file-dialog filter with " + std::to_string(trFields.size() / 2) +
                                " entries, the English has " + std::to_string(enFields.size() / 2));
    return;
  }
  for (size_t i = 1; i < enFields.size(); i += 2)
    if (enFields[i] != trFields[i])
      error(tr.file, tr.line, what + ": file-dialog pattern \"" + trFields[i] + "\" differs from the English \"" +
                                  enFields[i] + "\"");
}

void Checker::report() {
  if (ids_.empty()) {
    errors.push_back("no string identifiers found (is the header included?)");
    return;
  }
  for (const auto& [lcid, table] : tables_)
    for (const auto& [id, e] : table) checkText(e, std::string(findLanguage(lcid)->name) + " " + idName(id));
  auto enIt = tables_.find(kEnglish);
  for (const auto& lang : kLanguages) {
    auto it = tables_.find(lang.lcid);
    if (it == tables_.end()) {
      errors.push_back(std::string("no string table for ") + lang.name + " (" + std::to_string(lang.lcid) + ")");
      continue;
    }
    const std::string& file = languageFile_[lang.lcid];
    for (const auto& [name, id] : ids_)
      if (!it->second.count(id))
        errors.push_back(file + ": " + lang.name + " has no text for " + idName(id));
    if (lang.lcid == kEnglish) {
      for (const auto& [id, e] : it->second) {
        std::vector<std::string> fields;
        std::string why;
        if (e.text.find('|') != std::string::npos && !filterFields(e.text, e.codePage, fields, why))
          error(e.file, e.line, std::string("English ") + idName(id) + ": " + why);
      }
      continue;
    }
    if (enIt == tables_.end()) continue;
    for (const auto& [id, e] : it->second) {
      auto en = enIt->second.find(id);
      if (en != enIt->second.end()) compare(lang, id, en->second, e);
    }
  }
}

}  // namespace

std::vector<std::string> printfConversions(const std::string& s, int codePage, std::string& error) {
  std::vector<std::string> out;
  error.clear();
  for (size_t i = 0; i < s.size(); ++i) {
    if (isLeadByte(codePage, s[i])) {
      ++i;
      continue;
    }
    if (s[i] != '%') continue;
    size_t start = i++;
    if (i < s.size() && s[i] == '%') continue;
    std::string conv;
    while (i < s.size() && std::string("-+ #0").find(s[i]) != std::string::npos) ++i;
    if (i < s.size() && s[i] == '*') {
      conv += '*';
      ++i;
    } else {
      while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
    }
    if (i < s.size() && s[i] == '.') {
      ++i;
      if (i < s.size() && s[i] == '*') {
        conv += '*';
        ++i;
      } else {
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
      }
    }
    static const char* lengths[] = {"hh", "ll", "I64", "I32", "h", "l", "L", "z", "j", "t", "I"};
    for (const char* l : lengths) {
      if (s.compare(i, std::strlen(l), l) == 0) {
        conv += l;
        i += std::strlen(l);
        break;
      }
    }
    if (i >= s.size() || std::string("diouxXeEfFgGaAcCsSpn").find(s[i]) == std::string::npos) {
      if (error.empty()) error = "malformed printf conversion \"" + s.substr(start, i + 1 - start) + "\"";
      continue;
    }
    conv += s[i];
    out.push_back(conv);
  }
  return out;
}

std::vector<std::string> checkStringTables(const std::string& topScript) {
  Checker c;
  c.script(topScript, 0);
  c.report();
  return c.errors;
}

}  // namespace strcheck
