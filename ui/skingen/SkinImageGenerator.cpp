// Draws Talvinor's own image skin into skin/w01qvga.BMP and skin/w01vga.BMP:
// glossy slate-blue buttons with white symbols on a dark panel, laid out by
// the atlas the skin cuts from. Shapes only, no text, so it needs no fonts
// and no display.
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cstdio>
#include <string>

#include "ui/SkinAtlas.h"

namespace {

using talvinor::Rect;
namespace atlas = talvinor::atlas;

enum class Symbol { Record, Pause, Stop, Play, View, Back3, Back2, Back1, Fwd1, Fwd2, Fwd3 };

Symbol SymbolOf(int controlId) {
  switch (controlId) {
    case 1201: return Symbol::Record;
    case 1202:
    case 1102: return Symbol::Pause;
    case 1203:
    case 1103: return Symbol::Stop;
    case 1101: return Symbol::Play;
    case 1104: return Symbol::View;
    case 1116: return Symbol::Back3;
    case 1115: return Symbol::Back2;
    case 1114: return Symbol::Back1;
    case 1111: return Symbol::Fwd1;
    case 1112: return Symbol::Fwd2;
    default: return Symbol::Fwd3;
  }
}

QRectF ToQ(const Rect& r) { return QRectF(r.x, r.y, r.width, r.height); }

struct FaceStyle {
  QColor top, bottom, border, symbol, accent;
};

FaceStyle StyleFor(int state) {
  switch (state) {
    case 1: return {QColor(0xF6, 0xB2, 0x4E), QColor(0xB8, 0x5C, 0x12), QColor(0xFF, 0xE6, 0xB0), Qt::white,
                    QColor(0xFF, 0x30, 0x30)};
    case 2: return {QColor(0x50, 0x5A, 0x64), QColor(0x2C, 0x33, 0x3A), QColor(0x6A, 0x73, 0x7C),
                    QColor(0x8A, 0x92, 0x99), QColor(0x8A, 0x92, 0x99)};
    default: return {QColor(0x36, 0x7E, 0xA0), QColor(0x14, 0x3A, 0x50), QColor(0x8A, 0xDC, 0xF6), Qt::white,
                     QColor(0xF0, 0x38, 0x38)};
  }
}

void Triangle(QPainter& p, QPointF tip, qreal size, bool right) {
  QPainterPath path;
  const qreal dx = right ? -size : size;
  path.moveTo(tip);
  path.lineTo(tip.x() + dx, tip.y() - size * 0.8);
  path.lineTo(tip.x() + dx, tip.y() + size * 0.8);
  path.closeSubpath();
  p.drawPath(path);
}

void DrawSymbol(QPainter& p, Symbol symbol, const QRectF& r, const FaceStyle& style) {
  const QPointF c = r.center();
  const qreal u = std::min(r.width(), r.height()) / 4.0;  // symbol unit
  p.setPen(Qt::NoPen);
  p.setBrush(style.symbol);
  switch (symbol) {
    case Symbol::Record:
      p.setBrush(style.accent);
      p.setPen(QPen(style.symbol, u * 0.25));
      p.drawEllipse(c, u * 1.15, u * 1.15);
      break;
    case Symbol::Pause:
      p.drawRoundedRect(QRectF(c.x() - u * 0.95, c.y() - u, u * 0.65, u * 2), u * 0.12, u * 0.12);
      p.drawRoundedRect(QRectF(c.x() + u * 0.3, c.y() - u, u * 0.65, u * 2), u * 0.12, u * 0.12);
      break;
    case Symbol::Stop:
      p.drawRoundedRect(QRectF(c.x() - u * 0.95, c.y() - u * 0.95, u * 1.9, u * 1.9), u * 0.15, u * 0.15);
      break;
    case Symbol::Play:
      Triangle(p, QPointF(c.x() + u * 1.1, c.y()), u * 1.9, true);
      break;
    case Symbol::View: {
      p.setBrush(Qt::NoBrush);
      p.setPen(QPen(style.symbol, u * 0.25));
      const QRectF screen(c.x() - u * 1.3, c.y() - u, u * 2.6, u * 2);
      p.drawRoundedRect(screen, u * 0.2, u * 0.2);
      p.drawLine(QPointF(screen.left() + u * 0.4, c.y() - u * 0.35), QPointF(screen.right() - u * 0.4, c.y() - u * 0.35));
      p.drawLine(QPointF(screen.left() + u * 0.4, c.y() + u * 0.35), QPointF(screen.right() - u * 0.8, c.y() + u * 0.35));
      break;
    }
    default: {
      const bool forward = symbol == Symbol::Fwd1 || symbol == Symbol::Fwd2 || symbol == Symbol::Fwd3;
      int count = 1;
      if (symbol == Symbol::Back2 || symbol == Symbol::Fwd2) count = 2;
      if (symbol == Symbol::Back3 || symbol == Symbol::Fwd3) count = 3;
      const qreal size = u * 0.95;
      const qreal step = size * 0.8;
      const qreal width = size + step * (count - 1);
      for (int i = 0; i < count; ++i) {
        const qreal x = forward ? c.x() - width / 2 + size + step * i : c.x() + width / 2 - size - step * i;
        Triangle(p, QPointF(x, c.y()), size, forward);
      }
      break;
    }
  }
}

void DrawFace(QPainter& p, const QRectF& r, int state, Symbol symbol, qreal scale) {
  const FaceStyle style = StyleFor(state);
  p.save();
  p.setClipRect(r);
  p.fillRect(r, QColor(0x0B, 0x1B, 0x2A));  // the panel colour around the rounded corners
  const qreal radius = std::min(r.width(), r.height()) * 0.22;
  QRectF body = r.adjusted(scale, scale, -scale, -scale);
  if (state == 1) body.translate(0, scale * 0.5);  // pressed sits a little lower
  QLinearGradient fill(body.topLeft(), body.bottomLeft());
  fill.setColorAt(0, style.top);
  fill.setColorAt(1, style.bottom);
  p.setPen(QPen(style.border, scale * 1.2));
  p.setBrush(fill);
  p.drawRoundedRect(body, radius, radius);
  // The gloss on the upper half.
  QRectF gloss = body.adjusted(scale * 2, scale * 1.5, -scale * 2, -body.height() * 0.52);
  QLinearGradient shine(gloss.topLeft(), gloss.bottomLeft());
  shine.setColorAt(0, QColor(255, 255, 255, state == 2 ? 30 : 90));
  shine.setColorAt(1, QColor(255, 255, 255, 0));
  p.setPen(Qt::NoPen);
  p.setBrush(shine);
  p.drawRoundedRect(gloss, radius * 0.7, radius * 0.7);
  DrawSymbol(p, symbol, body, style);
  p.restore();
}

void DrawTab(QPainter& p, const QRectF& r, int state, qreal scale) {
  p.save();
  p.setClipRect(r);
  QLinearGradient fill(r.topLeft(), r.bottomLeft());
  if (state == 1) {
    fill.setColorAt(0, QColor(0x4A, 0x9C, 0xC0));
    fill.setColorAt(1, QColor(0x1C, 0x52, 0x6E));
  } else if (state == 2) {
    fill.setColorAt(0, QColor(0x44, 0x4C, 0x54));
    fill.setColorAt(1, QColor(0x2A, 0x30, 0x36));
  } else {
    fill.setColorAt(0, QColor(0x1E, 0x40, 0x56));
    fill.setColorAt(1, QColor(0x0C, 0x22, 0x32));
  }
  p.fillRect(r, fill);
  p.setPen(QPen(QColor(0x05, 0x10, 0x18), scale));
  p.drawLine(r.topRight(), r.bottomRight());
  if (state == 1) {
    // The selected tab is marked along its bottom edge (the tabs sit at the bottom).
    p.fillRect(QRectF(r.left(), r.bottom() - 3 * scale, r.width(), 3 * scale), QColor(0x8A, 0xDC, 0xF6));
  }
  p.restore();
}

void DrawBackground(QPainter& p, const QRectF& r, qreal scale) {
  p.save();
  p.setClipRect(r);
  QLinearGradient fill(r.topLeft(), r.bottomLeft());
  fill.setColorAt(0, QColor(0x18, 0x3A, 0x54));
  fill.setColorAt(0.55, QColor(0x0F, 0x27, 0x3A));
  fill.setColorAt(1, QColor(0x0A, 0x18, 0x26));
  p.fillRect(r, fill);
  // Faint level-meter stripes: the recorder's motif.
  p.setPen(QPen(QColor(0x8A, 0xDC, 0xF6, 18), scale));
  for (qreal y = r.top() + 4 * scale; y < r.bottom(); y += 6 * scale) p.drawLine(QPointF(r.left(), y), QPointF(r.right(), y));
  QRadialGradient glow(QPointF(r.center().x(), r.top()), r.width() * 0.7);
  glow.setColorAt(0, QColor(0x8A, 0xDC, 0xF6, 40));
  glow.setColorAt(1, QColor(0x8A, 0xDC, 0xF6, 0));
  p.fillRect(r, glow);
  p.restore();
}

bool DrawSkin(const std::string& path, int scale) {
  QImage image(atlas::kWidth * scale, atlas::kHeight * scale, QImage::Format_RGB32);
  image.fill(QColor(0x06, 0x0E, 0x16));
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  for (const atlas::FaceSlot& slot : atlas::kFaces)
    for (int state = 0; state < 3; ++state)
      DrawFace(p, ToQ(atlas::FaceRect(slot, state, scale)), state, SymbolOf(slot.controlId), scale);
  for (int state = 0; state < 3; ++state) DrawTab(p, ToQ(atlas::TabRect(state, scale)), state, scale);
  DrawBackground(p, ToQ(atlas::BackgroundRect(scale)), scale);
  p.end();
  if (!image.save(QString::fromStdString(path), "BMP")) {
    std::fprintf(stderr, "talvinor-skingen: cannot write %s\n", path.c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: talvinor-skingen FOLDER\n");
    return 2;
  }
  const std::string folder = argv[1];
  const bool ok = DrawSkin(folder + "/w01qvga.BMP", 1) && DrawSkin(folder + "/w01vga.BMP", 2);
  return ok ? 0 : 1;
}
