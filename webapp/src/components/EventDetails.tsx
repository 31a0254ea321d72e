// Details of one EPG event, with "record this event", which creates a timer.
import { useState } from 'preact/hooks';

import * as pvr from '../api/pvr';
import { eventEnd, eventStart } from '../lib/epg';
import { useAction } from '../lib/hooks';
import { locale, t } from '../lib/i18n';
import { overbooked, timerSpan } from '../lib/overlap';
import { formatPvrTime, MINUTE, showDateTime, showTime } from '../lib/pvrtime';
import { channelName, getState, recordingSlots } from '../lib/store';
import { Dialog } from './Dialog';
import { ErrorNote } from './ErrorNote';

/** A recording file name made of the event name: no folder separators or control bytes. */
export function recordingName(name: string, extension: string): string {
  const clean = name.replace(/[\x00-\x1f/\\:*?"<>|]/g, ' ').replace(/\s+/g, ' ').trim().slice(0, 100);
  return `${clean || 'Recording'}${extension}`;
}

/** The timer that records an event, with the PVR's padding before and after. */
export function timerForEvent(e: pvr.EpgEvent): pvr.TimerFields {
  const config = getState().config.value;
  const pre = config?.prePadding ?? 0;
  const post = config?.postPadding ?? 0;
  return {
    isRec: true,
    svcType: e.svcType,
    svcNum: e.svcNum,
    reservationType: 0,
    duration: e.duration + pre + post,
    start: formatPvrTime(eventStart(e) - pre * MINUTE),
    fileName: recordingName(e.name, config?.recExtension ?? '.rec'),
    eventId: e.eventId,
  };
}

/** Whether the timer just made for `fields` needs more recording slots than the PVR has. */
async function clashes(fields: pvr.TimerFields): Promise<boolean> {
  const timers = await pvr.getTimers();
  const mine = timers.filter((x) => x.start === fields.start && x.svcType === fields.svcType && x.svcNum === fields.svcNum);
  const clashing = overbooked(timers.map((x) => timerSpan(x.index, x)), recordingSlots());
  return mine.some((x) => clashing.has(x.index));
}

export function EventDetails({ event, onClose }: { event: pvr.EpgEvent; onClose: () => void }) {
  const [act, error, busy] = useAction();
  const [created, setCreated] = useState(false);
  const [clash, setClash] = useState(false);
  const start = eventStart(event);
  const channel = channelName(event.svcType, event.svcNum);
  const record = async () => {
    const fields = timerForEvent(event);
    if (await act(() => pvr.createTimer(fields))) {
      setCreated(true);
      await act(async () => setClash(await clashes(fields)));
    }
  };
  return (
    <Dialog title={event.name} onClose={onClose}>
      <dl class="facts">
        {channel && <><dt>{t('epg.channel')}</dt><dd>{channel}</dd></>}
        <dt>{t('epg.time')}</dt>
        <dd>{showDateTime(start, locale())} – {showTime(eventEnd(event), locale())} ({t('epg.minutes', { n: event.duration })})</dd>
        {event.genre && <><dt>{t('epg.genre')}</dt><dd>{event.genre}</dd></>}
        {event.parental && <><dt>{t('epg.parental')}</dt><dd>{event.parental}</dd></>}
      </dl>
      {event.description && <p class="description">{event.description}</p>}
      {event.text && <p class="long-text">{event.text}</p>}
      <div class="buttons">
        <button type="button" class="primary" onClick={record} disabled={busy || created}>{t('epg.record')}</button>
      </div>
      {created && <p role="status" class="done">{t('epg.timerCreated')}</p>}
      {clash && <p class="warning" role="alert">{t('timers.clash', { slots: recordingSlots() })}</p>}
      <ErrorNote error={error} />
    </Dialog>
  );
}
