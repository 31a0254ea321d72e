// Timers that would need more recording slots than the PVR has at the same moment.
import { DAY, MINUTE, parsePvrTime } from './pvrtime';

export interface TimerSpan { id: number; start: string; duration: number; reservationType: number; isRec: boolean }

/** Repetitions of the firmware's reservation types: once, daily, weekend, weekly, weekdays. */
const REPEAT: Record<number, (weekday: number) => boolean> = {
  1: () => true,
  2: (d) => d === 0 || d === 6,
  3: () => false,          // handled by a 7-day step below
  4: (d) => d >= 1 && d <= 5,
};

/** The span of a timer (or of the fields of one being made) under an id. */
export const timerSpan = (id: number, f: { start: string; duration: number; reservationType: number; isRec: boolean }): TimerSpan =>
  ({ id, start: f.start, duration: f.duration, reservationType: f.reservationType, isRec: f.isRec });

/** How far repeating timers are followed when looking for clashes. */
export const HORIZON_DAYS = 14;

function occurrences(span: TimerSpan): [number, number][] {
  const start = parsePvrTime(span.start);
  if (Number.isNaN(start)) return [];
  const length = span.duration * MINUTE;
  const result: [number, number][] = [[start, start + length]];
  const rule = REPEAT[span.reservationType];
  if (!rule) return result;
  for (let day = 1; day <= HORIZON_DAYS; day++) {
    const s = start + day * DAY;
    const weekday = new Date(s).getUTCDay();
    if (span.reservationType === 3 ? day % 7 === 0 : rule(weekday)) result.push([s, s + length]);
  }
  return result;
}

/** Ids of the recording timers that run while more than `slots` recordings run at once. */
export function overbooked(spans: TimerSpan[], slots: number): Set<number> {
  const edges: { at: number; id: number; begins: boolean }[] = [];
  for (const span of spans.filter((s) => s.isRec && s.duration > 0)) {
    for (const [s, e] of occurrences(span)) {
      edges.push({ at: s, id: span.id, begins: true }, { at: e, id: span.id, begins: false });
    }
  }
  // At equal times an ending comes before a beginning: back-to-back timers do not clash.
  edges.sort((a, b) => a.at - b.at || Number(a.begins) - Number(b.begins));
  const running = new Map<number, number>();
  const result = new Set<number>();
  for (const edge of edges) {
    running.set(edge.id, (running.get(edge.id) ?? 0) + (edge.begins ? 1 : -1));
    if (running.get(edge.id) === 0) running.delete(edge.id);
    const count = [...running.values()].reduce((a, b) => a + b, 0);
    if (edge.begins && count > slots) running.forEach((_, id) => result.add(id));
  }
  return result;
}
