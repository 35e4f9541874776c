// The colours of a memory level and a health score, shared by the main window and the
// quick panel.
#pragma once

#include <cstdint>

#include "core/memory.hpp"

namespace tess::ui {

// 0xRRGGBB of the memory level's dot: green, amber, red.
std::uint32_t level_colour(MemoryLevel level);
// The health ring's colour: green from 75, amber from 50, red below.
std::uint32_t score_colour(unsigned score);

}  // namespace tess::ui
