// TAPs and logos: the running TAPs (stop one), the TAP files on the disk (start one), and the
// channel-logo sprite sheet with its rebuild.
import * as pvr from '../api/pvr';
import { confirmAction } from '../components/Confirm';
import { ErrorNote, LoadNote } from '../components/ErrorNote';
import { logoSheetUrl } from '../components/Logo';
import { ViewFrame, viewState } from '../components/ViewFrame';
import { useAction, useLoad } from '../lib/hooks';
import { t } from '../lib/i18n';
import { loadLogos, useAppState } from '../lib/store';

/** The folder whose TAP files can be started. */
const TAP_FOLDER = '/ProgramFiles';
/** Orvane's own TAP ID: stopping it takes this page offline. */
const ORVANE_TAP_ID = 0x514b570f;

function Running({ taps, onChanged }: { taps: pvr.RunningTap[]; onChanged: () => void }) {
  const [act, error, busy] = useAction();
  const stop = async (tap: pvr.RunningTap) => {
    const message = tap.tapId === ORVANE_TAP_ID ? t('taps.confirmStopSelf') : t('taps.confirmStop', { name: tap.name });
    if (!(await confirmAction(message, t('taps.stop')))) return;
    if (await act(() => pvr.stopTap(tap))) onChanged();
  };
  return (
    <>
      <table class="taps">
        <caption>{t('taps.running')}</caption>
        <thead>
          <tr><th scope="col">{t('taps.name')}</th><th scope="col">{t('taps.version')}</th>
            <th scope="col">{t('taps.file')}</th><th scope="col"><span class="sr-only">{t('taps.actions')}</span></th></tr>
        </thead>
        <tbody>
          {taps.map((tap) => (
            <tr key={tap.index}>
              <td><strong>{tap.name}</strong><br /><span class="sub">{tap.description}</span></td>
              <td>{tap.version}</td>
              <td class="path">{tap.fileName}</td>
              <td>
                <button type="button" class="danger" disabled={busy} onClick={() => stop(tap)}
                        aria-label={t('taps.stopOne', { name: tap.name })}>{t('taps.stop')}</button>
              </td>
            </tr>
          ))}
        </tbody>
      </table>
      <ErrorNote error={error} />
    </>
  );
}

function OnDisk({ running, onChanged }: { running: pvr.RunningTap[]; onChanged: () => void }) {
  const listing = useLoad(() => pvr.listFiles(TAP_FOLDER), []);
  const [act, error, busy] = useAction();
  const files = (listing.value?.files ?? []).filter((f) => !f.isDir && f.name.toLowerCase().endsWith('.tap'));
  const dir = listing.value?.directory ?? TAP_FOLDER;
  const isRunning = (name: string) => running.some((r) => r.fileName.endsWith(`/${name}`));
  return (
    <section aria-labelledby="disk-taps-title">
      <h2 id="disk-taps-title">{t('taps.onDisk')}</h2>
      <LoadNote load={listing} />
      {listing.value && files.length === 0 && <p class="empty">{t('taps.noFiles')}</p>}
      <ul class="tap-files">
        {files.map((f) => (
          <li key={f.nameHex}>
            <span class="path">{f.name}</span>
            {isRunning(f.name) && <span class="badge">{t('taps.isRunning')}</span>}
            <button type="button" disabled={busy}
                    onClick={async () => { if (await act(() => pvr.startTap(`${dir}/${f.name}`))) onChanged(); }}
                    aria-label={t('taps.startOne', { name: f.name })}>{t('taps.start')}</button>
          </li>
        ))}
      </ul>
      <ErrorNote error={error} />
    </section>
  );
}

function Logos() {
  const logos = useAppState().logos;
  const [act, error, busy] = useAction();
  // The PVR answers once the sheet has been rebuilt, so the index can be read again at once.
  const rebuild = async () => {
    if (!(await confirmAction(t('logos.confirmRebuild'), t('logos.rebuild')))) return;
    if (await act(pvr.rebuildLogos)) await loadLogos();
  };
  return (
    <section aria-labelledby="logos-title">
      <h2 id="logos-title">{t('logos.title')}</h2>
      {logos.value
        ? <p>{t('logos.status', { n: Math.max(0, logos.value.cells.size - 3), time: logos.value.timestamp })}</p>
        : <p>{t('logos.missing')}</p>}
      <ErrorNote error={logos.error} onRetry={loadLogos} />
      {logos.value && <img class="logo-sheet" src={logoSheetUrl(logos.value)} alt={t('logos.sheet')} />}
      <button type="button" disabled={busy} onClick={rebuild}>{t('logos.rebuild')}</button>
      <ErrorNote error={error} />
    </section>
  );
}

export function TapsView() {
  const taps = useLoad(pvr.getTaps, []);
  return (
    <ViewFrame id="taps" state={viewState(taps)}>
      <LoadNote load={taps} />
      {taps.value && <Running taps={taps.value} onChanged={taps.reload} />}
      <OnDisk running={taps.value ?? []} onChanged={taps.reload} />
      <Logos />
    </ViewFrame>
  );
}
