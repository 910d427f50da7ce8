#include "ui/TabControl.h"

#include <QPainter>
#include <QResizeEvent>
#include <QStyleOptionTab>
#include <QTabBar>

#include "ui/QtConversions.h"

namespace talvinor {

namespace {

// The tab bar with optional image faces.
class SkinTabBar : public QTabBar {
 public:
  using QTabBar::QTabBar;
  TabControl* owner = nullptr;

 protected:
  // The tabs share the bar's width, so that all of them show on a narrow
  // screen instead of running off its edge.
  QSize tabSizeHint(int index) const override {
    QSize size = QTabBar::tabSizeHint(index);
    if (count() > 0 && width() > 0) size.setWidth(width() / count() + (index < width() % count() ? 1 : 0));
    return size;
  }
  QSize minimumTabSizeHint(int index) const override { return tabSizeHint(index); }

  // Tabs are drawn here in both skin types: the style's own tabs pad their
  // captions so much that five no longer fit a quarter-VGA bar.
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const bool faces = owner && owner->Faces();
    for (int i = 0; i < count(); ++i) {
      const QRect r = tabRect(i);
      const bool selected = i == currentIndex();
      if (faces) {
        const RefPtr<SkinImage>& face =
            owner->Faces()->Face(!isTabEnabled(i) ? ButtonFace::Disabled : selected ? ButtonFace::Pressed
                                                                                    : ButtonFace::Normal);
        if (face && !face->IsNull()) painter.drawImage(r, face->Image());
        painter.setPen(palette().color(QPalette::ButtonText));
      } else {
        // Simple text: system colours, the selected tab joined to the page.
        painter.fillRect(r, palette().color(selected ? QPalette::Base : QPalette::Button));
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawRect(r.adjusted(0, selected ? -1 : 0, -1, -1));
        painter.setPen(palette().color(isTabEnabled(i) ? QPalette::ButtonText : QPalette::PlaceholderText));
      }
      if (hasFocus() && selected) {
        QFont font = painter.font();
        font.setUnderline(true);
        painter.setFont(font);
      } else {
        painter.setFont(this->font());
      }
      painter.drawText(r, Qt::AlignCenter, tabText(i));
    }
  }
};

// The control's widget: holds the bar and places it at one edge.
class TabHost : public QWidget {
 public:
  TabHost(QWidget* parent, bool bottom) : QWidget(parent), bottom(bottom) {
    bar = new SkinTabBar(this);
    bar->setShape(bottom ? QTabBar::RoundedSouth : QTabBar::RoundedNorth);
    bar->setExpanding(true);
    bar->setDrawBase(false);
    bar->setUsesScrollButtons(false);
    bar->setElideMode(Qt::ElideNone);
    setFocusProxy(bar);
  }
  SkinTabBar* bar;
  bool bottom;
  int barHeight = 0;

  int BarHeight() const { return barHeight > 0 ? barHeight : bar->sizeHint().height(); }
  void Place() {
    const int h = std::min(BarHeight(), height());
    bar->setGeometry(0, bottom ? height() - h : 0, width(), h);
    // Only the bar takes pointer input: the pages below the host stay usable.
    setMask(QRegion(bar->geometry()));
  }

 protected:
  void resizeEvent(QResizeEvent*) override { Place(); }
};

TabHost* Host(QWidget* widget) { return dynamic_cast<TabHost*>(widget); }

}  // namespace

QWidget* TabControl::CreateWidget(QWidget* parent, const std::wstring&, uint32_t style) {
  auto* host = new TabHost(parent, style & kTcsBottom);
  host->bar->owner = this;
  host->bar->setFocusPolicy((style & kWsTabStop) ? Qt::StrongFocus : Qt::ClickFocus);
  QObject::connect(host->bar, &QTabBar::currentChanged, host, [this](int index) { OnBarChanged(index); });
  return host;
}

void TabControl::OnBound() {
  if (TabHost* host = Host(Widget())) host->Place();
}

void TabControl::OnBarChanged(int index) {
  TabHost* host = Host(Widget());
  if (!host || m_reverting || index == m_current) return;
  RefPtr<Window> keep(this);
  if (m_current != kNone && NotifyParent({.code = kTcnSelChanging, .item = m_current}) != 0) {
    // Refused: the old tab stays selected.
    m_reverting = true;
    if (Widget()) host->bar->setCurrentIndex(m_current);
    m_reverting = false;
    return;
  }
  m_current = index;
  NotifyParent({.code = kTcnSelChange, .item = index});
}

int TabControl::InsertItem(int index, const std::wstring& text) {
  TabHost* host = Host(Widget());
  if (!host) return kNone;
  m_reverting = true;  // the first tab becomes current without a choice
  const int at = host->bar->insertTab(index, ToQString(text));
  m_current = host->bar->currentIndex();
  m_reverting = false;
  return at;
}

bool TabControl::SetItemText(int index, const std::wstring& text) {
  TabHost* host = Host(Widget());
  if (!host || index < 0 || index >= host->bar->count()) return false;
  host->bar->setTabText(index, ToQString(text));
  return true;
}

std::wstring TabControl::GetItemText(int index) const {
  TabHost* host = Host(Widget());
  return host ? FromQString(host->bar->tabText(index)) : std::wstring();
}

int TabControl::GetItemCount() const {
  TabHost* host = Host(Widget());
  return host ? host->bar->count() : 0;
}

int TabControl::SetCurSel(int index) {
  TabHost* host = Host(Widget());
  const int previous = m_current;
  if (!host || index < 0 || index >= host->bar->count()) return previous;
  m_reverting = true;
  host->bar->setCurrentIndex(index);
  m_reverting = false;
  m_current = index;
  return previous;
}

Rect TabControl::AdjustRect(const Rect& area) const {
  TabHost* host = Host(Widget());
  const int bar = host ? std::min(host->BarHeight(), area.height) : 0;
  Rect pages = area;
  pages.height = std::max(area.height - bar, 0);
  if (host && !host->bottom) pages.y += bar;
  return pages;
}

int TabControl::BarHeight() const {
  TabHost* host = Host(Widget());
  return host ? host->BarHeight() : 0;
}

void TabControl::SetBarHeight(int height) {
  if (TabHost* host = Host(Widget())) {
    host->barHeight = height;
    host->Place();
  }
}

void TabControl::SetFaces(RefPtr<ButtonFaces> faces) {
  m_faces = std::move(faces);
  if (TabHost* host = Host(Widget())) host->bar->update();
}

}  // namespace talvinor
