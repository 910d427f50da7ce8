#pragma once
#include "ui/UiTypes.h"

namespace talvinor {

class Page;
class PageHost;

// The frame's key navigation on a page. The page sees each key first; unless
// it consumed it, Up and Down move the focus to the previous or next of the
// page's controls that stop the tab key and are visible and enabled (the
// page may veto one), wrapping to the tab bar at either end, and '0' (not a
// repeat) goes to the tab bar.
class FocusWalker {
 public:
  // `host` gives the tab bar the focus; it outlives the walker.
  explicit FocusWalker(PageHost* host) : m_host(host) {}

  // A key down or up for `page`; true when it was consumed.
  bool HandleKey(Page* page, const WindowMessage& key);

 private:
  void Move(Page* page, bool forward);

  PageHost* m_host;
};

}  // namespace talvinor
