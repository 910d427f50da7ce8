#pragma once
#include <map>
#include <utility>

#include "core/RefPtr.h"
#include "ui/ButtonFaces.h"
#include "ui/SkinImage.h"
#include "ui/UiTypes.h"

namespace talvinor {

class Window;

// The pages that take their layout from the skin.
enum class SkinPage { Recorder, Player, Memo, Manual, Settings };

// Sizes a page may ask of its layout beyond control rectangles.
enum class SkinMetric {
  ListColumnName,   // player file list column widths
  ListColumnSize,
  ListColumnDate,
  FormRowHeight,    // settings form: one row of label and control
  FormLabelWidth,
  FormMargin,
  FormGroupGap,
};

// One page's part of the skin: per view mode (1, or 1 and 2 for the player)
// the rectangle of every control, the faces of its owner-drawn buttons, the
// font of each control, and the colours of labels, edits and the page.
class PageLayout : public RefObject {
 public:
  struct Colours {
    ColorRef text = 0x000000;        // labels and the slider (drawn transparent)
    ColorRef background = 0xFFFFFF;  // behind labels: the page's colour
    ColorRef editText = 0x000000;    // edits and lists (drawn opaque)
    ColorRef editBackground = 0xFFFFFF;
  };

  // The layout of `page` (singleton slots 7 to 11).
  static RefPtr<PageLayout> Get(SkinPage page);

  void Clear();
  void SetRect(int viewMode, int controlId, const Rect& rect);
  // False when the control has no place in that view mode.
  bool GetRect(int controlId, Rect* rect, int viewMode = 1) const;
  bool HasControl(int controlId, int viewMode = 1) const;
  void SetFaces(int controlId, RefPtr<ButtonFaces> faces);
  RefPtr<ButtonFaces> Faces(int controlId) const;
  void SetControlFont(int controlId, int fontNumber);
  // The skin font number (1..6) of a control, 0 for the default font.
  int ControlFont(int controlId) const;
  void SetColours(const Colours& colours) { m_colours = colours; }
  const Colours& GetColours() const { return m_colours; }
  void SetBackgroundImage(RefPtr<SkinImage> image) { m_backgroundImage = std::move(image); }
  const RefPtr<SkinImage>& BackgroundImage() const { return m_backgroundImage; }
  void SetMetric(SkinMetric metric, int value) { m_metrics[metric] = value; }
  int Metric(SkinMetric metric) const;

  // Lays out the page's children for `viewMode`: moves each child that has a
  // place there and shows it, hides those placed only in another mode, and
  // gives every child its font, faces and colours and the page its background.
  void Apply(Window* page, int viewMode = 1) const;

 private:
  std::map<std::pair<int, int>, Rect> m_rects;  // (view mode, id) -> rectangle
  std::map<int, RefPtr<ButtonFaces>> m_faces;
  std::map<int, int> m_fonts;
  std::map<SkinMetric, int> m_metrics;
  Colours m_colours;
  RefPtr<SkinImage> m_backgroundImage;
};

}  // namespace talvinor
