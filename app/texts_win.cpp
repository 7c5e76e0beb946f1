#include "texts_win.h"

#include "forms/application.h"
#include "imageconvert_win.h"
#include "msgstrs.h"

namespace stellwerk {

std::string TextOf(const TextId& id) {
    return id.list == TextList::Menu ? GetMenuText(id.number) : GetMsgText(id.number);
}

void SetCaptionText(const TextId& id, forms::Control* c) {
    if (!c) return;
    std::string rest = TextOf(id);
    c->SetCaption(TakeField(rest));
    c->SetHint(TakeField(rest));
    c->SetShowHint(true);
}

void SetHintText(const TextId& id, forms::Control* c) {
    if (!c) return;
    std::string rest = TextOf(id);
    c->SetHint(TakeField(rest));
    c->SetShowHint(true);
}

void SetWholeHint(const TextId& id, forms::Control* c) {
    if (!c) return;
    c->SetHint(TextOf(id));
    c->SetShowHint(true);
}

void SetRadioGroupText(const TextId& id, forms::RadioGroup* g, std::initializer_list<int> items) {
    if (!g) return;
    SetCaptionText(id, g);
    g->Items().Clear();
    for (int n : items) g->Items().Add(GetMsgText(n));
}

void SetMenuText(const TextId& id, forms::MenuItem* item) {
    if (!item) return;
    const MenuFields f = SplitMenuText(TextOf(id));
    item->SetCaption(f.caption);
    item->SetHint(f.hint);
    if (f.shortcut) item->SetShortCut(forms::MakeShortCut(WORD(f.shortcut), forms::ssCtrl));
}

void ApplyMainFormTexts(forms::Form& form) {
    auto menu = [&](const TextId& id, const char* name) { SetMenuText(id, form.Find<forms::MenuItem>(name)); };
#define STELLWERK_MENU(name, list, number, use) \
    if (TextList::list == TextList::Menu) menu(name, #name + 9);
    STELLWERK_TEXTS(STELLWERK_MENU)
#undef STELLWERK_MENU
    // The toolbar items share the hints of their menu items.
    auto copyHint = [&](const char* from, const char* to) {
        auto* m = form.Find<forms::MenuItem>(from);
        auto* c = form.Find<forms::Control>(to);
        if (m && c) {
            c->SetHint(m->Hint());
            c->SetShowHint(true);
        }
    };
    copyHint("mOpen", "TBItemFileOpen");
    copyHint("mCopy", "TBItemEditCopy");
    copyHint("mPaste", "TBItemEditPaste");
    for (const char* hidden : {"mHelpFile", "mHelpSeparator"})
        if (auto* m = form.Find<forms::MenuItem>(hidden)) m->SetVisible(false);
    // Tool windows take the captions of their menu items.
    static const std::pair<const char*, const char*> windows[] = {
        {"ToolbarMaterials", "mToolBarMaterials"},       {"ToolbarFileEdit", "mToolbarFileEdit"},
        {"ToolbarEditMaterial", "mToolbarEditMaterial"}, {"ToolbarLight", "mToolBarLight"},
        {"ToolbarMaterialColor", "mToolBarMaterialColor"}, {"ToolbarInformation", "mToolbarInformation"},
        {"ToolbarView", "mToolbarView"},                 {"ToolbarViewScheme", "mToolBarViewScheme"},
    };
    for (const auto& w : windows) {
        auto* c = form.Find<forms::Control>(w.first);
        auto* m = form.Find<forms::MenuItem>(w.second);
        if (c && m) c->SetCaption(m->Caption());
    }
    auto caption = [&](const TextId& id, const char* name) { SetCaptionText(id, form.Find<forms::Control>(name)); };
    caption(kTxtLblAmb, "LblAmb");
    caption(kTxtLblDif, "LblDif");
    caption(kTxtLblSpec, "LblSpec");
    caption(kTxtLblOpa, "LblOpa");
    caption(kTxtLblRef, "LblRef");
    caption(kTxtChkSelfLit, "ChkSelfLit");
    caption(kTxtChkBothFace, "ChkBothFace");
    caption(kTxtChkTexMask, "ChkTexMask");
    caption(kTxtChkTexCol, "ChkTexCol");
    caption(kTxtChkTexRefl, "ChkTexRefl");
    caption(kTxtBtnMatMatt, "BtnMatMatt");
    caption(kTxtBtnMatGlossy, "BtnMatGlossy");
    caption(kTxtBtnMatGlass, "BtnMatGlass");
    auto hint = [&](const TextId& id, const char* name) { SetHintText(id, form.Find<forms::Control>(name)); };
    hint(kTxtSBRecurseMat, "SBRecurseMat");
    hint(kTxtSBMatFolder, "SBMatFolder");
    hint(kTxtSBRecurseTex, "SBRecurseTex");
    hint(kTxtSBTexName, "SBTexName");
    hint(kTxtPanelColDif, "PanelOldColDif");
    hint(kTxtPanelColDif, "PanelColDif");
    hint(kTxtPanelColSpec, "PanelOldColSpec");
    hint(kTxtPanelColSpec, "PanelColSpec");
    auto whole = [&](const TextId& id, const char* name) { SetWholeHint(id, form.Find<forms::Control>(name)); };
    whole(kTxtTBItemRotation, "TBItemRotation");
    whole(kTxtTBItemSelection, "TBItemSelection");
    whole(kTxtSBLt1, "SBLt1");
    whole(kTxtSBLt2, "SBLt2");
    whole(kTxtSBLt3, "SBLt3");
    whole(kTxtSBLt4, "SBLt4");
    whole(kTxtSBLt5, "SBLt5");
    whole(kTxtSBDayNight, "SBDayNight");
    whole(kTxtSBToggleView, "SBToggleView");
    whole(kTxtSBRotLft, "SBRotLft");
    whole(kTxtSBRotRht, "SBRotRht");
    whole(kTxtSBGoFwd, "SBGoFwd");
    whole(kTxtSBGoBck, "SBGoBck");
    whole(kTxtSBVTop, "SBVTop");
    whole(kTxtSBVLft, "SBVLft");
    whole(kTxtSBVRht, "SBVRht");
    whole(kTxtSBVFnt, "SBVFnt");
    whole(kTxtSBVBck, "SBVBck");
    whole(kTxtSBVIso, "SBVIso");
    whole(kTxtSBVObl, "SBVObl");
    whole(kTxtSBRayTrace, "SBRayTrace");
    whole(kTxtTBItemEditUndo, "TBItemEditUndo");
    whole(kTxtTBItemEditRedo, "TBItemEditRedo");
    whole(kTxtTBItemEditReset, "TBItemEditReset");
    whole(kTxtTBItemMo, "TBItemMo");
    whole(kTxtTBItemM, "TBItemM");
    whole(kTxtTBItemTx, "TBItemTx");
    whole(kTxtTBItemCP, "TBItemCP");
    for (const char* name : {"PanelMaterial1", "PanelMaterial2"})
        if (auto* p = form.Find<forms::Panel>(name)) {
            p->SetCaption("");
            p->SetBevelInner(forms::Bevel::None);
            p->SetBevelOuter(forms::Bevel::None);
        }
    if (auto* p = form.Find<forms::Panel>("PanelRGB2")) p->SetCaption("");
    for (const char* name : {"LblMaterialName", "LblMatSchemeName"})
        if (auto* l = form.Find<forms::Label>(name)) {
            l->SetAlignment(forms::Alignment::Center);
            l->SetAlign(forms::Align::Top);
        }
}

void ApplyGetNameTexts(forms::Form& form) {
    SetCaptionText(kTxtOk, form.Find<forms::Control>("BtnOk"));
    SetCaptionText(kTxtCancel, form.Find<forms::Control>("BtnCancel"));
}

void ApplyPrefrencesTexts(forms::Form& form) {
    form.SetCaption(TextOf(kTxtPrefCaption));
    auto caption = [&](const TextId& id, const char* name) { SetCaptionText(id, form.Find<forms::Control>(name)); };
    caption(kTxtChkDayNight, "ChkDayNight");
    caption(kTxtGrpDay, "GrpDay");
    caption(kTxtGrpNight, "GrpNight");
    caption(kTxtGrpHighlightColor, "GrpHighlightColor");
    caption(kTxtGrpAlternateTexPath, "GrpAlternateTexPath");
    caption(kTxtGrpRotationSpeed, "GrpRotationSpeed");
    caption(kTxtGrpUndockToolbars, "GrpUndockToolbars");
    caption(kTxtChkUndockToolbars, "ChkUndockToolbars");
    caption(kTxtBtnOK, "BtnOK");
    caption(kTxtBtnCancel, "BtnCancel");
    if (auto* g = form.Find<forms::Control>("GrpDayNight")) g->SetCaption("");
    caption(kTxtCSBDay, "CSBDay");
    caption(kTxtCSBEDay, "CSBEDay");
    caption(kTxtCSBNight, "CSBNight");
    caption(kTxtCSBENight, "CSBENight");
    caption(kTxtCSBHilite, "CSBHilite");
    caption(kTxtCSBAlternateTexPath, "CSBAlternateTexPath");
}

void ApplyViewMgrTexts(forms::Form& form) {
    form.SetCaption(TextOf(kTxtViewMgrCaption));
    for (const char* name : {"Panel2", "Panel3"})
        if (auto* p = form.Find<forms::Control>(name)) p->SetCaption("");
    auto caption = [&](const TextId& id, const char* name) { SetCaptionText(id, form.Find<forms::Control>(name)); };
    caption(kTxtLblNewName, "LblNewName");
    caption(kTxtLblMatScheme, "LblMatScheme");
    caption(kTxtLblBackImage, "LblBackImage");
    caption(kTxtLblBackColor, "LblBackColor");
    caption(kTxtOk, "BtnOk");
    caption(kTxtCancel, "BtnCancel");
    caption(kTxtBtnDelete, "BtnDelete");
    caption(kTxtBtnMoveUp, "BtnMoveUp");
    caption(kTxtBtnMoveDown, "BtnMoveDown");
    caption(kTxtCSBBackColor, "CSBBackColor");
    caption(kTxtCSBBackImage, "CSBBackImage");
}

void ApplyBatchRenderTexts(forms::Form& form) {
    form.SetCaption(TextOf(kTxtBatchCaption));
    for (const char* name : {"Panel1", "Panel2", "Panel3", "Panel4"})
        if (auto* p = form.Find<forms::Control>(name)) p->SetCaption("");
    auto caption = [&](const TextId& id, const char* name) { SetCaptionText(id, form.Find<forms::Control>(name)); };
    caption(kTxtLblWd, "LblWd");
    caption(kTxtLblHt, "LblHt");
    caption(kTxtLblBName, "LblBName");
    caption(kTxtLblOutputFormat, "LblOutputFormat");
    SetRadioGroupText(kTxtRGBmpQuality, form.Find<forms::RadioGroup>("RGBmpQuality"),
                      {kTxtQualityLow.number, kTxtQualityMedium.number, kTxtQualityHigh.number});
    caption(kTxtChkRayTrace, "ChkRayTrace");
    caption(kTxtOk, "BtnOk");
    caption(kTxtCancel, "BtnCancel");
    caption(kTxtBtnSelectAll, "BtnSelectAll");
    caption(kTxtBtnClearAll, "BtnClearAll");
    caption(kTxtBtnAddUpdateBatch, "BtnAddUpdateBatchName");
    caption(kTxtBtnDeleteBatch, "BtnDeleteBatchName");
    if (auto* box = form.Find<forms::ComboBox>("ComboFiletype")) FillTypeCombo(*box, false);
}

int ShowProgramMessage(const std::string& text, UINT flags) {
    return forms::ShowMessageBox(text, forms::Application::Instance().Title(), flags);
}

}  // namespace stellwerk
