#pragma once
// Stellwerk's numbered interface texts: the two text files of the Support
// folder, a text looked up by its number (the 0-based line), and the fields
// of a text ("caption|hint|shortcut letter").
#include <string>

#include "forms/stringlist.h"

namespace stellwerk {

constexpr const char* kMsgFileName = "MsgLbl.txt";
constexpr const char* kMenuFileName = "Menu.txt";

// Label, hint and message texts; menu texts.
forms::StringList& MsgLines();
forms::StringList& MenuLines();

// Every "Stellwerk!" becomes "Fernlicht"; then "##" comments go, each up to
// the next "|" (or the end of the text).
std::string StripTextComments(std::string text);
// Takes the next "|"-separated field off the front of rest.
std::string TakeField(std::string& rest);
// Line number of the list without its first 4 characters, comments
// stripped; empty past the end or for lines shorter than 4 characters.
std::string GetTextLine(int number, const forms::StringList& list);
std::string GetMsgText(int number);
std::string GetMenuText(int number);

// The fields of a menu text: caption, hint, and the Ctrl shortcut letter
// (0 when the third field does not start with a letter A to Z).
struct MenuFields {
    std::string caption, hint;
    char shortcut = 0;
};
MenuFields SplitMenuText(std::string text);

}  // namespace stellwerk
