#pragma once
#include <string>
#include <utility>
#include <vector>

#include "platform/mpris/MprisService.h"

namespace talvinor {

class PlayerPage;

// The desktop's media controls on the player page: the MPRIS service's
// requests become the page's own operations, with the page's messages and
// rules, and every state notice of the page is announced to the desktop.
class PlayerMediaControls : public MediaPlayerControls {
 public:
  explicit PlayerMediaControls(PlayerPage* page) : m_page(page) {}
  ~PlayerMediaControls();

  // False when there is no session bus or the name is taken; the page works
  // on without the service.
  bool Start(const std::string& nameSuffix = "", std::string* error = nullptr);
  void Stop();
  MprisService& Service() { return m_service; }
  // The page's playback changed.
  void OnPlaybackChanged();

  void MediaPlay() override;
  void MediaPause() override;
  void MediaPlayPause() override;
  void MediaStop() override;
  void MediaNext() override;
  void MediaPrevious() override;
  void MediaSeek(int64_t offsetUs) override;
  void MediaSetPosition(int64_t positionUs) override;
  MediaPlayback MediaStatus() override;
  MediaTrack MediaCurrentTrack() override;
  int64_t MediaPositionUs() override;
  bool MediaCanGoNext() override;
  bool MediaCanGoPrevious() override;

  // The title the desktop shows: the TITLE tag, else the file name.
  static std::wstring TitleOf(const std::wstring& path, const std::vector<std::pair<std::wstring, std::wstring>>& tags);

 private:
  PlayerPage* m_page;  // owns this object
  MprisService m_service;
  std::wstring m_loadedPath;
  bool m_loaded = false;
  uint32_t m_serial = 0;
  std::wstring m_title;
};

}  // namespace talvinor
