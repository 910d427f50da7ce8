#pragma once
// Waveform audio: numbered input and output devices opened with a PCM
// format, fed or drained through caller-owned headers, with the handset's
// semantics that the recording and playback masters rely on:
//  - input: waveInAddBuffer queues empty headers; while started the device
//    fills them in order and returns each full one with WIM_DATA.
//    waveInStop returns the partly filled header (if it holds any bytes)
//    and keeps the empty ones queued; waveInReset returns every queued
//    header at once (empty ones with dwBytesRecorded 0) and sets the
//    position to 0. Both first move what the device has already captured
//    into the headers, so nothing recorded before the call is lost.
//  - output: waveOutWrite queues a header; it is returned with WOM_DONE
//    once it has been played. waveOutPause keeps every queued header and
//    waveOutRestart plays on from where it stopped; waveOutReset returns
//    every queued header at once and sets the position to 0 (a paused
//    device stays paused).
//  - the position is what has been captured or played since the open or
//    the last reset.
//  - callbacks (WIM_OPEN/WIM_DATA/WIM_CLOSE, WOM_OPEN/WOM_DONE/WOM_CLOSE)
//    come in that order from the device's own thread, never from the
//    caller's; a callback must only record or post, and must not call back
//    into this layer (waveXxxClose from a callback fails with
//    MMSYSERR_HANDLEBUSY).
// Every function is thread-safe. Handles are ids, so a closed or unknown
// handle gives MMSYSERR_INVALHANDLE instead of touching freed memory.
//
// Two backends stand behind the same functions (SetWaveBackend): ALSA for
// the program, and a programmable virtual one for tests and benchmarks
// (platform/wave/VirtualWaveBackend.h).
#include <cstdint>
#include <string>

namespace talvinor {

using MMRESULT = uint32_t;

inline constexpr MMRESULT MMSYSERR_NOERROR = 0;
inline constexpr MMRESULT MMSYSERR_ERROR = 1;
inline constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
inline constexpr MMRESULT MMSYSERR_NOTENABLED = 3;
inline constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
inline constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
inline constexpr MMRESULT MMSYSERR_NODRIVER = 6;
inline constexpr MMRESULT MMSYSERR_NOMEM = 7;
inline constexpr MMRESULT MMSYSERR_NOTSUPPORTED = 8;
inline constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
inline constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
inline constexpr MMRESULT MMSYSERR_HANDLEBUSY = 12;
inline constexpr MMRESULT WAVERR_BADFORMAT = 32;
inline constexpr MMRESULT WAVERR_STILLPLAYING = 33;
inline constexpr MMRESULT WAVERR_UNPREPARED = 34;

// Callback messages (the same numbers as the MM_WIM_*/MM_WOM_* window messages).
inline constexpr uint32_t WOM_OPEN = 0x3BB;   // 955
inline constexpr uint32_t WOM_CLOSE = 0x3BC;  // 956
inline constexpr uint32_t WOM_DONE = 0x3BD;   // 957: param1 is the played WAVEHDR*
inline constexpr uint32_t WIM_OPEN = 0x3BE;   // 958
inline constexpr uint32_t WIM_CLOSE = 0x3BF;  // 959
inline constexpr uint32_t WIM_DATA = 0x3C0;   // 960: param1 is the returned WAVEHDR*

// Open flags.
inline constexpr uint32_t WAVE_FORMAT_QUERY = 0x0001;   // only test the format; no handle
inline constexpr uint32_t WAVE_FORMAT_DIRECT = 0x0008;  // accepted and ignored
inline constexpr uint32_t CALLBACK_NULL = 0x00000;
inline constexpr uint32_t CALLBACK_FUNCTION = 0x30000;
inline constexpr uint32_t CALLBACK_TYPEMASK = 0x70000;

// Device number that picks the default device (device 0).
inline constexpr uint32_t WAVE_MAPPER = 0xFFFFFFFFu;

// WAVEHDR dwFlags.
inline constexpr uint32_t WHDR_DONE = 0x01;
inline constexpr uint32_t WHDR_PREPARED = 0x02;
inline constexpr uint32_t WHDR_BEGINLOOP = 0x04;
inline constexpr uint32_t WHDR_ENDLOOP = 0x08;
inline constexpr uint32_t WHDR_INQUEUE = 0x10;

// MMTIME wType.
inline constexpr uint32_t TIME_MS = 0x01;
inline constexpr uint32_t TIME_SAMPLES = 0x02;
inline constexpr uint32_t TIME_BYTES = 0x04;
inline constexpr uint32_t TIME_SMPTE = 0x08;
inline constexpr uint32_t TIME_MIDI = 0x10;
inline constexpr uint32_t TIME_TICKS = 0x20;

inline constexpr uint16_t WAVE_FORMAT_PCM = 1;

// The standard-format capability bits of dwFormats: rate 1 = 11025 Hz,
// 2 = 22050 Hz, 4 = 44100 Hz; M/S mono/stereo; 08/16 bits per sample.
inline constexpr uint32_t WAVE_FORMAT_1M08 = 0x0001;
inline constexpr uint32_t WAVE_FORMAT_1S08 = 0x0002;
inline constexpr uint32_t WAVE_FORMAT_1M16 = 0x0004;
inline constexpr uint32_t WAVE_FORMAT_1S16 = 0x0008;
inline constexpr uint32_t WAVE_FORMAT_2M08 = 0x0010;
inline constexpr uint32_t WAVE_FORMAT_2S08 = 0x0020;
inline constexpr uint32_t WAVE_FORMAT_2M16 = 0x0040;
inline constexpr uint32_t WAVE_FORMAT_2S16 = 0x0080;
inline constexpr uint32_t WAVE_FORMAT_4M08 = 0x0100;
inline constexpr uint32_t WAVE_FORMAT_4S08 = 0x0200;
inline constexpr uint32_t WAVE_FORMAT_4M16 = 0x0400;
inline constexpr uint32_t WAVE_FORMAT_4S16 = 0x0800;
inline constexpr uint32_t WAVE_FORMAT_ALL_STANDARD = 0x0FFF;

#pragma pack(push, 1)
// The 18-byte sound format every component, master and device carries.
struct WAVEFORMATEX {
  uint16_t wFormatTag;
  uint16_t nChannels;
  uint32_t nSamplesPerSec;
  uint32_t nAvgBytesPerSec;
  uint16_t nBlockAlign;
  uint16_t wBitsPerSample;
  uint16_t cbSize;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18, "WAVEFORMATEX is stored as 18 bytes");

// A buffer handed to a device. The caller owns the header and its data and
// must keep both alive while the header is prepared.
struct WAVEHDR {
  char* lpData;              // the samples
  uint32_t dwBufferLength;   // capacity (input) or bytes to play (output)
  uint32_t dwBytesRecorded;  // input: bytes filled so far
  uintptr_t dwUser;          // the caller's
  uint32_t dwFlags;          // WHDR_*
  uint32_t dwLoops;          // looping is not supported; ignored
  WAVEHDR* lpNext;           // reserved
  uintptr_t reserved;        // reserved
};

struct MMTIME {
  uint32_t wType;  // TIME_*: the unit asked for, replaced by the unit answered in
  union {
    uint32_t ms;
    uint32_t sample;
    uint32_t cb;
    uint32_t ticks;
    struct {
      uint8_t hour, min, sec, frame, fps, dummy;
      uint8_t pad[2];
    } smpte;
    struct {
      uint32_t songptrpos;
    } midi;
  } u;
};
static_assert(sizeof(MMTIME) == 12, "MMTIME is 12 bytes");

// Device capabilities. The name is the device's own (for ALSA the PCM name
// that opens it, such as "default" or "sysdefault:CARD=PCH"); the
// description is a human-readable line, possibly empty.
struct WAVEINCAPS {
  std::wstring szPname;
  std::wstring szDescription;
  uint32_t dwFormats = 0;  // WAVE_FORMAT_* bits the device opens with
  uint16_t wChannels = 0;  // most channels among the standard formats (0: none)
};
struct WAVEOUTCAPS {
  std::wstring szPname;
  std::wstring szDescription;
  uint32_t dwFormats = 0;
  uint16_t wChannels = 0;
};

// Handles are opaque ids, never dereferenced; null means "no device".
struct HWAVEIN__;
struct HWAVEOUT__;
using HWAVEIN = HWAVEIN__*;
using HWAVEOUT = HWAVEOUT__*;

// Callbacks by function: run on the device's thread.
using WaveInProc = void (*)(HWAVEIN handle, uint32_t message, uintptr_t instance, uintptr_t param1,
                            uintptr_t param2);
using WaveOutProc = void (*)(HWAVEOUT handle, uint32_t message, uintptr_t instance, uintptr_t param1,
                             uintptr_t param2);

// Input devices. Device numbers run from 0 to waveInGetNumDevs() - 1;
// device 0 is the system's default device.
uint32_t waveInGetNumDevs();
MMRESULT waveInGetDevCaps(uint32_t deviceId, WAVEINCAPS* caps);
// `flags`: CALLBACK_FUNCTION (with `callback`) or CALLBACK_NULL, optionally
// WAVE_FORMAT_QUERY (then `handle` may be null and nothing is opened).
// WIM_OPEN follows a successful open. Formats: linear PCM, 1-8 channels,
// 8, 16, 24 or 32 bits, nBlockAlign = channels * bits / 8; anything else is
// WAVERR_BADFORMAT, as is a format the device refuses.
MMRESULT waveInOpen(HWAVEIN* handle, uint32_t deviceId, const WAVEFORMATEX* format, WaveInProc callback,
                    uintptr_t instance, uint32_t flags);
// Fails with WAVERR_STILLPLAYING while a header is queued. WIM_CLOSE is the
// last callback; it has been delivered when this returns.
MMRESULT waveInClose(HWAVEIN handle);
MMRESULT waveInPrepareHeader(HWAVEIN handle, WAVEHDR* header, uint32_t headerSize);
MMRESULT waveInUnprepareHeader(HWAVEIN handle, WAVEHDR* header, uint32_t headerSize);
MMRESULT waveInAddBuffer(HWAVEIN handle, WAVEHDR* header, uint32_t headerSize);
MMRESULT waveInStart(HWAVEIN handle);
MMRESULT waveInStop(HWAVEIN handle);
MMRESULT waveInReset(HWAVEIN handle);
MMRESULT waveInGetPosition(HWAVEIN handle, MMTIME* time, uint32_t timeSize);

// Output devices, numbered like the input devices.
uint32_t waveOutGetNumDevs();
MMRESULT waveOutGetDevCaps(uint32_t deviceId, WAVEOUTCAPS* caps);
MMRESULT waveOutOpen(HWAVEOUT* handle, uint32_t deviceId, const WAVEFORMATEX* format, WaveOutProc callback,
                     uintptr_t instance, uint32_t flags);
MMRESULT waveOutClose(HWAVEOUT handle);
MMRESULT waveOutPrepareHeader(HWAVEOUT handle, WAVEHDR* header, uint32_t headerSize);
MMRESULT waveOutUnprepareHeader(HWAVEOUT handle, WAVEHDR* header, uint32_t headerSize);
MMRESULT waveOutWrite(HWAVEOUT handle, WAVEHDR* header, uint32_t headerSize);
MMRESULT waveOutPause(HWAVEOUT handle);
MMRESULT waveOutRestart(HWAVEOUT handle);
MMRESULT waveOutReset(HWAVEOUT handle);
// Looping is not supported, so there is never a loop to break.
MMRESULT waveOutBreakLoop(HWAVEOUT handle);
MMRESULT waveOutGetPosition(HWAVEOUT handle, MMTIME* time, uint32_t timeSize);

// A short English text for a result code, for traces and the command line.
const char* WaveResultText(MMRESULT result);

// The capability bit of a linear PCM format when it is one of the twelve
// standard formats, else 0.
uint32_t StandardFormatBit(const WAVEFORMATEX& format);
// The linear PCM WAVEFORMATEX of a channel count, rate and sample size (the
// order of the structure's fields), with the derived block alignment and
// byte rate.
WAVEFORMATEX PcmWaveFormatEx(uint16_t channels, uint32_t samplesPerSec, uint16_t bitsPerSample);

// Which backend the functions above use. Handles stay with the backend they
// were opened on. The program uses ALSA (the default); tests, benchmarks and
// the command line's --virtual option select the virtual one.
enum class WaveBackendKind {
  Alsa,     // the system's sound devices through ALSA
  Virtual,  // the programmable devices of VirtualWaveBackend
};
void SetWaveBackend(WaveBackendKind kind);
WaveBackendKind GetWaveBackend();

}  // namespace talvinor
