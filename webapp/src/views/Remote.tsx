// Remote control: the key pad of the PVR's remote, volume, text entry and a picture of the
// television screen taken again after each key, so the user sees the PVR's menus react.
import { useEffect, useRef, useState } from 'preact/hooks';

import * as pvr from '../api/pvr';
import { confirmAction } from '../components/Confirm';
import { ErrorNote } from '../components/ErrorNote';
import { ViewFrame } from '../components/ViewFrame';
import { useAction } from '../lib/hooks';
import { t } from '../lib/i18n';
import { loadStatus, loadVolume, useAppState } from '../lib/store';

/** Time the PVR gets to draw its menu before the screen is captured. */
const CAPTURE_DELAY_MS = 700;

/** Keys that switch the PVR off or restart it ask first. */
const POWER_KEYS = new Set(['power', 'reboot']);

interface Key { word: string; cls?: string }
const k = (word: string, cls?: string): Key => ({ word, cls });

function keyGroups(remoteType: number): { name: string; keys: Key[] }[] {
  return [
    { name: 'power', keys: [k('power', 'danger'), k('reboot', 'danger'), k('sleep'), k('mute')] },
    { name: 'numbers', keys: ['1', '2', '3', '4', '5', '6', '7', '8', '9'].map((d) => k(d)).concat([k('recall'), k('0'), k('m')]) },
    { name: 'menus', keys: [k('menu'), k('guide'), k('info'), k('exit'), k('fav'), k('tvradio'), k('playlist'), k('teletext')] },
    { name: 'arrows', keys: [k('up', 'up'), k('left', 'left'), k('ok', 'ok'), k('right', 'right'), k('down', 'down')] },
    { name: 'volume', keys: [k('volup'), k('chup'), k('voldown'), k('chdown')] },
    { name: 'colours', keys: [k('red', 'red'), k('green', 'green'), k('yellow', 'yellow'), k('blue', 'blue')] },
    { name: 'playback', keys: [k('rewind'), k('play'), k('pause'), k('forward'), k('prev'), k('stop'), k('record', 'rec'), k('next'), k('slow'), k('ab')] },
    { name: 'more', keys: [k('audiotrk'), k('subt'), k('sat'), k('tvsat'), k('uhf'), k('vformat'), k(remoteType === 2 ? 'white' : 'option'), k('easy')] },
  ];
}

/** Keyboard keys that press a remote key while the pad has the focus. */
const KEYBOARD: Record<string, string> = {
  ArrowUp: 'up', ArrowDown: 'down', ArrowLeft: 'left', ArrowRight: 'right', Enter: 'ok', Escape: 'exit',
  Backspace: 'exit', m: 'menu', g: 'guide', i: 'info', '+': 'volup', '-': 'voldown', PageUp: 'chup', PageDown: 'chdown',
  ...Object.fromEntries(['0', '1', '2', '3', '4', '5', '6', '7', '8', '9'].map((d) => [d, d])),
};

function Screen({ picture, error, busy, onRefresh }: {
  picture?: string; error?: ReturnType<typeof useAction>[1]; busy: boolean; onRefresh: () => void;
}) {
  return (
    <figure class="screen">
      <div class="picture" aria-busy={busy}>
        {picture
          ? <img src={picture} alt={t('remote.screenAlt')} width={1024} height={576} />
          : <span class="no-picture">{busy ? t('remote.capturing') : t('remote.noPicture')}</span>}
      </div>
      <figcaption>
        <button type="button" onClick={onRefresh} disabled={busy}>{t('remote.refresh')}</button>
      </figcaption>
      <ErrorNote error={error} onRetry={onRefresh} />
    </figure>
  );
}

function TextEntry() {
  const [text, setText] = useState('');
  const [act, error, busy] = useAction();
  // The PVR's character events carry plain ASCII only.
  const invalid = !/^[\x20-\x7e]*$/.test(text);
  const send = async (e: Event) => {
    e.preventDefault();
    if (invalid) return;
    if (await act(async () => { for (const c of text) await pvr.sendChar(c.charCodeAt(0)); })) setText('');
  };
  return (
    <form class="text-entry" onSubmit={send}>
      <label for="remote-text">{t('remote.text')}</label>
      <input id="remote-text" value={text} maxLength={120} aria-invalid={invalid}
             aria-describedby="remote-text-hint" onInput={(e) => setText((e.target as HTMLInputElement).value)} />
      <button type="submit" disabled={busy || invalid || !text}>{t('remote.sendText')}</button>
      <p id="remote-text-hint" class={invalid ? 'hint invalid' : 'hint'}>{t('remote.textHint')}</p>
      <ErrorNote error={error} />
    </form>
  );
}

export function RemoteView() {
  const config = useAppState().config.value;
  const [long, setLong] = useState(false);
  const [picture, setPicture] = useState<string>();
  const [act, keyError] = useAction();
  const [capture, captureError, capturing] = useAction();
  const timer = useRef<ReturnType<typeof setTimeout>>();
  const [lastKey, setLastKey] = useState('');

  const refresh = () => capture(async () => {
    const url = await pvr.captureScreen();
    setPicture((old) => { if (old) URL.revokeObjectURL(old); return url; });
  });
  useEffect(() => {
    void refresh();
    return () => { clearTimeout(timer.current); };
  }, []);

  const press = async (word: string) => {
    if (POWER_KEYS.has(word) && !(await confirmAction(t(`remote.confirm.${word}`), t(`key.${word}`)))) return;
    const ok = await act(() => pvr.sendKey(word, long));
    if (!ok) return;
    setLastKey(word);
    setLong(false);
    if (word.startsWith('vol') || word === 'mute') void loadVolume();
    if (word.startsWith('ch')) void loadStatus();
    clearTimeout(timer.current);
    timer.current = setTimeout(() => void refresh(), CAPTURE_DELAY_MS);
  };

  const onPadKey = (e: KeyboardEvent) => {
    if (e.target !== e.currentTarget || e.ctrlKey || e.altKey || e.metaKey) return;
    const word = KEYBOARD[e.key];
    if (word) {
      e.preventDefault();
      void press(word);
    }
  };

  const remoteType = config?.remoteType ?? 1;
  return (
    <ViewFrame id="remote" state={picture || captureError ? 'ready' : 'loading'}>
      <div class="remote-layout">
        <div class="pad" tabIndex={0} onKeyDown={onPadKey} aria-describedby="pad-hint"
             aria-label={t('remote.pad', { type: remoteType })} role="group">
          <p id="pad-hint" class="hint">{t('remote.padHint')}</p>
          <label class="inline long">
            <input type="checkbox" checked={long} onChange={(e) => setLong((e.target as HTMLInputElement).checked)} />
            {t('remote.long')}
          </label>
          {keyGroups(remoteType).map((g) => (
            <div key={g.name} class={`keys keys-${g.name}`} role="group" aria-label={t(`remote.group.${g.name}`)}>
              {g.keys.map((key) => (
                <button type="button" key={key.word} class={`key ${key.cls ?? ''}`} data-key={key.word}
                        onClick={() => void press(key.word)}>
                  {t(`key.${key.word}`)}
                </button>
              ))}
            </div>
          ))}
          <p class="last-key" role="status">{lastKey && t('remote.sent', { key: t(`key.${lastKey}`) })}</p>
          <ErrorNote error={keyError} />
        </div>
        <div class="remote-side">
          <Screen picture={picture} error={captureError} busy={capturing} onRefresh={() => void refresh()} />
          <TextEntry />
        </div>
      </div>
    </ViewFrame>
  );
}
