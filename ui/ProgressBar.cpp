#include "ui/ProgressBar.h"

#include <QProgressBar>

namespace talvinor {

QWidget* ProgressBar::CreateWidget(QWidget* parent, const std::wstring&, uint32_t) {
  auto* bar = new QProgressBar(parent);
  bar->setTextVisible(false);
  bar->setRange(0, 100);
  bar->setValue(0);
  bar->setFocusPolicy(Qt::NoFocus);
  return bar;
}

void ProgressBar::SetRange(int low, int high) {
  if (auto* bar = qobject_cast<QProgressBar*>(Widget())) bar->setRange(low, high < low ? low : high);
}

void ProgressBar::GetRange(int* low, int* high) const {
  auto* bar = qobject_cast<QProgressBar*>(Widget());
  if (low) *low = bar ? bar->minimum() : 0;
  if (high) *high = bar ? bar->maximum() : 0;
}

void ProgressBar::SetPos(int position) {
  auto* bar = qobject_cast<QProgressBar*>(Widget());
  if (!bar) return;
  if (position < bar->minimum()) position = bar->minimum();
  if (position > bar->maximum()) position = bar->maximum();
  bar->setValue(position);
}

int ProgressBar::GetPos() const {
  auto* bar = qobject_cast<QProgressBar*>(Widget());
  return bar ? bar->value() : 0;
}

}  // namespace talvinor
