#include "ui/QtConversions.h"

#include <QKeyEvent>

namespace talvinor {

QString ToDisplayText(const std::wstring& text) {
  QString s = ToQString(text);
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return s;
}

namespace {

QString FamilyFor(const std::wstring& face) {
  if (face == kFaceGothic) return QStringLiteral("IPAGothic");
  if (face == kFacePGothic) return QStringLiteral("IPAPGothic");
  return ToQString(face);
}

}  // namespace

void InstallFontSubstitutions() {
  QFont::insertSubstitution(ToQString(kFaceGothic), QStringLiteral("IPAGothic"));
  QFont::insertSubstitution(ToQString(kFacePGothic), QStringLiteral("IPAPGothic"));
}

QFont ToQFont(const FontSpec& fontSpec) {
  QFont font;
  if (!fontSpec.face.empty()) {
    font.setFamilies({FamilyFor(fontSpec.face), QStringLiteral("IPAGothic")});
  }
  // A cell height: the IPA fonts' ascent and descent fill exactly one em.
  if (fontSpec.height > 0) font.setPixelSize(fontSpec.height);
  font.setWeight(fontSpec.bold ? QFont::Bold : QFont::Normal);
  return font;
}

bool ToKeyMessage(const QKeyEvent& event, WindowMessage* message) {
  uint32_t vk = 0;
  const int key = event.key();
  if (key >= Qt::Key_0 && key <= Qt::Key_9) {
    vk = 0x30 + static_cast<uint32_t>(key - Qt::Key_0);
  } else if (key >= Qt::Key_A && key <= Qt::Key_Z) {
    vk = 0x41 + static_cast<uint32_t>(key - Qt::Key_A);
  } else if (key >= Qt::Key_F1 && key <= Qt::Key_F24) {
    vk = kVkF1 + static_cast<uint32_t>(key - Qt::Key_F1);
  } else {
    switch (key) {
      case Qt::Key_Backspace: vk = kVkBack; break;
      case Qt::Key_Tab: vk = kVkTab; break;
      case Qt::Key_Return:
      case Qt::Key_Enter: vk = kVkReturn; break;
      case Qt::Key_Escape: vk = kVkEscape; break;
      case Qt::Key_Space: vk = kVkSpace; break;
      case Qt::Key_PageUp: vk = kVkPrior; break;
      case Qt::Key_PageDown: vk = kVkNext; break;
      case Qt::Key_End: vk = kVkEnd; break;
      case Qt::Key_Home: vk = kVkHome; break;
      case Qt::Key_Left: vk = kVkLeft; break;
      case Qt::Key_Up: vk = kVkUp; break;
      case Qt::Key_Right: vk = kVkRight; break;
      case Qt::Key_Down: vk = kVkDown; break;
      case Qt::Key_Delete: vk = kVkDelete; break;
      case Qt::Key_Apostrophe:
      case Qt::Key_QuoteDbl: vk = kVkOem7; break;
      default: return false;
    }
  }
  message->message = event.type() == QEvent::KeyRelease ? kWmKeyUp : kWmKeyDown;
  message->wParam = vk;
  intptr_t lParam = 1;  // repeat count
  if (event.isAutoRepeat() || event.type() == QEvent::KeyRelease) lParam |= kKeyRepeatBit;
  if (event.type() == QEvent::KeyRelease) lParam |= intptr_t{1} << 31;
  message->lParam = lParam;
  return true;
}

}  // namespace talvinor
