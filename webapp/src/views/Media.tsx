// Recordings and media: folder tree and file list with recording details and music tags;
// play, pause, skip and stop; rename and delete (asking first); stop a running recording.
import { useState } from 'preact/hooks';

import * as pvr from '../api/pvr';
import { confirmAction } from '../components/Confirm';
import { Dialog } from '../components/Dialog';
import { ErrorNote, LoadNote } from '../components/ErrorNote';
import { Logo } from '../components/Logo';
import { ViewFrame, viewState } from '../components/ViewFrame';
import { useAction, useLoad } from '../lib/hooks';
import { locale, t } from '../lib/i18n';
import { parsePvrTime, showDateTime } from '../lib/pvrtime';
import { channelName, loadStatus, useAppState } from '../lib/store';

const ROOTS = [
  { path: '/mnt/hd/DataFiles', label: 'media.recordings' },
  { path: '/mnt/hd/MP3Files', label: 'media.music' },
  { path: '/mnt/hd/MediaFiles', label: 'media.media' },
];

/** Seconds a skip button jumps. */
const SKIP_SECONDS = 30;

export function formatSize(bytes: number): string {
  const units = ['B', 'KB', 'MB', 'GB', 'TB'];
  let value = bytes;
  let unit = 0;
  while (value >= 1024 && unit < units.length - 1) { value /= 1024; unit++; }
  return `${value.toFixed(unit === 0 || value >= 100 ? 0 : 1)} ${units[unit]}`;
}

const duration = (min: number, sec = 0) => `${Math.floor(min / 60)}:${String(min % 60).padStart(2, '0')}:${String(sec).padStart(2, '0')}`;

/** The MP3 length tag (milliseconds) as m:ss. */
function tagLength(ms: string): string {
  const seconds = Math.round(Number(ms) / 1000);
  return seconds > 0 ? `${Math.floor(seconds / 60)}:${String(seconds % 60).padStart(2, '0')}` : '';
}

function splitName(name: string): [string, string] {
  const dot = name.lastIndexOf('.');
  return dot > 0 ? [name.slice(0, dot), name.slice(dot)] : [name, ''];
}

function FolderIcon() {
  return (
    <svg viewBox="0 0 24 20" width="18" height="15" aria-hidden="true" fill="currentColor">
      <path d="M2 2h7l2 3h11v13H2z" />
    </svg>
  );
}

function FolderTree({ root, current, onOpen }: { root: string; current: string; onOpen: (dir: string) => void }) {
  const tree = useLoad(() => pvr.folderTree(root), [root]);
  const folders = [...new Set([root, ...(tree.value ?? [])])].filter((f) => f.startsWith(root)).sort();
  return (
    <nav class="folder-tree" aria-label={t('media.folders')}>
      <LoadNote load={tree} />
      <ul>
        {folders.map((f) => {
          const depth = f === root ? 0 : f.slice(root.length).split('/').length - 1;
          return (
            <li key={f} style={{ paddingInlineStart: `${depth}em` }}>
              <button type="button" class="link" aria-current={f === current ? 'true' : undefined} onClick={() => onOpen(f)}>
                {f === root ? t(ROOTS.find((r) => r.path === root)?.label ?? 'media.media') : f.slice(f.lastIndexOf('/') + 1)}
              </button>
            </li>
          );
        })}
      </ul>
    </nav>
  );
}

function Playback({ status }: { status: pvr.Status }) {
  const [act, error, busy] = useAction();
  if (status.playMode === 0) return null;
  const run = (action: () => Promise<void>) => act(async () => { await action(); await loadStatus(); });
  const paused = status.playMode === 4;
  return (
    <section class="playback" aria-labelledby="playback-title">
      <h2 id="playback-title">{t('media.playing', { name: status.playFile })}</h2>
      {status.totalBlock > 0 && (
        <progress max={status.totalBlock} value={status.currentBlock} aria-label={t('media.position')} />
      )}
      <div class="buttons">
        <button type="button" disabled={busy} onClick={() => run(() => pvr.skip(-SKIP_SECONDS))}>{t('media.back', { n: SKIP_SECONDS })}</button>
        <button type="button" disabled={busy} onClick={() => run(() => pvr.pausePlayback(paused))}>{t(paused ? 'media.resume' : 'media.pause')}</button>
        <button type="button" disabled={busy} onClick={() => run(() => pvr.skip(SKIP_SECONDS))}>{t('media.forward', { n: SKIP_SECONDS })}</button>
        <button type="button" disabled={busy} onClick={() => run(pvr.stopPlayback)}>{t('media.stop')}</button>
      </div>
      <ErrorNote error={error} />
    </section>
  );
}

function RunningRecordings({ status }: { status: pvr.Status }) {
  const [act, error, busy] = useAction();
  const running = status.recordings.filter((r) => r.recType !== 0);
  if (running.length === 0) return null;
  const stop = async (r: pvr.RecordingSlot) => {
    const name = channelName(r.svcType, r.svcNum) || r.fileName;
    if (!(await confirmAction(t('media.confirmStopRec', { name }), t('media.stopRec')))) return;
    await act(async () => { await pvr.stopRecording(r.slot); await loadStatus(); });
  };
  return (
    <section class="running" aria-labelledby="running-title">
      <h2 id="running-title">{t('media.running')}</h2>
      <ul>
        {running.map((r) => (
          <li key={r.slot}>
            <Logo logoId={r.logoId} name={channelName(r.svcType, r.svcNum)} />
            <span class="info">
              <span class="title">{r.fileName}</span>
              <span class="sub">{channelName(r.svcType, r.svcNum)} · {showDateTime(parsePvrTime(r.startTime), locale())} · {t('epg.minutes', { n: r.duration })}</span>
            </span>
            <button type="button" class="danger" disabled={busy} onClick={() => stop(r)}>{t('media.stopRec')}</button>
          </li>
        ))}
      </ul>
      <ErrorNote error={error} />
    </section>
  );
}

function RenameDialog({ dir, file, onDone, onClose }: {
  dir: string; file: pvr.MediaFile; onDone: () => void; onClose: () => void;
}) {
  const [base, ext] = splitName(file.name);
  const [name, setName] = useState(base);
  const [act, error, busy] = useAction();
  // The PVR takes a new name exactly as it arrives in the address, so only characters that
  // an address carries unchanged are offered.
  const valid = /^[A-Za-z0-9._~'()*!-]+$/.test(name.trim());
  const save = async (e: Event) => {
    e.preventDefault();
    if (valid && await act(() => pvr.renameFile(dir, file, name.trim() + ext))) onDone();
  };
  return (
    <Dialog title={t('media.renameTitle', { name: file.name })} onClose={onClose}>
      <form onSubmit={save}>
        <label for="rename-name">{t('media.newName')}</label>
        <span class="with-suffix">
          <input id="rename-name" value={name} required aria-invalid={!valid} maxLength={120}
                 aria-describedby="rename-hint" onInput={(e) => setName((e.target as HTMLInputElement).value)} />
          <span class="suffix">{ext}</span>
        </span>
        <p id="rename-hint" class={valid ? 'hint' : 'hint invalid'}>{t('media.nameHint')}</p>
        <div class="buttons">
          <button type="button" onClick={onClose}>{t('action.cancel')}</button>
          <button type="submit" class="primary" disabled={busy || !valid}>{t('media.rename')}</button>
        </div>
        <ErrorNote error={error} />
      </form>
    </Dialog>
  );
}

function FileRow({ file, dir, onOpenDir, onChanged }: {
  file: pvr.MediaFile; dir: string; onOpenDir: (d: string) => void; onChanged: () => void;
}) {
  const [act, error, busy] = useAction();
  const [renaming, setRenaming] = useState(false);
  if (file.isDir) {
    return (
      <li class="file folder">
        <button type="button" class="link" onClick={() => onOpenDir(`${dir}/${file.name}`)}>
          <FolderIcon /> {file.name}
        </button>
      </li>
    );
  }
  const rec = file.recording;
  const mp3 = file.mp3;
  const title = rec?.title || (mp3?.title ? `${mp3.artist ? `${mp3.artist} – ` : ''}${mp3.title}` : '') || file.name;
  const remove = async () => {
    if (!(await confirmAction(t('media.confirmDelete', { name: file.name }), t('action.delete')))) return;
    if (await act(() => pvr.deleteFile(dir, file))) onChanged();
  };
  return (
    <li class="file">
      {rec && <Logo logoId={rec.logoId} name={rec.channel} />}
      <span class="info">
        <span class="title">{title}</span>
        <span class="sub">
          {title !== file.name && <>{file.name} · </>}
          {rec && <>{rec.channel} · {showDateTime(parsePvrTime(rec.start), locale())} · {duration(rec.durationMin, rec.durationSec)} · </>}
          {mp3 && <>{[mp3.album, mp3.year, mp3.genre, tagLength(mp3.length)].filter(Boolean).join(' · ')} · </>}
          {formatSize(file.size)}
        </span>
        {rec?.description && <span class="description">{rec.description}</span>}
      </span>
      <span class="row-actions">
        <button type="button" disabled={busy} onClick={() => act(async () => { await pvr.play(dir, file); await loadStatus(); })}
                aria-label={t('media.playOne', { name: file.name })}>{t('media.play')}</button>
        <button type="button" disabled={busy} onClick={() => setRenaming(true)}
                aria-label={t('media.renameOne', { name: file.name })}>{t('media.rename')}</button>
        <button type="button" class="danger" disabled={busy} onClick={remove}
                aria-label={t('media.deleteOne', { name: file.name })}>{t('action.delete')}</button>
      </span>
      <ErrorNote error={error} />
      {renaming && <RenameDialog dir={dir} file={file} onClose={() => setRenaming(false)}
                                 onDone={() => { setRenaming(false); onChanged(); }} />}
    </li>
  );
}

export function MediaView() {
  const status = useAppState().status.value;
  const [root, setRoot] = useState(ROOTS[0].path);
  const [dir, setDir] = useState(ROOTS[0].path);
  const listing = useLoad(() => pvr.listFiles(dir), [dir]);
  const files = [...(listing.value?.files ?? [])].sort((a, b) => Number(b.isDir) - Number(a.isDir) || a.name.localeCompare(b.name));
  const parent = dir !== root ? dir.slice(0, dir.lastIndexOf('/')) : undefined;

  return (
    <ViewFrame id="media" state={viewState(listing)}
      actions={
        <div class="tabs" role="group" aria-label={t('media.roots')}>
          {ROOTS.map((r) => (
            <button type="button" key={r.path} aria-pressed={root === r.path}
                    onClick={() => { setRoot(r.path); setDir(r.path); }}>{t(r.label)}</button>
          ))}
        </div>
      }>
      {status && <Playback status={status} />}
      {status && <RunningRecordings status={status} />}
      <div class="media-layout">
        <FolderTree root={root} current={dir} onOpen={setDir} />
        <div class="files">
          <h2 class="path">{dir}</h2>
          {parent && <button type="button" class="link" onClick={() => setDir(parent)}>↑ {t('media.up')}</button>}
          <LoadNote load={listing} />
          {listing.value && files.length === 0 && <p class="empty">{t('media.empty')}</p>}
          <ul class="file-list">
            {files.map((f) => <FileRow key={f.nameHex} file={f} dir={dir} onOpenDir={setDir} onChanged={listing.reload} />)}
          </ul>
        </div>
      </div>
    </ViewFrame>
  );
}
