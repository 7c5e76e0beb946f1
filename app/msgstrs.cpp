#include "msgstrs.h"

#include "common.h"

namespace stellwerk {

forms::StringList& MsgLines() {
    static forms::StringList lines;
    return lines;
}

forms::StringList& MenuLines() {
    static forms::StringList lines;
    return lines;
}

std::string StripTextComments(std::string text) {
    text = ReplaceAll(text, "Stellwerk!", "Fernlicht");
    const size_t hash = text.find("##");
    if (hash == std::string::npos) return text;
    const std::string head = text.substr(0, hash);
    const std::string rest = text.substr(hash + 2);
    const size_t bar = rest.find('|');
    if (bar == std::string::npos) return head;
    return head + "|" + StripTextComments(rest.substr(bar + 1));
}

std::string TakeField(std::string& rest) {
    const size_t bar = rest.find('|');
    std::string field;
    if (bar == std::string::npos) {
        field = std::move(rest);
        rest.clear();
    } else {
        field = rest.substr(0, bar);
        rest.erase(0, bar + 1);
    }
    return field;
}

std::string GetTextLine(int number, const forms::StringList& list) {
    if (number < 0 || number >= list.Count()) return {};
    const std::string& line = list[number];
    if (line.size() < 4) return {};
    return StripTextComments(line.substr(4));
}

std::string GetMsgText(int number) { return GetTextLine(number, MsgLines()); }
std::string GetMenuText(int number) { return GetTextLine(number, MenuLines()); }

MenuFields SplitMenuText(std::string text) {
    MenuFields f;
    f.caption = TakeField(text);
    f.hint = TakeField(text);
    if (!text.empty()) {
        char c = text[0];
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
        if (c >= 'A' && c <= 'Z') f.shortcut = c;
    }
    return f;
}

}  // namespace stellwerk
