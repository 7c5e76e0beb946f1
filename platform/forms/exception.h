#pragma once
// The form layer's exception class: errors raised by forms, components and
// the parts built on them carry a message for the user.
#include <stdexcept>
#include <string>

namespace forms {

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

// An operation the object's state does not allow (a control placed where it
// cannot go, a property that can no longer change).
class EInvalidOperation : public Exception {
public:
    using Exception::Exception;
};

}  // namespace forms
