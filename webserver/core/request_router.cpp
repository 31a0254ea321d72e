#include "webserver/core/request_router.h"

#include <arpa/inet.h>
#include <string.h>

#include "platform/screen_capture.h"
#include "webserver/api/api_screen.h"
#include "webserver/core/api_dispatch.h"
#include "webserver/core/http_connection.h"
#include "webserver/core/lifecycle.h"
#include "webserver/core/logging.h"
#include "webserver/core/settings.h"
#include "webserver/core/static_files.h"

namespace {

void FormatAddress(dword address, char *out, size_t size) {
  const byte *a = reinterpret_cast<const byte *>(&address);
  snprintf(out, size, "%d.%d.%d.%d", a[0], a[1], a[2], a[3]);
}

bool OnMyNetwork(dword client) {
  if (gMyNetwork == 0) getIPAddress();
  return gMyNetworkFlag && (client & gMySubnetMask) == gMyNetwork;
}

bool CredentialsMatch() {
  // The stored token is compared as it is; without credentials it holds bytes no token has.
  size_t length = strlen(gHTTPauthCredentials);
  return length < sizeof gCredentials && memcmp(gHTTPauthCredentials, gCredentials, length + 1) == 0;
}

// The access decision; false when a 401 must be sent.
bool AccessGranted() {
  if (gAuthentication == 0) return true;
  dword client = gNexusInbound.sin_addr.s_addr;
  char clientText[16];
  FormatAddress(client, clientText, sizeof clientText);
  if (gAuthentication == 1) {
    if (OnMyNetwork(client)) return true;
    LOGF(LOG_DETAIL, "Authentication required for %s. Mismatched networks.", clientText);
    if (gLoggingLevel >= LOG_DETAIL) {
      char mine[16], theirs[16];
      FormatAddress(gMyNetwork, mine, sizeof mine);
      FormatAddress(client & gMySubnetMask, theirs, sizeof theirs);
      LOGF(LOG_DETAIL, "My network %s, client network %s.", mine, theirs);
    }
  }
  if (CredentialsMatch()) {
    LOGF(LOG_DETAIL, "Authentication passed for %s.", clientText);
    return true;
  }
  LOGF(LOG_DETAIL, "Authentication failed for %s.", clientText);
  LOGF(LOG_NETWORK, "NetProcessCommand 401.");
  return false;
}

}  // namespace

void NetProcessCommand() {
  LOGF(LOG_OPERATIONAL, "* Processing Command '%s' (%d).", gHTTPpath, (int)strlen(gHTTPpath));
  if (!AccessGranted()) {
    NetSend401();
    return;
  }
  int what, format;
  if (strncmp(gHTTPpath, "/api?", 5) == 0) {
    if (NetProcessAPI(gHTTPpath) != 0) {
      LOGF(LOG_OPERATIONAL, "API failed.");
      NetSend404();
    }
  } else if (CaptureNameLookup(gHTTPpath, &what, &format)) {
    APIScreenGet(what, format);
  } else if (gHTTPpath[0] == '/') {
    NetServeFile(gHTTPpath, (int)strlen(gHTTPpath));
  } else {
    LOGF(LOG_NETWORK, "NetProcessCommand 404.");
    NetSend404();
  }
}
