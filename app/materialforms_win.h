#pragma once
// The material editor's and colour choosers' handlers on the main form's
// tool windows: the coefficient, opacity and refraction scroll bars, the
// flag boxes, presets, texture names and material names, the material and
// texture libraries, the colour target, spin edits, the OpenGL colour cube
// and gradient with its slider, and the palette grid with its menu.
#include <array>
#include <functional>
#include <string>

#include "colours.h"
#include "forms/component.h"
#include "forms/extctrls.h"
#include "forms/menus.h"
#include "matentry.h"

namespace stellwerk {

class TFMainqiv;
class MaterialEditor;
class ViewerHost;

class MaterialForms : public forms::Component {
public:
    explicit MaterialForms(TFMainqiv& main);

    // Changes of the controls are applied only while it is set; the main
    // form clears it while it fills the editor.
    bool EditingActive = true;
    // After the main form filled the editor: the spin edits and the
    // gradient follow the colour target.
    void MaterialShown();

    bool TargetIsDiffuse() const { return diffuseTarget_; }
    void SetTarget(bool diffuse);
    // The colour to the target (with apply, when it differs: recorded,
    // stored, sent to the viewer); the spin edits show it.
    void SetTargetColor(Color colour, bool apply);
    Color GradientColour() const { return gradientColour_; }
    void SetGradientColour(Color c);
    CubeAngles Angles() const { return angles_; }
    void SetAngles(CubeAngles a);
    // Renders the views into their images; false when OpenGL failed.
    bool RenderCube();
    bool RenderGradient();
    const std::array<Color, 256>& Palette() const { return palette_; }
    void ReadPaletteFile(const std::string& name);
    const std::string& PaletteName() const { return paletteName_; }

    // The save dialog of a library file (folder, proposed name; the chosen
    // path or empty) and the texture chooser (current name), unless replaced.
    std::function<std::string(const std::string& folder, const std::string& name)> ChooseMaterialFile;
    std::function<std::string(const std::string& current)> ChooseTextureFile;

private:
    MaterialEditor& editor();
    ViewerHost& viewer();
    bool canEdit();
    void finish();
    void hookScroll(const char* bar, const char* label, int (*get)(const MatEntry&), void (*set)(MatEntry&, int));
    void hookFlag(const char* box, uint32_t bit);
    void preset(const MatPreset& p);
    void setTexture(const std::string& name);
    void editName();
    void clearName();
    void libraryClick();
    void saveMaterial();
    void fileHint(forms::ListBox* list, int x, int y);
    void layoutGradient();
    void sliderMove(int top);
    void cubeMouse(forms::ShiftState shift, int x, int y, bool press, forms::MouseButton button);
    void drawPaletteCell(int col, int row, const forms::Rect& r, forms::GridDrawState state);
    void buildPaletteMenu();
    Color targetColour() const;

    TFMainqiv& f_;
    bool diffuseTarget_ = true;
    bool spinsUpdating_ = false;
    Color gradientColour_ = 0x808080;
    CubeAngles angles_;
    std::array<Color, 256> palette_{};
    std::string paletteName_;
    GradientSlider slider_{};
    int sliderGrab_ = 0;
    forms::Point cubeLast_{};
    bool cubeTurning_ = false;
};

}  // namespace stellwerk
