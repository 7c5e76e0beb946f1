#include "aboutbox_win.h"

#include <shellapi.h>

#include "common.h"
#include "common_win.h"
#include "forms/application.h"

namespace stellwerk {

TProgramMark::TProgramMark(forms::Component* owner) : GraphicControl(owner) {}

void TProgramMark::Paint(forms::Canvas& c) {
    const forms::Rect r = ClientRect();
    // The mark: a purple tile with a lighter cube outline.
    c.brush.color = forms::TColor(RGB3(240, 228, 244));
    c.FillRect(r);
    c.pen.color = forms::TColor(RGB3(115, 23, 108));
    c.pen.width = 2;
    const int s = std::min(r.Width(), r.Height()) / 3, cx = r.Width() / 4, cy = r.Height() / 2;
    c.brush.color = forms::TColor(RGB3(204, 153, 255));
    c.Polygon({{cx - s, cy - s / 2}, {cx, cy - s}, {cx + s, cy - s / 2}, {cx + s, cy + s / 2}, {cx, cy + s},
               {cx - s, cy + s / 2}});
    c.pen.width = 1;
    if (Text.empty()) return;
    c.font = TextFont;
    SetBkMode(c.Handle(), TextTransParent ? TRANSPARENT : OPAQUE);
    if (TextShadow) {
        const forms::TColor colour = TextFont.Color();
        c.font.SetColor(TextShadowColor);
        c.TextOut(TextLeft + 1, TextTop + 1, Text);
        c.font.SetColor(colour);
    }
    c.TextOut(TextLeft, TextTop, Text);
}

TAboutBox::TAboutBox(forms::Component* owner) : Form(owner) {
    SetName("AboutBox");
    SetCaption("About");
    SetBorderStyle(forms::BorderStyle::Dialog);
    SetPosition(forms::FormPosition::ScreenCenter);
    Panel1 = MakeControl<forms::Panel>(this, this, "Panel1", 8, 8, 281, 161);
    Panel1->SetBevelOuter(forms::Bevel::Lowered);
    Panel1->SetCaption("");
    ProgramIcon = MakeControl<TProgramMark>(this, Panel1, "ProgramIcon", 8, 8, 265, 80);
    BlankLineTop = MakeControl<forms::Label>(this, Panel1, "BlankLineTop", 8, 92, 265, 8);
    BlankLineTop->SetCaption("");
    ProductName = MakeControl<forms::Label>(this, Panel1, "ProductName", 8, 100, 265, 14);
    ProductName->SetCaption("Fernlicht");
    Version = MakeControl<forms::Label>(this, Panel1, "Version", 8, 116, 265, 14);
    Version->SetCaption("Presentation of 3D objects");
    BlankLineBottom = MakeControl<forms::Label>(this, Panel1, "BlankLineBottom", 8, 130, 265, 8);
    BlankLineBottom->SetCaption("");
    LblDemoHomePage = MakeControl<forms::Label>(this, Panel1, "LblDemoHomePage", 8, 140, 265, 14);
    LblDemoHomePage->SetCaption(kProductHomePage);
    LblDemoHomePage->GetFont().SetColor(forms::clBlue);
    LblDemoHomePage->GetFont().SetStyle(forms::fsUnderline);
    LblDemoHomePage->SetCursor(LoadCursor(nullptr, IDC_HAND));
    OKButton = MakeControl<forms::Button>(this, this, "OKButton", 0, 0, 75, 25);
    OKButton->SetCaption("OK");
    OKButton->SetDefault(true);
    OKButton->SetCancel(true);
    OKButton->SetModalResult(forms::mrOk);

    OpenPage = [](const std::string& page) {
        ShellExecuteA(nullptr, "open", page.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    };
    LblDemoHomePage->OnClick = [this](forms::Component*) {
        if (OpenPage) OpenPage(kProductHomePage);
    };
    Panel1->OnResize = [this](forms::Component*) { Panel1Resize(); };
    OnShow = [this](forms::Component*) { FormShow(); };
    OnClose = [this](forms::Component*, forms::CloseAction&) {
        forms::Application::Instance().OnMessage = std::move(savedHook_);
    };
    Panel1Resize();
}

void TAboutBox::Panel1Resize() {
    OKButton->SetTop(Panel1->Height() + 2 * Panel1->Top());
    const int clientWidth = Panel1->Width() + 2 * Panel1->Left();
    OKButton->SetLeft((clientWidth - OKButton->Width()) / 2);
    SetClientSize(clientWidth, OKButton->BoundsRect().bottom + Panel1->Top());
}

void TAboutBox::FormShow() {
    forms::Application& app = forms::Application::Instance();
    savedHook_ = std::move(app.OnMessage);
    app.OnMessage = nullptr;
    ProgramIcon->TextLeft = 49;
    ProgramIcon->TextTop = 44;
    ProgramIcon->TextTransParent = true;
    ProgramIcon->TextShadowColor = 0x808080;
    ProgramIcon->TextShadow = true;
    ProgramIcon->TextFont.SetName("Verdana");
    ProgramIcon->TextFont.SetSize(16);
    ProgramIcon->TextFont.SetStyle(forms::fsBold);
    ProgramIcon->TextFont.SetColor(forms::TColor(RGB3(115, 23, 108)));
    ProgramIcon->Text = "Fernlicht";
    ProgramIcon->Invalidate();
}

}  // namespace stellwerk
