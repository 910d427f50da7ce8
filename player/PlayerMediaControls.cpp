#include "player/PlayerMediaControls.h"

#include <cwctype>

#include "codec/StreamTags.h"
#include "player/PlayerPage.h"

namespace talvinor {

namespace {

bool SameNameIgnoringCase(const std::wstring& a, const wchar_t* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i)
    if (std::towupper(a[i]) != std::towupper(b[i])) return false;
  return i == a.size() && !b[i];
}

}  // namespace

PlayerMediaControls::~PlayerMediaControls() { Stop(); }

bool PlayerMediaControls::Start(const std::string& nameSuffix, std::string* error) {
  return m_service.Start(this, nameSuffix, error);
}

void PlayerMediaControls::Stop() { m_service.Stop(); }

std::wstring PlayerMediaControls::TitleOf(const std::wstring& path,
                                          const std::vector<std::pair<std::wstring, std::wstring>>& tags) {
  for (const auto& [name, value] : tags) {
    // Vorbis comments come as one text "NAME=value"; Speex ones split.
    if (name.empty()) {
      const size_t equals = value.find(L'=');
      if (equals != std::wstring::npos && SameNameIgnoringCase(value.substr(0, equals), L"TITLE") &&
          equals + 1 < value.size())
        return value.substr(equals + 1);
    } else if (SameNameIgnoringCase(name, L"TITLE") && !value.empty()) {
      return value;
    }
  }
  const size_t slash = path.rfind(L'/');
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

void PlayerMediaControls::OnPlaybackChanged() {
  CRecWaveOut* master = m_page->Master();
  const bool loaded = !master->IsState(MasterState::Closed);
  if (loaded) {
    std::wstring path;
    master->GetFileName(&path);
    if (!m_loaded || path != m_loadedPath) ++m_serial;  // a new track
    m_loadedPath = path;
    // The tags are there once the file is open.
    RefPtr<AudioSource> source = master->GetSource();
    m_title = TitleOf(path, source ? GetComponentTags(source.Get()) : TagList{});
  }
  m_loaded = loaded;
  m_service.NotifyChanged();
}

void PlayerMediaControls::MediaPlay() {
  CRecWaveOut* master = m_page->Master();
  if (master->IsState(MasterState::Paused)) {
    m_page->PauseOrResume();
  } else if (master->IsState(MasterState::Closed)) {
    m_page->Play();
  }
}

void PlayerMediaControls::MediaPause() {
  if (m_page->Master()->IsState(MasterState::Running)) m_page->PauseOrResume();
}

void PlayerMediaControls::MediaPlayPause() {
  CRecWaveOut* master = m_page->Master();
  if (master->IsState(MasterState::Closed)) {
    m_page->Play();
  } else {
    m_page->PauseOrResume();
  }
}

void PlayerMediaControls::MediaStop() { m_page->Stop(); }

void PlayerMediaControls::MediaNext() { m_page->PlayNeighbour(1); }

void PlayerMediaControls::MediaPrevious() { m_page->PlayNeighbour(-1); }

void PlayerMediaControls::MediaSeek(int64_t offsetUs) {
  if (m_page->Master()->IsState(MasterState::Closed)) return;
  m_page->SkipMilliseconds(offsetUs / 1000);
  m_service.NotifySeeked(MediaPositionUs());
}

void PlayerMediaControls::MediaSetPosition(int64_t positionUs) {
  CRecWaveOut* master = m_page->Master();
  if (master->IsState(MasterState::Closed)) return;
  m_page->SkipMilliseconds(positionUs / 1000 - static_cast<int64_t>(master->GetPosition()));
  m_service.NotifySeeked(MediaPositionUs());
}

MediaPlayback PlayerMediaControls::MediaStatus() {
  switch (m_page->Master()->GetState()) {
    case MasterState::Opening:
    case MasterState::Running:
    case MasterState::Resuming:
    case MasterState::Draining:
      return MediaPlayback::Playing;
    case MasterState::Pausing:
    case MasterState::EndPausing:
    case MasterState::Paused:
      return MediaPlayback::Paused;
    default:
      return MediaPlayback::Stopped;
  }
}

MediaTrack PlayerMediaControls::MediaCurrentTrack() {
  MediaTrack track;
  if (!m_loaded || m_page->Master()->IsState(MasterState::Closed)) return track;
  track.present = true;
  track.path = m_loadedPath;
  track.title = m_title;
  track.lengthUs = static_cast<uint64_t>(m_page->Master()->GetLength()) * 1000;
  track.serial = m_serial;
  return track;
}

int64_t PlayerMediaControls::MediaPositionUs() { return static_cast<int64_t>(m_page->Master()->GetPosition()) * 1000; }

bool PlayerMediaControls::MediaCanGoNext() { return m_page->HasNeighbour(1); }

bool PlayerMediaControls::MediaCanGoPrevious() { return m_page->HasNeighbour(-1); }

}  // namespace talvinor
