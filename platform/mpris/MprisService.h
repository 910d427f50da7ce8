#pragma once
#include <cstdint>
#include <memory>
#include <string>

namespace talvinor {

// What the desktop's media controls see of a player.
enum class MediaPlayback { Stopped, Playing, Paused };

struct MediaTrack {
  bool present = false;     // a file is loaded (playing or paused)
  std::wstring path;        // the file; becomes xesam:url
  std::wstring title;       // xesam:title
  uint64_t lengthUs = 0;    // mpris:length
  uint32_t serial = 0;      // tells one loaded file from the next (mpris:trackid)
};

// The player behind the service; every call comes on the thread that
// started the service (the UI thread).
class MediaPlayerControls {
 public:
  virtual void MediaPlay() = 0;
  virtual void MediaPause() = 0;
  virtual void MediaPlayPause() = 0;
  virtual void MediaStop() = 0;
  virtual void MediaNext() = 0;
  virtual void MediaPrevious() = 0;
  // Moves by `offsetUs` from where the file stands.
  virtual void MediaSeek(int64_t offsetUs) = 0;
  // Moves to `positionUs`.
  virtual void MediaSetPosition(int64_t positionUs) = 0;
  virtual MediaPlayback MediaStatus() = 0;
  virtual MediaTrack MediaCurrentTrack() = 0;
  virtual int64_t MediaPositionUs() = 0;
  virtual bool MediaCanGoNext() = 0;
  virtual bool MediaCanGoPrevious() = 0;

 protected:
  ~MediaPlayerControls() = default;
};

// The player's MPRIS 2 service on the session bus
// (org.mpris.MediaPlayer2.talvinor at /org/mpris/MediaPlayer2: the
// org.mpris.MediaPlayer2 and org.mpris.MediaPlayer2.Player interfaces), so
// that the desktop's media keys and panels and playerctl drive the player.
// UI thread only; needs the Qt application.
class MprisService {
 public:
  static constexpr const char* kBusName = "org.mpris.MediaPlayer2.talvinor";
  static constexpr const char* kObjectPath = "/org/mpris/MediaPlayer2";

  MprisService();
  ~MprisService();
  MprisService(const MprisService&) = delete;
  MprisService& operator=(const MprisService&) = delete;

  // Registers the object and takes the bus name (with `nameSuffix`
  // appended, ".instance2" say, when another player instance needs its
  // own). False, with the reason traced and in `*error`, when there is no
  // session bus or the name is taken.
  bool Start(MediaPlayerControls* controls, const std::string& nameSuffix = "", std::string* error = nullptr);
  void Stop();
  bool IsRunning() const;
  const std::string& BusName() const;

  // The player's state changed: the changed properties are announced.
  void NotifyChanged();
  // The position jumped (a seek): the Seeked signal.
  void NotifySeeked(int64_t positionUs);

 private:
  class Object;
  std::unique_ptr<Object> m_object;
  std::string m_busName;
};

// The track id of a loaded file's serial: "/org/mpris/MediaPlayer2/talvinor/track/N".
std::string MediaTrackId(uint32_t serial);

}  // namespace talvinor
