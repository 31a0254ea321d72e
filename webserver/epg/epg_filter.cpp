#include "webserver/epg/epg_filter.h"

#include <ctype.h>
#include <string.h>

#include "common/text_helpers.h"

void EPGFilterReset(EPGFilter *filter) { memset(filter, 0, sizeof *filter); }

void EPGFilterSetTime(EPGFilter *filter, dword start, dword end) {
  filter->byTime = true;
  filter->start = start;
  filter->end = end;
}

void EPGFilterSetText(EPGFilter *filter, const char *text) {
  CopyBounded(filter->text, sizeof filter->text, text ? text : "", EPG_FILTER_TEXT_SIZE);
}

bool EPGTimeWindowKeeps(const EPGFilter *filter, dword start, dword end) {
  if (!filter->byTime) return true;
  return end >= filter->start && (filter->end == 0 || start <= filter->end);
}

namespace {

// Whether field (at most size bytes, up to its zero) contains pattern, ASCII letters
// compared without case.
bool Contains(const char *field, size_t size, const char *pattern) {
  size_t n = strnlen(field, size), m = strlen(pattern);
  for (size_t at = 0; at + m <= n; at++) {
    size_t i = 0;
    while (i < m && tolower((unsigned char)field[at + i]) == tolower((unsigned char)pattern[i])) i++;
    if (i == m) return true;
  }
  return false;
}

}  // namespace

bool EPGFilterKeeps(const EPGFilter *f, const EPGEvent *e, uint64_t logoId) {
  if (f->byService && (e->satindex != f->service.satIndex || e->networkid != f->service.networkId ||
                       e->tsid != f->service.tsid || e->serviceid != f->service.serviceId)) {
    return false;
  }
  if (f->byLogoId && logoId != f->logoId) return false;
  if (!EPGTimeWindowKeeps(f, e->starttime, e->endtime)) return false;
  if (f->byEventId && e->eventid != f->eventId) return false;
  if (f->text[0] && !Contains(e->name, sizeof e->name, f->text) &&
      !Contains(e->description, sizeof e->description, f->text) && !Contains(e->text, sizeof e->text, f->text)) {
    return false;
  }
  return true;
}
