// Loading and polling for views.
import { useCallback, useEffect, useRef, useState } from 'preact/hooks';

import { ApiFailure } from '../api/client';
import { asFailure } from './store';

export interface Load<T> {
  value?: T;
  error?: ApiFailure;
  loading: boolean;
  reload: () => Promise<void>;
}

/** Loads a view's data again whenever the inputs change; the latest request wins. */
export function useLoad<T>(fetcher: () => Promise<T>, inputs: unknown[]): Load<T> {
  const [state, setState] = useState<{ value?: T; error?: ApiFailure; loading: boolean }>({ loading: true });
  const generation = useRef(0);
  const reload = useCallback(async () => {
    const mine = ++generation.current;
    setState((s) => ({ ...s, loading: true }));
    try {
      const value = await fetcher();
      if (mine === generation.current) setState({ value, loading: false });
    } catch (error) {
      if (mine === generation.current) setState((s) => ({ value: s.value, error: asFailure(error), loading: false }));
    }
  }, inputs);
  useEffect(() => { void reload(); }, [reload]);
  return { ...state, reload };
}

/** The shortest polling interval any view may use. */
export const MIN_POLL_SECONDS = 5;

/** Calls fn every `seconds` (at least 5) while the page is visible. */
export function usePoll(fn: () => void, seconds: number): void {
  const latest = useRef(fn);
  latest.current = fn;
  useEffect(() => {
    const id = setInterval(() => {
      if (document.visibilityState === 'visible') latest.current();
    }, Math.max(MIN_POLL_SECONDS, seconds) * 1000);
    return () => clearInterval(id);
  }, [seconds]);
}

/** Runs an action that changes the PVR, keeping its failure for display. */
export function useAction(): [(run: () => Promise<unknown>) => Promise<boolean>, ApiFailure | undefined, boolean,
  (e?: ApiFailure) => void] {
  const [error, setError] = useState<ApiFailure>();
  const [busy, setBusy] = useState(false);
  const act = useCallback(async (run: () => Promise<unknown>) => {
    setBusy(true);
    setError(undefined);
    try {
      await run();
      return true;
    } catch (e) {
      setError(asFailure(e));
      return false;
    } finally {
      setBusy(false);
    }
  }, []);
  return [act, error, busy, setError];
}
