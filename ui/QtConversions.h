#pragma once
// Qt-side helpers of the toolkit; never included outside ui/.
#include <QColor>
#include <QFont>
#include <QString>

#include <string>

#include "ui/FontSpec.h"
#include "ui/UiTypes.h"

class QKeyEvent;

namespace talvinor {

inline QString ToQString(const std::wstring& text) { return QString::fromStdWString(text); }
inline std::wstring FromQString(const QString& text) { return text.toStdWString(); }
inline QColor ToQColor(ColorRef c) { return QColor(RedOf(c), GreenOf(c), BlueOf(c)); }
inline ColorRef FromQColor(const QColor& c) { return MakeRgb(c.red(), c.green(), c.blue()); }

// Handset line ends ("\r\n") become Qt's ("\n"), a lone "\r" too.
QString ToDisplayText(const std::wstring& text);

// The Qt font for a skin font, with the Japanese faces substituted by the
// IPA fonts (fontconfig would pick a font without the right glyph shapes).
QFont ToQFont(const FontSpec& fontSpec);
// Registers the substitutions with Qt once, so that a font named by the
// handset's face elsewhere (style sheets, dialogs) finds the IPA font too.
void InstallFontSubstitutions();

// The key message for a Qt key event: virtual key in wParam, repeat and
// release bits in lParam. False for keys without a virtual key code.
bool ToKeyMessage(const QKeyEvent& event, WindowMessage* message);

// Counts how deep the UI thread is inside toolkit code called from a Qt
// event or signal; a window destroyed then is deleted later, not at once,
// because Qt still runs code of the widget that delivered the event.
class DispatchScope {
 public:
  DispatchScope() { ++s_depth; }
  ~DispatchScope() { --s_depth; }
  DispatchScope(const DispatchScope&) = delete;
  DispatchScope& operator=(const DispatchScope&) = delete;
  static bool Active() { return s_depth > 0; }

 private:
  static inline int s_depth = 0;  // UI thread only
};

}  // namespace talvinor
