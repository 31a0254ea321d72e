// A failure as a plain message in the page, with the action that may help.
import { ApiFailure } from '../api/client';
import { Load } from '../lib/hooks';
import { t } from '../lib/i18n';

export function describeFailure(error: ApiFailure): string {
  return t(`failure.${error.kind}`, { what: error.what, detail: error.detail });
}

export function ErrorNote({ error, onRetry }: { error?: ApiFailure; onRetry?: () => void }) {
  if (!error) return null;
  return (
    <div class="error-note" role="alert">
      <p>{describeFailure(error)}</p>
      {error.detail && error.kind !== 'pvr' && <p class="detail">{error.detail}</p>}
      {error.kind === 'auth'
        ? <button type="button" onClick={() => location.reload()}>{t('action.signin')}</button>
        : onRetry && <button type="button" onClick={onRetry}>{t('action.retry')}</button>}
    </div>
  );
}

/** A spinner line that always names what it waits for. */
export function Busy({ what }: { what: string }) {
  return <p class="busy" role="status"><span class="spinner" aria-hidden="true" />{what}</p>;
}

/** What a load shows until it has data: a spinner while it runs, its failure after. */
export function LoadNote({ load }: { load: Load<unknown> }) {
  if (load.loading && load.value === undefined) return <Busy what={t('app.loading')} />;
  return <ErrorNote error={load.error} onRetry={load.reload} />;
}
