#include "search/skimlet_time.h"

namespace skimlet {

int TimeDiff(uint32_t a, uint32_t b) {
  int days = (int)(a >> 16) - (int)(b >> 16);
  int hours = (int)((a >> 8) & 0xFF) - (int)((b >> 8) & 0xFF);
  int minutes = (int)(a & 0xFF) - (int)(b & 0xFF);
  return days * 1440 + hours * 60 + minutes;
}

}  // namespace skimlet
