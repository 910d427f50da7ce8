#pragma once
// Where every picture lies in the image skin's bitmap. The quarter-VGA bitmap
// (skin/w01qvga.BMP) is laid out at scale 1; the VGA bitmap (skin/w01vga.BMP)
// is the same picture at scale 2. The skin generator draws by these
// rectangles and the skin cuts by them, so the two cannot drift apart.
#include <array>

#include "ui/UiTypes.h"

namespace talvinor::atlas {

inline constexpr int kWidth = 404;
inline constexpr int kHeight = 368;

// The owner-drawn buttons with faces in the bitmap, by control id.
enum class Group { Recorder, Player, Small };
struct FaceSlot {
  int controlId;
  Group group;
  int index;  // position within its group
};
inline constexpr std::array<FaceSlot, 13> kFaces{{
    {1201, Group::Recorder, 0},  // record
    {1202, Group::Recorder, 1},  // pause
    {1203, Group::Recorder, 2},  // stop
    {1101, Group::Player, 0},    // play
    {1102, Group::Player, 1},    // pause
    {1103, Group::Player, 2},    // stop
    {1104, Group::Player, 3},    // switch view
    {1116, Group::Small, 0},     // back 300 s  "<<<"
    {1115, Group::Small, 1},     // back 30 s   "<<"
    {1114, Group::Small, 2},     // back 5 s    "<"
    {1111, Group::Small, 3},     // forward 5 s   ">"
    {1112, Group::Small, 4},     // forward 30 s  ">>"
    {1113, Group::Small, 5},     // forward 300 s ">>>"
}};

constexpr Rect Scaled(Rect r, int scale) { return {r.x * scale, r.y * scale, r.width * scale, r.height * scale}; }

// Face `state` (0 normal, 1 pressed, 2 disabled) of a slot.
constexpr Rect FaceRect(const FaceSlot& slot, int state, int scale) {
  switch (slot.group) {
    case Group::Recorder: return Scaled({state * 66, slot.index * 50, 64, 48}, scale);
    case Group::Player: return Scaled({state * 44, 152 + slot.index * 34, 42, 32}, scale);
    case Group::Small: break;
  }
  // The first small face of the quarter-VGA skin is the 20 x 20 square at (270, 301).
  return Scaled({270 + slot.index * 22, 301 + state * 22, 20, 20}, scale);
}

// Tab faces: 0 a tab, 1 the selected tab, 2 a disabled tab.
constexpr Rect TabRect(int state, int scale) { return Scaled({200, state * 26, 60, 24}, scale); }

// The page background panel, stretched over each page.
constexpr Rect BackgroundRect(int scale) { return Scaled({200, 80, 120, 120}, scale); }

}  // namespace talvinor::atlas
