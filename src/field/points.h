// The fixed point sets of the star field.
#pragma once

#include <array>
#include <cstdint>
#include <cstddef>

template <std::size_t N>
struct point_set {
  std::array<int32_t, N> x;
  std::array<int32_t, N> y;
  std::array<int32_t, N> z;
};

constexpr std::size_t far_capacity = 1300;
constexpr std::size_t near_capacity = 100;

extern point_set<far_capacity> far_points;
extern point_set<near_capacity> near_points;

// Fills both sets from rand(), taking exactly 1560 values.
void populate_field();
