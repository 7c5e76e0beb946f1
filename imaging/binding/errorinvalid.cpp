#include "errorinvalid.h"

namespace imaging {

namespace {
std::string& statusText() {
    static std::string text;
    return text;
}
}  // namespace

const std::string& StatusText() { return statusText(); }
void SetStatusText(const std::string& text) { statusText() = text; }

ErrorInvalid::~ErrorInvalid() { statusText().clear(); }

}  // namespace imaging
