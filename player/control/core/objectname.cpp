#include "objectname.h"

#include "transfers.h"

namespace qivctl {

bool namesAddressScheme(std::string_view name) {
    return name.find("://") != std::string_view::npos && !isFileUrl(name);
}

ObjectName resolveObjectName(std::string_view name, const std::function<bool(const std::string&)>& exists) {
    ObjectName n;
    if (name.empty()) return n;
    if (namesAddressScheme(name)) {
        n.kind = ObjectName::Kind::Address;
        n.path = std::string(name);
        return n;
    }
    n.kind = ObjectName::Kind::Local;
    if (isFileUrl(name))
        n.path = planBind(name, false, true, exists).localPath;
    else
        n.path = std::string(name);
    return n;
}

}  // namespace qivctl
