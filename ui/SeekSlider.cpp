#include "ui/SeekSlider.h"

#include <QMouseEvent>
#include <QPainter>
#include <QSlider>

#include <algorithm>

#include "ui/QtConversions.h"

namespace talvinor {

namespace {

// Paints the track and thumb where the tap formula puts them, so that a tap
// lands the thumb under the pen, and hands the pen to the seek slider.
class SeekSliderWidget : public QSlider {
 public:
  explicit SeekSliderWidget(QWidget* parent) : QSlider(Qt::Horizontal, parent) {}

 protected:
  void mousePressEvent(QMouseEvent* event) override {
    SeekSlider* owner = Owner();
    if (event->button() != Qt::LeftButton || !owner) return QSlider::mousePressEvent(event);
    RefPtr<Window> keep(owner);
    DispatchScope scope;
    owner->OnPenDown(static_cast<int>(event->position().x()));
    event->accept();
  }
  void mouseMoveEvent(QMouseEvent* event) override {
    SeekSlider* owner = Owner();
    if (!owner) return;
    RefPtr<Window> keep(owner);
    DispatchScope scope;
    owner->OnPenMove(static_cast<int>(event->position().x()));
    event->accept();
  }
  void mouseReleaseEvent(QMouseEvent* event) override {
    SeekSlider* owner = Owner();
    if (event->button() != Qt::LeftButton || !owner) return;
    RefPtr<Window> keep(owner);
    DispatchScope scope;
    owner->OnPenUp();
    event->accept();
  }
  void focusOutEvent(QFocusEvent* event) override {
    QSlider::focusOutEvent(event);
    SeekSlider* owner = Owner();
    if (owner && owner->DragState() == SeekDrag::Dragging) {
      RefPtr<Window> keep(owner);
      DispatchScope scope;
      owner->OnCaptureLost();
    }
  }
  void hideEvent(QHideEvent* event) override {
    QSlider::hideEvent(event);
    SeekSlider* owner = Owner();
    if (owner && owner->DragState() == SeekDrag::Dragging) {
      RefPtr<Window> keep(owner);
      DispatchScope scope;
      owner->OnCaptureLost();
    }
  }
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int w = width();
    const int h = height();
    const int trackEnd = std::max(SeekSlider::kTrackStart, w - (SeekSlider::kTrackLoss - SeekSlider::kTrackStart));
    const QColor text = palette().color(QPalette::WindowText);
    QColor track = text;
    track.setAlpha(isEnabled() ? 160 : 60);
    painter.setPen(QPen(track, 2));
    painter.drawLine(SeekSlider::kTrackStart, h / 2, trackEnd, h / 2);
    const int span = maximum() - minimum();
    const int thumbX = span > 0 && w > SeekSlider::kTrackLoss
                           ? SeekSlider::kTrackStart +
                                 static_cast<int>(static_cast<int64_t>(value() - minimum()) *
                                                  (w - SeekSlider::kTrackLoss) / span)
                           : SeekSlider::kTrackStart;
    const int thumbW = std::max(6, h / 3);
    QRect thumb(thumbX - thumbW / 2, 2, thumbW, h - 4);
    QColor fill = palette().color(QPalette::Highlight);
    if (!isEnabled()) fill = palette().color(QPalette::Disabled, QPalette::Button);
    if (isSliderDown()) fill = fill.lighter(130);
    painter.setPen(QPen(text, 1));
    painter.setBrush(fill);
    painter.drawRoundedRect(thumb, 2, 2);
  }

 private:
  SeekSlider* Owner() {
    Window* window = Window::FromWidget(this);
    return window && window->Widget() == this ? static_cast<SeekSlider*>(window) : nullptr;
  }
};

}  // namespace

QWidget* SeekSlider::CreateWidget(QWidget* parent, const std::wstring&, uint32_t) {
  auto* slider = new SeekSliderWidget(parent);
  slider->setRange(0, 0);
  slider->setFocusPolicy(Qt::ClickFocus);
  return slider;
}

int SeekSlider::PositionForTap(int x, int width, int minimum, int maximum) {
  // The track needs more than its margins; a narrower slider has nowhere to
  // tap (and the formula would divide by zero or turn the sign).
  if (width <= kTrackLoss || maximum <= minimum) return minimum;
  // 64-bit: a long recording in 10 ms steps times a wide screen overflows int.
  const int64_t offset = static_cast<int64_t>(x - kTrackStart) * (static_cast<int64_t>(maximum) - minimum) /
                         (width - kTrackLoss);
  return static_cast<int>(std::clamp<int64_t>(minimum + offset, minimum, maximum));
}

void SeekSlider::OnPenDown(int x) {
  QSlider* slider = qobject_cast<QSlider*>(Widget());
  if (!slider || !slider->isEnabled()) return;
  slider->setFocus(Qt::MouseFocusReason);
  int width = 0;
  int height = 0;
  GetClientSize(&width, &height);
  if (width > 0) SetPos(PositionForTap(x, width, GetRangeMin(), GetRangeMax()));
  // The slider now holds the pointer until the pen comes up.
  slider->setSliderDown(true);
  m_drag = SeekDrag::Dragging;
  Notify(kSeekDragBegin);
}

void SeekSlider::OnPenMove(int x) {
  if (m_drag != SeekDrag::Dragging) return;
  QSlider* slider = qobject_cast<QSlider*>(Widget());
  if (!slider || !slider->isSliderDown()) {
    m_drag = SeekDrag::Idle;  // the pointer went elsewhere without an end
    return;
  }
  int width = 0;
  int height = 0;
  GetClientSize(&width, &height);
  SetPos(PositionForTap(x, width, GetRangeMin(), GetRangeMax()));
  Notify(kSeekPositionChanged);
}

void SeekSlider::OnPenUp() {
  if (m_drag != SeekDrag::Dragging) return;
  OnCaptureLost();
}

void SeekSlider::OnCaptureLost() {
  if (QSlider* slider = qobject_cast<QSlider*>(Widget())) slider->setSliderDown(false);
  if (m_drag != SeekDrag::Dragging) return;
  m_drag = SeekDrag::Idle;
  Notify(kSeekDragEnd);
}

void SeekSlider::Notify(int code) {
  RefPtr<Window> keep(this);
  NotifyParent({.code = code});
}

}  // namespace talvinor
