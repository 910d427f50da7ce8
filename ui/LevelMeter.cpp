#include "ui/LevelMeter.h"

#include <QFontMetrics>
#include <QPainter>
#include <QWidget>

#include <algorithm>
#include <cmath>

#include "ui/QtConversions.h"

namespace talvinor {

namespace {

constexpr float kLabelledDb[] = {-60, -50, -40, -30, -20, -10, 0};
constexpr float kTickDb[] = {-60, -50, -40, -30, -20, -10, -6, -3, 0};
// The colour zones of the bar: safe, loud, too loud.
constexpr float kLoudDb = -12.0f;
constexpr float kHotDb = -3.0f;
const QColor kSafe(40, 176, 64);
const QColor kLoud(224, 192, 32);
const QColor kHot(224, 48, 40);
const QColor kClipOff(112, 112, 112);
const QColor kClipOn(232, 32, 32);

float Floored(float db) { return std::isnan(db) ? LevelMeter::kFloorDb : std::max(db, LevelMeter::kFloorDb); }

}  // namespace

// Paints the meter from its window object's levels.
class LevelMeterWidget : public QWidget {
 public:
  LevelMeterWidget(LevelMeter* meter, QWidget* parent) : QWidget(parent), m_meter(meter) {
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const QColor text = palette().color(QPalette::WindowText);
    const QColor track = palette().color(QPalette::Base);
    const QFontMetrics metrics(font());
    const int labelHeight = metrics.height();
    // The bar above, the scale's ticks and labels below it, the clip mark at
    // the bar's right end.
    // A bar no taller than about two lines of the scale, the whole meter
    // centred in its place.
    const int barHeight = std::clamp(height() - labelHeight - 4, 4, labelHeight * 2);
    const int top = std::max(0, (height() - (barHeight + 4 + labelHeight)) / 2);
    painter.translate(0, top);
    const int clipWidth = metrics.horizontalAdvance(QStringLiteral("CLIP")) + 6;
    const int labelRoom = metrics.horizontalAdvance(QStringLiteral("-60")) / 2 + 1;
    const int barLeft = labelRoom;
    const int barWidth = std::max(10, width() - clipWidth - 4 - barLeft - labelRoom / 2);
    const QRect bar(barLeft, 0, barWidth, barHeight);

    painter.fillRect(bar, track);
    painter.setPen(text);
    painter.drawRect(bar.adjusted(0, 0, -1, -1));
    const QRect inside = bar.adjusted(1, 1, -1, -1);
    auto zoneFill = [&](float fromDb, float toDb, bool light) {
      const struct {
        float from, to;
        QColor colour;
      } zones[] = {{LevelMeter::kFloorDb, kLoudDb, kSafe}, {kLoudDb, kHotDb, kLoud}, {kHotDb, 0.0f, kHot}};
      for (const auto& zone : zones) {
        const float a = std::max(fromDb, zone.from);
        const float b = std::min(toDb, zone.to);
        if (b <= a) continue;
        const int x0 = inside.left() + LevelMeter::ScaleX(a, inside.width());
        const int x1 = inside.left() + LevelMeter::ScaleX(b, inside.width());
        QColor colour = zone.colour;
        if (light) colour = colour.lighter(150);
        painter.fillRect(QRect(x0, inside.top(), x1 - x0, inside.height()), colour);
      }
    };
    const float rms = Floored(m_meter->RmsDb());
    const float peak = std::max(rms, Floored(m_meter->PeakDb()));
    zoneFill(LevelMeter::kFloorDb, peak, true);
    zoneFill(LevelMeter::kFloorDb, rms, false);
    const float held = Floored(m_meter->HeldPeakDb());
    if (held > LevelMeter::kFloorDb) {
      const int x = inside.left() + std::min(LevelMeter::ScaleX(held, inside.width()), inside.width() - 2);
      painter.fillRect(QRect(x, inside.top(), 2, inside.height()), text);
    }

    // The clip mark.
    const QRect clip(bar.right() + 4, 0, clipWidth, barHeight);
    const bool lit = m_meter->IsClipLit();
    painter.fillRect(clip, lit ? kClipOn : track);
    painter.setPen(lit ? kClipOn : kClipOff);
    painter.drawRect(clip.adjusted(0, 0, -1, -1));
    painter.setPen(lit ? QColor(Qt::white) : kClipOff);
    painter.drawText(clip, Qt::AlignCenter, QStringLiteral("CLIP"));

    // The scale.
    painter.setPen(text);
    const int tickTop = bar.bottom() + 1;
    for (float db : kTickDb) {
      const int x = inside.left() + std::min(LevelMeter::ScaleX(db, inside.width()), inside.width() - 1);
      painter.drawLine(x, tickTop, x, tickTop + 2);
    }
    for (float db : kLabelledDb) {
      const QString label = QString::number(static_cast<int>(db));
      const int x = inside.left() + LevelMeter::ScaleX(db, inside.width());
      const int w = metrics.horizontalAdvance(label);
      const int left = std::clamp(x - w / 2, 0, width() - w);
      painter.drawText(QRect(left, tickTop + 3, w, labelHeight), Qt::AlignCenter, label);
    }
  }

 private:
  LevelMeter* m_meter;
};

QWidget* LevelMeter::CreateWidget(QWidget* parent, const std::wstring&, uint32_t) {
  return new LevelMeterWidget(this, parent);
}

int LevelMeter::ScaleX(float db, int width) {
  const float clamped = std::clamp(Floored(db), kFloorDb, 0.0f);
  return static_cast<int>(std::lround((clamped - kFloorDb) / -kFloorDb * static_cast<float>(width)));
}

void LevelMeter::SetLevels(float peakDb, float rmsDb, uint32_t now) {
  m_peakDb = Floored(peakDb);
  m_rmsDb = Floored(rmsDb);
  Advance(now);
  if (m_peakDb >= m_heldDb) {
    m_heldDb = m_peakDb;
    m_heldAt = now;
  }
  if (peakDb >= kClipDb) {
    m_clipLit = true;
    m_clipAt = now;
  }
  Redraw();
}

void LevelMeter::Advance(uint32_t now) {
  bool changed = false;
  // Unsigned differences of ticks stay right across the wrap.
  if (m_heldDb > kFloorDb && now - m_heldAt >= kHoldMs) {
    m_heldDb = m_peakDb;
    m_heldAt = now;
    changed = true;
  }
  if (m_clipLit && now - m_clipAt >= kHoldMs) {
    m_clipLit = false;
    changed = true;
  }
  if (changed) Redraw();
}

void LevelMeter::Clear() {
  m_peakDb = m_rmsDb = m_heldDb = kFloorDb;
  m_clipLit = false;
  Redraw();
}

}  // namespace talvinor
