#include "com/regscript.h"

#include <cstdio>
#include <new>

namespace qcom {

namespace {

enum class Tok { End, Word, String, Open, Close, Equals };

struct Token {
    Tok kind = Tok::End;
    std::string text;  // raw text of a word or string (quotes undone)
    size_t line = 1, column = 1;
};

struct Failure {
    size_t line, column;
    std::string message;
};

bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool endsWord(char c) { return isBlank(c) || c == '{' || c == '}' || c == '=' || c == '\''; }

std::string quoted(std::string_view s) {
    std::string out = "'";
    for (char c : s) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", u);
            out += buf;
        } else {
            out += c;
        }
        if (out.size() > 80) {
            out += "...";
            break;
        }
    }
    return out + "'";
}

class Lexer {
public:
    explicit Lexer(std::string_view s) : s_(s) {}

    // Throws Failure on a malformed token.
    Token next() {
        skipBlanks();
        Token t;
        t.line = line_;
        t.column = column_;
        if (pos_ >= s_.size()) return t;
        char c = s_[pos_];
        if (c == '}') {
            advance();
            t.kind = Tok::Close;
        } else if (c == '=') {
            advance();
            t.kind = Tok::Equals;
        } else if (c == '{') {
            size_t j = pos_ + 1;
            while (j < s_.size() && !endsWord(s_[j]) && !isControl(s_[j])) ++j;
            if (j < s_.size() && s_[j] == '}' && j > pos_ + 1) {
                t.kind = Tok::Word;
                t.text.assign(s_.substr(pos_, j + 1 - pos_));
                while (pos_ <= j) advance();
            } else {
                advance();
                t.kind = Tok::Open;
            }
        } else if (c == '\'') {
            t.kind = Tok::String;
            advance();
            for (;;) {
                if (pos_ >= s_.size()) throw Failure{t.line, t.column, "unterminated quoted text"};
                char d = s_[pos_];
                if (d == '\0') throw Failure{line_, column_, "NUL character in quoted text"};
                advance();
                if (d == '\'') {
                    if (pos_ < s_.size() && s_[pos_] == '\'') {
                        advance();
                        t.text += '\'';
                        continue;
                    }
                    break;
                }
                t.text += d;
            }
        } else if (isControl(c)) {
            throw Failure{line_, column_, "unexpected control character"};
        } else {
            t.kind = Tok::Word;
            while (pos_ < s_.size() && !endsWord(s_[pos_])) {
                if (isControl(s_[pos_])) throw Failure{line_, column_, "unexpected control character"};
                t.text += s_[pos_];
                advance();
            }
        }
        return t;
    }

private:
    static bool isControl(char c) {
        unsigned char u = static_cast<unsigned char>(c);
        return (u < 0x20 && !isBlank(c)) || u == 0x7f;
    }
    void advance() {
        if (s_[pos_] == '\n') {
            ++line_;
            column_ = 1;
        } else {
            ++column_;
        }
        ++pos_;
    }
    void skipBlanks() {
        while (pos_ < s_.size() && isBlank(s_[pos_])) advance();
    }

    std::string_view s_;
    size_t pos_ = 0, line_ = 1, column_ = 1;
};

enum class Flag { None, ForceRemove, NoRemove, Remove, Delete };

struct Value {
    RegValueType type = RegValueType::String;
    std::string text;
    uint32_t number = 0;
    std::vector<uint8_t> bytes;
};

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

class Parser {
public:
    Parser(std::string_view script, const RegReplacements& repl, RegMode mode, std::vector<RegOp>& ops)
        : lex_(script), repl_(repl), mode_(mode), ops_(ops) {}

    void run() {
        for (;;) {
            Token t = next();
            if (t.kind == Tok::End) return;
            if (t.kind != Tok::Word) fail(t, "expected a root key such as HKCR");
            RegRoot root;
            if (!rootFromName(t.text, root)) fail(t, "unknown root key " + quoted(t.text));
            Token open = next();
            if (open.kind != Tok::Open) fail(open, "expected '{' after root key " + t.text);
            root_ = root;
            entries(open, "", false, 1);
        }
    }

private:
    [[noreturn]] static void fail(const Token& t, std::string message) {
        throw Failure{t.line, t.column, std::move(message)};
    }

    static bool rootFromName(std::string_view n, RegRoot& r) {
        struct {
            const char *shortName, *longName;
            RegRoot root;
        } static const roots[] = {
            {"HKCR", "HKEY_CLASSES_ROOT", RegRoot::ClassesRoot},
            {"HKCU", "HKEY_CURRENT_USER", RegRoot::CurrentUser},
            {"HKLM", "HKEY_LOCAL_MACHINE", RegRoot::LocalMachine},
            {"HKU", "HKEY_USERS", RegRoot::Users},
            {"HKCC", "HKEY_CURRENT_CONFIG", RegRoot::CurrentConfig},
        };
        for (const auto& e : roots) {
            if (iequals(n, e.shortName) || iequals(n, e.longName)) {
                r = e.root;
                return true;
            }
        }
        return false;
    }

    std::string expand(const Token& t) const {
        const std::string& s = t.text;
        std::string out;
        for (size_t i = 0; i < s.size(); ++i) {
            if (s[i] != '%') {
                out += s[i];
                continue;
            }
            size_t end = s.find('%', i + 1);
            if (end == std::string::npos) fail(t, "unterminated replacement in " + quoted(s));
            std::string_view name(s.data() + i + 1, end - i - 1);
            if (name.empty()) {
                out += '%';
            } else {
                const std::string* value = nullptr;
                for (const auto& [k, v] : repl_) {
                    if (iequals(k, name)) {
                        value = &v;
                        break;
                    }
                }
                if (!value) fail(t, "unknown replacement %" + std::string(name) + "%");
                out += *value;
            }
            i = end;
        }
        return out;
    }

    Value value() {
        Token type = next();
        if (type.kind != Tok::Word) fail(type, "expected a value type (s, e, d or b) after '='");
        Token data = next();
        if (data.kind != Tok::Word && data.kind != Tok::String) fail(data, "expected the value after its type");
        Value v;
        v.text = expand(data);
        if (iequals(type.text, "s")) {
            v.type = RegValueType::String;
        } else if (iequals(type.text, "e")) {
            v.type = RegValueType::ExpandString;
        } else if (iequals(type.text, "d")) {
            v.type = RegValueType::Dword;
            v.number = number(data, v.text);
            v.text.clear();
        } else if (iequals(type.text, "b")) {
            v.type = RegValueType::Binary;
            if (v.text.size() % 2 != 0) fail(data, "binary value needs an even number of hex digits");
            for (size_t i = 0; i < v.text.size(); i += 2) {
                int hi = hexDigit(v.text[i]), lo = hexDigit(v.text[i + 1]);
                if (hi < 0 || lo < 0) fail(data, "binary value " + quoted(v.text) + " is not hex digits");
                v.bytes.push_back(static_cast<uint8_t>(hi * 16 + lo));
            }
            v.text.clear();
        } else {
            fail(type, "unknown value type " + quoted(type.text));
        }
        return v;
    }

    static uint32_t number(const Token& t, const std::string& s) {
        uint64_t n = 0;
        size_t i = 0;
        unsigned base = 10;
        if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
            base = 16;
            i = 2;
        }
        if (i >= s.size()) fail(t, "invalid number " + quoted(s));
        for (; i < s.size(); ++i) {
            int d = hexDigit(s[i]);
            if (d < 0 || static_cast<unsigned>(d) >= base) fail(t, "invalid number " + quoted(s));
            n = n * base + static_cast<unsigned>(d);
            if (n > 0xffffffffu) fail(t, "number " + quoted(s) + " does not fit in 32 bits");
        }
        return static_cast<uint32_t>(n);
    }

    // A key name split at '\'; every component must be non-empty and short enough.
    std::vector<std::string> keyComponents(const Token& t) const {
        std::string name = expand(t);
        if (name.empty()) fail(t, "empty key name");
        std::vector<std::string> parts;
        size_t start = 0;
        for (;;) {
            size_t end = name.find('\\', start);
            std::string part = name.substr(start, end == std::string::npos ? std::string::npos : end - start);
            if (part.empty()) fail(t, "key name " + quoted(name) + " has an empty component");
            if (part.size() > REG_MAX_KEY_COMPONENT) fail(t, "key name " + quoted(name) + " is too long");
            parts.push_back(std::move(part));
            if (end == std::string::npos) break;
            start = end + 1;
        }
        return parts;
    }

    static std::string join(const std::string& parent, const std::string& child) {
        return parent.empty() ? child : parent + "\\" + child;
    }

    void op(RegOpKind kind, const std::string& key, const std::string& valueName = {}, const Value* v = nullptr) {
        RegOp o;
        o.kind = kind;
        o.root = root_;
        o.key = key;
        o.valueName = valueName;
        if (v) {
            o.type = v->type;
            o.text = v->text;
            o.number = v->number;
            o.bytes = v->bytes;
        }
        ops_.push_back(std::move(o));
    }

    // Entries up to the matching '}'; quiet: parse only, no operations.
    void entries(const Token& open, const std::string& parent, bool quiet, size_t depth) {
        if (depth > REG_MAX_NESTING) fail(open, "keys nested too deeply");
        for (;;) {
            Token t = next();
            if (t.kind == Tok::Close) return;
            if (t.kind == Tok::End) fail(open, "missing '}' for this '{'");
            if (t.kind == Tok::Word && iequals(t.text, "val")) {
                namedValue(t, parent, quiet);
                continue;
            }
            Flag flag = Flag::None;
            if (t.kind == Tok::Word) {
                if (iequals(t.text, "ForceRemove")) flag = Flag::ForceRemove;
                else if (iequals(t.text, "NoRemove")) flag = Flag::NoRemove;
                else if (iequals(t.text, "Remove")) flag = Flag::Remove;
                else if (iequals(t.text, "Delete")) flag = Flag::Delete;
            }
            if (flag != Flag::None) t = next();
            if (t.kind != Tok::Word && t.kind != Tok::String) fail(t, "expected a key name");
            key(t, parent, flag, quiet, depth);
        }
    }

    void namedValue(const Token& at, const std::string& parent, bool quiet) {
        Token nameTok = next();
        if (nameTok.kind != Tok::Word && nameTok.kind != Tok::String) fail(nameTok, "expected a value name after val");
        if (parent.empty()) fail(at, "a named value must stand inside a key, not directly under the root");
        std::string name = expand(nameTok);
        if (name.empty()) fail(nameTok, "empty value name (give the key's default value with key = type text)");
        if (name.size() > REG_MAX_VALUE_NAME) fail(nameTok, "value name is too long");
        Token eq = next();
        if (eq.kind != Tok::Equals) fail(eq, "expected '=' after value name " + quoted(name));
        Value v = value();
        if (quiet) return;
        if (mode_ == RegMode::Register) op(RegOpKind::SetValue, parent, name, &v);
        else op(RegOpKind::DeleteValue, parent, name);
    }

    void key(const Token& nameTok, const std::string& parent, Flag flag, bool quiet, size_t depth) {
        std::vector<std::string> parts = keyComponents(nameTok);
        std::vector<std::string> paths;  // path of every component, outermost first
        std::string path = parent;
        for (const auto& p : parts) {
            path = join(path, p);
            paths.push_back(path);
        }
        bool hasValue = false;
        Value v;
        Token t = next();
        if (t.kind == Tok::Equals) {
            if (flag == Flag::Delete) fail(t, "a Delete key takes no value");
            v = value();
            hasValue = true;
            t = next();
        }
        bool hasBody = t.kind == Tok::Open;
        Token open = t;
        if (!hasBody) pushBack_ = std::move(t);

        const bool reg = mode_ == RegMode::Register;
        bool childQuiet = quiet;
        if (!quiet) {
            if (reg) {
                if (flag == Flag::Delete) {
                    op(RegOpKind::DeleteTree, path);
                    childQuiet = true;
                } else {
                    if (flag == Flag::ForceRemove) op(RegOpKind::DeleteTree, path);
                    op(RegOpKind::CreateKey, path);
                    if (hasValue) op(RegOpKind::SetValue, path, {}, &v);
                }
            } else if (flag == Flag::ForceRemove || flag == Flag::Remove) {
                op(RegOpKind::DeleteTree, path);
                childQuiet = true;
            } else if (flag == Flag::Delete) {
                childQuiet = true;
            }
        }
        if (hasBody) entries(open, path, childQuiet, depth + 1);
        if (quiet || reg || flag == Flag::NoRemove || flag == Flag::Delete) return;
        // Unregister: the key itself (unless already deleted) and the keys its name made above it.
        size_t last = paths.size();
        if (flag == Flag::None) op(RegOpKind::DeleteIfNoSubkeys, paths[last - 1]);
        for (size_t i = last - 1; i-- > 0;) op(RegOpKind::DeleteIfNoSubkeys, paths[i]);
    }

    Token next() {
        if (pushBack_.kind != Tok::End) {
            Token t = std::move(pushBack_);
            pushBack_ = Token{};
            return t;
        }
        return lex_.next();
    }

    Lexer lex_;
    Token pushBack_;

private:
    const RegReplacements& repl_;
    RegMode mode_;
    std::vector<RegOp>& ops_;
    RegRoot root_ = RegRoot::ClassesRoot;
};

}  // namespace

std::string RegScriptError::text() const {
    return "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " + message;
}

bool regScriptOperations(std::string_view script, const RegReplacements& replacements, RegMode mode,
                         std::vector<RegOp>& ops, RegScriptError& err) {
    ops.clear();
    err = RegScriptError{};
    try {
        Parser p(script, replacements, mode, ops);
        p.run();
        return true;
    } catch (const Failure& f) {
        ops.clear();
        err.line = f.line;
        err.column = f.column;
        err.message = f.message;
    } catch (const std::bad_alloc&) {
        ops.clear();
        err.line = 1;
        err.column = 1;
        err.message = "out of memory";
    }
    return false;
}

const char* regRootName(RegRoot root) {
    switch (root) {
        case RegRoot::ClassesRoot: return "HKCR";
        case RegRoot::CurrentUser: return "HKCU";
        case RegRoot::LocalMachine: return "HKLM";
        case RegRoot::Users: return "HKU";
        case RegRoot::CurrentConfig: return "HKCC";
    }
    return "?";
}

std::string regOpText(const RegOp& op) {
    std::string key = std::string(regRootName(op.root)) + (op.key.empty() ? "" : "\\" + op.key);
    switch (op.kind) {
        case RegOpKind::CreateKey: return "create " + key;
        case RegOpKind::DeleteTree: return "deltree " + key;
        case RegOpKind::DeleteIfNoSubkeys: return "delempty " + key;
        case RegOpKind::DeleteValue: return "delval " + key + " " + quoted(op.valueName);
        case RegOpKind::SetValue: break;
    }
    std::string s = "set " + key + " " + (op.valueName.empty() ? std::string("@") : quoted(op.valueName)) + " = ";
    switch (op.type) {
        case RegValueType::String: return s + "s " + quoted(op.text);
        case RegValueType::ExpandString: return s + "e " + quoted(op.text);
        case RegValueType::Dword: return s + "d " + std::to_string(op.number);
        case RegValueType::Binary: {
            s += "b ";
            static const char hex[] = "0123456789abcdef";
            for (uint8_t b : op.bytes) {
                s += hex[b >> 4];
                s += hex[b & 15];
            }
            return s;
        }
    }
    return s;
}

}  // namespace qcom
