#pragma once
#include "core/RefPtr.h"
#include "ui/SkinImage.h"

namespace talvinor {

// Which face an owner-drawn button shows.
enum class ButtonFace {
  Normal,    // enabled, not held, not toggled
  Pressed,   // held down, or toggled on (the pause button while paused)
  Disabled,  // disabled, whatever else holds
};

// The three images of one owner-drawn button, cut from the skin bitmap or
// drawn as text faces.
class ButtonFaces : public RefObject {
 public:
  ButtonFaces(RefPtr<SkinImage> normal, RefPtr<SkinImage> pressed, RefPtr<SkinImage> disabled);

  const RefPtr<SkinImage>& Face(ButtonFace face) const;
  // The face for a button's state: disabled wins, then held or toggled.
  static ButtonFace FaceFor(bool enabled, bool down, bool toggled);

 private:
  RefPtr<SkinImage> m_normal;
  RefPtr<SkinImage> m_pressed;
  RefPtr<SkinImage> m_disabled;
};

}  // namespace talvinor
