// Search: weighted terms searched through the whole EPG by the PVR's search program, with a
// live progress bar, results ranked by score, and a timer from any result.
import { useState } from 'preact/hooks';

import * as pvr from '../api/pvr';
import { ErrorNote } from '../components/ErrorNote';
import { EventDetails } from '../components/EventDetails';
import { Logo } from '../components/Logo';
import { ViewFrame } from '../components/ViewFrame';
import { channelKey, eventStart } from '../lib/epg';
import { useAction } from '../lib/hooks';
import { locale, t } from '../lib/i18n';
import { showDateTime } from '../lib/pvrtime';
import { CLAIM_SCORE, Field, rank, Ranked, runSearch, Term, validPattern } from '../lib/search';
import { channelName, useAppState } from '../lib/store';

const FIELDS: Field[] = ['T', 'A', 'B'];

function TermRow({ term, index, onChange, onRemove }: {
  term: Term; index: number; onChange: (t: Term) => void; onRemove?: () => void;
}) {
  const id = `term-${index}`;
  return (
    <fieldset class="term">
      <legend>{t('search.term', { n: index + 1 })}</legend>
      <label for={`${id}-text`}>{t('search.words')}</label>
      <input id={`${id}-text`} value={term.pattern} required aria-invalid={term.pattern !== '' && !validPattern(term.pattern)}
             onInput={(e) => onChange({ ...term, pattern: (e.target as HTMLInputElement).value })} />
      <label for={`${id}-field`}>{t('search.where')}</label>
      <select id={`${id}-field`} value={term.field}
              onChange={(e) => onChange({ ...term, field: (e.target as HTMLSelectElement).value as Field })}>
        {FIELDS.map((f) => <option key={f} value={f}>{t(`search.field.${f}`)}</option>)}
      </select>
      <label for={`${id}-weight`}>{t('search.weight')}</label>
      <input id={`${id}-weight`} type="number" min={1} max={100} value={term.weight}
             onInput={(e) => onChange({ ...term, weight: Number((e.target as HTMLInputElement).value) })} />
      {onRemove && <button type="button" onClick={onRemove}>{t('search.removeTerm')}</button>}
    </fieldset>
  );
}

function Result({ item, onOpen }: { item: Ranked; onOpen: () => void }) {
  const e = item.event;
  const channel = channelName(e.svcType, e.svcNum);
  return (
    <li class="result">
      <button type="button" class="event" onClick={onOpen}>
        <Logo logoId={e.logoId} name={channel} />
        <span class="when">{showDateTime(eventStart(e), locale())}</span>
        <span class="title">{e.name}</span>
        <span class="sub">{channel}{e.description ? ` – ${e.description}` : ''}</span>
        <span class="score" title={t('search.scoreTitle')}>{item.score}</span>
      </button>
    </li>
  );
}

export function SearchView() {
  const app = useAppState();
  const [terms, setTerms] = useState<Term[]>([{ pattern: '', field: 'A', weight: CLAIM_SCORE }]);
  const [channelId, setChannelId] = useState('');
  const [progress, setProgress] = useState<number>();
  const [results, setResults] = useState<Ranked[]>();
  const [open, setOpen] = useState<pvr.EpgEvent>();
  const [act, error, busy] = useAction();

  const valid = terms.every((term) => validPattern(term.pattern) && term.weight >= 1 && term.weight <= 100);
  const search = async (e: Event) => {
    e.preventDefault();
    if (!valid) return;
    setResults(undefined);
    setProgress(0);
    await act(async () => setResults(rank(await runSearch({ terms, channelId }, setProgress), terms)));
    setProgress(undefined);
  };
  const channels = app.channels.value?.channels ?? [];

  return (
    <ViewFrame id="search" state={busy ? 'loading' : error && !results ? 'error' : 'ready'}>
      <form class="search-form" onSubmit={search}>
        <p class="hint">{t('search.hint', { score: CLAIM_SCORE })}</p>
        {terms.map((term, i) => (
          <TermRow key={i} term={term} index={i}
                   onChange={(changed) => setTerms(terms.map((old, j) => (j === i ? changed : old)))}
                   onRemove={terms.length > 1 ? () => setTerms(terms.filter((_, j) => j !== i)) : undefined} />
        ))}
        <div class="buttons">
          <button type="button" onClick={() => setTerms([...terms, { pattern: '', field: 'A', weight: CLAIM_SCORE }])}
                  disabled={terms.length >= 8}>{t('search.addTerm')}</button>
          <label class="inline">
            {t('epg.channel')}
            <select value={channelId} onChange={(e) => setChannelId((e.target as HTMLSelectElement).value)}>
              <option value="">{t('search.anyChannel')}</option>
              {channels.filter((c) => c.logoId && !/^0+$/.test(c.logoId)).map((c) => (
                <option key={channelKey(c.chType, c.chNum)} value={c.logoId}>{c.name}</option>
              ))}
            </select>
          </label>
          <button type="submit" class="primary" disabled={busy || !valid}>{t('search.find')}</button>
        </div>
      </form>
      {progress !== undefined && (
        <div class="search-progress">
          <label for="search-progress">{t('search.progress', { percent: progress })}</label>
          <progress id="search-progress" max={100} value={progress} />
        </div>
      )}
      <ErrorNote error={error} />
      {results && (
        <section aria-labelledby="results-title">
          <h2 id="results-title">{t('search.results', { n: results.length })}</h2>
          {results.length === 0 && <p class="empty">{t('search.none')}</p>}
          <ol class="results">
            {results.map((r) => <Result key={`${r.event.logoId}-${r.event.eventId}-${r.event.start}`} item={r}
                                        onOpen={() => setOpen(r.event)} />)}
          </ol>
        </section>
      )}
      {open && <EventDetails event={open} onClose={() => setOpen(undefined)} />}
    </ViewFrame>
  );
}
