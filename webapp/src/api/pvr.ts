// The PVR's API functions as the page uses them: each sends one request and reads the
// documented answer into a typed record.
import { ApiFailure, apiCall, paramValue, request, requestText } from './client';
import { Reader, checkError } from './read';

const read = (value: unknown, what: string) => Reader.of(value, what);

// ---- configuration, status, volume -------------------------------------------------

export interface Module { name: string; nameHex: string }

export interface Config {
  sysid: number;
  device: string;
  apptype: string;
  remoteType: number;
  maxRecStreams: number;
  version: number;
  recExtension: string;
  languageCode: string;
  analogueInput: boolean;
  utcOffset: number;
  prePadding: number;
  postPadding: number;
  hddModel: string;
  hddSerial: string;
  hddFirmware: string;
  pvrName: string;
  loggingLevel: number;
  epgSource: string;
  serverVersion: string;
  modules: Module[];
  timestamp: string;
}

export async function getConfig(): Promise<Config> {
  const r = read(await apiCall('config', 'get'), 'config/get').content('config');
  return {
    sysid: r.num('sysid'),
    device: r.str('device'),
    apptype: r.optStr('apptype'),
    remoteType: r.num('remotetype'),
    maxRecStreams: r.num('maxrecstreams'),
    version: r.optNum('version'),
    recExtension: r.str('recextension'),
    languageCode: r.str('language_code'),
    analogueInput: r.optNum('analogueinput') !== 0,
    utcOffset: r.optNum('utcoffset'),
    prePadding: r.optNum('pre_padding'),
    postPadding: r.optNum('post_padding'),
    hddModel: r.optStr('hddmodel'),
    hddSerial: r.optStr('hddserial'),
    hddFirmware: r.optStr('hddfirmware'),
    pvrName: r.str('pvrname'),
    loggingLevel: r.optNum('logginglevel'),
    epgSource: r.optStr('epgsource'),
    serverVersion: r.optStr('zel5ver'),
    modules: r.list('modules', (m) => ({ name: m.str('name'), nameHex: m.optStr('name_hex') }), true),
    timestamp: r.str('timestamp'),
  };
}

export interface RecordingSlot {
  slot: number;
  recType: number;          // 0: idle
  svcType: number;
  svcNum: number;
  logoId: string;
  duration: number;
  startTime: string;
  endTime: string;
  recordedSec: number;
  fileName: string;
}

export interface Status {
  state: number;
  chType: number;
  chNum: number;
  logoId: string;
  totalDisk: number;
  freeDisk: number;
  playMode: number;         // 0: nothing plays, 4: paused
  playFile: string;
  playFileHex: string;
  playPath: string;
  duration: number;
  durationSec: number;
  currentBlock: number;
  totalBlock: number;
  recordings: RecordingSlot[];
  timestamp: string;
}

export async function getStatus(): Promise<Status> {
  const r = read(await apiCall('status', 'get'), 'status/get').content('status');
  return {
    state: r.optNum('state'),
    chType: r.num('current_chtype'),
    chNum: r.num('current_chnum'),
    logoId: r.optStr('current_logoid'),
    totalDisk: r.num('totaldisk'),
    freeDisk: r.num('freedisk'),
    playMode: r.optNum('playmode'),
    playFile: r.optStr('filename'),
    playFileHex: r.optStr('filename_hex'),
    playPath: r.optStr('absolutefilename'),
    duration: r.optNum('duration'),
    durationSec: r.optNum('durationsec'),
    currentBlock: r.optNum('currentblock'),
    totalBlock: r.optNum('totalblock'),
    recordings: r.list('recording', (s) => ({
      slot: s.num('slot'),
      recType: s.num('rectype'),
      svcType: s.optNum('svctype'),
      svcNum: s.optNum('svcnum'),
      logoId: s.optStr('logoid'),
      duration: s.optNum('duration'),
      startTime: s.optStr('starttime'),
      endTime: s.optStr('endtime'),
      recordedSec: s.optNum('recordedsec'),
      fileName: s.optStr('filename'),
    }), true),
    timestamp: r.str('timestamp'),
  };
}

export interface Volume { level: number; mute: boolean }

export async function getVolume(): Promise<Volume> {
  const r = read(await apiCall('volume', 'get'), 'volume/get').content('volume');
  return { level: r.num('level'), mute: r.num('mute') !== 0 };
}

/** Sets the level (0-17) or mutes/unmutes; gives the volume after the change. */
export async function setVolume(level: number | 'mute' | 'unmute'): Promise<Volume> {
  const r = read(await apiCall('volume', 'set', { level }), 'volume/set').content('volume_change');
  return { level: r.num('level_after'), mute: r.num('mute_after') !== 0 };
}

// ---- remote control and screen --------------------------------------------------------

export async function sendKey(key: string, long = false): Promise<void> {
  const word = long ? `long-${key}` : key;
  const r = read(await apiCall('remote', 'send', { key: word }), 'remote/send').content('remote');
  if (/^0x0+$/.test(r.str('code_generated'))) {
    throw new ApiFailure('pvr', 'remote/send', `key "${key}" unknown to the PVR`);
  }
}

export async function sendChar(code: number): Promise<void> {
  read(await apiCall('ascii', 'send', { char: code }), 'ascii/send').content('ascii');
}

/** A picture of the television screen (video and menus) as an object URL. */
export async function captureScreen(): Promise<string> {
  const response = await request('/@@screen.png', { what: 'screen capture' });
  return URL.createObjectURL(await response.blob());
}

// ---- language -------------------------------------------------------------------------

/** The text of the page's language file for a code (the PVR's menu language when omitted). */
export function getLanguageFile(code?: string): Promise<string> {
  return requestText(`/api?function=language&action=get!${code ? `lang=${paramValue(code)}` : ''}`,
                     { what: 'language/get', urgent: true, revalidate: true });
}

// ---- channels and favourites -----------------------------------------------------------

export interface Channel {
  chType: number;           // 0 TV, 1 radio, 99 analogue input
  chNum: number;
  logoId: string;
  name: string;
  provider: string;
  lcn: number;
  scrambled: boolean;
  locked: boolean;
  skipped: boolean;
}

export interface ChannelList {
  channels: Channel[];
  current: { chType: number; chNum: number; logoId: string };
}

export async function getChannels(): Promise<ChannelList> {
  const r = read(await apiCall('channels', 'get'), 'channels/get').content('channels');
  return {
    current: { chType: r.num('current_chtype'), chNum: r.num('current_chnum'), logoId: r.optStr('current_logoid') },
    channels: r.list('channels', (c) => ({
      chType: c.num('chtype'),
      chNum: c.num('chnum'),
      logoId: c.optStr('logoid'),
      name: c.str('servicename'),
      provider: c.optStr('providername'),
      lcn: c.optNum('lcn'),
      scrambled: c.optNum('flagcas') !== 0,
      locked: c.optNum('flaglock') !== 0,
      skipped: c.optNum('flagskip') !== 0,
    })),
  };
}

export async function setChannel(chType: number, chNum: number): Promise<void> {
  const r = read(await apiCall('channels', 'set', { chtype: chType, chnum: chNum }), 'channels/set')
    .content('channels_set');
  if (r.num('status') !== 0) throw new ApiFailure('pvr', 'channels/set', r.optStr('statustext'));
}

export interface FavouritesGroup {
  name: string;
  services: { svcType: number; svcNum: number; logoId: string; name: string }[];
}

export async function getFavourites(): Promise<FavouritesGroup[]> {
  const r = read(await apiCall('favourites', 'get'), 'favourites/get').content('favourites');
  return r.list('groups', (g) => ({
    name: g.str('name'),
    services: g.list('services', (s) => ({
      svcType: s.num('svctype'), svcNum: s.num('svcnum'), logoId: s.optStr('logoid'), name: s.optStr('chname'),
    }), true),
  }), true);
}

// ---- logos -----------------------------------------------------------------------------

export interface LogoCell { x: number; y: number }
export interface LogoIndex { cells: Map<string, LogoCell>; timestamp: string }

/** The sprite sheet's index: where each channel's logo lies in "service-logos.png". */
export async function getLogoIndex(): Promise<LogoIndex> {
  const r = read(await apiCall('logos', 'get', {}, undefined, true), 'logos/get').content('logos');
  const cells = new Map<string, LogoCell>();
  r.list('logos', (l) => cells.set(l.str('logoid'), { x: l.num('sprite_x'), y: l.num('sprite_y') }));
  return { cells, timestamp: r.optStr('timestamp') };
}

/** Starts the rebuild; fails when the PVR could not start the configuration TAP. */
export async function rebuildLogos(): Promise<void> {
  const r = read(await apiCall('logos', 'rebuild'), 'logos/rebuild').content('logo_rebuild_requested');
  checkError(r, 'error', 'error_text');
}

// ---- EPG -----------------------------------------------------------------------------------

export interface EpgEvent {
  eventId: number;
  start: string;            // PVR local time "YYYY/MM/DD hh:mm:ss"
  end: string;
  duration: number;         // minutes
  svcType: number;
  svcNum: number;
  logoId: string;           // search results only
  name: string;
  description: string;
  text: string;
  parental: string;
  genre: string;
}

export function readEvent(e: Reader): EpgEvent {
  return {
    eventId: e.num('eventid'),
    start: e.str('starttime_local'),
    end: e.str('endtime_local'),
    duration: e.num('duration'),
    svcType: e.num('svctype'),
    svcNum: e.num('svcnum'),
    logoId: e.optStr('logoid'),
    name: e.str('name'),
    description: e.optStr('description'),
    text: e.optStr('text'),
    parental: e.optStr('parental_text'),
    genre: e.optStr('genre_text'),
  };
}

export interface EpgQuery { chType?: number; chNum?: number; start?: string; end?: string }

export async function getEpg(q: EpgQuery): Promise<EpgEvent[]> {
  const params: Record<string, string | number> = {};
  if (q.start) params.starttime = q.start;
  if (q.end) params.endtime = q.end;
  if (q.chType !== undefined && q.chNum !== undefined) {
    params.chtype = q.chType;
    params.chnum = q.chNum;
  }
  const r = read(await apiCall('epg', 'get', params), 'epg/get').content('epg_events');
  checkError(r, 'error');
  return r.list('event', readEvent, true);
}

/** errorCode: 0 starting, 1 a search is already running, other values: not started (errorText says why). */
export interface SearchLaunch { port: number; errorCode: number; errorText: string }

export async function launchSearch(): Promise<SearchLaunch> {
  const r = read(await apiCall('epg', 'search'), 'epg/search').content('skimlet_ack');
  return { port: r.num('port'), errorCode: r.num('error_code'), errorText: r.optStr('error_text') };
}

// ---- timers --------------------------------------------------------------------------------

export interface Timer {
  index: number;
  isRec: boolean;
  svcType: number;
  svcNum: number;
  chName: string;
  logoId: string;
  reservationType: number;
  duration: number;
  start: string;
  end: string;
  fileName: string;
  tuner: number;
}

export async function getTimers(): Promise<Timer[]> {
  const r = read(await apiCall('timers', 'get'), 'timers/get').content('timers');
  return r.list('timers', (t) => ({
    index: t.num('index'),
    isRec: t.num('isrec') !== 0,
    svcType: t.num('servicetype'),
    svcNum: t.num('serviceindex'),
    chName: t.optStr('chname'),
    logoId: t.optStr('logoid'),
    reservationType: t.optNum('reservationtype'),
    duration: t.num('duration'),
    start: t.str('starttime'),
    end: t.optStr('endtime'),
    fileName: t.optStr('filename'),
    tuner: t.optNum('tunerindex'),
  }));
}

export interface TimerFields {
  isRec: boolean;
  svcType: number;
  svcNum: number;
  reservationType: number;
  duration: number;
  start: string;            // "YYYY/MM/DD hh:mm:ss"
  fileName: string;
  eventId?: number;
}

function timerBody(lines: Record<string, string | number>): string {
  // One "keyword=value" line each; values must not break the line structure.
  return Object.entries(lines).map(([k, v]) => `${k}=${String(v).replace(/[\r\n]/g, ' ')}`).join('\n') + '\n';
}

function timerFieldLines(f: TimerFields): Record<string, string | number> {
  const lines: Record<string, string | number> = {
    isrec: f.isRec ? 1 : 0,
    servicetype: f.svcType,
    servicenum: f.svcNum,
    reservationtype: f.reservationType,
    duration: f.duration,
    starttime: f.start,
  };
  if (f.fileName) lines.filename = f.fileName;
  if (f.eventId !== undefined) lines.eventid1 = f.eventId;
  return lines;
}

function keyLines(t: Timer): Record<string, string | number> {
  return {
    index: t.index,
    old_servicetype: t.svcType,
    old_servicenum: t.svcNum,
    old_duration: t.duration,
    old_starttime: t.start,
  };
}

async function updateTimer(action: string, content: string, body: string): Promise<void> {
  const r = read(await apiCall('timers', action, {}, body), `timers/${action}`).content(content);
  checkError(r, 'return_code', 'return_text');
}

export const createTimer = (f: TimerFields) => updateTimer('new', 'timers_new', timerBody(timerFieldLines(f)));
export const modifyTimer = (t: Timer, f: TimerFields) =>
  updateTimer('modify', 'timers_modify', timerBody({ ...keyLines(t), ...timerFieldLines(f) }));
export const deleteTimer = (t: Timer) => updateTimer('delete', 'timers_delete', timerBody(keyLines(t)));

// ---- files, playback, recordings -------------------------------------------------------------

export interface MediaFile {
  name: string;
  nameHex: string;
  isDir: boolean;
  size: number;
  modified: string;
  recording?: {
    channel: string;
    logoId: string;
    title: string;
    description: string;
    text: string;
    start: string;
    durationMin: number;
    durationSec: number;
    parental: string;
  };
  mp3?: { artist: string; title: string; album: string; track: string; year: string; genre: string; length: string };
}

export interface Listing { directory: string; files: MediaFile[] }

function readRecording(d: Reader): MediaFile['recording'] {
  const header = d.optObj('header');
  const service = d.optObj('service');
  const event = d.optObj('eventinfo');
  const ext = d.optObj('exteventinfo');
  return {
    channel: service?.optStr('servicename') ?? '',
    logoId: header?.optStr('logoid') ?? '',
    title: event?.optStr('name') ?? '',
    description: event?.optStr('description') ?? '',
    text: ext?.optStr('text') ?? '',
    start: header?.optStr('starttime') ?? '',
    durationMin: header?.optNum('durationmin') ?? 0,
    durationSec: header?.optNum('durationsec') ?? 0,
    parental: event?.optStr('parental_text') ?? '',
  };
}

export async function listFiles(dir: string): Promise<Listing> {
  const r = read(await apiCall('files', 'get', { dir }), 'files/get').content('files');
  checkError(r, 'error_code', 'error_text');
  return {
    directory: r.str('directory'),
    files: r.list('files', (f) => {
      const mp3 = f.optObj('mp3data');
      return {
        name: f.str('name'),
        nameHex: f.str('name_hex'),
        isDir: f.num('attr') === 224,
        size: f.optNum('size'),
        modified: f.optStr('timestamp'),
        recording: f.has('infdata') ? readRecording(f.obj('infdata')) : undefined,
        mp3: mp3 && {
          artist: mp3.optStr('artist'), title: mp3.optStr('title'), album: mp3.optStr('album'),
          track: mp3.optStr('track'), year: mp3.optStr('year'), genre: mp3.optStr('genre'), length: mp3.optStr('length'),
        },
      };
    }, true),
  };
}

export async function folderTree(dir: string): Promise<string[]> {
  const r = read(await apiCall('files', 'tree', { dir }), 'files/tree').content('files_tree');
  return r.list('directory', (d) => d.str('name'), true);
}

/** Starts playback; recordings and MP3s report 0 when started, other media 1. */
export async function play(dir: string, file: MediaFile): Promise<void> {
  const r = read(await apiCall('files', 'play', { dir, file_hex: file.nameHex }), 'files/play').content('files_play');
  const direct = dir.startsWith('/mnt/hd/DataFiles') || dir.startsWith('/mnt/hd/MP3Files');
  const status = r.num('status');
  if (direct ? status !== 0 : status !== 1) throw new ApiFailure('pvr', 'files/play', `status ${status}`);
}

export async function stopPlayback(): Promise<void> {
  read(await apiCall('files', 'stop'), 'files/stop').content('files_stop');
}

export async function pausePlayback(resume: boolean): Promise<void> {
  const r = read(await apiCall('files', resume ? 'resume' : 'pause'), 'files/pause').content('files_pause_unpause');
  checkError(r, 'error');
}

/** Jumps by seconds (signed) within the playing file. */
export async function skip(seconds: number): Promise<void> {
  const value = seconds >= 0 ? `+${seconds}` : `${seconds}`;
  const r = read(await apiCall('files', 'skip', { time: value }), 'files/skip').content('files_jump');
  checkError(r, 'error', 'error_text');
}

export async function stopRecording(slot: number): Promise<void> {
  const r = read(await apiCall('files', 'stoprec', { slot }), 'files/stoprec').content('files_stoprec');
  if (r.num('return_code') === 99) throw new ApiFailure('pvr', 'files/stoprec', `slot ${slot}`);
}

function checkFileStatus(r: Reader, prefix: string): void {
  const status = r.num(`${prefix}_status`);
  if (status !== 0) throw new ApiFailure('pvr', r.what, `${prefix} status ${status}, errno ${r.optNum(`${prefix}_errno`)}`);
}

export async function renameFile(dir: string, file: MediaFile, newName: string): Promise<void> {
  const r = read(await apiCall('files', 'rename', { dir, file_hex: file.nameHex, new_dir: dir, new_file: newName }),
                 'files/rename').content('files_rename');
  for (const p of ['mpg', 'inf', 'nav']) checkFileStatus(r, p);
}

export async function deleteFile(dir: string, file: MediaFile): Promise<void> {
  const r = read(await apiCall('files', 'delete', { dir, file_hex: file.nameHex }), 'files/delete')
    .content('files_delete');
  for (const p of ['mpg', 'inf', 'nav']) checkFileStatus(r, p);
}

// ---- TAPs ---------------------------------------------------------------------------------------

export interface RunningTap {
  index: number;
  tapId: number;
  tapIdHex: string;
  name: string;
  version: string;
  description: string;
  fileName: string;
  author: string;
}

export async function getTaps(): Promise<RunningTap[]> {
  const r = read(await apiCall('taps', 'get'), 'taps/get').content('taps');
  return r.list('tap', (t) => ({
    index: t.num('index'),
    tapId: t.num('tapid'),
    tapIdHex: t.optStr('tapid_hex'),
    name: t.str('name'),
    version: t.optStr('version'),
    description: t.optStr('description'),
    fileName: t.optStr('file_name'),
    author: t.optStr('author'),
  }));
}

export async function startTap(path: string): Promise<void> {
  const r = read(await apiCall('taps', 'start', { filename: path }), 'taps/start').content('tap_start');
  checkError(r, 'error', 'error_text');
}

export async function stopTap(tap: RunningTap): Promise<void> {
  const r = read(await apiCall('taps', 'stop', { index: tap.index, tapid: tap.tapId }), 'taps/stop')
    .content('tap_stop');
  checkError(r, 'error', 'error_text');
}

// ---- settings ---------------------------------------------------------------------------------

const moduleParam = (module?: string): Record<string, string> => (module ? { module } : {});

export async function listSettings(module?: string): Promise<[string, string][]> {
  const r = read(await apiCall('settings', 'list', moduleParam(module)), 'settings/list').content('setting_list');
  const settings = r.obj('setting');
  return Object.keys(settings.o).map((k) => [k, settings.str(k)]);
}

export async function setSetting(key: string, value: string, module?: string): Promise<void> {
  const r = read(await apiCall('settings', 'set', { key, value, ...moduleParam(module) }), 'settings/set')
    .content('setting_set');
  if (r.num('status') !== 1) throw new ApiFailure('pvr', 'settings/set', `status ${r.num('status')}`);
}

export async function deleteSetting(key: string, module?: string): Promise<void> {
  read(await apiCall('settings', 'delete', { key, ...moduleParam(module) }), 'settings/delete')
    .content('setting_delete');
}
