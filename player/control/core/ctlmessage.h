// Text of the control's message boxes: a string-table text with one argument put in its
// place, at most kMessageMax characters. Only the first "%s" (or "%d" for a number) takes
// the argument; "%%" is a percent sign; any other conversion is kept as written, so a text
// from any language's table can never read past its argument.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace qivctl {

constexpr size_t kMessageMax = 1024;

std::string formatMessage(const std::string& text, const std::string& argument);
std::string formatMessage(const std::string& text, int32_t argument);

}  // namespace qivctl
