// The imaging components' exception, and the status text that progress reports show
// ("Reading <file>" and the like).
#pragma once
#include <string>

#include "platform/forms/exception.h"

namespace imaging {

const std::string& StatusText();
void SetStatusText(const std::string& text);

// Destroying one clears the status text.
class ErrorInvalid : public forms::Exception {
public:
    explicit ErrorInvalid(const std::string& message) : forms::Exception(message) {}
    ErrorInvalid(const ErrorInvalid&) = default;
    ~ErrorInvalid() override;
};

}  // namespace imaging
