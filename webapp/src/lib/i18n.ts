// UI texts from the language files "language-xx.txt": lines "key=value", "#" starts a
// comment, "{name}" marks a value filled in by the page. English is built into the script so
// the page can speak before (and without) any file from the PVR.
import english from '../../lang/language-en.txt';

export type Texts = Map<string, string>;

export function parseLanguageFile(text: string): Texts {
  const texts: Texts = new Map();
  for (const raw of text.replace(/^\uFEFF/, '').split(/\r?\n/)) {
    const line = raw.trim();
    if (!line || line.startsWith('#')) continue;
    const eq = line.indexOf('=');
    if (eq > 0) texts.set(line.slice(0, eq).trim(), line.slice(eq + 1).trim());
  }
  return texts;
}

const fallback = parseLanguageFile(english);
let current: Texts = fallback;
let currentCode = 'en';

/** The language in use: its code, and its texts (missing keys fall back to English). */
export function setLanguage(code: string, texts: Texts): void {
  current = texts;
  currentCode = code;
  document.documentElement.lang = code;
}

export const languageCode = () => currentCode;

/** BCP 47 locale for dates and numbers in the current language. */
export const locale = () => current.get('locale') ?? fallback.get('locale') ?? 'en-GB';

export function t(key: string, values: Record<string, string | number> = {}): string {
  const text = current.get(key) ?? fallback.get(key) ?? key;
  return text.replace(/\{(\w+)\}/g, (whole, name: string) => (name in values ? String(values[name]) : whole));
}

/** Languages the page ships files for. */
export const LANGUAGES: { code: string; name: string }[] = [
  { code: 'en', name: 'English' },
  { code: 'de', name: 'Deutsch' },
];
