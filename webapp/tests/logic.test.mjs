// The page's own logic without a browser: PVR times, timer overlaps, the search request and
// ranking, answer reading, now/next, and the language files.
import assert from 'node:assert/strict';
import { mkdtempSync, readdirSync, readFileSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join } from 'node:path';
import { describe, test } from 'node:test';
import { fileURLToPath, pathToFileURL } from 'node:url';

import * as esbuild from 'esbuild';

const here = dirname(fileURLToPath(import.meta.url));
const src = join(here, '..', 'src');

/** Bundles one TypeScript module of the page for Node and imports it. */
async function load(module) {
  const result = await esbuild.build({
    entryPoints: [join(src, module)], bundle: true, format: 'esm', platform: 'neutral', write: false,
    loader: { '.txt': 'text' }, jsx: 'automatic', jsxImportSource: 'preact', logLevel: 'silent',
    mainFields: ['module', 'main'],
  });
  const file = join(mkdtempSync(join(tmpdir(), 'orvane-logic-')), 'module.mjs');
  writeFileSync(file, result.outputFiles[0].text);
  return import(pathToFileURL(file).href);
}

const time = await load('lib/pvrtime.ts');
const overlap = await load('lib/overlap.ts');
const search = await load('lib/search.ts');
const read = await load('api/read.ts');
const epg = await load('lib/epg.ts');
const i18n = await load('lib/i18n.ts');

describe('PVR times', () => {
  test('read and write the PVR time text without any time zone', () => {
    const ms = time.parsePvrTime('2018/01/14 20:15:00');
    assert.equal(new Date(ms).toISOString(), '2018-01-14T20:15:00.000Z');
    assert.equal(time.formatPvrTime(ms), '2018/01/14 20:15:00');
    assert.equal(time.toInputValue(ms), '2018-01-14T20:15');
    assert.equal(time.fromInputValue('2018-01-14T20:15'), ms);
    assert.ok(Number.isNaN(time.parsePvrTime('0')));
    assert.ok(Number.isNaN(time.parsePvrTime('0000/00/00 00:00:00')));
  });
});

describe('timer overlaps', () => {
  const at = (h, m = 0) => `2030/03/04 ${String(h).padStart(2, '0')}:${String(m).padStart(2, '0')}:00`;
  const timer = (id, start, duration, extra = {}) => ({ id, start, duration, reservationType: 0, isRec: true, ...extra });

  test('flags every recording running while more run than there are slots', () => {
    const spans = [timer(1, at(20), 60), timer(2, at(20, 30), 60), timer(3, at(20, 45), 30), timer(4, at(22), 30)];
    assert.deepEqual([...overlap.overbooked(spans, 2)].sort(), [1, 2, 3]);
    assert.equal(overlap.overbooked(spans, 3).size, 0);
  });

  test('back-to-back recordings and channel switches do not clash', () => {
    const spans = [timer(1, at(20), 60), timer(2, at(21), 60), timer(3, at(20), 60, { isRec: false })];
    assert.equal(overlap.overbooked(spans, 1).size, 0);
  });

  test('a daily timer clashes with a recording on a later day', () => {
    const spans = [timer(1, at(20), 60, { reservationType: 1 }), timer(2, '2030/03/06 20:30:00', 30)];
    assert.deepEqual([...overlap.overbooked(spans, 1)].sort(), [1, 2]);
    const weekly = [timer(1, at(20), 60, { reservationType: 3 }), timer(2, '2030/03/06 20:30:00', 30),
                    timer(3, '2030/03/11 20:30:00', 30)];
    assert.deepEqual([...overlap.overbooked(weekly, 1)].sort(), [1, 3]);
  });
});

describe('EPG search', () => {
  test('the request puts every value at column 19 and ends with EndQuery', () => {
    const text = search.requestText({ terms: [{ pattern: ' news ', field: 'A', weight: 30 },
                                              { pattern: '/^Late$/', field: 'T', weight: 20 }], channelId: '' });
    const lines = text.split('\r\n');
    assert.deepEqual(lines, [
      'SearchCount:      1', 'ShowProgress:     1', 'Name:             Orvane web search',
      'ChannelCount:     1', 'TextCount:        2', 'RecordingMode:    0', 'ChannelID:        0000000000000000',
      'Search:           A;news;30', 'Search:           T;/^Late$/;20', 'EndQuery:', '']);
    for (const line of lines.slice(0, -2)) assert.equal(line.length > 18 && line[17], ' ', line);
  });

  test('terms become the same expressions as in the search program', () => {
    assert.equal(search.termExpression('*news*').source, '.*news.*');
    assert.equal(search.termExpression('a.b').source, 'a\\.b');
    assert.equal(search.termExpression('te?t').source, 'te.t');
    assert.equal(search.termExpression('/^News$/').source, '^News$');
    assert.equal(search.termExpression('\\*x').source, '\\*x');
    assert.equal(search.termExpression('/(/'), undefined);
    assert.equal(search.validPattern('a;b'), false);
    assert.equal(search.validPattern('  '), false);
  });

  test('results are ranked by the weights of the terms they match', () => {
    const event = (name, description, start) => ({ name, description, text: '', start, eventId: 1 });
    const terms = [{ pattern: 'news', field: 'T', weight: 50 }, { pattern: 'weather', field: 'A', weight: 30 }];
    const ranked = search.rank([event('Sport', 'news and weather', '2030/01/01 10:00:00'),
                                event('News', 'weather', '2030/01/01 12:00:00'),
                                event('Late news', '', '2030/01/01 09:00:00')], terms);
    assert.deepEqual(ranked.map((r) => [r.event.name, r.score]), [['News', 80], ['Late news', 50], ['Sport', 30]]);
  });

  test('the results document is read, progress messages are not part of it', () => {
    const doc = '{\r\n"content":"epg_search_results",\r\n"source":"pvr",\r\n"event":\r\n[\t{"eventid":7,"starttime_local":"2030/01/01 10:00:00",' +
      '"endtime_local":"2030/01/01 11:00:00","duration":60,"svctype":0,"svcnum":3,"logoid":"00c0000204010010","name":"A",' +
      '"description":"","text":""}],\r\n"count":1}';
    const events = search.parseResults(doc);
    assert.equal(events.length, 1);
    assert.equal(events[0].logoId, '00c0000204010010');
    assert.throws(() => search.parseResults(''), /no results document/);
  });
});

describe('reading answers', () => {
  test('missing or wrong members are named', () => {
    const r = read.Reader.of({ content: 'status', level: 3, name: 'x', list: [{}, { a: 1 }] }, 'volume/get');
    assert.equal(r.num('level'), 3);
    assert.throws(() => r.num('name'), /member "name" is missing or not a number/);
    assert.throws(() => r.content('volume'), /"content" is "status", expected "volume"/);
    assert.deepEqual(r.list('list', (x) => x.num('a')), [1]);
    assert.throws(() => read.Reader.of([], 'x'), /not an object/);
    assert.throws(() => read.checkError(read.Reader.of({ error: 4, error_text: 'Attemp to jump past end' }, 'files/skip'),
                                        'error', 'error_text'), /Attemp to jump past end \(error 4\)/);
  });
});

describe('now and next', () => {
  test('per channel: the event running now and the one after it', () => {
    const e = (svcNum, start, end, name) => ({ svcType: 0, svcNum, start, end, duration: 0, name });
    const events = [e(1, '2030/01/01 10:00:00', '2030/01/01 11:00:00', 'later'), e(1, '2030/01/01 09:00:00', '2030/01/01 10:00:00', 'now'),
                    e(2, '2030/01/01 09:45:00', '2030/01/01 10:15:00', 'soon')];
    const table = epg.nowNext(events, time.parsePvrTime('2030/01/01 09:30:00'));
    assert.equal(table.get('0/1').now.name, 'now');
    assert.equal(table.get('0/1').next.name, 'later');
    assert.equal(table.get('0/2').now, undefined);
    assert.equal(table.get('0/2').next.name, 'soon');
  });
});

describe('language files', () => {
  const lang = join(here, '..', 'lang');
  const files = Object.fromEntries(readdirSync(lang).map((f) => [f, i18n.parseLanguageFile(readFileSync(join(lang, f), 'utf8'))]));

  test('are read as key=value lines with comments', () => {
    const texts = i18n.parseLanguageFile('\uFEFF# comment\r\na=b=c\r\n\r\nbad line\nkey = value \n');
    assert.deepEqual([...texts], [['a', 'b=c'], ['key', 'value']]);
  });

  test('name their language, and the German file only uses keys the English one has', () => {
    assert.equal(files['language-en.txt'].get('language'), 'en');
    assert.equal(files['language-de.txt'].get('language'), 'de');
    const english = files['language-en.txt'];
    for (const key of files['language-de.txt'].keys()) assert.ok(english.has(key), `unknown key ${key} in German`);
  });

  test('have an English text for every key the page uses', () => {
    const english = files['language-en.txt'];
    const sources = [];
    const walk = (dir) => readdirSync(dir, { withFileTypes: true }).forEach((d) => (d.isDirectory()
      ? walk(join(dir, d.name)) : /\.tsx?$/.test(d.name) && sources.push(readFileSync(join(dir, d.name), 'utf8'))));
    walk(src);
    const keys = new Set(sources.flatMap((s) => [...s.matchAll(/\bt\('([a-zA-Z0-9.]+)'/g)].map((m) => m[1])));
    for (const key of ['nav.channels', 'nav.settings', 'failure.missing', 'failure.network', 'key.ok', 'timers.repeat.4']) keys.add(key);
    const missing = [...keys].filter((k) => !english.has(k));
    assert.deepEqual(missing, []);
  });
});
