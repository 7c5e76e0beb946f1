#include "viewer.h"

namespace stellwerk {

void SendMaterial(ViewerHost& viewer, int index, const MatEntry& m) {
    viewer.ReplaceMaterial(index, m.diffuse, m.specular, ViewerAlpha(m.alpha), m.kDiffuse, m.kAmbient, m.kSpecular,
                           ViewerFlags(m));
}

}  // namespace stellwerk
