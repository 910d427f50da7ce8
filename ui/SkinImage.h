#pragma once
#include <memory>

#include "core/RefPtr.h"
#include "ui/UiTypes.h"

class QImage;

namespace talvinor {

// A counted image: a button face, a page background, the skin bitmap.
class SkinImage : public RefObject {
 public:
  SkinImage();
  explicit SkinImage(const QImage& image);  // ui/ only

  bool IsNull() const;
  int Width() const;
  int Height() const;
  // The colour at (x, y); 0 outside the image.
  ColorRef PixelAt(int x, int y) const;
  // A copy of the rectangle (the plain copy of a blit); parts outside the
  // image stay black.
  RefPtr<SkinImage> Cut(const Rect& rect) const;

  const QImage& Image() const { return *m_image; }  // ui/ only

 protected:
  ~SkinImage() override;

 private:
  std::unique_ptr<QImage> m_image;
};

}  // namespace talvinor
