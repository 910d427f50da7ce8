#pragma once
#include "ui/ButtonFaces.h"
#include "ui/Window.h"

namespace talvinor {

// Button styles (low bits of the window style).
inline constexpr uint32_t kBsPushButton = 0x0;
inline constexpr uint32_t kBsDefPushButton = 0x1;
inline constexpr uint32_t kBsCheckBox = 0x2;
inline constexpr uint32_t kBsAutoCheckBox = 0x3;
inline constexpr uint32_t kBsRadioButton = 0x4;
inline constexpr uint32_t kBsGroupBox = 0x7;
inline constexpr uint32_t kBsAutoRadioButton = 0x9;
inline constexpr uint32_t kBsOwnerDraw = 0xB;
inline constexpr uint32_t kBsTypeMask = 0xF;
inline constexpr uint32_t kBsPushLike = 0x1000;

// "BUTTON": push buttons, check boxes, radio buttons, group frames and the
// owner-drawn skin buttons (style 0x5400000B) that paint one of three faces.
// A click sends WM_COMMAND (id, kBnClicked) to the parent.
class Button : public Window {
  TALVINOR_CLASS_CODES(0x4002, 0x4000)

 public:
  const wchar_t* ClassName() const override { return L"BUTTON"; }
  void SetText(const std::wstring& text) override;
  std::wstring GetText() const override;

  // Owner-drawn buttons: the faces to paint; without faces the caption is
  // drawn plainly.
  void SetFaces(RefPtr<ButtonFaces> faces);
  const RefPtr<ButtonFaces>& Faces() const { return m_faces; }
  // Drawn pressed while set (the pause button while paused).
  void SetToggled(bool toggled);
  bool IsToggled() const { return m_toggled; }
  // Held down by the pointer or the space key.
  bool IsDown() const;
  // The face the button shows now.
  ButtonFace CurrentFace() const;

  // Check boxes and radio buttons.
  void SetCheck(bool checked);
  bool GetCheck() const;
  // Draws a push button as the default button (Enter) or not.
  void SetDefault(bool isDefault);

  // Clicks as the user would: the parent gets the command.
  void Click();

 protected:
  QWidget* CreateWidget(QWidget* parent, const std::wstring& text, uint32_t style) override;

 private:
  void OnClicked();
  void UncheckGroupSiblings();

  RefPtr<ButtonFaces> m_faces;
  bool m_toggled = false;
};

}  // namespace talvinor
