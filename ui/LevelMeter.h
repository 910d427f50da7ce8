#pragma once
#include <cstdint>

#include "ui/Window.h"

namespace talvinor {

// A horizontal input level meter: a dBFS scale from -60 to 0 with its
// labels, the RMS level as a solid bar, the peak as a lighter bar beyond it,
// the highest recent peak held as a line for kHoldMs, and a clip mark lit
// (and held as long) when a peak reaches kClipDb. The page feeds it levels
// and the time; it keeps no timer of its own.
class LevelMeter : public Window {
  TALVINOR_CLASS_CODES(0x400A, 0x4000)

 public:
  static constexpr float kFloorDb = -60.0f;
  static constexpr float kClipDb = -0.1f;
  static constexpr uint32_t kHoldMs = 1500;

  const wchar_t* ClassName() const override { return L"TALVINOR_LEVEL_METER"; }

  // A new reading at tick `now` (GetTickCount). Levels below the floor show
  // as the floor.
  void SetLevels(float peakDb, float rmsDb, uint32_t now);
  // The time passes without a reading: a held peak and a lit clip mark go
  // out once their time is up.
  void Advance(uint32_t now);
  // Back to silence, nothing held.
  void Clear();

  float PeakDb() const { return m_peakDb; }
  float RmsDb() const { return m_rmsDb; }
  float HeldPeakDb() const { return m_heldDb; }
  bool IsClipLit() const { return m_clipLit; }

  // Where the scale puts `db` within a bar `width` pixels wide (0 at the
  // floor, `width` at 0 dBFS).
  static int ScaleX(float db, int width);

 protected:
  QWidget* CreateWidget(QWidget* parent, const std::wstring& text, uint32_t style) override;

 private:
  friend class LevelMeterWidget;
  float m_peakDb = kFloorDb;
  float m_rmsDb = kFloorDb;
  float m_heldDb = kFloorDb;
  uint32_t m_heldAt = 0;  // tick the held peak was taken
  bool m_clipLit = false;
  uint32_t m_clipAt = 0;  // tick the clip mark was lit
};

}  // namespace talvinor
