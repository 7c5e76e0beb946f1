#pragma once
// The name dialog: asks for a new or an existing name, by mode.
#include <string>

#include "forms/form.h"
#include "forms/menus.h"
#include "forms/stdctrls.h"
#include "namerules.h"

namespace stellwerk {

enum NameMode {
    kNameAddView = 0,
    kNameUpdateView = 1,
    kNameRenameView = 2,
    kNameSaveSchemeAs = 3,
    kNameRenameScheme = 4,
    kNameMaterial = 5,
    kNameNewFolder = 6,
    kNameBatch = 7,
};

// Where the existing names come from: the captions of a menu item's
// sub-items, or the lines of a list, or nothing.
struct NameSource {
    forms::MenuItem* menu = nullptr;
    const forms::StringList* list = nullptr;
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
    forms::MenuItem* menu_ = nullptr;
    std::string acceptedName_;
    bool accepted_ = false;
    std::function<void(MSG&, bool&)> savedHook_;
};

// Creates the dialog, runs it and frees it; on acceptance name is the new name.
bool AskName(int mode, const NameSource& source, std::string& name);

// The characters a name may not hold (they cannot stand in a file name).
bool HasForbiddenNameChar(const std::string& name);

}  // namespace stellwerk
