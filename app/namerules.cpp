#include "namerules.h"

#include <cstring>

#include "forms/textutil.h"
#include "viewsfile.h"

namespace stellwerk {

namespace {

int indexIn(const std::vector<std::string>& list, std::string_view name) {
    for (size_t i = 0; i < list.size(); ++i)
        if (forms::SameText(list[i], name)) return int(i);
    return -1;
}

NameProblem shape(const std::string& name) {
    if (name.empty()) return NameProblem::Empty;
    if (name.size() > kViewNameMax) return NameProblem::TooLong;
    if (name[0] == ';' || name[0] == '[') return NameProblem::BadCharacter;
    for (char c : name)
        if (IsNameKeyFiltered(c) || c == ',' || c == ']' || c == '=' || static_cast<unsigned char>(c) < ' ')
            return NameProblem::BadCharacter;
    return NameProblem::None;
}

bool reserved(const std::string& name, const std::vector<std::string>& batches) {
    for (const char* r : {kGeneralSection, kLastViewSection, kBatchRenderSection, kBatchNamesSection})
        if (forms::SameText(name, r)) return true;
    return indexIn(batches, name) >= 0;
}

}  // namespace

bool IsNameModeValid(int mode) { return mode >= kNameModeAddView && mode <= kNameModeBatch; }
bool NameModeUsesCombo(int mode) { return mode == kNameModeUpdateView || mode == kNameModeSaveSchemeAs; }

bool IsNameKeyFiltered(char c) { return c != 0 && std::strchr("\"*/:<>?\\|", c) != nullptr; }

NameProblem CheckViewName(std::string_view text, const std::vector<std::string>& views,
                          const std::vector<std::string>& batches) {
    const std::string name = forms::Trim(text);
    if (NameProblem p = shape(name); p != NameProblem::None) return p;
    if (reserved(name, batches)) return NameProblem::Reserved;
    if (indexIn(views, name) >= 0) return NameProblem::Taken;
    return NameProblem::None;
}

NameProblem CheckBatchName(std::string_view text, const std::vector<std::string>& views,
                           const std::vector<std::string>& batches) {
    const std::string name = forms::Trim(text);
    if (NameProblem p = shape(name); p != NameProblem::None) return p;
    if (reserved(name, {}) || indexIn(views, name) >= 0) return NameProblem::Reserved;
    if (indexIn(batches, name) >= 0) return NameProblem::Taken;
    return NameProblem::None;
}

NameProblem CheckDialogName(int mode, std::string_view text, const std::vector<std::string>& listed,
                            const std::vector<bool>& locked, const std::vector<std::string>& batches,
                            const std::vector<std::string>& views) {
    const std::string name = forms::Trim(text);
    if (name.empty()) return NameProblem::Empty;
    const int found = indexIn(listed, name);
    switch (mode) {
    case kNameModeUpdateView:
        return found >= 0 ? NameProblem::None : NameProblem::Taken;
    case kNameModeSaveSchemeAs:
        if (found >= 0 && size_t(found) < locked.size() && locked[size_t(found)]) return NameProblem::Taken;
        break;
    case kNameModeAddView:
    case kNameModeRenameView:
        return CheckViewName(name, listed, batches);
    case kNameModeBatch:
        return CheckBatchName(name, views, listed);
    default:
        if (!IsNameModeValid(mode)) return NameProblem::Reserved;
        if (found >= 0) return NameProblem::Taken;
        break;
    }
    // Scheme, material and folder names become file or section names.
    for (char c : name)
        if (IsNameKeyFiltered(c) || static_cast<unsigned char>(c) < ' ') return NameProblem::BadCharacter;
    return NameProblem::None;
}

}  // namespace stellwerk
