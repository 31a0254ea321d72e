#include "webserver/api/api_tuning.h"

#include <inttypes.h>
#include <string.h>

#include "common/json_answer.h"
#include "common/packed_date.h"
#include "common/url_params.h"
#include "platform/channel_lookup.h"
#include "platform/flash_tables.h"
#include "webserver/api/pvr_names.h"
#include "webserver/core/http_connection.h"
#include "webserver/core/logging.h"

namespace {

// One favourites group with its entries, as one record.
bool FormatGroup(JsonAnswer *answer, const FavouritesGroupRecord &g, bool first) {
  int mark = answer->BeginRecord();
  answer->Cat(first ? "\t{\t\"name\":\"" : "\t,{\t\"name\":\"");
  AppendPVRName(answer, g.groupName, sizeof g.groupName);
  answer->Cat("\",\r\n\t\"name_hex\":");
  answer->HexString(g.groupName, (int)sizeof g.groupName);
  answer->Printf(",\r\n\t\"count\":%d,\r\n\t\"services\":\r\n\t\t[\r\n", g.svcCount);
  for (int i = 0; i < g.svcCount; i++) {
    TYPE_TapChInfo info;
    memset(&info, 0, sizeof info);
    TAP_Channel_GetInfo(g.svcType[i], g.svcNum[i], &info);
    answer->Printf(i == 0 ? "\t\t{\"svctype\":%d,\r\n" : "\t\t,{\"svctype\":%d,\r\n", g.svcType[i]);
    answer->Printf("\t\t\"svcnum\":%d,\r\n\t\t\"lcn\":%d,\r\n", g.svcNum[i], info.logicalChNum);
    answer->Printf("\t\t\"logoid\":\"%016" PRIx64 "\",\r\n\t\t\"chname\":\"",
                   LogoManager_GetChannelID(g.svcType[i], g.svcNum[i]));
    AppendPVRName(answer, info.chName, sizeof info.chName);
    answer->Cat("\"}\r\n");
  }
  answer->Cat("\t\t]}\r\n");
  return answer->EndRecord(mark);
}

void FormatLnb(JsonAnswer *answer, int number, const LNBSettings &l) {
  answer->Printf("\t\t{\"lnb_num\":%d,\r\n\t\t\"lnb_supply\":%d,\r\n\t\t\"unused1\":%d,\r\n\t\t\"diseqc10\":%d,\r\n"
                 "\t\t\"unused2\":%d,\r\n\t\t\"diseqc12\":%d,\r\n\t\t\"universallnb\":%d,\r\n\t\t\"switch22\":%d,\r\n"
                 "\t\t\"lowband\":%d,\r\n\t\t\"hbfrq\":%d,\r\n",
                 number, l.lnbSupply, l.unused1, l.diseqc10, l.unused2, l.diseqc12, l.universalLnb, l.switch22,
                 l.lowBand, l.hbFrq);
  answer->Printf("\t\t\"DiSEqC12Flags\":\"0x%02x%02x%02x\",\r\n", l.diseqc12Flags[0], l.diseqc12Flags[1],
                 l.diseqc12Flags[2]);
  answer->Printf("\t\t\"unused3\":%d,\r\n\t\t\"loopthrough\":%d,\r\n\t\t\"unused4\":%d,\r\n\t\t\"diseqc11\":%d,\r\n",
                 l.unused3, l.loopThrough, l.unused4, l.diseqc11);
  answer->Cat("\t\t\"unused5\":\"0x");
  answer->Hex(l.unused5, (int)sizeof l.unused5);
  answer->Cat("\"}\r\n");
}

void FormatTransponder(JsonAnswer *answer, int number, const TransponderRecord &t) {
  // The frequency is a 32-bit value: printed unsigned, the same on the PVR and on a PC.
  answer->Printf("\t\t{\"transponder_num\":%d,\r\n\t\t\"sat_index\":%d,\r\n\t\t\"frequency\":%" PRIu32 ",\r\n"
                 "\t\t\"symbol_rate\":%d,\r\n\t\t\"channel_number\":%d,\r\n\t\t\"bandwidth\":%d,\r\n"
                 "\t\t\"TSID\":%d,\r\n\t\t\"ONID\":%d,\r\n\t\t\"network_id\":%d,\r\n\t\t\"pilot\":%d,\r\n",
                 number, t.satIndex, t.frequency, t.symbolRate, t.channelNumber, t.bandwidth, t.tsid, t.onid,
                 t.networkId, t.pilot);
  answer->Printf("\t\t\"fec\":%d,\r\n\t\t\"modulation\":%d,\r\n\t\t\"mod_system\":%d,\r\n\t\t\"polarisation\":%d,\r\n"
                 "\t\t\"lphp\":%d,\r\n\t\t\"clock_sync\":%d,\r\n\t\t\"unused1\":%d,\r\n\t\t\"unused2\":%d,\r\n"
                 "\t\t\"unused3\":%d,\r\n\t\t\"unused4\":%d}\r\n",
                 t.fec, t.modulation, t.modSystem, t.polarisation, t.lphp, t.clockSync, t.unused1, t.unused2,
                 t.unused3, t.unused4);
}

// One satellite object (with its transponders for the transponder table), as one record.
bool FormatSatellite(JsonAnswer *answer, int index, bool transponders, bool first) {
  SatelliteRecord s;
  FlashSatTablesGetInfo(index, &s);   // a satellite that cannot be read is listed with zeros
  int mark = answer->BeginRecord();
  if (!first) answer->Cat("\t,\r\n");
  answer->Printf("\t{\"sat_index\":%d,\r\n\t\"transponder_count\":%d,\r\n", index, s.transponderCount);
  if (transponders) {
    answer->Cat("\t\"transponders\":\r\n\t\t[\r\n");
    for (int n = 0; n < s.transponderCount; n++) {
      TransponderRecord t;
      FlashTransponderTablesGetInfo(index, n, &t);
      if (n > 0) answer->Cat("\t\t,\r\n");
      FormatTransponder(answer, n, t);
    }
    answer->Cat("\t\t],\r\n");
  }
  answer->Printf("\t\"unused1\":%d,\r\n\t\"sat_name\":\"", s.unused1);
  AppendPVRName(answer, s.satName, sizeof s.satName);
  answer->Cat("\",\r\n\t\"sat_name_hex\":");
  answer->HexString(s.satName, (int)sizeof s.satName);
  answer->Cat(",\r\n\t\"lnb\":\r\n\t\t[\r\n");
  FormatLnb(answer, 0, s.lnb[0]);
  answer->Cat("\t\t,\r\n");
  FormatLnb(answer, 1, s.lnb[1]);
  answer->Cat("\t\t],\r\n\t\"unknown1\":\"0x");
  answer->Hex(s.unknown1, (int)sizeof s.unknown1);
  answer->Printf("\",\r\n\t\"sat_position\":%d,\r\n\t\"unused2\":\"0x", s.satPosition);
  answer->Hex(s.unused2, (int)sizeof s.unused2);
  answer->Cat("\"}\r\n");
  return answer->EndRecord(mark);
}

}  // namespace

void APIFavouritesGet() {
  LOGF(LOG_DETAIL, "Processing API-Favourites-Get.");
  int groups = 0, entries = 0;
  FlashFavoritesGetParameters(&groups, &entries);
  int inUse = FlashFavoritesGetTotal();
  LOGF(LOG_DETAIL, "Number of favourites groups=%d, Services per group=%d, Total=%d.", groups, entries, inUse);
  JsonAnswer answer;
  if (!answer.Ok()) {
    LOGF(LOG_OPERATIONAL, "Error allocating memory for favourites response.");
    return;
  }
  answer.Printf("{\r\n\"timestamp\":\"%s\",\r\n\"content\":\"favourites\",\r\n", PVRDateToJSON(0, 0));
  answer.Printf("\"totalgroups\":%d,\r\n\"groupsize\":%d,\r\n", groups, entries);
  int countAt = answer.Length();   // "count" goes here once the groups are written
  FavouritesGroupRecord current;
  if (FlashFavoritesGetInfoCurrent(&current)) {
    answer.Cat("\"currentgroup\":\"");
    AppendPVRName(&answer, current.groupName, sizeof current.groupName);
    answer.Cat("\",\r\n\"currentgroup_hex\":");
    answer.HexString(current.groupName, (int)sizeof current.groupName);
    answer.Cat(",\r\n");
  } else {
    answer.Cat("\"currentgroup\":\"\",\r\n\"currentgroup_hex\":\"\",\r\n");
  }
  answer.Cat("\"groups\":\r\n\t[\r\n");
  int written = 0;
  for (int i = 0; i < inUse && !answer.Full(); i++) {
    FavouritesGroupRecord group;
    if (FlashFavoritesGetInfo(i, &group)) written += FormatGroup(&answer, group, written == 0);
  }
  answer.Cat("\t\t]\r\n}\r\n");
  answer.InsertPrintf(countAt, "\"count\":%d,\r\n", written);
  LOGF(LOG_NETWORK, "Sending favourites listing.");
  NetHTTPRespond(answer.Data(), answer.Length(), "application/json", 0);
}

void APISatGet(const char *params) {
  LOGF(LOG_DETAIL, "Processing API-Sat-Get.");
  int satellites = FlashSatTablesGetTotal();
  int action = gCommand.action;   // parseParams clears it
  parseParams(params ? params : "", 1);
  int requested = gCommand.satIndexSet ? gCommand.satIndex : -1;
  bool transponders = action == ACTION_TRANSPONDERS;
  int first = 0, last = satellites - 1;
  if (!transponders) {
    LOGF(LOG_OPERATIONAL, "Listing satellites.");
  } else if (gCommand.satIndexSet) {
    LOGF(LOG_OPERATIONAL, "Listing trasponders for satellite index %d.", requested);
    first = last = requested;
  } else {
    LOGF(LOG_OPERATIONAL, "Listing trasponders for all satellites.");
  }
  JsonAnswer answer;
  if (!answer.Ok()) {
    LOGF(LOG_OPERATIONAL, "Error allocating bytes for satellite response.");
    return;
  }
  answer.Cat("{");
  answer.Printf("\"content\":\"%s\",\r\n", transponders ? "transponder_table" : "sat_table");
  answer.Printf("\"requested_satIndex\":%d,\r\n\"satellites\":\r\n\t[\r\n", requested);
  int written = 0;
  for (int index = first; index <= last && !answer.Full(); index++) {
    written += FormatSatellite(&answer, index, transponders, written == 0);
  }
  answer.Printf("\r\n\t],\r\n\"timestamp\":\"%s\"}\r\n", PVRDateToJSON(0, 0));
  answer.InsertPrintf(1, "\"count\":%d,\r\n", written);
  LOGF(LOG_NETWORK, "Sending SAT-Get response.");
  NetHTTPRespond(answer.Data(), answer.Length(), "application/json", 0);
}
