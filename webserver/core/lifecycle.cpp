#include "webserver/core/lifecycle.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <stdio.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "common/common_log.h"
#include "platform/directory_stack.h"
#include "platform/firmware_hooks.h"
#include "platform/firmware_model.h"
#include "platform/support_log.h"
#include "platform/tap_services.h"
#include "platform/tap_tasks.h"
#include "webserver/api/api_logos.h"
#include "webserver/core/http_connection.h"
#include "webserver/core/logging.h"
#include "webserver/core/settings.h"
#include "webserver/epg/epg_genre.h"

int gStopRun;
int allow_idle_events = 1;
dword gMyIPAddress, gMySubnetMask, gMyNetwork;
int gMyNetworkFlag;
volatile int gApprenticeStatus, gApprenticeERRNO;
volatile dword gApprenticeTick;
pthread_t gApprenticeThread;

namespace {

const char *const kProgramName = "Orvane 2.20";
const char *const kSupportVersion = "__RIVLIB_VERSION_TMS__ 2016-02-29";

// The product tag in coloured block letters, printed on the console at start.
void PrintBanner() {
  static const char *const kBanner[] = {
      "\033[1;36m  ___  \033[1;34m ____  \033[1;35m__     __\033[1;31m   _    \033[1;33m _   _ \033[1;32m _____ \033[0m\n",
      "\033[1;36m / _ \\ \033[1;34m|  _ \\ \033[1;35m\\ \\   / /\033[1;31m  / \\   \033[1;33m| \\ | |\033[1;32m| ____|\033[0m\n",
      "\033[1;36m| | | |\033[1;34m| |_) |\033[1;35m \\ \\ / / \033[1;31m / _ \\  \033[1;33m|  \\| |\033[1;32m|  _|  \033[0m\n",
      "\033[1;36m| |_| |\033[1;34m|  _ < \033[1;35m  \\ V /  \033[1;31m/ ___ \\ \033[1;33m| |\\  |\033[1;32m| |___ \033[0m\n",
      "\033[1;36m \\___/ \033[1;34m|_| \\_\\\033[1;35m   \\_/  \033[1;31m/_/   \\_\\\033[1;33m|_| \\_|\033[1;32m|_____|\033[0m\n",
      "\033[1;37m              web control for the PVR      \033[0m\n",
  };
  PrintNet("\n");
  for (const char *line : kBanner) PrintNet(line);
}

void LogStarted() {
  if (gLoggingLevel < LOG_OPERATIONAL) return;
  word mjd;
  byte hour, minute, second;
  TAP_GetTime(&mjd, &hour, &minute, &second);
  LOGF(LOG_OPERATIONAL, "%s Started: %02d:%02d:%02d.  rivlibVer: %s.", kProgramName, hour, minute,
       second, kSupportVersion);
}

// Reports and joins the EPG-search thread when it has finished.
void CheckSearchThread() {
  if (gApprenticeERRNO != 0) {
    LOGF(LOG_DETAIL, "Unable to start 'skimlet' process, ERRNO = %d.", gApprenticeERRNO);
    gApprenticeERRNO = 0;
  }
  if (gApprenticeStatus == 3) {
    LOGF(LOG_DETAIL, "Joining 'skimlet' thread after %ld ticks.", (long)(TAP_GetTick() - gApprenticeTick));
    pthread_join(gApprenticeThread, nullptr);
    gApprenticeStatus = 0;
  }
}

void StartConfigTap() {
  dword startedId = 0;
  StartTapFile("/ProgramFiles", "Orvane-Config.tap", false, nullptr, &startedId);
}

// Events from the TMSCommander TAP; param1 is the command.
dword HandleTMSCommander(TapParam command) {
  switch (command) {
    case 1:
      LOGF(LOG_OPERATIONAL, "STOP command from TMSCommander.");
      gStopRun = 2;
      return 1;
    case 2:
      LOGF(LOG_OPERATIONAL, "Got Menu command from TMSCommander, activating Orvane-Config.");
      StartConfigTap();
      return 1;
    case 3:
      return 0x01000003;   // capabilities
    case 5:
      return 1;
    case 6:
      LOGF(LOG_OPERATIONAL, "Got UserEvent command from TMSCommander.");
      return 1;
    default:
      return 0;
  }
}

void ReloadConfiguration() {
  LOGF(LOG_OPERATIONAL, "Received request to re-load configuration.");
  closeSockets();
  initGlobalVariables();
  NetServerInit();
}

// The IPv4 address in a socket address that the kernel filled in (copied out, not read
// through a cast: the structures differ in alignment).
dword IPv4AddressOf(const sockaddr &address) {
  static_assert(sizeof(sockaddr_in) <= sizeof(sockaddr), "an IPv4 address fits a socket address");
  sockaddr_in in;
  memcpy(&in, &address, sizeof in);
  return in.sin_addr.s_addr;
}

}  // namespace

TAP_EXPORT int TAP_Main(void) {
  InstallTapServices();
  SetCommonLog(&gLoggingLevel, LogWriteEntry);
  PrintBanner();
  HDD_ChangeDir("/ProgramFiles/Settings/Orvane");
  OpenNetworkLog();
  BindAnalogHooks();
  initGlobalVariables();
  dumpGenreParental2File();
  checkLogos();
  LogStarted();
  NetServerInit();
  return 1;
}

TAP_EXPORT dword TAP_EventHandler(word event, TapParam param1, TapParam param2) {
  (void)param2;
  bool exited = false;
  if (gStopRun == 2) {
    exitRoutine();
    TAP_Exit();
    exited = true;
  } else if (gStopRun == 1) {
    TAP_Exit();
    exited = true;
  }
  CheckSearchThread();

  switch (event) {
    case EVT_IDLE:
      if (!exited && allow_idle_events) NetServerPoll();
      return (dword)param1;
    case EVT_STOP:
      LOGF(LOG_OPERATIONAL, "Stopping TAP from EVT_STOP.");
      exitRoutine();
      gStopRun = 1;
      return (dword)param1;
    case EVT_TMSCOMMANDER:
      return HandleTMSCommander(param1);
    case EVT_RELOAD_CONFIG:
      ReloadConfiguration();
      return (dword)param1;
    default:
      return (dword)param1;   // keys and other events pass on unchanged
  }
}

void exitRoutine() {
  LOGF(LOG_OPERATIONAL, "Starting exitRoutine.");
  closeSockets();
  LOGF(LOG_OPERATIONAL, "Finishing exitRoutine.");
  CloseNetworkLog();
  // The model table is the TAP's memory: it goes with the TAP.
  gModelInfo = nullptr;
  ReleaseFirmwareModelTable();
}

int StartTapFile(const char *folder, const char *name, bool batch, void *parameterBlock, dword *id) {
  // The file in its folder as one path: a missing folder or a name too long for a path is
  // a file that is not there, and HDD_TAP_StartFailure says so.
  char path[TAP_FOLDER_PATH_SIZE];
  const char *file = name;
  if (folder && name) {
    int n = snprintf(path, sizeof path, "%s/%s", folder, name);
    file = n > 0 && (size_t)n < sizeof path ? path : nullptr;
  }
  int wasAllowed = allow_idle_events;
  allow_idle_events = 0;
  int result = HDD_TAP_Start(file, batch, parameterBlock, id);
  allow_idle_events = wasAllowed;
  return result;
}

void getIPAddress() {
  int probe = socket(AF_INET, SOCK_DGRAM, 0);
  if (probe < 0) return;
  struct ifreq request;
  memset(&request, 0, sizeof request);
  snprintf(request.ifr_name, sizeof request.ifr_name, "eth0");
  request.ifr_addr.sa_family = AF_INET;
  if (ioctl(probe, SIOCGIFADDR, &request) == 0) {
    gMyIPAddress = IPv4AddressOf(request.ifr_addr);
    if (ioctl(probe, SIOCGIFNETMASK, &request) == 0) {
      gMySubnetMask = IPv4AddressOf(request.ifr_netmask);
      const byte *a = reinterpret_cast<const byte *>(&gMyIPAddress);
      const byte *m = reinterpret_cast<const byte *>(&gMySubnetMask);
      LOGF(LOG_DETAIL, "My IP address %d.%d.%d.%d, my subnet mask %d.%d.%d.%d.", a[0], a[1], a[2], a[3],
           m[0], m[1], m[2], m[3]);
      gMyNetworkFlag = 1;
      gMyNetwork = gMyIPAddress & gMySubnetMask;
      const byte *n = reinterpret_cast<const byte *>(&gMyNetwork);
      LOGF(LOG_DETAIL, "My network %d.%d.%d.%d.", n[0], n[1], n[2], n[3]);
    }
  }
  if (!gMyNetworkFlag) LOGF(LOG_OPERATIONAL, "Unable to read the address of eth0.");
  close(probe);
}
