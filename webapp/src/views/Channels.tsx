// Channels: TV and radio lists with logos, favourites groups, now and next from the EPG,
// and one click to switch.
import { useMemo, useState } from 'preact/hooks';

import * as pvr from '../api/pvr';
import { ErrorNote, LoadNote } from '../components/ErrorNote';
import { Logo } from '../components/Logo';
import { ViewFrame, viewState } from '../components/ViewFrame';
import { channelKey, NowNext, nowNext, progress } from '../lib/epg';
import { useAction, useLoad } from '../lib/hooks';
import { locale, t } from '../lib/i18n';
import { formatPvrTime, HOUR, parsePvrTime, showTime } from '../lib/pvrtime';
import { loadChannels, loadStatus, pvrNow, setCurrentChannel, useAppState } from '../lib/store';

/** The EPG window asked for to find now and next on every channel. */
const NOW_NEXT_HOURS = 3;

function EventLine({ label, event, now }: { label: string; event?: pvr.EpgEvent; now: number }) {
  if (!event) return null;
  const start = parsePvrTime(event.start);
  return (
    <span class="event-line">
      <span class="when">{label} {showTime(start, locale())}</span> <span class="title">{event.name}</span>
      {label === t('channels.now') && (
        <progress max={100} value={progress(event, now)} aria-label={t('channels.progress')} />
      )}
    </span>
  );
}

function ChannelRow({ channel, current, info, now, onSwitch, busy }: {
  channel: pvr.Channel; current: boolean; info?: NowNext; now: number; onSwitch: () => void; busy: boolean;
}) {
  return (
    <li class={current ? 'channel current' : 'channel'}>
      <button type="button" class="switch" onClick={onSwitch} disabled={busy}
              aria-current={current ? 'true' : undefined}
              aria-label={t('channels.switchTo', { name: channel.name })}>
        <Logo logoId={channel.logoId} name={channel.name} />
        <span class="lcn">{channel.lcn || ''}</span>
        <span class="name">{channel.name}</span>
      </button>
      <span class="now-next">
        <EventLine label={t('channels.now')} event={info?.now} now={now} />
        <EventLine label={t('channels.next')} event={info?.next} now={now} />
      </span>
    </li>
  );
}

export function ChannelsView() {
  const app = useAppState();
  const [kind, setKind] = useState(0);
  const [group, setGroup] = useState('');
  const now = pvrNow();
  const epg = useLoad(() => pvr.getEpg({
    start: formatPvrTime(now), end: formatPvrTime(now + NOW_NEXT_HOURS * HOUR),
  }), []);
  // Favourites only fill the group choice: asked for after the programme data.
  const favourites = useLoad(pvr.getFavourites, []);
  const [act, actionError, busy] = useAction();
  const table = useMemo(() => nowNext(epg.value ?? [], now), [epg.value]);

  const list = app.channels.value;
  const status = app.status.value;
  const currentType = status?.chType ?? list?.current.chType;
  const currentNum = status?.chNum ?? list?.current.chNum;
  const groupEntries = favourites.value?.find((g) => g.name === group)?.services;
  const shown = (list?.channels ?? []).filter((c) => (groupEntries
    ? groupEntries.some((s) => s.svcType === c.chType && s.svcNum === c.chNum)
    : c.chType === kind));

  const switchTo = (c: pvr.Channel) => act(async () => {
    await pvr.setChannel(c.chType, c.chNum);
    setCurrentChannel(c.chType, c.chNum, c.logoId);
    await loadStatus();
  });

  return (
    <ViewFrame id="channels" state={viewState(app.channels, { value: epg.value ?? epg.error, loading: epg.loading })}
      actions={
        <>
          <div class="tabs" role="group" aria-label={t('channels.kind')}>
            {[0, 1].map((k) => (
              <button type="button" key={k} aria-pressed={!group && kind === k}
                      onClick={() => { setKind(k); setGroup(''); }}>
                {t(k === 0 ? 'channels.tv' : 'channels.radio')}
              </button>
            ))}
          </div>
          {favourites.value && favourites.value.length > 0 && (
            <label class="inline">
              {t('channels.group')}
              <select value={group} onChange={(e) => setGroup((e.target as HTMLSelectElement).value)}>
                <option value="">{t('channels.allChannels')}</option>
                {favourites.value.map((g) => <option key={g.name} value={g.name}>{g.name}</option>)}
              </select>
            </label>
          )}
        </>
      }>
      <ErrorNote error={app.channels.error} onRetry={loadChannels} />
      <ErrorNote error={actionError} />
      <LoadNote load={epg} />
      <ErrorNote error={favourites.error} onRetry={favourites.reload} />
      {list && shown.length === 0 && <p class="empty">{t('channels.none')}</p>}
      <ul class="channel-list">
        {shown.map((c) => (
          <ChannelRow key={channelKey(c.chType, c.chNum)} channel={c} now={now} busy={busy}
                      current={c.chType === currentType && c.chNum === currentNum}
                      info={table.get(channelKey(c.chType, c.chNum))} onSwitch={() => switchTo(c)} />
        ))}
      </ul>
    </ViewFrame>
  );
}
