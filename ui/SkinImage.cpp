#include "ui/SkinImage.h"

#include <QImage>
#include <QPainter>

#include "ui/QtConversions.h"

namespace talvinor {

SkinImage::SkinImage() : m_image(std::make_unique<QImage>()) {}
SkinImage::SkinImage(const QImage& image) : m_image(std::make_unique<QImage>(image)) {}
SkinImage::~SkinImage() = default;

bool SkinImage::IsNull() const { return m_image->isNull(); }
int SkinImage::Width() const { return m_image->width(); }
int SkinImage::Height() const { return m_image->height(); }

ColorRef SkinImage::PixelAt(int x, int y) const {
  if (!m_image->valid(x, y)) return 0;
  return FromQColor(m_image->pixelColor(x, y));
}

RefPtr<SkinImage> SkinImage::Cut(const Rect& rect) const {
  if (rect.width <= 0 || rect.height <= 0) return talvinor::Create<SkinImage>();
  QImage piece(rect.width, rect.height, QImage::Format_RGB32);
  piece.fill(Qt::black);
  QPainter painter(&piece);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.drawImage(QPoint(0, 0), *m_image, QRect(rect.x, rect.y, rect.width, rect.height));
  painter.end();
  return talvinor::Create<SkinImage>(piece);
}

}  // namespace talvinor
