#include "materialforms_win.h"

#include <commdlg.h>

#include "aboutbox_win.h"
#include "colourviews_win.h"
#include "htmldialog_win.h"
#include "common_win.h"
#include "forms/application.h"
#include "forms/fileio.h"
#include "forms/inifile.h"
#include "forms/textutil.h"
#include "getname_win.h"
#include "mainqiv_win.h"
#include "matlibrary.h"
#include "msgstrs.h"
#include "namerules.h"
#include "textnums.h"
#include "texts_win.h"

namespace stellwerk {

namespace {

constexpr const char kDefaultPalette[] = "Zorovo";
constexpr int kGradientInset = 8;

std::string saveMaterialDialog(const std::string& folder, const std::string& name) {
    std::string filter = GetMsgText(kTxtMaterialFilter.number);
    while (!filter.empty() && filter.back() == '|') filter.pop_back();
    for (char& c : filter)
        if (c == '|') c = '\0';
    filter.append(2, '\0');
    char file[MAX_PATH * 2] = {};
    name.copy(file, sizeof file - 1);
    const std::string title = GetMsgText(kTxtSaveMaterialTitle.number);
    OPENFILENAMEA of = {};
    of.lStructSize = sizeof of;
    of.hwndOwner = GetActiveWindow();
    of.lpstrFilter = filter.c_str();
    of.nFilterIndex = 1;
    of.lpstrFile = file;
    of.nMaxFile = sizeof file;
    of.lpstrInitialDir = folder.c_str();
    of.lpstrTitle = title.c_str();
    of.lpstrDefExt = "INI";
    of.Flags = OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
    return GetSaveFileNameA(&of) ? std::string(file) : std::string();
}

// A picture's pixel (0x00RRGGBB, top row first) as a colour.
Color pixelColour(const forms::Bitmap& b, int x, int y) {
    if (b.Empty() || x < 0 || y < 0 || x >= b.Width() || y >= b.Height()) return 0;
    const uint32_t p = b.Bits()[size_t(y) * size_t(b.Width()) + size_t(x)];
    return RGB3(int(p >> 16 & 255), int(p >> 8 & 255), int(p & 255));
}

}  // namespace

MaterialForms::MaterialForms(TFMainqiv& main) : Component(&main), f_(main) {
    SetName("MaterialForms");
    ChooseMaterialFile = saveMaterialDialog;
    ChooseTextureFile = [](const std::string& current) { return ChooseImageFile(kTxtTextureTitle.number, current); };

    // Coefficients, opacity and refraction.
    hookScroll("ScrollAmb", "LAmb", [](const MatEntry& m) { return PositionOfCoefficient(m.kAmbient); },
               [](MatEntry& m, int p) { m.kAmbient = CoefficientOfPosition(p); });
    hookScroll("ScrollDif", "LDif", [](const MatEntry& m) { return PositionOfCoefficient(m.kDiffuse); },
               [](MatEntry& m, int p) { m.kDiffuse = CoefficientOfPosition(p); });
    hookScroll("ScrollSpec", "LSpec", [](const MatEntry& m) { return PositionOfCoefficient(m.kSpecular); },
               [](MatEntry& m, int p) { m.kSpecular = CoefficientOfPosition(p); });
    hookScroll("ScrollAlpha", "LAlpha", [](const MatEntry& m) { return int(m.alpha); },
               [](MatEntry& m, int p) { m.alpha = p; });
    hookScroll("ScrollRefIdx", "LRefIdx", [](const MatEntry& m) { return RefractiveIndexOf(m.flags); },
               [](MatEntry& m, int p) { m.flags = WithRefractiveIndex(m.flags, p); });
    hookFlag("ChkTexMask", kMatTexMask);
    hookFlag("ChkTexCol", kMatTexMix);
    hookFlag("ChkTexRefl", kMatReflection);
    hookFlag("ChkBothFace", kMatBothFaces);
    hookFlag("ChkSelfLit", kMatSelfLit);
    f_.Find<forms::Button>("BtnMatMatt")->OnClick = [this](forms::Component*) { preset(kPresetMatte); };
    f_.Find<forms::Button>("BtnMatGlossy")->OnClick = [this](forms::Component*) { preset(kPresetGlossy); };
    f_.Find<forms::Button>("BtnMatGlass")->OnClick = [this](forms::Component*) { preset(kPresetGlass); };
    f_.Find<forms::Control>("SBResetMat")->OnClick = [this](forms::Component*) { f_.mResetObject->Click(); };

    // Texture names: the chooser, the library list and clearing keys.
    f_.Find<forms::Control>("SBTexName")->OnClick = [this](forms::Component*) {
        if (!canEdit() || !f_.Find<forms::Control>("EditTexName")->Enabled()) return;
        const std::string current = editor().CurrentTexture();
        const std::string name = ChooseTextureFile ? ChooseTextureFile(current) : std::string();
        if (!name.empty() && !forms::SameText(name, current)) setTexture(name);
    };
    auto* texEdit = f_.Find<forms::Edit>("EditTexName");
    texEdit->OnKeyUp = [this](forms::Component*, WORD& key, forms::ShiftState) {
        if (key == VK_BACK || key == VK_DELETE) setTexture("");
        key = 0;
    };
    texEdit->OnKeyDown = [](forms::Component*, WORD& key, forms::ShiftState) {
        if (key == VK_BACK || key == VK_DELETE) key = 0;
    };
    f_.LBTexNames->OnClick = [this](forms::Component*) {
        const int i = f_.LBTexNames->ItemIndex();
        if (i >= 0 && i < f_.LBTexNames->Items().Count() && f_.Find<forms::Control>("EditTexName")->Enabled())
            setTexture(f_.LBTexNames->Items()[i]);
    };

    // Material names.
    f_.LBAvailMat->OnDblClick = [this](forms::Component*) { editName(); };
    f_.LBAvailMat->OnKeyDown = [this](forms::Component*, WORD& key, forms::ShiftState) {
        if (key == VK_RETURN) editName();
    };
    f_.Find<forms::MenuItem>("mEditMatName")->OnClick = [this](forms::Component*) { editName(); };
    f_.Find<forms::MenuItem>("mClearMatName")->OnClick = [this](forms::Component*) { clearName(); };
    // A press on an item shows that material highlighted in the viewer until released.
    f_.LBAvailMat->OnMouseDown = [this](forms::Component*, forms::MouseButton b, forms::ShiftState, int x, int y) {
        if (b != forms::MouseButton::Left) return;
        const int i = f_.LBAvailMat->ItemAtPos(x, y, true);
        if (i >= 0) editor().Highlight(viewer(), i, GlobalIni().HiliteClr);
    };
    f_.LBAvailMat->OnMouseUp = [this](forms::Component*, forms::MouseButton, forms::ShiftState, int, int) {
        if (editor().Highlighting()) editor().EndHighlight(viewer());
    };

    // The material library.
    f_.LBIniNames->OnClick = [this](forms::Component*) { libraryClick(); };
    f_.Find<forms::MenuItem>("mSaveMaterial")->OnClick = [this](forms::Component*) { saveMaterial(); };
    for (forms::ListBox* l : {f_.LBIniNames, f_.LBTexNames}) {
        l->OnMouseMove = [this, l](forms::Component*, forms::ShiftState, int x, int y) { fileHint(l, x, y); };
        l->OnMouseLeave = [this](forms::Component*) { f_.LabelApplicationHint->SetCaption(""); };
    }

    // The colour target.
    for (const char* p : {"PanelOldColDif", "PanelColDif"})
        f_.Find<forms::Control>(p)->OnClick = [this](forms::Component*) { SetTarget(true); };
    for (const char* p : {"PanelOldColSpec", "PanelColSpec"})
        f_.Find<forms::Control>(p)->OnClick = [this](forms::Component*) { SetTarget(false); };
    for (const char* n : {"SpinR", "SpinG", "SpinB"}) {
        auto* s = f_.Find<forms::SpinEdit>(n);
        s->OnChange = [this](forms::Component*) {
            if (spinsUpdating_ || !EditingActive) return;
            const Color c = SpinColour(f_.Find<forms::Edit>("SpinR")->Text(), f_.Find<forms::Edit>("SpinG")->Text(),
                                       f_.Find<forms::Edit>("SpinB")->Text());
            SetGradientColour(c);
            SetTargetColor(c, true);
        };
        s->OnExit = [s](forms::Component*) {
            if (s->Text().empty()) s->SetText("0");
        };
    }

    // The gradient and its slider.
    auto* gradPanel = f_.Find<forms::Panel>("PanelColorGrad");
    auto* grad = f_.Find<forms::Image>("ImageColorGrad");
    auto* shape = f_.Find<forms::Shape>("ShapeColorGrad");
    gradPanel->OnResize = [this](forms::Component*) {
        layoutGradient();
        RenderGradient();
        RenderCube();
    };
    shape->OnMouseDown = [this](forms::Component*, forms::MouseButton b, forms::ShiftState, int, int y) {
        if (b == forms::MouseButton::Left) sliderGrab_ = y;
    };
    shape->OnMouseMove = [this, shape](forms::Component*, forms::ShiftState s, int, int y) {
        if ((s & (forms::ssLeft | forms::ssRight | forms::ssMiddle)) == forms::ssLeft)
            sliderMove(shape->Top() + y - sliderGrab_);
    };
    // A press on the gradient takes the slider there.
    grad->OnMouseDown = [this, grad](forms::Component*, forms::MouseButton b, forms::ShiftState, int, int y) {
        if (b != forms::MouseButton::Left) return;
        sliderGrab_ = slider_.height / 2;
        sliderMove(grad->Top() + y - sliderGrab_);
    };
    grad->OnMouseMove = [this, grad](forms::Component*, forms::ShiftState s, int, int y) {
        if ((s & (forms::ssLeft | forms::ssRight | forms::ssMiddle)) == forms::ssLeft)
            sliderMove(grad->Top() + y - sliderGrab_);
    };

    // The cube: the right button turns it, the left one picks.
    auto* cubePanel = f_.Find<forms::Panel>("PanelClrCube");
    auto* cube = f_.Find<forms::Image>("ImageColorCube");
    cubePanel->OnResize = [this](forms::Component*) { RenderCube(); };
    cube->OnMouseDown = [this](forms::Component*, forms::MouseButton b, forms::ShiftState s, int x, int y) {
        cubeMouse(s, x, y, true, b);
    };
    cube->OnMouseMove = [this](forms::Component*, forms::ShiftState s, int x, int y) {
        cubeMouse(s, x, y, false, forms::MouseButton::Middle);
    };
    cube->OnMouseUp = [this](forms::Component*, forms::MouseButton b, forms::ShiftState, int, int) {
        if (b == forms::MouseButton::Right && cubeTurning_) {
            cubeTurning_ = false;
            RenderCube();
        }
    };

    // The palette grid and its menu.
    auto* grid = f_.Find<forms::DrawGrid>("RkColorGrid");
    grid->GridLineWidth = 1;
    grid->FixedCols = grid->FixedRows = 0;
    grid->OnDrawCell = [this](forms::Component*, int c, int r, const forms::Rect& rect, forms::GridDrawState s) {
        drawPaletteCell(c, r, rect, s);
    };
    grid->OnSelectCell = [this](forms::Component*, int c, int r, bool& can) {
        can = true;
        if (!editor().Current()) return;
        const Color colour = palette_[size_t(PaletteEntryOfCell(c, r))];
        SetGradientColour(colour);
        SetTargetColor(colour, true);
    };
    grid->OnMouseMove = [this, grid](forms::Component*, forms::ShiftState, int x, int y) {
        int c = 0, r = 0;
        if (grid->MouseToCell(x, y, c, r) && c >= 0 && r >= 0) {
            const Color colour = palette_[size_t(PaletteEntryOfCell(c, r))];
            f_.LabelApplicationHint->SetCaption(
                forms::Format("%d %d %d", RedOf(colour), GreenOf(colour), BlueOf(colour)));
        } else {
            f_.LabelApplicationHint->SetCaption("");
        }
    };
    grid->OnMouseLeave = [this](forms::Component*) { f_.LabelApplicationHint->SetCaption(""); };
    grid->SetPopupMenu(f_.PopupMenuColorPal);
    paletteName_ = forms::IniFile(GetIniPath()).ReadString("General", "Palette", kDefaultPalette);
    ReadPalette(paletteName_, palette_);
    buildPaletteMenu();

    SetTarget(true);
    layoutGradient();

}

MaterialEditor& MaterialForms::editor() { return f_.session_->Editor(); }
ViewerHost& MaterialForms::viewer() { return *f_.qivobj; }

bool MaterialForms::canEdit() { return EditingActive && editor().Current() && f_.mEdit->Enabled(); }

// After an applied change: the scheme counts as changed, the list and the
// undo commands follow.
void MaterialForms::finish() {
    f_.LBAvailMat->Invalidate();
    f_.updateUndoRedo();
    f_.updateCommands();
}

void MaterialForms::hookScroll(const char* bar, const char* label, int (*get)(const MatEntry&),
                               void (*set)(MatEntry&, int)) {
    auto* s = f_.Find<forms::ScrollBar>(bar);
    auto* l = f_.Find<forms::Label>(label);
    s->OnChange = [this, s, l, get, set](forms::Component*) {
        const int p = s->Position();
        l->SetCaption(std::to_string(p));
        if (!canEdit() || get(*editor().Current()) == p) return;
        if (editor().Change(viewer(), [&](MatEntry& m) { set(m, p); })) finish();
    };
}

void MaterialForms::hookFlag(const char* box, uint32_t bit) {
    auto* c = f_.Find<forms::CheckBox>(box);
    c->OnClick = [this, c, bit](forms::Component*) {
        if (!canEdit() || ((editor().Current()->flags & bit) != 0) == c->Checked()) return;
        const bool on = c->Checked();
        if (editor().Change(viewer(), [&](MatEntry& m) { m.flags = WithFlag(m.flags, bit, on); })) finish();
    };
}

void MaterialForms::preset(const MatPreset& p) {
    if (!canEdit() || !editor().RecordCurrent()) return;
    f_.Find<forms::ScrollBar>("ScrollDif")->SetPosition(p.diffuse);
    f_.Find<forms::ScrollBar>("ScrollAmb")->SetPosition(p.ambient);
    f_.Find<forms::ScrollBar>("ScrollAlpha")->SetPosition(p.alpha);
    f_.Find<forms::ScrollBar>("ScrollSpec")->SetPosition(p.specular);
    finish();
}

void MaterialForms::setTexture(const std::string& name) {
    if (!canEdit() || !editor().SetTexture(viewer(), name)) return;
    EditingActive = false;
    f_.Find<forms::Edit>("EditTexName")->SetText(name);
    EditingActive = true;
    finish();
}

void MaterialForms::editName() {
    if (!canEdit()) return;
    const int i = editor().CurrentIndex();
    std::string name = editor().Working().names.at(size_t(i));
    if (!AskName(kNameMaterial, {}, name) || !editor().SetName(name)) return;
    f_.LblMaterialName->SetCaption(name);
    f_.LblMaterialName->SetHint(name);
    finish();
}

void MaterialForms::clearName() {
    if (!canEdit() || !editor().SetName("")) return;
    f_.LblMaterialName->SetCaption("");
    f_.LblMaterialName->SetHint("");
    finish();
}

void MaterialForms::libraryClick() {
    const int i = f_.LBIniNames->ItemIndex();
    if (!canEdit() || i < 0 || i >= f_.LBIniNames->Items().Count()) return;
    const auto m = ReadLibraryMaterial(forms::IniFile(f_.LBIniNames->Items()[i]));
    if (!m) return;
    // The texture name only reaches a material that carries a texture.
    const bool textured = f_.Find<forms::Control>("EditTexName")->Enabled();
    if (!editor().PasteLibrary(viewer(), m->entry, textured ? m->texture : std::string())) return;
    f_.showMaterial();
    finish();
}

void MaterialForms::saveMaterial() {
    const MatEntry* m = editor().Current();
    if (!m) return;
    const std::string folder = f_.LBIniNames->Hint();
    const std::string path =
        ChooseMaterialFile ? ChooseMaterialFile(folder, editor().Working().names.at(size_t(editor().CurrentIndex())))
                           : std::string();
    if (path.empty()) return;
    if (!SaveLibraryMaterial(path, {*m, editor().CurrentTexture()})) {
        ShowProgramMessage(path, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    f_.fillFileList(f_.LBIniNames, folder, true);
}

void MaterialForms::fileHint(forms::ListBox* list, int x, int y) {
    const int i = list->ItemAtPos(x, y, true);
    f_.LabelApplicationHint->SetCaption(i >= 0 && i < list->Items().Count() ? BaseNameOf(list->Items()[i])
                                                                            : std::string());
}

// The colour target ---------------------------------------------------------

Color MaterialForms::targetColour() const {
    return f_.Find<forms::Panel>(diffuseTarget_ ? "PanelColDif" : "PanelColSpec")->Color();
}

void MaterialForms::SetTarget(bool diffuse) {
    diffuseTarget_ = diffuse;
    f_.Find<forms::Panel>("PanelOldColDif")->SetBevelOuter(diffuse ? forms::Bevel::Lowered : forms::Bevel::Raised);
    f_.Find<forms::Panel>("PanelOldColSpec")->SetBevelOuter(diffuse ? forms::Bevel::Raised : forms::Bevel::Lowered);
    if (const MatEntry* m = editor().Current()) {
        f_.Find<forms::Panel>("PanelColDif")->SetColor(m->diffuse);
        f_.Find<forms::Panel>("PanelColSpec")->SetColor(m->specular);
    }
    SetGradientColour(targetColour());
    SetTargetColor(targetColour(), false);
}

void MaterialForms::MaterialShown() {
    const MatEntry* m = editor().Current();
    if (!m) return;
    const Color c = diffuseTarget_ ? m->diffuse : m->specular;
    SetTargetColor(c, false);
    SetGradientColour(c);
}

void MaterialForms::SetTargetColor(Color colour, bool apply) {
    colour &= 0xFFFFFF;
    spinsUpdating_ = true;
    if (apply && canEdit() && colour != targetColour()) {
        const bool diffuse = diffuseTarget_;
        if (editor().Change(viewer(), [&](MatEntry& m) { (diffuse ? m.diffuse : m.specular) = colour; })) {
            f_.Find<forms::Panel>(diffuse ? "PanelColDif" : "PanelColSpec")->SetColor(colour);
            finish();
        }
    }
    const int parts[3] = {RedOf(colour), GreenOf(colour), BlueOf(colour)};
    const char* const spins[3] = {"SpinR", "SpinG", "SpinB"};
    for (int i = 0; i < 3; ++i) {
        auto* s = f_.Find<forms::SpinEdit>(spins[i]);
        if (!s->Text().empty() || parts[i] != 0) s->SetValue(parts[i]);
    }
    spinsUpdating_ = false;
}

// The gradient and the cube ---------------------------------------------------

void MaterialForms::SetGradientColour(Color c) {
    gradientColour_ = c & 0xFFFFFF;
    RenderGradient();
}

void MaterialForms::layoutGradient() {
    auto* panel = f_.Find<forms::Panel>("PanelColorGrad");
    auto* grad = f_.Find<forms::Image>("ImageColorGrad");
    auto* shape = f_.Find<forms::Shape>("ShapeColorGrad");
    const int w = std::max(1, panel->ClientWidth() - 2 * kGradientInset);
    const int h = std::max(1, panel->ClientHeight() - 2 * kGradientInset);
    grad->SetBounds(kGradientInset, kGradientInset, w, h);
    slider_ = LayoutGradientSlider(kGradientInset, kGradientInset, w, h);
    shape->SetBounds(slider_.left, slider_.top, slider_.width, slider_.height);
    shape->BringToFront();
}

bool MaterialForms::RenderGradient() {
    auto* grad = f_.Find<forms::Image>("ImageColorGrad");
    const bool ok = RenderColourGradient(grad->Picture(), grad->Width(), grad->Height(), gradientColour_);
    grad->Invalidate();
    auto* shape = f_.Find<forms::Shape>("ShapeColorGrad");
    shape->SetTop(slider_.top);
    return ok;
}

void MaterialForms::sliderMove(int top) {
    auto* grad = f_.Find<forms::Image>("ImageColorGrad");
    auto* shape = f_.Find<forms::Shape>("ShapeColorGrad");
    // The colour under the slider's middle row.
    const SliderPick pick = PickOnGradient(slider_, top, [&](int x, int t) {
        const int row = std::clamp(t + slider_.height / 2 - grad->Top(), 0, grad->Height() - 1);
        return pixelColour(grad->Picture(), x, row);
    });
    shape->SetTop(pick.top);
    SetTargetColor(pick.colour, true);
    forms::Application::Instance().ProcessMessages();
}

void MaterialForms::SetAngles(CubeAngles a) {
    angles_ = a;
    RenderCube();
}

bool MaterialForms::RenderCube() {
    auto* cube = f_.Find<forms::Image>("ImageColorCube");
    const bool ok = RenderColourCube(cube->Picture(), cube->Width(), cube->Height(), angles_,
                                     Color(forms::ColorToRGB(forms::clBtnFace)));
    cube->Invalidate();
    return ok;
}

void MaterialForms::cubeMouse(forms::ShiftState shift, int x, int y, bool press, forms::MouseButton button) {
    const forms::ShiftState buttons = shift & (forms::ssLeft | forms::ssRight | forms::ssMiddle);
    if (press && button == forms::MouseButton::Right) {
        cubeLast_ = {x, y};
        cubeTurning_ = true;
        return;
    }
    if (!press && buttons == forms::ssRight && cubeTurning_) {
        angles_ = TurnCube(angles_, x - cubeLast_.x, y - cubeLast_.y);
        cubeLast_ = {x, y};
        RenderCube();
        f_.Find<forms::Image>("ImageColorCube")->Repaint();
        return;
    }
    if ((press && button == forms::MouseButton::Left) || (!press && buttons == forms::ssLeft)) {
        const Color c = pixelColour(f_.Find<forms::Image>("ImageColorCube")->Picture(), x, y);
        SetGradientColour(c);
        SetTargetColor(c, true);
    }
}

// The palette -------------------------------------------------------------------

void MaterialForms::drawPaletteCell(int col, int row, const forms::Rect& r, forms::GridDrawState state) {
    auto* grid = f_.Find<forms::DrawGrid>("RkColorGrid");
    forms::Canvas& c = grid->GetCanvas();
    c.brush.color = palette_[size_t(PaletteEntryOfCell(col, row))];
    c.FillRect(r);
    RECT edge{r.left, r.top, r.right, r.bottom};
    DrawEdge(c.Handle(), &edge, BDR_SUNKENINNER, BF_RECT);
    if (state & forms::gdSelected) {
        c.brush.clear = true;
        c.pen.color = forms::clBlack;
        c.Ellipse({r.left + 4, r.top + 4, r.right - 4, r.bottom - 4});
        c.brush.clear = false;
    }
}

void MaterialForms::ReadPaletteFile(const std::string& name) {
    paletteName_ = name;
    ReadPalette(name, palette_);
    f_.Find<forms::DrawGrid>("RkColorGrid")->Invalidate();
}

void MaterialForms::buildPaletteMenu() {
    forms::MenuItem* root = f_.PopupMenuColorPal->Items();
    root->Clear();
    const PaletteMenu menu = ListPalettes(GetPalettesFolder(), paletteName_);
    for (size_t i = 0; i < menu.captions.size(); ++i) {
        auto* m = new forms::MenuItem(&f_);
        m->SetCaption(menu.captions[i]);
        m->SetChecked(int(i) == menu.checked);
        m->OnClick = [this, m](forms::Component*) {
            forms::MenuItem* items = f_.PopupMenuColorPal->Items();
            for (int k = 0; k < items->Count(); ++k) items->Items(k)->SetChecked(items->Items(k) == m);
            forms::IniFile ini(GetIniPath());
            ini.WriteString("General", "Palette", m->Caption());
            ini.UpdateFile();
            ReadPaletteFile(m->Caption());
        };
        root->Add(m);
    }
}

}  // namespace stellwerk
