#pragma once
// The names the name dialog accepts: its key filter, the per-mode rule, and
// the rules that keep a view or batch name from breaking the views file.
#include <string>
#include <string_view>
#include <vector>

namespace stellwerk {

// Name dialog modes (the numbers of the dialog's own NameMode).
enum NameDialogMode {
    kNameModeAddView = 0,
    kNameModeUpdateView = 1,
    kNameModeRenameView = 2,
    kNameModeSaveSchemeAs = 3,
    kNameModeRenameScheme = 4,
    kNameModeMaterial = 5,
    kNameModeNewFolder = 6,
    kNameModeBatch = 7,
};
bool IsNameModeValid(int mode);
// The mode uses the combo box rather than the edit field.
bool NameModeUsesCombo(int mode);

// Characters the dialog's fields swallow: " * / : < > ? \ |
bool IsNameKeyFiltered(char c);

// Why a name is refused (the dialog shows kTxtNameRefused for each; the
// view manager's own rename shows its text 70 for Taken).
enum class NameProblem { None, Empty, Taken, Reserved, BadCharacter, TooLong };

// A new view name: not empty, at most 50 characters, none of the swallowed
// characters, no "," "]" "=" or control character, no leading ";" or "[",
// not a reserved section ("General", "<LastView>", "BatchRender",
// "BatchNames") or batch name, not another view's name; all compared
// without regard to letter case. The name is taken trimmed.
NameProblem CheckViewName(std::string_view name, const std::vector<std::string>& views,
                          const std::vector<std::string>& batches);
// A batch name: the same rules, and not a view's name either.
NameProblem CheckBatchName(std::string_view name, const std::vector<std::string>& views,
                           const std::vector<std::string>& batches);

// The dialog's OK rule for a mode: the trimmed text; empty does nothing
// (Empty); mode 1 takes only a listed name, mode 3 a new one or a listed
// one whose entry is not locked, every other mode only a new one. Views
// (modes 0, 2) and batches (7) also pass CheckViewName / CheckBatchName
// with batches given; locked has one flag per listed name.
NameProblem CheckDialogName(int mode, std::string_view text, const std::vector<std::string>& listed,
                            const std::vector<bool>& locked = {}, const std::vector<std::string>& batches = {},
                            const std::vector<std::string>& views = {});

}  // namespace stellwerk
