// EPG: a grid of channels against time, any window of the coming week, and the list of one
// channel's events; an event opens its details, from which it can be recorded.
import { useMemo, useState } from 'preact/hooks';

import * as pvr from '../api/pvr';
import { ErrorNote, LoadNote } from '../components/ErrorNote';
import { EventDetails } from '../components/EventDetails';
import { Logo } from '../components/Logo';
import { ViewFrame, viewState } from '../components/ViewFrame';
import { channelKey, eventEnd, eventStart } from '../lib/epg';
import { useLoad } from '../lib/hooks';
import { locale, t } from '../lib/i18n';
import { DAY, floorTo, formatPvrTime, HOUR, showDay, showTime } from '../lib/pvrtime';
import { loadChannels, pvrNow, useAppState } from '../lib/store';

/** Hours shown at once in the grid, and how far ahead the guide reaches. */
const WINDOW_HOURS = 4;
const DAYS_AHEAD = 7;

function Grid({ channels, events, from, now, onOpen }: {
  channels: pvr.Channel[]; events: pvr.EpgEvent[]; from: number; now: number; onOpen: (e: pvr.EpgEvent) => void;
}) {
  const to = from + WINDOW_HOURS * HOUR;
  const byChannel = useMemo(() => {
    const map = new Map<string, pvr.EpgEvent[]>();
    for (const e of events) {
      const key = channelKey(e.svcType, e.svcNum);
      map.set(key, [...(map.get(key) ?? []), e]);
    }
    return map;
  }, [events]);
  const share = (ms: number) => `${(100 * (Math.min(Math.max(ms, from), to) - from)) / (to - from)}%`;
  const hours = Array.from({ length: WINDOW_HOURS * 2 }, (_, i) => from + (i * HOUR) / 2);
  return (
    <div class="epg-grid" role="table" aria-label={t('epg.grid')}>
      <div class="grid-row grid-times" role="row">
        <span class="grid-channel" role="columnheader">{t('epg.channel')}</span>
        <span class="grid-track" role="columnheader">
          {hours.map((h) => <span key={h} class="tick" style={{ left: share(h) }}>{showTime(h, locale())}</span>)}
          {now >= from && now < to && <span class="now-line" style={{ left: share(now) }} aria-hidden="true" />}
        </span>
      </div>
      {channels.map((c) => (
        <div class="grid-row" role="row" key={channelKey(c.chType, c.chNum)}>
          <span class="grid-channel" role="rowheader"><Logo logoId={c.logoId} name={c.name} /><span>{c.name}</span></span>
          <span class="grid-track" role="cell">
            {(byChannel.get(channelKey(c.chType, c.chNum)) ?? [])
              .filter((e) => eventEnd(e) > from && eventStart(e) < to)
              .map((e) => (
                <button type="button" key={`${e.eventId}-${e.start}`} class="grid-event"
                        style={{ left: share(eventStart(e)), width: `calc(${share(eventEnd(e))} - ${share(eventStart(e))})` }}
                        title={`${showTime(eventStart(e), locale())} ${e.name}`} onClick={() => onOpen(e)}>
                  <span class="when">{showTime(eventStart(e), locale())}</span> {e.name}
                </button>
              ))}
          </span>
        </div>
      ))}
    </div>
  );
}

function ChannelList({ events, onOpen }: { events: pvr.EpgEvent[]; onOpen: (e: pvr.EpgEvent) => void }) {
  const days = new Map<number, pvr.EpgEvent[]>();
  for (const e of [...events].sort((a, b) => eventStart(a) - eventStart(b))) {
    const day = floorTo(eventStart(e), DAY);
    days.set(day, [...(days.get(day) ?? []), e]);
  }
  if (days.size === 0) return <p class="empty">{t('epg.noEvents')}</p>;
  return (
    <div class="epg-list">
      {[...days].map(([day, list]) => (
        <section key={day} aria-label={showDay(day, locale())}>
          <h2>{showDay(day, locale())}</h2>
          <ul>
            {list.map((e) => (
              <li key={`${e.eventId}-${e.start}`}>
                <button type="button" class="event" onClick={() => onOpen(e)}>
                  <span class="when">{showTime(eventStart(e), locale())}</span>
                  <span class="title">{e.name}</span>
                  {e.description && <span class="sub">{e.description}</span>}
                </button>
              </li>
            ))}
          </ul>
        </section>
      ))}
    </div>
  );
}

export function EpgView() {
  const app = useAppState();
  const now = pvrNow();
  const today = floorTo(now, DAY);
  const [from, setFrom] = useState(() => floorTo(now, HOUR / 2));
  const [mode, setMode] = useState<'grid' | 'channel'>('grid');
  const [kind, setKind] = useState(0);
  const [channel, setChannel] = useState('');
  const [open, setOpen] = useState<pvr.EpgEvent>();

  const channels = (app.channels.value?.channels ?? []).filter((c) => c.chType === kind);
  const chosen = channels.find((c) => channelKey(c.chType, c.chNum) === channel) ?? channels[0];
  const epg = useLoad(() => (mode === 'grid'
    ? pvr.getEpg({ start: formatPvrTime(from), end: formatPvrTime(from + WINDOW_HOURS * HOUR) })
    : chosen
      ? pvr.getEpg({ chType: chosen.chType, chNum: chosen.chNum, start: formatPvrTime(now), end: formatPvrTime(now + DAYS_AHEAD * DAY) })
      : Promise.resolve([])), [mode, from, chosen?.chType, chosen?.chNum]);

  const limitFrom = (ms: number) => Math.min(Math.max(ms, today), today + DAYS_AHEAD * DAY - WINDOW_HOURS * HOUR);
  const days = Array.from({ length: DAYS_AHEAD }, (_, i) => today + i * DAY);

  return (
    <ViewFrame id="epg" state={viewState(app.channels, epg)}
      actions={
        <>
          <div class="tabs" role="group" aria-label={t('epg.mode')}>
            <button type="button" aria-pressed={mode === 'grid'} onClick={() => setMode('grid')}>{t('epg.gridMode')}</button>
            <button type="button" aria-pressed={mode === 'channel'} onClick={() => setMode('channel')}>{t('epg.listMode')}</button>
          </div>
          <label class="inline">
            {t('channels.kind')}
            <select value={kind} onChange={(e) => { setKind(Number((e.target as HTMLSelectElement).value)); setChannel(''); }}>
              <option value={0}>{t('channels.tv')}</option>
              <option value={1}>{t('channels.radio')}</option>
            </select>
          </label>
        </>
      }>
      <ErrorNote error={app.channels.error} onRetry={loadChannels} />
      {mode === 'grid' ? (
        <div class="epg-controls">
          <button type="button" onClick={() => setFrom(limitFrom(from - WINDOW_HOURS * HOUR / 2))}
                  disabled={from <= today}>{t('epg.earlier')}</button>
          <button type="button" onClick={() => setFrom(floorTo(now, HOUR / 2))}>{t('epg.now')}</button>
          <button type="button" onClick={() => setFrom(limitFrom(from + WINDOW_HOURS * HOUR / 2))}>{t('epg.later')}</button>
          <label class="inline">
            {t('epg.day')}
            <select value={floorTo(from, DAY)}
                    onChange={(e) => setFrom(limitFrom(Number((e.target as HTMLSelectElement).value) + 18 * HOUR))}>
              {days.map((d) => <option key={d} value={d}>{showDay(d, locale())}</option>)}
            </select>
          </label>
          <span class="window">{showDay(from, locale())} {showTime(from, locale())}–{showTime(from + WINDOW_HOURS * HOUR, locale())}</span>
        </div>
      ) : (
        <div class="epg-controls">
          <label class="inline">
            {t('epg.channel')}
            <select value={chosen ? channelKey(chosen.chType, chosen.chNum) : ''}
                    onChange={(e) => setChannel((e.target as HTMLSelectElement).value)}>
              {channels.map((c) => <option key={channelKey(c.chType, c.chNum)} value={channelKey(c.chType, c.chNum)}>{c.name}</option>)}
            </select>
          </label>
        </div>
      )}
      <LoadNote load={epg} />
      {epg.value && (mode === 'grid'
        ? <Grid channels={channels} events={epg.value} from={from} now={now} onOpen={setOpen} />
        : <ChannelList events={epg.value} onOpen={setOpen} />)}
      {open && <EventDetails event={open} onClose={() => setOpen(undefined)} />}
    </ViewFrame>
  );
}
