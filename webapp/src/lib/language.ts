// Which language the page speaks: the user's choice, or the PVR's menu language.
import { getLanguageFile } from '../api/pvr';
import { parseLanguageFile, t, setLanguage } from './i18n';
import { asFailure, getState, setState } from './store';

const LANGUAGE_KEY = 'orvane.language';

/** The user's language choice: "auto" follows the PVR's menu language. */
export const languageChoice = () => localStorage.getItem(LANGUAGE_KEY) ?? 'auto';

/** Loads and applies the language file; English (built in) when it cannot be had. */
export async function applyLanguage(choice: string): Promise<void> {
  localStorage.setItem(LANGUAGE_KEY, choice);
  const pvrCode = getState().config.value?.languageCode;
  const wanted = choice === 'auto' ? (pvrCode && pvrCode !== '??' ? pvrCode : 'en') : choice;
  let code = 'en';
  let texts = parseLanguageFile('');
  let languageError;
  if (wanted !== 'en') {
    try {
      texts = parseLanguageFile(await getLanguageFile(wanted));
      // The PVR answers with the English file when it has none for the language.
      code = texts.get('language') ?? wanted;
    } catch (error) {
      languageError = asFailure(error);
    }
  }
  setLanguage(code, texts);
  document.title = t('app.title');
  setState({ languageError });
}
