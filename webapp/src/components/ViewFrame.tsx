// The frame of every view: its heading and a state marker ("loading", "ready", "error")
// that tests and the benchmark wait for.
import { ComponentChildren } from 'preact';
import { useEffect } from 'preact/hooks';

import { t } from '../lib/i18n';

export function ViewFrame({ id, state, actions, children }: {
  id: string; state: 'loading' | 'ready' | 'error'; actions?: ComponentChildren; children: ComponentChildren;
}) {
  useEffect(() => markSettled(id, state), [id, state]);
  return (
    <section class={`view view-${id}`} data-view={id} data-state={state} aria-labelledby={`${id}-title`}
             aria-busy={state === 'loading'}>
      <div class="view-head">
        <h1 id={`${id}-title`}>{t(`nav.${id}`)}</h1>
        {actions && <div class="view-actions">{actions}</div>}
      </div>
      {children}
    </section>
  );
}

/** The state of a view from the loads it waits for. */
export function viewState(...loads: { loading?: boolean; value?: unknown; error?: unknown }[]): 'loading' | 'ready' | 'error' {
  if (loads.some((l) => l.error && l.value === undefined)) return 'error';
  if (loads.some((l) => l.value === undefined || l.loading)) return 'loading';
  return 'ready';
}

/** A performance mark when a part of the page has finished loading, for the benchmark. */
export function markSettled(part: string, state: string): void {
  if (state !== 'loading') performance.mark(`orvane:${part}:${state}`);
}
