#include "webserver/api/tap_parameter_block.h"

#include <string.h>

#include "common/base64.h"
#include "common/common_memory.h"
#include "common/url_params.h"

int TapParameterBlock(const char *params, unsigned char **block, int *length) {
  *block = nullptr;
  *length = 0;
  if (!params || !webC_paramExists(params, "tap_params")) return TAP_BLOCK_NONE;
  size_t size = strlen(params) + 1;
  char *text = static_cast<char *>(CommonAlloc(size));
  if (!text) return TAP_BLOCK_INVALID;
  webC_getStrParam(params, "tap_params", text, (int)size);
  int textLength = (int)strlen(text);
  int room = b64decodedMax(textLength);
  unsigned char *bytes = textLength <= TAP_PARAMS_MAX ? static_cast<unsigned char *>(CommonAlloc((size_t)room)) : nullptr;
  int decoded = bytes ? b64decode(text, bytes, room) : -1;
  CommonFree(text);
  if (decoded <= 0) {
    CommonFree(bytes);
    return decoded == 0 ? TAP_BLOCK_GIVEN : TAP_BLOCK_INVALID;
  }
  *block = bytes;
  *length = decoded;
  return TAP_BLOCK_GIVEN;
}
