#include "useropts.h"

#include <cstring>

namespace {

void copyPath(char (&dst)[kQivOptionPathSize], const char* src, size_t n) {
    if (n >= kQivOptionPathSize) n = kQivOptionPathSize - 1;
    std::memcpy(dst, src, n);
    dst[n] = 0;
}

}  // namespace

const char* QivUserOptions::valueName(QivDwordOption which) {
    switch (which) {
    case QivDwordOption::AutoSave: return "AutoSave";
    case QivDwordOption::SaveFilesWithDocument: return "SaveFilesWithDocument";
    case QivDwordOption::Use4DVision: return "Use4DVision";
    case QivDwordOption::Use3DHardware: return "Use3DHardware";
    }
    return "";
}

const char* QivUserOptions::valueName(QivPathOption which) {
    return which == QivPathOption::ObjectPath ? "ObjectPath" : "TexturePath";
}

uint32_t QivUserOptions::defaultValue(QivDwordOption which) {
    return which == QivDwordOption::Use3DHardware ? 1u : 0u;
}

void QivUserOptions::reset() {
    for (Dword& d : dwords_) d = Dword();
    for (Path& p : paths_) p = Path();
}

uint32_t QivUserOptions::get(QivDwordOption which) {
    Dword& d = dwords_[static_cast<int>(which)];
    if (d.read) return d.value;
    d.value = defaultValue(which);
    if (store_ && store_->canRead()) {
        uint32_t v;
        if (store_->readDword(valueName(which), v)) d.value = v;
        d.read = true;  // a missing key makes the next call try again
    }
    return d.value;
}

long QivUserOptions::set(QivDwordOption which, uint32_t value) {
    Dword& d = dwords_[static_cast<int>(which)];
    d.value = value;
    d.read = true;
    return store_ ? store_->writeDword(valueName(which), value) : 0;
}

void QivUserOptions::takeDefaultPaths() {
    if (!store_) return;
    std::string texture, object;
    if (!store_->defaultPaths(texture, object)) return;
    Path& t = paths_[static_cast<int>(QivPathOption::TexturePath)];
    Path& o = paths_[static_cast<int>(QivPathOption::ObjectPath)];
    copyPath(t.value, texture.data(), texture.size());
    copyPath(o.value, object.data(), object.size());
    t.read = o.read = true;
}

const char* QivUserOptions::get(QivPathOption which) {
    Path& p = paths_[static_cast<int>(which)];
    if (p.read) return p.value;
    char buf[kQivOptionPathSize];
    size_t got = 0;
    if (store_ && store_->canRead() && store_->readString(valueName(which), buf, sizeof buf, got)) {
        if (got > sizeof buf) got = sizeof buf;
        // The value need not carry its terminator; it ends at the first zero.
        size_t n = 0;
        while (n < got && buf[n]) ++n;
        copyPath(p.value, buf, n);
        p.read = true;
    } else {
        takeDefaultPaths();
    }
    return p.value;
}

long QivUserOptions::set(QivPathOption which, const char* path) {
    Path& p = paths_[static_cast<int>(which)];
    const char* s = path ? path : "";
    copyPath(p.value, s, std::strlen(s));
    p.read = true;
    return store_ ? store_->writeString(valueName(which), p.value, std::strlen(p.value) + 1) : 0;
}

std::string qivSiblingFile(const std::string& programPath, const std::string& fileName) {
    size_t slash = programPath.rfind('\\');
    if (slash == std::string::npos) return std::string();
    return programPath.substr(0, slash + 1) + fileName;
}
