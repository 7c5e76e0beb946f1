#pragma once
// Stellwerk's start: the three checks before any window exists, then the
// main form and the message loop.
#include <string>

namespace stellwerk {

// Loads the two text files of the Support folder; false (message shown)
// when one is missing.
bool LoadTextFiles();
// The viewer control can be made; false (text 132 shown) otherwise.
bool CheckControlRegistered();
// The INI file can be written; false (its path and text 192 shown) otherwise.
bool CheckIniWritable();
// The program's first parameter (an object to open), or empty.
std::string FirstParameter();
// The whole program; its exit code.
int StellwerkMain();

}  // namespace stellwerk
