// Settings: the page's language, the PVR's description, and the client settings and module
// settings kept on the PVR.
import { Fragment } from 'preact';
import { useState } from 'preact/hooks';

import * as pvr from '../api/pvr';
import { confirmAction } from '../components/Confirm';
import { ErrorNote, LoadNote } from '../components/ErrorNote';
import { ViewFrame, viewState } from '../components/ViewFrame';
import { useAction, useLoad } from '../lib/hooks';
import { LANGUAGES, languageCode, t } from '../lib/i18n';
import { applyLanguage, languageChoice } from '../lib/language';
import { useAppState } from '../lib/store';

/** Setting keys travel unencoded; letters, digits and a few marks are safe. */
const validKey = (key: string) => /^[A-Za-z0-9_.-]{1,100}$/.test(key);

function Language() {
  const app = useAppState();
  const [choice, setChoice] = useState(languageChoice());
  const pvrCode = app.config.value?.languageCode ?? '??';
  const change = async (value: string) => {
    setChoice(value);
    await applyLanguage(value);
  };
  return (
    <section aria-labelledby="language-title">
      <h2 id="language-title">{t('settings.language')}</h2>
      <label for="language-choice">{t('settings.languageLabel')}</label>
      <select id="language-choice" value={choice} onChange={(e) => change((e.target as HTMLSelectElement).value)}>
        <option value="auto">{t('settings.languageAuto', { code: pvrCode })}</option>
        {LANGUAGES.map((l) => <option key={l.code} value={l.code}>{l.name}</option>)}
      </select>
      <p class="hint">{t('settings.languageNow', { code: languageCode() })}</p>
      <ErrorNote error={app.languageError} />
    </section>
  );
}

function PvrFacts() {
  const config = useAppState().config.value;
  if (!config) return null;
  const facts: [string, string | number][] = [
    ['settings.pvrName', config.pvrName],
    ['settings.model', `${config.device} (${config.sysid})`],
    ['settings.api', config.version.toString(16)],
    ['settings.server', config.serverVersion],
    ['settings.slots', config.maxRecStreams],
    ['settings.disk', [config.hddModel, config.hddSerial, config.hddFirmware].filter(Boolean).join(' · ')],
    ['settings.epgSource', config.epgSource],
    ['settings.padding', t('settings.paddingValue', { pre: config.prePadding, post: config.postPadding })],
    ['settings.logging', config.loggingLevel],
  ];
  return (
    <section aria-labelledby="pvr-title">
      <h2 id="pvr-title">{t('settings.pvr')}</h2>
      <dl class="facts">
        {facts.map(([key, value]) => <Fragment key={key}><dt>{t(key)}</dt><dd>{value}</dd></Fragment>)}
      </dl>
    </section>
  );
}

function SettingsList({ module }: { module?: string }) {
  const list = useLoad(() => pvr.listSettings(module), [module]);
  const [act, error, busy] = useAction();
  const [key, setKey] = useState('');
  const [value, setValue] = useState('');
  const [edits, setEdits] = useState<Record<string, string>>({});
  const prefix = module ? `module-${module}` : 'client';

  const save = async (k: string, v: string) => {
    if (await act(() => pvr.setSetting(k, v, module))) {
      setEdits(({ [k]: _, ...rest }) => rest);
      await list.reload();
    }
  };
  const add = async (e: Event) => {
    e.preventDefault();
    if (!validKey(key)) return;
    await save(key, value);
    setKey('');
    setValue('');
  };
  const remove = async (k: string) => {
    if (!(await confirmAction(t('settings.confirmDelete', { key: k }), t('action.delete')))) return;
    if (await act(() => pvr.deleteSetting(k, module))) await list.reload();
  };

  return (
    <div class="settings-list" data-state={viewState(list)}>
      <LoadNote load={list} />
      {list.value && list.value.length === 0 && <p class="empty">{t('settings.none')}</p>}
      {list.value && list.value.length > 0 && (
        <table>
          <thead><tr><th scope="col">{t('settings.key')}</th><th scope="col">{t('settings.value')}</th>
            <th scope="col"><span class="sr-only">{t('taps.actions')}</span></th></tr></thead>
          <tbody>
            {list.value.map(([k, v], i) => (
              <tr key={k}>
                <th scope="row" class="key">{k}</th>
                <td>
                  <input aria-label={t('settings.valueOf', { key: k })} id={`${prefix}-value-${i}`} value={edits[k] ?? v}
                         onInput={(e) => setEdits({ ...edits, [k]: (e.target as HTMLInputElement).value })} />
                </td>
                <td class="row-actions">
                  <button type="button" disabled={busy || edits[k] === undefined || edits[k] === v}
                          onClick={() => save(k, edits[k])}>{t('action.save')}</button>
                  <button type="button" class="danger" disabled={busy} onClick={() => remove(k)}
                          aria-label={t('settings.deleteOne', { key: k })}>{t('action.delete')}</button>
                </td>
              </tr>
            ))}
          </tbody>
        </table>
      )}
      <form class="add-setting" onSubmit={add}>
        <label for={`${prefix}-new-key`}>{t('settings.key')}</label>
        <input id={`${prefix}-new-key`} value={key} aria-invalid={key !== '' && !validKey(key)} aria-describedby={`${prefix}-key-hint`}
               onInput={(e) => setKey((e.target as HTMLInputElement).value)} />
        <label for={`${prefix}-new-value`}>{t('settings.value')}</label>
        <input id={`${prefix}-new-value`} value={value} onInput={(e) => setValue((e.target as HTMLInputElement).value)} />
        <button type="submit" disabled={busy || !validKey(key)}>{t('settings.add')}</button>
        <p id={`${prefix}-key-hint`} class="hint">{t('settings.keyHint')}</p>
      </form>
      <ErrorNote error={error} />
    </div>
  );
}

function Modules() {
  const config = useAppState().config.value;
  const modules = config?.modules ?? [];
  const [open, setOpen] = useState('');
  return (
    <section aria-labelledby="modules-title">
      <h2 id="modules-title">{t('settings.modules')}</h2>
      {config && modules.length === 0 && <p class="empty">{t('settings.noModules')}</p>}
      {modules.length > 0 && (
        <label class="inline">
          {t('settings.module')}
          <select value={open} onChange={(e) => setOpen((e.target as HTMLSelectElement).value)}>
            <option value="">{t('settings.chooseModule')}</option>
            {modules.map((m) => <option key={m.nameHex} value={m.name}>{m.name}</option>)}
          </select>
        </label>
      )}
      {open && <SettingsList key={open} module={open} />}
    </section>
  );
}

export function SettingsView() {
  const app = useAppState();
  return (
    <ViewFrame id="settings" state={app.config.value || app.config.error ? 'ready' : 'loading'}>
      <Language />
      <PvrFacts />
      <section aria-labelledby="client-title">
        <h2 id="client-title">{t('settings.client')}</h2>
        <SettingsList />
      </section>
      <Modules />
    </ViewFrame>
  );
}
