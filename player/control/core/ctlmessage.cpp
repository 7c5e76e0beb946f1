#include "ctlmessage.h"

namespace qivctl {

namespace {

std::string substitute(const std::string& text, const std::string& argument, char conversion) {
    std::string out;
    bool used = false;
    for (size_t i = 0; i < text.size() && out.size() < kMessageMax; ++i) {
        char c = text[i];
        if (c == '%' && i + 1 < text.size()) {
            char n = text[i + 1];
            if (n == '%') {
                out += '%';
                ++i;
                continue;
            }
            if (!used && n == conversion) {
                out += argument;
                used = true;
                ++i;
                continue;
            }
        }
        out += c;
    }
    if (out.size() > kMessageMax) out.resize(kMessageMax);
    return out;
}

}  // namespace

std::string formatMessage(const std::string& text, const std::string& argument) {
    return substitute(text, argument, 's');
}

std::string formatMessage(const std::string& text, int32_t argument) {
    return substitute(text, std::to_string(argument), 'd');
}

}  // namespace qivctl
