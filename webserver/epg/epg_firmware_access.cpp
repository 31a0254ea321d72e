#include "webserver/epg/epg_firmware_access.h"

EPGFirmwareAccess gEPGFirmware;

