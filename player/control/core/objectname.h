// An object's name as the control's entrances (LoadObject, ObjectURL) read it, once:
// nothing, a local file or an address to download.
#pragma once
#include <functional>
#include <string>
#include <string_view>

namespace qivctl {

// A "file://" name is a local file, its path read as the bind plan reads it (the '/' of a
// "file:///C:/..." form dropped, percent escapes decoded when only the decoded file exists);
// a name with another scheme is an address; any other name is a local path as it stands.
struct ObjectName {
    enum class Kind { None, Local, Address };
    Kind kind = Kind::None;
    std::string path;  // Local: the file's path; Address: the name itself
};
ObjectName resolveObjectName(std::string_view name, const std::function<bool(const std::string&)>& exists);

// Names with a scheme other than "file".
bool namesAddressScheme(std::string_view name);

}  // namespace qivctl
