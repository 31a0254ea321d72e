// The frame of every view: its heading and a state marker ("loading", "ready", "error")
// that tests and the benchmark wait for.
import { ComponentChildren } from 'preact';

import { t } from '../lib/i18n';

export function ViewFrame({ id, state, actions, children }: {
  id: string; state: 'loading' | 'ready' | 'error'; actions?: ComponentChildren; children: ComponentChildren;
}) {
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
