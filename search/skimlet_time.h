// Packed-date helpers of skimlet that differ from the support layer's.
#pragma once

#include <stdint.h>

namespace skimlet {

// Minutes of a less the minutes of b (the support layer's TimeDiff takes them the other
// way round).
int TimeDiff(uint32_t a, uint32_t b);

}  // namespace skimlet
