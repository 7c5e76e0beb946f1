#pragma once
// Stands in for the image display control MultiImageTile of the imaging
// components: a picture tiled over the control's area. The main form shows
// it while no object is open.
#include "forms/controls.h"
#include "forms/graphics.h"

namespace stellwerk {

class TImageTile : public forms::CustomControl {
public:
    explicit TImageTile(forms::Component* owner);
    forms::Bitmap& Picture() { return picture_; }
    bool Tiled() const { return tiled_; }
    void SetTiled(bool on);

protected:
    void Paint(forms::Canvas& canvas) override;

private:
    forms::Bitmap picture_;
    bool tiled_ = true;
};

// The program's background picture: a seamless tile.
void PaintBackgroundTile(forms::Bitmap& tile);

}  // namespace stellwerk
