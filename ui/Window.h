#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/RefPtr.h"
#include "ui/FontSpec.h"
#include "ui/UiTypes.h"

class QWidget;

namespace talvinor {

class QtMessageSink;
class SkinImage;

// A counted window object bound to one Qt widget: the program's stand-in for
// a window handle with its window procedure. Messages posted to the window's
// id (PostMessage, from any thread), its timers, its size changes, close
// requests and the commands of its child controls all arrive on the UI
// thread in HandleMessage, with the handset's message numbers.
//
// The object owns the widget when it created it; the widget only points back
// at the object, so the window never outlives its object's binding: when the
// widget goes, the binding is cleared and later posts to the id are dropped.
// All operations belong to the UI thread, except PostMessage to Id().
class Window : public RefObject {
  TALVINOR_CLASS_CODES(0x4001, 0x4000)

 public:
  Window();

  // Creates the widget as a child of `parent` (a top-level window when
  // `parent` is null), binds it with ownership and sends kWmCreate; an
  // answer of -1 destroys the window again and fails. A window this object
  // already has is destroyed first. Style bits: kWsVisible, kWsDisabled,
  // kWsTabStop, kWsGroup and the control's own low bits.
  bool Create(const std::wstring& text, uint32_t style, const Rect& rect, Window* parent, int controlId);
  // Binds an existing widget without ownership.
  bool Attach(QWidget* widget);
  // Unbinds and returns the widget; an owned widget is destroyed first and
  // null is returned.
  QWidget* Detach();
  // Sends kWmDestroy to this window and its bound descendants, unbinds them
  // and deletes the widget when owned.
  void DestroyWindow();

  // The handset class name, for diagnostics and the page interface.
  virtual const wchar_t* ClassName() const { return L"TALVINOR_WINDOW"; }
  // The class-specific handler. Answers the message; the base handles
  // kWmClose by destroying the window and kWmPaint by redrawing.
  virtual intptr_t HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam);
  intptr_t DefaultHandling(uint32_t message, uintptr_t wParam, intptr_t lParam);

  // Synchronous delivery, as SendMessage; 0 when the window is gone.
  static intptr_t SendMessage(WindowId window, uint32_t message, uintptr_t wParam, intptr_t lParam);
  // The bound window with this id (UI thread), or null.
  static Window* FromId(WindowId window);
  // The window object of a widget or of its nearest bound ancestor.
  static Window* FromWidget(QWidget* widget);
  // The bound window that holds the keyboard focus, or null.
  static Window* FocusedWindow();

  bool IsCreated() const { return m_widget != nullptr; }
  WindowId Id() const { return m_id; }
  int ControlId() const { return m_controlId; }
  uint32_t Style() const { return m_style; }
  bool HasStyle(uint32_t bits) const { return (m_style & bits) == bits; }
  Window* Parent() const;
  // Bound child windows, in the order they were created.
  std::vector<Window*> Children() const;
  // The child with this control id, or null.
  Window* Child(int controlId) const;

  virtual void SetText(const std::wstring& text);
  virtual std::wstring GetText() const;
  void Move(const Rect& rect);
  // Changes the size only; a top-level window not yet shown keeps the
  // placement the desktop gives it. For a top-level window the size is that
  // of its frame (client area and menu bar).
  void Resize(int width, int height);
  Rect GetRect() const;
  void GetClientSize(int* width, int* height) const;
  void Show(bool visible);
  bool IsVisible() const;
  void Enable(bool enabled);
  bool IsEnabled() const;
  void SetFocus();
  bool HasFocus() const;
  void Redraw();
  void SetFont(const FontSpec& font);
  const FontSpec& GetFont() const { return m_font; }
  // Text and background colours; `opaque` fills the background, otherwise
  // the control draws on whatever lies behind it.
  virtual void SetColours(ColorRef text, ColorRef background, bool opaque);
  // A page background image, drawn stretched over the client area.
  void SetBackgroundImage(RefPtr<SkinImage> image);
  SkinImage* BackgroundImage() const { return m_background.Get(); }

  // WM_TIMER with `timerId` every `periodMs`; the same id replaces the timer.
  bool SetTimer(uint32_t timerId, uint32_t periodMs);
  bool KillTimer(uint32_t timerId);

  // Top-level windows.
  void BringToFront();
  void SendToBack();

  // The bound widget (ui/ only).
  QWidget* Widget() const { return m_widget; }
  // The widget children are placed in (ui/ only).
  virtual QWidget* ClientWidget() const { return m_widget; }

 protected:
  ~Window() override;
  // Makes the widget of this class; the base makes a plain window that
  // paints its background and, for a top-level window, a frame around it.
  virtual QWidget* CreateWidget(QWidget* parent, const std::wstring& text, uint32_t style);
  // Called once the widget is bound, before kWmCreate.
  virtual void OnBound() {}
  // WM_COMMAND to the parent: (control id, code) and this window's id.
  intptr_t CommandParent(int code);
  // kWmNotify to the parent.
  intptr_t NotifyParent(ControlNotify notify);

 private:
  friend class QtMessageSink;
  void Bind(QWidget* widget, bool owned);
  QWidget* Unbind();
  void OnWidgetGone();
  void CollectBoundDescendants(QWidget* widget, std::vector<Window*>* out) const;

  QWidget* m_widget = nullptr;
  QWidget* m_outer = nullptr;  // the frame of a top-level window we made
  QtMessageSink* m_sink = nullptr;
  bool m_owned = false;
  WindowId m_id = 0;
  int m_controlId = 0;
  uint32_t m_style = 0;
  uint64_t m_serial = 0;  // creation order among siblings
  FontSpec m_font;
  RefPtr<SkinImage> m_background;
};

}  // namespace talvinor
