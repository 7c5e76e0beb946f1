#pragma once
// The About box: the program's name, a product mark with its overlay text,
// and a link label that opens the product's home page.
#include <functional>
#include <string>

#include "forms/extctrls.h"
#include "forms/form.h"
#include "forms/stdctrls.h"

namespace stellwerk {

constexpr const char kProductHomePage[] = "http://localhost/stellwerk/";

// The product mark: a drawn picture with a text laid over it, optionally
// with a shadow one pixel down and right.
class TProgramMark : public forms::GraphicControl {
public:
    explicit TProgramMark(forms::Component* owner);
    std::string Text;
    int TextLeft = 0, TextTop = 0;
    bool TextTransParent = true, TextShadow = false;
    forms::TColor TextShadowColor = 0x808080;
    forms::Font TextFont;

protected:
    void Paint(forms::Canvas& canvas) override;
};

class TAboutBox : public forms::Form {
public:
    explicit TAboutBox(forms::Component* owner);

    forms::Panel* Panel1 = nullptr;
    forms::Label *ProductName = nullptr, *Version = nullptr, *BlankLineTop = nullptr, *BlankLineBottom = nullptr,
                 *LblDemoHomePage = nullptr;
    TProgramMark* ProgramIcon = nullptr;
    forms::Button* OKButton = nullptr;

    // Opens the home page (the shell's "open" verb unless replaced).
    std::function<void(const std::string&)> OpenPage;

    // Lays the form out around Panel1.
    void Panel1Resize();

private:
    void FormShow();
    std::function<void(MSG&, bool&)> savedHook_;
};

}  // namespace stellwerk
