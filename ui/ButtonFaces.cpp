#include "ui/ButtonFaces.h"

namespace talvinor {

ButtonFaces::ButtonFaces(RefPtr<SkinImage> normal, RefPtr<SkinImage> pressed, RefPtr<SkinImage> disabled)
    : m_normal(std::move(normal)), m_pressed(std::move(pressed)), m_disabled(std::move(disabled)) {}

const RefPtr<SkinImage>& ButtonFaces::Face(ButtonFace face) const {
  switch (face) {
    case ButtonFace::Pressed: return m_pressed;
    case ButtonFace::Disabled: return m_disabled;
    case ButtonFace::Normal: break;
  }
  return m_normal;
}

ButtonFace ButtonFaces::FaceFor(bool enabled, bool down, bool toggled) {
  if (!enabled) return ButtonFace::Disabled;
  if (down || toggled) return ButtonFace::Pressed;
  return ButtonFace::Normal;
}

}  // namespace talvinor
