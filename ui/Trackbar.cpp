#include "ui/Trackbar.h"

#include <QSlider>

namespace talvinor {

namespace {
QSlider* Slider(QWidget* widget) { return qobject_cast<QSlider*>(widget); }
}  // namespace

QWidget* Trackbar::CreateWidget(QWidget* parent, const std::wstring&, uint32_t) {
  auto* slider = new QSlider(Qt::Horizontal, parent);
  slider->setRange(0, 0);
  slider->setTickPosition(QSlider::NoTicks);
  QObject::connect(slider, &QSlider::sliderMoved, slider, [this] {
    if (Window* parent = Parent()) parent->HandleMessage(kWmHScroll, MakeWParam(kTbThumbTrack, 0), Id());
  });
  QObject::connect(slider, &QSlider::sliderReleased, slider, [this] {
    if (Window* parent = Parent()) parent->HandleMessage(kWmHScroll, MakeWParam(kTbEndTrack, 0), Id());
  });
  return slider;
}

void Trackbar::SetRange(int minimum, int maximum, bool redraw) {
  if (QSlider* slider = Slider(Widget())) {
    slider->setRange(minimum, std::max(minimum, maximum));
    if (redraw) slider->update();
  }
}

int Trackbar::GetRangeMin() const {
  QSlider* slider = Slider(Widget());
  return slider ? slider->minimum() : 0;
}

int Trackbar::GetRangeMax() const {
  QSlider* slider = Slider(Widget());
  return slider ? slider->maximum() : 0;
}

void Trackbar::SetPos(int position, bool redraw) {
  if (QSlider* slider = Slider(Widget())) {
    const bool blocked = slider->blockSignals(true);
    slider->setValue(position);
    slider->blockSignals(blocked);
    if (redraw) slider->update();
  }
}

int Trackbar::GetPos() const {
  QSlider* slider = Slider(Widget());
  return slider ? slider->value() : 0;
}

void Trackbar::SetPageSize(int size) {
  if (QSlider* slider = Slider(Widget())) slider->setPageStep(std::max(size, 0));
}

int Trackbar::GetPageSize() const {
  QSlider* slider = Slider(Widget());
  return slider ? slider->pageStep() : 0;
}

}  // namespace talvinor
