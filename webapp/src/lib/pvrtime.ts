// The PVR's times are local wall-clock texts "YYYY/MM/DD hh:mm:ss" without a zone. The page
// keeps them as milliseconds of a UTC-based clock with the same wall-clock fields, so no
// time zone of the browser ever shifts them.

const PATTERN = /^(\d{4})\/(\d{2})\/(\d{2}) (\d{2}):(\d{2})(?::(\d{2}))?$/;

/** Milliseconds for a PVR time text, or NaN when the text is not one (e.g. "0"). */
export function parsePvrTime(text: string): number {
  const m = PATTERN.exec(text.trim());
  if (!m) return NaN;
  const [y, mo, d, h, mi, s] = m.slice(1).map((v) => Number(v ?? 0));
  if (y === 0) return NaN;
  return Date.UTC(y, mo - 1, d, h, mi, s);
}

const pad = (n: number, w = 2) => String(n).padStart(w, '0');

/** The PVR time text for milliseconds of the PVR clock. */
export function formatPvrTime(ms: number): string {
  const d = new Date(ms);
  return `${pad(d.getUTCFullYear(), 4)}/${pad(d.getUTCMonth() + 1)}/${pad(d.getUTCDate())} ` +
    `${pad(d.getUTCHours())}:${pad(d.getUTCMinutes())}:${pad(d.getUTCSeconds())}`;
}

/** "YYYY-MM-DDThh:mm" for a datetime-local input, and back. */
export function toInputValue(ms: number): string {
  return formatPvrTime(ms).slice(0, 16).replace(/\//g, '-').replace(' ', 'T');
}

export function fromInputValue(value: string): number {
  const m = /^(\d{4})-(\d{2})-(\d{2})T(\d{2}):(\d{2})/.exec(value);
  return m ? Date.UTC(+m[1], +m[2] - 1, +m[3], +m[4], +m[5]) : NaN;
}

export const MINUTE = 60000;
export const HOUR = 60 * MINUTE;
export const DAY = 24 * HOUR;

/** Start of the minute / day on the PVR clock. */
export const floorTo = (ms: number, unit: number) => Math.floor(ms / unit) * unit;

function formatter(locale: string, options: Intl.DateTimeFormatOptions): Intl.DateTimeFormat {
  return new Intl.DateTimeFormat(locale, { ...options, timeZone: 'UTC' });
}

export function showTime(ms: number, locale: string): string {
  return Number.isNaN(ms) ? '' : formatter(locale, { hour: '2-digit', minute: '2-digit' }).format(ms);
}

export function showDay(ms: number, locale: string): string {
  return Number.isNaN(ms) ? '' : formatter(locale, { weekday: 'short', day: 'numeric', month: 'short' }).format(ms);
}

export function showDateTime(ms: number, locale: string): string {
  return Number.isNaN(ms) ? '' : formatter(locale, {
    weekday: 'short', day: 'numeric', month: 'short', hour: '2-digit', minute: '2-digit',
  }).format(ms);
}
