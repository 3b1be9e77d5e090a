// The sizes every run keeps to: orders 0..50 and at most 5000 incident rays (ray indices
// 0..5000 in the tables).
#pragma once

namespace orvane {

inline constexpr int kMaxOrder = 50;
inline constexpr int kMaxRays = 5000;
inline constexpr int kOrderCount = kMaxOrder + 1;
inline constexpr int kRaySlots = kMaxRays + 1;

} // namespace orvane
