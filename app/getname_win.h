#pragma once
// The name dialog: asks for a new or an existing name, by mode.
#include <string>
#include <vector>

#include "forms/form.h"
#include "forms/menus.h"
#include "forms/stdctrls.h"
#include "namerules.h"

namespace stellwerk {

// The dialog's modes (the numbers of the name rules' modes).
enum NameMode {
    kNameAddView = kNameModeAddView,
    kNameUpdateView = kNameModeUpdateView,
    kNameRenameView = kNameModeRenameView,
    kNameSaveSchemeAs = kNameModeSaveSchemeAs,
    kNameRenameScheme = kNameModeRenameScheme,
    kNameMaterial = kNameModeMaterial,
    kNameNewFolder = kNameModeNewFolder,
    kNameBatch = kNameModeBatch,
};

// Where the existing names come from: the captions of a menu item's
// sub-items (a Tag other than 0 marks a locked one), or the lines of a
// list, or the names given; and the names a view or batch may not take.
struct NameSource {
    forms::MenuItem* menu = nullptr;
    const forms::StringList* list = nullptr;
    std::vector<std::string> names;
    std::vector<std::string> batches;  // batch names of the views file
    std::vector<std::string> views;    // view names, for a batch's name
};

class TFGetName : public forms::Form {
public:
    explicit TFGetName(forms::Component* owner);
    ~TFGetName() override;
    // Sets the mode's caption, prompt, field and names; false for an unknown mode.
    bool Prepare(int mode, const NameSource& source, const std::string& name);
    bool Accepted() const { return accepted_; }
    const std::string& AcceptedName() const { return acceptedName_; }

    forms::Label* LblInput;
    forms::Edit* EditName;
    forms::ComboBox* ComboName;
    forms::Button* BtnOk;
    forms::Button* BtnCancel;

private:
    void okClick();
    void keyFilter(char& key);
    int mode_ = -1;
    std::vector<bool> locked_;
    std::vector<std::string> batches_, views_;
    std::string acceptedName_;
    bool accepted_ = false;
    std::function<void(MSG&, bool&)> savedHook_;
};

// Creates the dialog, runs it and frees it; on acceptance name is the new name.
bool AskName(int mode, const NameSource& source, std::string& name);

}  // namespace stellwerk
