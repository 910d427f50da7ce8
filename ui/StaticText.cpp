#include "ui/StaticText.h"

#include <QLabel>

#include "ui/QtConversions.h"

namespace talvinor {

QWidget* StaticText::CreateWidget(QWidget* parent, const std::wstring& text, uint32_t style) {
  auto* label = new QLabel(ToDisplayText(text), parent);
  label->setTextFormat(Qt::PlainText);
  Qt::Alignment align = Qt::AlignLeft;
  if ((style & 0x3) == kSsCenter) align = Qt::AlignHCenter;
  if ((style & 0x3) == kSsRight) align = Qt::AlignRight;
  label->setAlignment(align | ((style & kSsCenterImage) ? Qt::AlignVCenter : Qt::AlignTop));
  label->setWordWrap((style & 0x3) != 0 || text.find(L'\n') != std::wstring::npos);
  label->setFocusPolicy(Qt::NoFocus);
  return label;
}

void StaticText::SetText(const std::wstring& text) {
  if (auto* label = qobject_cast<QLabel*>(Widget())) label->setText(ToDisplayText(text));
}

std::wstring StaticText::GetText() const {
  if (auto* label = qobject_cast<QLabel*>(Widget())) return FromQString(label->text());
  return {};
}

}  // namespace talvinor
