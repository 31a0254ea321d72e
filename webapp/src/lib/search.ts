// The EPG search: the PVR starts its search program, the page sends it the search over a
// WebSocket, receives progress messages and the results document, and ranks the results by
// the weights of the terms each one matches.
import { ApiFailure } from '../api/client';
import * as pvr from '../api/pvr';
import { Reader } from '../api/read';
import { eventStart } from './epg';

export type Field = 'T' | 'A' | 'B';   // name; name and description; name, description and text

export interface Term { pattern: string; field: Field; weight: number }

export interface SearchRequest { terms: Term[]; channelId: string }   // channelId "" = any channel

/** Score an event needs before the search program reports it. */
export const CLAIM_SCORE = 50;

const CONNECT_TRIES = 40;
const CONNECT_PAUSE_MS = 250;
const SEARCH_TIMEOUT_MS = 120000;

/** A term can hold any text but the separators of the search request. */
export const validPattern = (p: string) => p.trim().length > 0 && !/[;\r\n]/.test(p);

/** The request text: one definition, keys padded so each value starts at column 19. */
export function requestText(request: SearchRequest): string {
  const line = (key: string, value: string | number) => `${key.padEnd(18)}${value}`;
  const lines = [
    line('SearchCount:', 1),
    line('ShowProgress:', 1),
    line('Name:', 'Orvane web search'),
    line('ChannelCount:', 1),
    line('TextCount:', request.terms.length),
    line('RecordingMode:', 0),
    line('ChannelID:', request.channelId || '0000000000000000'),
    ...request.terms.map((term) => line('Search:', `${term.field};${term.pattern.trim()};${term.weight}`)),
    'EndQuery:',
  ];
  return lines.join('\r\n') + '\r\n';
}

/** The expression the search program builds from a term: /text/ is a regular expression,
 *  anything else a wildcard pattern (* any text, ? one character). */
export function termExpression(pattern: string): RegExp | undefined {
  const p = pattern.trim();
  let source = '';
  if (p.length > 3 && p.startsWith('/') && p.endsWith('/') && p[1] !== '/' && p[p.length - 2] !== '/') {
    source = p.slice(1, -1);
  } else {
    for (let i = 0; i < p.length; i++) {
      const c = p[i];
      if (c === '\\' && i + 1 < p.length) source += c + p[++i];
      else if (c === '.') source += '\\.';
      else if (c === '?') source += '.';
      else if (c === '*') source += '.*';
      else source += c;
    }
  }
  try {
    return new RegExp(source, 'i');
  } catch {
    return undefined;
  }
}

/** The score of an event: the sum of the weights of the terms it matches. */
export function score(event: pvr.EpgEvent, terms: Term[]): number {
  let total = 0;
  for (const term of terms) {
    const re = termExpression(term.pattern);
    if (!re) continue;
    const fields = [event.name];
    if (term.field !== 'T') fields.push(event.description);
    if (term.field === 'B') fields.push(event.text);
    if (fields.some((f) => re.test(f))) total += term.weight;
  }
  return total;
}

export interface Ranked { event: pvr.EpgEvent; score: number }

export function rank(events: pvr.EpgEvent[], terms: Term[]): Ranked[] {
  return events.map((event) => ({ event, score: score(event, terms) }))
    .sort((a, b) => b.score - a.score || eventStart(a.event) - eventStart(b.event));
}

function connect(url: string): Promise<WebSocket> {
  return new Promise((resolve, reject) => {
    let tries = 0;
    const attempt = () => {
      const ws = new WebSocket(url);
      ws.onopen = () => { ws.onerror = null; ws.onclose = null; resolve(ws); };
      ws.onerror = () => ws.close();
      ws.onclose = () => {
        if (++tries >= CONNECT_TRIES) reject(new ApiFailure('network', 'epg/search', url));
        else setTimeout(attempt, CONNECT_PAUSE_MS);
      };
    };
    attempt();
  });
}

/** Reads the results document the search program sent in pieces. */
export function parseResults(text: string): pvr.EpgEvent[] {
  let doc: unknown;
  try {
    doc = JSON.parse(text);
  } catch (error) {
    throw new ApiFailure('answer', 'epg/search', text ? `not JSON: ${String(error)}` : 'no results document');
  }
  return Reader.of(doc, 'epg/search').content('epg_search_results').list('event', pvr.readEvent, true);
}

/** Runs one search; progress is reported in percent. */
export async function runSearch(request: SearchRequest, onProgress: (percent: number) => void): Promise<pvr.EpgEvent[]> {
  const launch = await pvr.launchSearch();
  if (launch.errorCode === 1) throw new ApiFailure('pvr', 'epg/search', 'a search is already running');
  if (launch.errorCode !== 0) throw new ApiFailure('pvr', 'epg/search', launch.errorText || 'the search did not start');
  const ws = await connect(`ws://${location.hostname}:${launch.port}/skimlet`);
  return new Promise((resolve, reject) => {
    let document = '';
    let failed = false;
    const timer = setTimeout(() => { failed = true; ws.close(); reject(new ApiFailure('timeout', 'epg/search')); },
                             SEARCH_TIMEOUT_MS);
    ws.onmessage = (message) => {
      const data = String(message.data);
      if (data.startsWith('@@PROGRESS@@=')) onProgress(Number(data.slice(13)) || 0);
      else if (data.startsWith('@@@@FATAL@@@')) {
        failed = true;
        reject(new ApiFailure('pvr', 'epg/search', 'the search program failed'));
      } else document += data;
    };
    ws.onclose = () => {
      clearTimeout(timer);
      if (failed) return;
      try {
        resolve(parseResults(document));
      } catch (error) {
        reject(error);
      }
    };
    ws.send(requestText(request));
  });
}
