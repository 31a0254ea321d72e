#include "common/common_log.h"

namespace {

const int *gCommonLogLevel = nullptr;
CommonLogWriter gCommonLogWriter = nullptr;

}  // namespace

void SetCommonLog(const int *level, CommonLogWriter writer) {
  gCommonLogLevel = level;
  gCommonLogWriter = writer;
}

int CommonLogEnabled(int level) {
  return gCommonLogLevel && gCommonLogWriter && *gCommonLogLevel >= level;
}

void CommonLogWrite(int level, const char *text) {
  if (CommonLogEnabled(level)) gCommonLogWriter(level, text);
}
