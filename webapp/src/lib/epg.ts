// Helpers over EPG events: what runs now and next on each channel, and event times.
import { EpgEvent } from '../api/pvr';
import { parsePvrTime } from './pvrtime';

export const channelKey = (svcType: number, svcNum: number) => `${svcType}/${svcNum}`;

export const eventStart = (e: EpgEvent) => parsePvrTime(e.start);
export const eventEnd = (e: EpgEvent) => {
  const end = parsePvrTime(e.end);
  return Number.isNaN(end) ? eventStart(e) + e.duration * 60000 : end;
};

export interface NowNext { now?: EpgEvent; next?: EpgEvent }

/** Per channel: the event running at `now` and the first one starting after it. */
export function nowNext(events: EpgEvent[], now: number): Map<string, NowNext> {
  const byChannel = new Map<string, EpgEvent[]>();
  for (const e of events) {
    const key = channelKey(e.svcType, e.svcNum);
    byChannel.set(key, [...(byChannel.get(key) ?? []), e]);
  }
  const result = new Map<string, NowNext>();
  for (const [key, list] of byChannel) {
    list.sort((a, b) => eventStart(a) - eventStart(b));
    const current = list.find((e) => eventStart(e) <= now && eventEnd(e) > now);
    const after = current ? eventEnd(current) : now;
    const next = list.find((e) => e !== current && eventStart(e) >= after);
    result.set(key, { now: current, next });
  }
  return result;
}

/** Share of the event that has passed at `now`, 0 to 100. */
export function progress(e: EpgEvent, now: number): number {
  const start = eventStart(e);
  const length = eventEnd(e) - start;
  return length > 0 ? Math.min(100, Math.max(0, Math.round((100 * (now - start)) / length))) : 0;
}
