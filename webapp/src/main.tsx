// The browser application: boots from the PVR's configuration and language, then shows the
// header, the navigation and the view named in the address (#/channels, #/epg, ...).
import { render } from 'preact';
import { useEffect, useRef, useState } from 'preact/hooks';

import { ConfirmHost } from './components/Confirm';
import { Busy } from './components/ErrorNote';
import { Header } from './components/Header';
import { t } from './lib/i18n';
import { applyLanguage, languageChoice } from './lib/language';
import { loadChannels, loadConfig, loadLogos, loadStatus, loadVolume, useAppState } from './lib/store';
import { ChannelsView } from './views/Channels';
import { EpgView } from './views/Epg';
import { MediaView } from './views/Media';
import { RemoteView } from './views/Remote';
import { SearchView } from './views/Search';
import { SettingsView } from './views/Settings';
import { TapsView } from './views/Taps';
import { TimersView } from './views/Timers';

const VIEWS = [
  { id: 'channels', view: ChannelsView },
  { id: 'remote', view: RemoteView },
  { id: 'epg', view: EpgView },
  { id: 'search', view: SearchView },
  { id: 'timers', view: TimersView },
  { id: 'media', view: MediaView },
  { id: 'taps', view: TapsView },
  { id: 'settings', view: SettingsView },
] as const;

function currentView(): string {
  const id = location.hash.replace(/^#\/?/, '');
  return VIEWS.some((v) => v.id === id) ? id : VIEWS[0].id;
}

function Nav({ active }: { active: string }) {
  return (
    <nav class="views" aria-label={t('nav.label')}>
      <ul>
        {VIEWS.map((v) => (
          <li key={v.id}>
            <a href={`#/${v.id}`} aria-current={v.id === active ? 'page' : undefined}>{t(`nav.${v.id}`)}</a>
          </li>
        ))}
      </ul>
    </nav>
  );
}

function App({ booted }: { booted: boolean }) {
  const [active, setActive] = useState(currentView);
  useAppState();
  useEffect(() => {
    const onHash = () => setActive(currentView());
    addEventListener('hashchange', onHash);
    return () => removeEventListener('hashchange', onHash);
  }, []);
  // After a change of view the focus moves to its content (not on the first load).
  const firstView = useRef(true);
  useEffect(() => {
    if (!firstView.current) document.getElementById('main')?.focus({ preventScroll: true });
    firstView.current = false;
  }, [active]);
  const View = VIEWS.find((v) => v.id === active)!.view;
  return (
    <>
      <a class="skip" href="#main"
         onClick={(e) => { e.preventDefault(); document.getElementById('main')?.focus(); }}>{t('app.skip')}</a>
      <Header />
      <Nav active={active} />
      <main id="main" tabIndex={-1}>
        {booted ? <View key={active} /> : <Busy what={t('app.connecting')} />}
      </main>
      <ConfirmHost />
    </>
  );
}

async function boot(): Promise<void> {
  const root = document.getElementById('app')!;
  render(<App booted={false} />, root);
  // The header's data is asked for at once, behind the configuration; the language file,
  // which the configuration names, jumps that queue, and the view (with its own requests)
  // is drawn as soon as the page can speak.
  const config = loadConfig();
  void loadStatus();
  void loadVolume();
  void loadChannels();
  void loadLogos();
  await config;
  await applyLanguage(languageChoice());
  render(<App booted />, root);
}

void boot();
