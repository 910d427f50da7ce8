#include "ui/Button.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>

#include "ui/QtConversions.h"

namespace talvinor {

namespace {

// The owner-drawn skin button: copies the face for its state into its
// rectangle, scaled when the face has another size.
class SkinButtonWidget : public QAbstractButton {
 public:
  explicit SkinButtonWidget(QWidget* parent) : QAbstractButton(parent) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    Window* window = Window::FromWidget(this);
    auto* button = window && window->Widget() == this ? static_cast<Button*>(window) : nullptr;
    const ButtonFace face = button ? button->CurrentFace() : ButtonFace::Normal;
    if (button && button->Faces()) {
      const RefPtr<SkinImage>& image = button->Faces()->Face(face);
      if (image && !image->IsNull()) {
        painter.drawImage(rect(), image->Image());
        return;
      }
    }
    // No faces: a plain outlined caption, so the button stays usable.
    painter.fillRect(rect(), face == ButtonFace::Pressed ? QColor(0x60, 0x60, 0xFF) : QColor(Qt::white));
    painter.setPen(QPen(face == ButtonFace::Disabled ? QColor(0x80, 0x80, 0x80) : QColor(Qt::black), 1));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    painter.drawText(rect(), Qt::AlignCenter, text());
  }
};

}  // namespace

QWidget* Button::CreateWidget(QWidget* parent, const std::wstring& text, uint32_t style) {
  QAbstractButton* button = nullptr;
  const uint32_t type = style & kBsTypeMask;
  switch (type) {
    case kBsGroupBox: {
      // A frame with a caption; it takes no input.
      auto* group = new QGroupBox(ToQString(text), parent);
      group->setFocusPolicy(Qt::NoFocus);
      return group;
    }
    case kBsOwnerDraw: button = new SkinButtonWidget(parent); break;
    case kBsCheckBox:
    case kBsAutoCheckBox:
      if (style & kBsPushLike) {
        button = new QPushButton(parent);
        button->setCheckable(type == kBsAutoCheckBox);
      } else {
        auto* check = new QCheckBox(parent);
        // A plain check box only toggles itself when it is an automatic one.
        check->setCheckable(true);
        button = check;
      }
      break;
    case kBsRadioButton:
    case kBsAutoRadioButton: {
      auto* radio = new QRadioButton(parent);
      // Groups follow the group style of the controls, not the parent.
      radio->setAutoExclusive(false);
      button = radio;
      break;
    }
    default: {
      auto* push = new QPushButton(parent);
      push->setDefault(type == kBsDefPushButton);
      push->setAutoDefault(false);
      button = push;
      break;
    }
  }
  button->setText(ToDisplayText(text));
  if (!(style & kWsTabStop)) button->setFocusPolicy(Qt::ClickFocus);
  QObject::connect(button, &QAbstractButton::clicked, button, [this] { OnClicked(); });
  QObject::connect(button, &QAbstractButton::pressed, button, [button] { button->update(); });
  QObject::connect(button, &QAbstractButton::released, button, [button] { button->update(); });
  return button;
}

void Button::OnClicked() {
  if (!Widget()) return;
  const uint32_t type = Style() & kBsTypeMask;
  auto* button = static_cast<QAbstractButton*>(Widget());
  if ((type == kBsCheckBox && !(Style() & kBsPushLike)) || type == kBsRadioButton) {
    // Manual check boxes and radio buttons leave their mark to the owner:
    // undo Qt's toggle.
    button->setChecked(!button->isChecked());
  } else if (type == kBsAutoRadioButton) {
    button->setChecked(true);
    UncheckGroupSiblings();
  }
  RefPtr<Window> keep(this);
  CommandParent(kBnClicked);
}

void Button::UncheckGroupSiblings() {
  Window* parent = Parent();
  if (!parent) return;
  // The group: from the last sibling at or before us with kWsGroup up to the
  // next one that starts a group.
  std::vector<Window*> siblings = parent->Children();
  size_t self = 0;
  while (self < siblings.size() && siblings[self] != this) ++self;
  if (self == siblings.size()) return;
  size_t first = self;
  while (first > 0 && !siblings[first]->HasStyle(kWsGroup)) --first;
  for (size_t i = first; i < siblings.size(); ++i) {
    if (i > first && siblings[i]->HasStyle(kWsGroup)) break;
    if (siblings[i] == this || !siblings[i]->IsKindOf(Button::kTypeCode)) continue;
    auto* other = static_cast<Button*>(siblings[i]);
    const uint32_t type = other->Style() & kBsTypeMask;
    if (type == kBsAutoRadioButton || type == kBsRadioButton) other->SetCheck(false);
  }
}

void Button::SetText(const std::wstring& text) {
  if (auto* group = qobject_cast<QGroupBox*>(Widget())) {
    group->setTitle(ToQString(text));
  } else if (auto* button = qobject_cast<QAbstractButton*>(Widget())) {
    button->setText(ToDisplayText(text));
  }
}

std::wstring Button::GetText() const {
  if (auto* group = qobject_cast<QGroupBox*>(Widget())) return FromQString(group->title());
  if (auto* button = qobject_cast<QAbstractButton*>(Widget())) return FromQString(button->text());
  return {};
}

void Button::SetFaces(RefPtr<ButtonFaces> faces) {
  m_faces = std::move(faces);
  Redraw();
}

void Button::SetToggled(bool toggled) {
  m_toggled = toggled;
  Redraw();
}

bool Button::IsDown() const {
  auto* button = qobject_cast<QAbstractButton*>(Widget());
  return button && button->isDown();
}

ButtonFace Button::CurrentFace() const {
  return ButtonFaces::FaceFor(Widget() && Widget()->isEnabled(), IsDown(), m_toggled);
}

void Button::SetCheck(bool checked) {
  if (auto* button = qobject_cast<QAbstractButton*>(Widget())) {
    button->setCheckable(true);
    button->setChecked(checked);
  }
}

bool Button::GetCheck() const {
  auto* button = qobject_cast<QAbstractButton*>(Widget());
  return button && button->isChecked();
}

void Button::SetDefault(bool isDefault) {
  if (auto* push = qobject_cast<QPushButton*>(Widget())) push->setDefault(isDefault);
}

void Button::Click() {
  auto* button = qobject_cast<QAbstractButton*>(Widget());
  if (button && button->isEnabled()) button->click();
}

}  // namespace talvinor
