// The top of every page: the PVR's name and model, its time, disk use, recording slots,
// current channel and volume.
import { useEffect, useState } from 'preact/hooks';

import * as pvr from '../api/pvr';
import { useAction, usePoll } from '../lib/hooks';
import { locale, t } from '../lib/i18n';
import { showDateTime } from '../lib/pvrtime';
import { channelName, loadStatus, loadVolume, pvrNow, setVolumeValue, useAppState } from '../lib/store';
import { ErrorNote } from './ErrorNote';
import { Logo } from './Logo';
import { markSettled } from './ViewFrame';

/** How often the header asks the PVR for its status. */
export const STATUS_POLL_SECONDS = 10;

function Clock() {
  const [, tick] = useState(0);
  useEffect(() => {
    const id = setInterval(() => tick((n) => n + 1), 15000);
    return () => clearInterval(id);
  }, []);
  const now = pvrNow();
  return <span class="clock">{Number.isNaN(now) ? '' : showDateTime(now, locale())}</span>;
}

function DiskUse({ status }: { status: pvr.Status }) {
  if (status.totalDisk <= 0) return null;
  const used = status.totalDisk - status.freeDisk;
  const percent = Math.round((100 * used) / status.totalDisk);
  const gb = (mb: number) => (mb / 1024).toFixed(mb < 10240 ? 1 : 0);
  const label = t('header.disk', { used: gb(used), total: gb(status.totalDisk), percent });
  return (
    <span class="disk" title={label}>
      <meter min={0} max={100} value={percent} aria-label={t('header.diskLabel')} />
      <span>{label}</span>
    </span>
  );
}

function Recordings({ status, slots }: { status: pvr.Status; slots: number }) {
  const busy = status.recordings.filter((r) => r.recType !== 0);
  const names = busy.map((r) => channelName(r.svcType, r.svcNum) || r.fileName).join(', ');
  return (
    <span class={busy.length ? 'recording active' : 'recording'} title={names}>
      {t('header.recording', { busy: busy.length, slots: slots || status.recordings.length })}
    </span>
  );
}

function CurrentChannel({ status }: { status: pvr.Status }) {
  const name = channelName(status.chType, status.chNum) ||
    t(status.chType === 1 ? 'channel.radioNumber' : 'channel.tvNumber', { n: status.chNum + 1 });
  return (
    <span class="current-channel">
      <Logo logoId={status.logoId} name={name} />
      <span>{name}</span>
    </span>
  );
}

/** A loudspeaker, with sound waves or crossed out when muted. */
function SpeakerIcon({ muted }: { muted: boolean }) {
  return (
    <svg viewBox="0 0 24 24" width="20" height="20" aria-hidden="true" fill="none" stroke="currentColor" stroke-width="2">
      <path d="M4 9h4l5-4v14l-5-4H4z" fill="currentColor" />
      {muted ? <path d="M16 9l6 6M22 9l-6 6" /> : <path d="M16 8.5a5 5 0 0 1 0 7M18.5 6a8.5 8.5 0 0 1 0 12" />}
    </svg>
  );
}

function VolumeControl({ volume }: { volume: pvr.Volume }) {
  const [act, error] = useAction();
  const set = (level: number | 'mute' | 'unmute') => act(async () => setVolumeValue(await pvr.setVolume(level)));
  return (
    <span class="volume">
      <button type="button" aria-pressed={volume.mute} onClick={() => set(volume.mute ? 'unmute' : 'mute')}
              title={t(volume.mute ? 'volume.unmute' : 'volume.mute')}>
        <SpeakerIcon muted={volume.mute} /><span class="sr-only">{t('volume.mute')}</span>
      </button>
      <input type="range" min={0} max={17} step={1} value={volume.level} aria-label={t('volume.level')}
             onChange={(e) => set(Number((e.target as HTMLInputElement).value))} />
      <output>{volume.level}</output>
      {error && <ErrorNote error={error} />}
    </span>
  );
}

export function Header() {
  const app = useAppState();
  const config = app.config.value;
  const status = app.status.value;
  const volume = app.volume.value;
  usePoll(() => { void loadStatus(); void loadVolume(); }, STATUS_POLL_SECONDS);
  const settled = (app.config.value || app.config.error) && (status || app.status.error) &&
    (volume || app.volume.error);
  useEffect(() => markSettled('header', settled ? 'ready' : 'loading'), [settled]);
  return (
    <header class="top" data-state={settled ? 'ready' : 'loading'}>
      <div class="identity">
        <strong class="pvr-name">{config?.pvrName || t('app.title')}</strong>
        {config && <span class="model">{config.device}</span>}
        <Clock />
      </div>
      <div class="state">
        {status && <CurrentChannel status={status} />}
        {status && <Recordings status={status} slots={config?.maxRecStreams ?? 0} />}
        {status && <DiskUse status={status} />}
        {volume && <VolumeControl volume={volume} />}
      </div>
      {app.config.error
        ? <ErrorNote error={app.config.error} onRetry={() => location.reload()} />
        : <ErrorNote error={app.status.error ?? app.volume.error}
                     onRetry={() => { void loadStatus(); void loadVolume(); }} />}
    </header>
  );
}
