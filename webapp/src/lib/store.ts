// The state the header and several views share: configuration, status, volume, channel
// list and logo index, each with the failure of its last load.
import { useEffect, useState } from 'preact/hooks';

import { ApiFailure } from '../api/client';
import * as pvr from '../api/pvr';
import { parsePvrTime } from './pvrtime';

export interface Loaded<T> { value?: T; error?: ApiFailure }

export interface AppState {
  config: Loaded<pvr.Config>;
  status: Loaded<pvr.Status>;
  volume: Loaded<pvr.Volume>;
  channels: Loaded<pvr.ChannelList>;
  logos: Loaded<pvr.LogoIndex>;
  languageError?: ApiFailure;
  /** Browser time (ms) at which the PVR clock read "clockBase". */
  clockAt: number;
  clockBase: number;
}

let state: AppState = {
  config: {}, status: {}, volume: {}, channels: {}, logos: {}, clockAt: 0, clockBase: NaN,
};
const listeners = new Set<() => void>();

export const getState = () => state;

export function setState(change: Partial<AppState>): void {
  state = { ...state, ...change };
  listeners.forEach((l) => l());
}

export function useAppState(): AppState {
  const [, redraw] = useState(0);
  useEffect(() => {
    const listener = () => redraw((n) => n + 1);
    listeners.add(listener);
    return () => { listeners.delete(listener); };
  }, []);
  return state;
}

export function asFailure(error: unknown): ApiFailure {
  return error instanceof ApiFailure ? error : new ApiFailure('answer', 'page', String(error));
}

/** Loads one shared item; the previous value stays shown when a reload fails. */
async function load<K extends 'config' | 'status' | 'volume' | 'channels' | 'logos'>(
  key: K, fetcher: () => Promise<NonNullable<AppState[K]['value']>>,
): Promise<void> {
  try {
    const value = await fetcher();
    setState({ [key]: { value } } as Partial<AppState>);
  } catch (error) {
    setState({ [key]: { value: state[key].value, error: asFailure(error) } } as Partial<AppState>);
  }
}

function setClock(timestamp: string): void {
  const base = parsePvrTime(timestamp);
  if (!Number.isNaN(base)) setState({ clockBase: base, clockAt: Date.now() });
}

export async function loadConfig(): Promise<void> {
  await load('config', pvr.getConfig);
  if (state.config.value) setClock(state.config.value.timestamp);
}

export async function loadStatus(): Promise<void> {
  await load('status', pvr.getStatus);
  if (state.status.value && !state.status.error) setClock(state.status.value.timestamp);
}

export const loadVolume = () => load('volume', pvr.getVolume);
export const loadChannels = () => load('channels', pvr.getChannels);
export const loadLogos = () => load('logos', pvr.getLogoIndex);

/** The channel the PVR has just confirmed switching to, until the next status says more. */
export function setCurrentChannel(chType: number, chNum: number, logoId: string): void {
  const { channels, status } = state;
  setState({
    channels: channels.value ? { ...channels, value: { ...channels.value, current: { chType, chNum, logoId } } } : channels,
    status: status.value ? { ...status, value: { ...status.value, chType, chNum, logoId } } : status,
  });
}

export function setVolumeValue(volume: pvr.Volume): void {
  setState({ volume: { value: volume } });
}

/** The PVR's local time now, in PVR clock milliseconds. Until the PVR has told its time,
 *  the browser's own wall-clock time stands in for it. */
export function pvrNow(): number {
  if (Number.isNaN(state.clockBase)) return Date.now() - new Date().getTimezoneOffset() * 60000;
  return state.clockBase + (Date.now() - state.clockAt);
}

/** The PVR's recording slots; two, the usual number, until its configuration is known. */
export const recordingSlots = () => state.config.value?.maxRecStreams ?? 2;

/** Name of a channel from the shared list, or "" when unknown. */
export function channelName(chType: number, chNum: number): string {
  return state.channels.value?.channels.find((c) => c.chType === chType && c.chNum === chNum)?.name ?? '';
}
