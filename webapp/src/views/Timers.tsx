// Timers: list, create, edit and delete, with a warning wherever more recordings would run
// at once than the PVR has recording slots.
import { useState } from 'preact/hooks';

import * as pvr from '../api/pvr';
import { confirmAction } from '../components/Confirm';
import { Dialog } from '../components/Dialog';
import { ErrorNote, LoadNote } from '../components/ErrorNote';
import { Logo } from '../components/Logo';
import { ViewFrame, viewState } from '../components/ViewFrame';
import { channelKey } from '../lib/epg';
import { useAction, useLoad } from '../lib/hooks';
import { locale, t } from '../lib/i18n';
import { overbooked, timerSpan as span } from '../lib/overlap';
import {
  floorTo, formatPvrTime, fromInputValue, HOUR, MINUTE, parsePvrTime, showDateTime, showTime, toInputValue,
} from '../lib/pvrtime';
import { channelName, pvrNow, recordingSlots, useAppState } from '../lib/store';

const REPEATS = [0, 1, 2, 3, 4];
const NEW_ID = -1;

const repeatLabel = (type: number) =>
  (REPEATS.includes(type) ? t(`timers.repeat.${type}`) : t('timers.repeat.other', { n: type }));

function TimerForm({ timer, timers, slots, onDone, onClose }: {
  timer?: pvr.Timer; timers: pvr.Timer[]; slots: number; onDone: () => void; onClose: () => void;
}) {
  const app = useAppState();
  const channels = app.channels.value?.channels.filter((c) => c.chType !== 99) ?? [];
  const ext = app.config.value?.recExtension ?? '.rec';
  const [fields, setFields] = useState<pvr.TimerFields>(() => timer
    ? { isRec: timer.isRec, svcType: timer.svcType, svcNum: timer.svcNum, reservationType: timer.reservationType,
        duration: timer.duration, start: timer.start, fileName: timer.fileName }
    : { isRec: true, svcType: channels[0]?.chType ?? 0, svcNum: channels[0]?.chNum ?? 0, reservationType: 0,
        duration: 60, start: formatPvrTime(floorTo(pvrNow(), 5 * MINUTE) + HOUR), fileName: '' });
  const [act, error, busy] = useAction();
  const set = (change: Partial<pvr.TimerFields>) => setFields({ ...fields, ...change });

  const startMs = parsePvrTime(fields.start);
  const valid = !Number.isNaN(startMs) && fields.duration >= 1 && fields.duration <= 1440 && !/[\r\n/]/.test(fields.fileName);
  const others = timers.filter((x) => x.index !== timer?.index).map((x) => span(x.index, x));
  const clash = valid && overbooked([...others, span(NEW_ID, fields)], slots).has(NEW_ID);

  const save = async (e: Event) => {
    e.preventDefault();
    if (!valid) return;
    const name = fields.fileName && !fields.fileName.endsWith(ext) ? fields.fileName + ext : fields.fileName;
    const done = await act(() => (timer ? pvr.modifyTimer(timer, { ...fields, fileName: name })
                                        : pvr.createTimer({ ...fields, fileName: name })));
    if (done) onDone();
  };

  return (
    <Dialog title={timer ? t('timers.edit') : t('timers.new')} onClose={onClose}>
      <form class="timer-form" onSubmit={save}>
        <label for="timer-channel">{t('epg.channel')}</label>
        <select id="timer-channel" value={channelKey(fields.svcType, fields.svcNum)}
                onChange={(e) => {
                  const [type, num] = (e.target as HTMLSelectElement).value.split('/').map(Number);
                  set({ svcType: type, svcNum: num });
                }}>
          {channels.map((c) => <option key={channelKey(c.chType, c.chNum)} value={channelKey(c.chType, c.chNum)}>{c.name}</option>)}
        </select>
        <label for="timer-start">{t('timers.start')}</label>
        <input id="timer-start" type="datetime-local" required value={Number.isNaN(startMs) ? '' : toInputValue(startMs)}
               onInput={(e) => {
                 const ms = fromInputValue((e.target as HTMLInputElement).value);
                 if (!Number.isNaN(ms)) set({ start: formatPvrTime(ms) });
               }} />
        <label for="timer-duration">{t('timers.duration')}</label>
        <input id="timer-duration" type="number" min={1} max={1440} required value={fields.duration}
               onInput={(e) => set({ duration: Number((e.target as HTMLInputElement).value) })} />
        <label for="timer-repeat">{t('timers.repeat')}</label>
        <select id="timer-repeat" value={fields.reservationType}
                onChange={(e) => set({ reservationType: Number((e.target as HTMLSelectElement).value) })}>
          {[...REPEATS, ...(REPEATS.includes(fields.reservationType) ? [] : [fields.reservationType])]
            .map((r) => <option key={r} value={r}>{repeatLabel(r)}</option>)}
        </select>
        <fieldset class="choice">
          <legend>{t('timers.kind')}</legend>
          <label class="inline"><input type="radio" name="timer-kind" checked={fields.isRec} onChange={() => set({ isRec: true })} />{t('timers.record')}</label>
          <label class="inline"><input type="radio" name="timer-kind" checked={!fields.isRec} onChange={() => set({ isRec: false })} />{t('timers.switch')}</label>
        </fieldset>
        <label for="timer-file">{t('timers.fileName')}</label>
        <input id="timer-file" value={fields.fileName} maxLength={120} aria-describedby="timer-file-hint"
               onInput={(e) => set({ fileName: (e.target as HTMLInputElement).value })} />
        <p id="timer-file-hint" class="hint">{t('timers.fileNameHint', { ext })}</p>
        {clash && <p class="warning" role="alert">{t('timers.clash', { slots })}</p>}
        <div class="buttons">
          <button type="button" onClick={onClose}>{t('action.cancel')}</button>
          <button type="submit" class="primary" disabled={busy || !valid}>{t('action.save')}</button>
        </div>
        <ErrorNote error={error} />
      </form>
    </Dialog>
  );
}

export function TimersView() {
  useAppState();   // drawn again when the configuration (recording slots) arrives
  const timers = useLoad(pvr.getTimers, []);
  const [editing, setEditing] = useState<pvr.Timer | 'new'>();
  const [act, error, busy] = useAction();
  const slots = recordingSlots();
  const list = [...(timers.value ?? [])].sort((a, b) => parsePvrTime(a.start) - parsePvrTime(b.start));
  const clashing = overbooked(list.map((x) => span(x.index, x)), slots);

  const remove = async (timer: pvr.Timer) => {
    const name = timer.fileName || timer.chName;
    if (!(await confirmAction(t('timers.confirmDelete', { name }), t('action.delete')))) return;
    // Reloaded either way: a refusal usually means the timer changed on the PVR meanwhile.
    await act(() => pvr.deleteTimer(timer));
    await timers.reload();
  };

  return (
    <ViewFrame id="timers" state={viewState(timers)}
      actions={<button type="button" class="primary" onClick={() => setEditing('new')}>{t('timers.new')}</button>}>
      <LoadNote load={timers} />
      <ErrorNote error={error} />
      {clashing.size > 0 && <p class="warning" role="alert">{t('timers.clashList', { slots })}</p>}
      {timers.value && list.length === 0 && <p class="empty">{t('timers.none')}</p>}
      <ul class="timer-list">
        {list.map((timer) => {
          const start = parsePvrTime(timer.start);
          const name = channelName(timer.svcType, timer.svcNum) || timer.chName;
          return (
            <li key={timer.index} class={clashing.has(timer.index) ? 'timer clash' : 'timer'}>
              <Logo logoId={timer.logoId} name={name} />
              <span class="info">
                <span class="title">{timer.fileName || name}</span>
                <span class="sub">
                  {showDateTime(start, locale())}–{showTime(start + timer.duration * MINUTE, locale())} · {name} · {' '}
                  {t(timer.isRec ? 'timers.record' : 'timers.switch')} · {repeatLabel(timer.reservationType)}
                </span>
                {clashing.has(timer.index) && <span class="badge">{t('timers.clashBadge')}</span>}
              </span>
              <span class="row-actions">
                <button type="button" onClick={() => setEditing(timer)} aria-label={t('timers.editOne', { name: timer.fileName || name })}>
                  {t('action.edit')}
                </button>
                <button type="button" class="danger" disabled={busy} onClick={() => remove(timer)}
                        aria-label={t('timers.deleteOne', { name: timer.fileName || name })}>{t('action.delete')}</button>
              </span>
            </li>
          );
        })}
      </ul>
      {editing && (
        <TimerForm timer={editing === 'new' ? undefined : editing} timers={list} slots={slots}
                   onClose={() => setEditing(undefined)}
                   onDone={() => { setEditing(undefined); void timers.reload(); }} />
      )}
    </ViewFrame>
  );
}
