#include "ui/PageLayout.h"

#include <set>

#include "core/Singletons.h"
#include "ui/Button.h"
#include "ui/ComboBox.h"
#include "ui/Edit.h"
#include "ui/ListView.h"
#include "ui/SkinResources.h"
#include "ui/StaticText.h"
#include "ui/Trackbar.h"
#include "ui/Window.h"

namespace talvinor {

RefPtr<PageLayout> PageLayout::Get(SkinPage page) {
  switch (page) {
    case SkinPage::Recorder:
      return GetOrCreateSingleton<PageLayout>(SingletonSlot::RecorderLayout);
    case SkinPage::Player:
      return GetOrCreateSingleton<PageLayout>(SingletonSlot::PlayerLayout);
    case SkinPage::Memo:
      return GetOrCreateSingleton<PageLayout>(SingletonSlot::MemoLayout);
    case SkinPage::Manual:
      return GetOrCreateSingleton<PageLayout>(SingletonSlot::ManualLayout);
    case SkinPage::Settings:
      return GetOrCreateSingleton<PageLayout>(SingletonSlot::SettingsLayout);
  }
  return nullptr;
}

void PageLayout::Clear() {
  m_rects.clear();
  m_faces.clear();
  m_fonts.clear();
  m_metrics.clear();
  m_colours = Colours{};
  m_backgroundImage = nullptr;
}

void PageLayout::SetRect(int viewMode, int controlId, const Rect& rect) { m_rects[{viewMode, controlId}] = rect; }

bool PageLayout::GetRect(int controlId, Rect* rect, int viewMode) const {
  auto it = m_rects.find({viewMode, controlId});
  if (it == m_rects.end()) return false;
  if (rect) *rect = it->second;
  return true;
}

bool PageLayout::HasControl(int controlId, int viewMode) const { return GetRect(controlId, nullptr, viewMode); }

void PageLayout::SetFaces(int controlId, RefPtr<ButtonFaces> faces) { m_faces[controlId] = std::move(faces); }

RefPtr<ButtonFaces> PageLayout::Faces(int controlId) const {
  auto it = m_faces.find(controlId);
  return it == m_faces.end() ? nullptr : it->second;
}

void PageLayout::SetControlFont(int controlId, int fontNumber) { m_fonts[controlId] = fontNumber; }

int PageLayout::ControlFont(int controlId) const {
  auto it = m_fonts.find(controlId);
  return it == m_fonts.end() ? 0 : it->second;
}

int PageLayout::Metric(SkinMetric metric) const {
  auto it = m_metrics.find(metric);
  return it == m_metrics.end() ? 0 : it->second;
}

void PageLayout::Apply(Window* page, int viewMode) const {
  if (!page) return;
  std::set<int> placedElsewhere;
  for (const auto& [key, rect] : m_rects)
    if (key.first != viewMode) placedElsewhere.insert(key.second);

  RefPtr<SkinResources> skin = SkinResources::Get();
  page->SetColours(m_colours.text, m_colours.background, true);
  page->SetBackgroundImage(m_backgroundImage);
  for (Window* child : page->Children()) {
    const int id = child->ControlId();
    Rect rect;
    if (GetRect(id, &rect, viewMode)) {
      child->Move(rect);
      child->Show(true);
    } else if (placedElsewhere.count(id)) {
      child->Show(false);
    }
    if (const int font = ControlFont(id); font > 0) child->SetFont(skin->Font(font));
    if (child->IsKindOf(Button::kTypeCode)) {
      if (RefPtr<ButtonFaces> faces = Faces(id)) static_cast<Button*>(child)->SetFaces(faces);
    } else if (child->IsKindOf(Edit::kTypeCode) || child->IsKindOf(ListView::kTypeCode) ||
               child->IsKindOf(ComboBox::kTypeCode)) {
      child->SetColours(m_colours.editText, m_colours.editBackground, true);
    } else if (child->IsKindOf(StaticText::kTypeCode) || child->IsKindOf(Trackbar::kTypeCode)) {
      child->SetColours(m_colours.text, m_colours.background, false);
    }
  }
}

}  // namespace talvinor
