// HTTP access to the PVR. The PVR serves one connection at a time and keeps a backlog of
// one more, so requests are queued and at most two are open at once (one being served, the
// next waiting); every failure becomes an ApiFailure with a kind that the page turns into a
// plain message.

export type FailureKind =
  | 'network'   // no connection, or the connection closed without an answer
  | 'timeout'   // no answer in time
  | 'auth'      // 401: the sign-in was refused
  | 'missing'   // 404: the function or file does not exist on this PVR
  | 'http'      // any other HTTP status
  | 'answer'    // an answer this page does not understand
  | 'pvr';      // the PVR answered with an error of its own

export class ApiFailure extends Error {
  constructor(readonly kind: FailureKind, readonly what: string, readonly detail = '') {
    super(`${kind}: ${what}${detail ? ` (${detail})` : ''}`);
  }
}

const TIMEOUT_MS = 15000;

/** Requests open at once. */
export const MAX_OPEN = 2;

type Job = () => Promise<void>;
const waiting: Job[] = [];
let open = 0;

function pump(): void {
  while (open < MAX_OPEN && waiting.length > 0) {
    const job = waiting.shift()!;
    open++;
    job().finally(() => {
      open--;
      pump();
    });
  }
}

/**
 * Runs the task when a request slot is free: after every request queued before it, or,
 * when urgent (something the page cannot be shown without), before those still waiting.
 */
export function enqueue<T>(task: () => Promise<T>, urgent = false): Promise<T> {
  return new Promise<T>((resolve, reject) => {
    const job = () => task().then(resolve, reject);
    if (urgent) waiting.unshift(job);
    else waiting.push(job);
    pump();
  });
}

export interface RequestOptions {
  method?: 'GET' | 'POST';
  body?: string;
  timeoutMs?: number;
  what?: string;         // what the request is for, named in failure messages
  urgent?: boolean;      // jumps the queue (see enqueue)
  revalidate?: boolean;  // an answer the PVR serves as a file with an entity tag: the
                         // browser keeps it and asks whether it changed (304)
}

/** Fetches one URL through the queue and gives the response; HTTP failures throw. */
export function request(url: string, options: RequestOptions = {}): Promise<Response> {
  const what = options.what ?? url;
  return enqueue(async () => {
    const abort = new AbortController();
    const timer = setTimeout(() => abort.abort(), options.timeoutMs ?? TIMEOUT_MS);
    let response: Response;
    try {
      // Resolved against the origin, which leaves out a user name and password written in
      // the page's address: fetch refuses a URL that carries them.
      response = await fetch(new URL(url, location.origin).href, {
        method: options.method ?? 'GET',
        body: options.body,
        cache: options.revalidate ? 'no-cache' : 'no-store',
        credentials: 'same-origin',
        signal: abort.signal,
      });
    } catch (error) {
      throw new ApiFailure(abort.signal.aborted ? 'timeout' : 'network', what, String(error));
    } finally {
      clearTimeout(timer);
    }
    if (response.status === 401) throw new ApiFailure('auth', what);
    if (response.status === 404) throw new ApiFailure('missing', what);
    if (response.status !== 200) throw new ApiFailure('http', what, String(response.status));
    return response;
  }, options.urgent);
}

/** The text of an answer; a connection that breaks while the body arrives is a network failure. */
export async function requestText(url: string, options: RequestOptions = {}): Promise<string> {
  const response = await request(url, options);
  try {
    return await response.text();
  } catch (error) {
    throw new ApiFailure('network', options.what ?? url, String(error));
  }
}

/**
 * A parameter value for the target. Some handlers decode their values and some take them
 * as they arrive, so "/" and ":" (safe in a query) stay as they are and only what a URL
 * cannot carry, or what would end the value ("&", "#", "!"), is escaped.
 */
export function paramValue(value: string | number): string {
  return encodeURIComponent(String(value)).replace(/%2F/gi, '/').replace(/%3A/gi, ':');
}

/** Builds an API target: dispatch words, "!", then the handler parameters. */
export function apiTarget(fn: string, action: string, params: Record<string, string | number> = {}): string {
  const pairs = Object.entries(params).map(([k, v]) => `${k}=${paramValue(v)}`);
  return `/api?function=${fn}&action=${action}!${pairs.join('&')}`;
}

/** Calls an API function and parses its JSON answer. */
export async function apiCall(fn: string, action: string, params: Record<string, string | number> = {},
                              body?: string, revalidate = false): Promise<unknown> {
  const what = `${fn}/${action}`;
  const text = await requestText(apiTarget(fn, action, params), {
    method: body === undefined ? 'GET' : 'POST', body, what, revalidate,
  });
  try {
    return JSON.parse(text);
  } catch (error) {
    throw new ApiFailure('answer', what, `not JSON: ${String(error)}`);
  }
}
