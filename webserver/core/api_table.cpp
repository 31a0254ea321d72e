#include "webserver/core/api_table.h"

#include <stddef.h>

#include "webserver/api/api_config.h"
#include "webserver/api/api_remote.h"
#include "webserver/api/api_status.h"
#include "webserver/api/api_volume.h"

// Each handler family adds its row here together with the handler itself, so that no row
// names a handler that does not exist. Rows keep the order of the dispatch table.
namespace {

const char *const kGet[] = {"get", nullptr};
const char *const kSet[] = {"set", nullptr};
const char *const kSend[] = {"send", nullptr};

// Remote control and volume.
void RemoteKey(const char *params) { APIRemoteSend(params, REMOTE_MODE_KEY); }
void RemoteCharacter(const char *params) { APIRemoteSend(params, REMOTE_MODE_CHARACTER); }
void VolumeGet(const char *) { APIVolumeGet(); }
const char *const kRemote[] = {"remote", nullptr};
const char *const kAscii[] = {"ascii", nullptr};
const char *const kVolume[] = {"vol", "volume", nullptr};
const APIAction kRemoteActions[] = {{kSend, RemoteKey, 0}};
const APIAction kAsciiActions[] = {{kSend, RemoteCharacter, 0}};
const APIAction kVolumeActions[] = {{kGet, VolumeGet, 0}, {kSet, APIVolumeSet, 0}};

// Configuration and status.
void ConfigGet(const char *) { APIConfigGet(); }
void StatusGet(const char *) { APIStatusGet(); }
const char *const kConfig[] = {"config", nullptr};
const char *const kStatus[] = {"status", nullptr};
const APIAction kConfigActions[] = {{kGet, ConfigGet, 0}};
const APIAction kStatusActions[] = {{kGet, StatusGet, 0}};

template <size_t N>
constexpr int CountOf(const APIAction (&)[N]) {
  return (int)N;
}

const APIFunction kTable[] = {
    {kRemote, 0, kRemoteActions, CountOf(kRemoteActions)},
    {kAscii, 0, kAsciiActions, CountOf(kAsciiActions)},
    {kConfig, 0, kConfigActions, CountOf(kConfigActions)},
    {kStatus, 0, kStatusActions, CountOf(kStatusActions)},
    {kVolume, 0, kVolumeActions, CountOf(kVolumeActions)},
};

}  // namespace

const APIFunction *const kAPIFunctions = kTable;
const int kAPIFunctionCount = (int)(sizeof kTable / sizeof *kTable);
