// The page in a real Chromium (Debian's, headless): what it lists, shows,
// downloads and sends, against mertovan-cli on the same files.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, test } from 'node:test';

import { chromium } from 'playwright-core';

import {
  cliConvertArgs, example, jsonDocument, makeSongs, nativeBuild, runCli, scratch, serveSite, tsvRowsByFile,
} from './support.mjs';

const CHROMIUM = process.env.CHROMIUM || '/usr/bin/chromium';
const work = scratch('page');
const songs = makeSongs(8, 3);
// The generated song nearest to 150 KB, for the time from drop to rows.
const song = songs.reduce((a, b) => (Math.abs(fs.statSync(a).size - 150000) <= Math.abs(fs.statSync(b).size - 150000) ? a : b));

let server;
let browser;
let address;

before(async () => {
  server = await serveSite();
  address = `http://127.0.0.1:${server.address().port}/`;
  browser = await chromium.launch({ executablePath: CHROMIUM, headless: true, args: ['--no-sandbox'] });
});
after(async () => {
  await browser?.close();
  server?.close();
});

// A new page on the site; every console error and uncaught error is kept.
async function openPage({ initScript } = {}) {
  const context = await browser.newContext({ acceptDownloads: true, viewport: { width: 1200, height: 800 } });
  if (initScript) await context.addInitScript(initScript);
  const page = await context.newPage();
  const errors = [];
  page.on('console', (m) => { if (m.type() === 'error') errors.push(m.text()); });
  page.on('pageerror', (e) => errors.push(e.message));
  await page.goto(address);
  await page.evaluate(() => window.mertovanPage.ready);
  page.errors = errors;
  page.done = async () => {
    assert.deepEqual(errors, [], 'console errors');
    await context.close();
  };
  return page;
}

const pageState = (page) => page.evaluate(() => ({ ...window.mertovanPage.state, cache: undefined, shown: undefined }));

async function choose(page, file) {
  const loads = (await pageState(page)).loads;
  await page.setInputFiles('#file', file);
  return loads;
}
async function chooseAndWait(page, file) {
  const loads = await choose(page, file);
  await page.waitForFunction((n) => window.mertovanPage.state.loads > n, loads);
}

// Drops a file on the page as a file manager would.
async function drop(page, file) {
  const loads = (await pageState(page)).loads;
  const data = await page.evaluateHandle(([name, base64]) => {
    const bytes = Uint8Array.from(atob(base64), (c) => c.charCodeAt(0));
    const transfer = new DataTransfer();
    transfer.items.add(new File([bytes], name, { type: 'audio/midi' }));
    return transfer;
  }, [path.basename(file), fs.readFileSync(file).toString('base64')]);
  await page.dispatchEvent('#drop', 'drop', { dataTransfer: data });
  await page.waitForFunction((n) => window.mertovanPage.state.loads > n, loads);
}

// Every row the listing shows, scrolled through from top to bottom, by row.
async function shownListing(page) {
  const rows = new Map();
  await page.evaluate(() => { document.getElementById('viewport').scrollTop = 0; });
  for (;;) {
    const first = await page.evaluate(() => Math.floor(document.getElementById('viewport').scrollTop / 20));
    await page.waitForFunction((f) => {
      const shown = window.mertovanPage.shownRows();
      return shown.some((r) => r.position === f) && shown.every((r) => !r.pending);
    }, first);
    for (const r of await page.evaluate(() => window.mertovanPage.shownRows())) rows.set(r.position, r);
    const end = await page.evaluate(() => {
      const v = document.getElementById('viewport');
      if (v.scrollTop + v.clientHeight >= v.scrollHeight - 1) return true;
      v.scrollTop += v.clientHeight;
      return false;
    });
    if (end) return rows;
  }
}

// The shown rows against the command line's TSV rows and JSON meanings.
function assertShown(shown, tsv, events) {
  assert.equal(shown.size, tsv.length);
  for (const [position, row] of shown) {
    const [bar, meter, tick, ch, event, value, last] = tsv[position];
    assert.equal(row.index, position);
    assert.deepEqual(row.cells, [bar, meter, tick, ch, event, value, events[position].meaning, last], `row ${position}`);
    assert.equal(row.grey, events[position].cc.length === 0, `row ${position} colour`);
  }
}

test('the page lists the example and a dropped song as mertovan-cli does', async (t) => {
  const page = await openPage();
  const files = [example, song];
  const json = JSON.parse(runCli(['list', '--format', 'json', ...files]).toString());
  const tsv = { sysex: tsvRowsByFile(files, 'sysex'), cc: tsvRowsByFile(files, 'cc') };
  const rowsJson = () => page.evaluate(() => window.mertovanPage.rowsJson());
  const listed = [];

  await chooseAndWait(page, example);
  listed.push({ path: example, rows: await rowsJson() });
  await page.check('input[name="view"][value="0"]');
  assert.equal(await page.textContent('#lastHeader'), 'ControlChange');
  assertShown(await shownListing(page), tsv.cc[0], json[0].events);

  // Filtering by part and by text: the rows that the listing's own texts
  // say should be there.
  const part = json[0].events.find((e) => e.part !== null).part;
  await page.selectOption('#partFilter', String(part - 1));
  await page.waitForFunction((n) => window.mertovanPage.shownRows().length === n,
    json[0].events.filter((e) => e.part === part).length);
  await page.selectOption('#partFilter', '-2');
  await page.check('input[name="view"][value="1"]');
  for (const text of ['program', '4C 08 00', 'hall']) {
    await page.fill('#textFilter', text);
    const expected = json[0].events.map((e, i) => i).filter((i) => {
      const e = json[0].events[i];
      return [e.eventName, e.valueText, e.meaning, tsv.sysex[0][i][6]].some((t) => t.toLowerCase().includes(text.toLowerCase()));
    });
    await page.waitForFunction((want) => {
      const shown = window.mertovanPage.shownRows();
      return shown.length === want.length && shown.every((r, k) => r.index === want[k] && !r.pending);
    }, expected);
  }
  await page.fill('#textFilter', '');

  await drop(page, song);
  const state = await pageState(page);
  assert.ok(state.listedMs < 100, `${state.listedMs} ms from the drop to the rows`);
  t.diagnostic(`${path.basename(song)} (${fs.statSync(song).size} bytes, ${state.rows} rows) listed ${state.listedMs.toFixed(1)} ms after the drop`);
  assert.equal(await page.textContent('#fileName'), path.basename(song));
  listed.push({ path: song, rows: await rowsJson() });
  // Both files' rows, as one run of the command line lists them.
  assert.equal(jsonDocument(listed), runCli(['list', '--format', 'json', ...files]).toString());
  assertShown(await shownListing(page), tsv.sysex[1], json[1].events);
  await page.done();
});

test('Download saves the file mertovan-cli convert writes, for each layout and target', async () => {
  const page = await openPage();
  await chooseAndWait(page, song);
  const variants = [
    { layout: 'formal', unconvertible: true },
    { layout: 'plain', unconvertible: true },
    { layout: 'song', unconvertible: true },
    { layout: 'plain', unconvertible: false },
    { layout: 'song', target: 'gm', unconvertible: true },
    { layout: 'song', target: 'gs', unconvertible: false },
  ];
  let n = 0;
  let reports = 0;
  for (const variant of variants) {
    const out = path.join(work, `cli${n}.mid`);
    const report = path.join(work, `report${n++}.tsv`);
    const args = ['convert', ...cliConvertArgs(variant), '-o', out, song];
    if (variant.target) args.push('--report', report);
    const cli = runCli(args, { whole: true });

    await page.check(`input[name="layout"][value="${{ formal: 0, plain: 1, song: 2 }[variant.layout]}"]`);
    await page.setChecked('#unconvertible', variant.unconvertible);
    assert.equal(await page.isDisabled('#target'), variant.layout !== 'song');
    if (variant.layout === 'song') await page.selectOption('#target', String({ xg: 0, gm: 1, gs: 2 }[variant.target || 'xg']));
    const [download] = await Promise.all([page.waitForEvent('download'), page.click('#download')]);
    assert.equal(download.suggestedFilename(), path.basename(song).replace(/\.mid$/, '_cc.mid'));
    const saved = fs.readFileSync(await download.path());
    assert.ok(saved.equals(fs.readFileSync(out)), `downloaded bytes differ: ${JSON.stringify(variant)}`);
    const counted = cli.stdout.toString().match(/\(\d+ of \d+ SysEx messages converted\)/)[0];
    assert.match(await page.textContent('#convertStatus'), new RegExp(`^Convert Successful ${counted.replace(/[()]/g, '\\$&')}`));

    // The report's rows, shown when the target could not carry everything.
    const lost = cli.stderr.toString().match(/(\d+) settings could not be carried/);
    const reportShown = await page.isVisible('#report');
    assert.equal(reportShown, Boolean(lost && Number(lost[1]) > 0), JSON.stringify(variant));
    if (reportShown) {
      reports += 1;
      const cells = await page.$$eval('#reportTable tr', (trs) => trs.map((tr) => Array.from(tr.cells, (c) => c.textContent).join('\t')));
      assert.deepEqual(cells, fs.readFileSync(report, 'utf8').split('\n').filter((l) => l));
      assert.equal(await page.$$eval('#reportTable tr.lost', (trs) => trs.length), Number(lost[1]));
      assert.match(await page.textContent('#reportHeading'), new RegExp(`^${lost[1]} of \\d+ settings could not be carried to G[MS]$`));
    }
  }
  assert.ok(reports > 0, 'no target lost anything: the report was never shown');
  await page.done();
});

test('a file that cannot be read shows its error and changes nothing else', async () => {
  const page = await openPage();
  await chooseAndWait(page, example);
  const before = { rows: await page.evaluate(() => window.mertovanPage.rowsJson()), name: await page.textContent('#fileName') };
  const damaged = path.join(work, 'damaged.mid');
  fs.writeFileSync(damaged, fs.readFileSync(example).subarray(0, 20));
  const expected = runCli(['list', damaged], { whole: true }).stderr.toString().trim();
  // Only the name reaches the page; the command line names the path.
  const loads = await choose(page, damaged);
  await page.waitForSelector('#message:not([hidden])');
  assert.equal(await page.textContent('#message'), expected.replace(damaged, path.basename(damaged)));
  assert.equal((await pageState(page)).loads, loads);
  assert.equal(await page.textContent('#fileName'), before.name);
  assert.deepEqual(await page.evaluate(() => window.mertovanPage.rowsJson()), before.rows);

  // A file whose reading stops early is listed as far as it goes, with a
  // warning: here after the example's second track, in the third's header.
  const cut = path.join(work, 'cut.mid');
  const whole = fs.readFileSync(example);
  const secondEnds = 14 + 8 + whole.readUInt32BE(18) + 8 + whole.readUInt32BE(22 + whole.readUInt32BE(18));
  fs.writeFileSync(cut, whole.subarray(0, secondEnds + 2));
  await chooseAndWait(page, cut);
  const warning = runCli(['list', cut], { whole: true }).stderr.toString().trim();
  assert.equal(await page.textContent('#message'), warning.replace(cut, path.basename(cut)));
  assert.equal(await page.textContent('#fileName'), 'cut.mid');
  assert.ok((await pageState(page)).rows > 0);
  await page.done();
});

// A MIDI system with one output that records what it is sent and when.
function fakeMidi() {
  window.fakeMidi = { requests: [], sent: [] };
  const output = {
    id: 'fake-1', name: 'Fake XG module', manufacturer: 'Test', type: 'output', state: 'connected', connection: 'open',
    send(data, timestamp) {
      const now = performance.now();
      window.fakeMidi.sent.push({ bytes: Array.from(data), time: timestamp > now ? timestamp : now });
    },
  };
  Object.defineProperty(navigator, 'requestMIDIAccess', {
    configurable: true,
    value: async (options) => {
      window.fakeMidi.requests.push(options);
      return { inputs: new Map(), outputs: new Map([[output.id, output]]), sysexEnabled: true, onstatechange: null };
    },
  });
}

const hexBytes = (text) => text.trim().split(' ').map((h) => parseInt(h, 16));
// What a row sends in the CC view: its first three controller pairs on its
// part's channel, or its SysEx message when it has none.
const ccMessages = (e) => (e.cc.length === 0 ? [hexBytes(e.bytes)]
  : e.cc.slice(0, 3).map(([n, v]) => (n === 224 ? [0xc0 | (e.channel & 15), v] : [0xb0 | (e.channel & 15), n, v])));
// The least pause after a message: 50 ms after a System On (XG, GM, GM2),
// else 320 microseconds a byte, at least 1 ms.
function pauseAfter(bytes) {
  const xgOn = bytes[1] === 0x43 && (bytes[2] & 0xf0) === 0x10 && bytes.slice(3, 8).join() === '76,0,0,126,0';
  const gmOn = bytes[1] === 0x7e && bytes[3] === 0x09 && (bytes[4] === 1 || bytes[4] === 3);
  return bytes[0] === 0xf0 && (xgOn || gmOn) ? 50 : Math.max(1, 0.32 * bytes.length);
}

test('MIDI: Connect asks for SysEx, Enter sends the current row, Send all paces every row, Cancel stops', async () => {
  const page = await openPage({ initScript: fakeMidi });
  const events = JSON.parse(runCli(['list', '--format', 'json', example]).toString())[0].events;
  await chooseAndWait(page, example);
  const sent = () => page.evaluate(() => window.fakeMidi.sent);
  const clearSent = () => page.evaluate(() => { window.fakeMidi.sent = []; });

  await page.click('#connect');
  await page.waitForFunction(() => !document.getElementById('sendAll').disabled);
  assert.deepEqual(await page.evaluate(() => window.fakeMidi.requests), [{ sysex: true }]);
  assert.equal(await page.inputValue('#output'), 'fake-1');
  // A new output starts with all notes off and sustain off on every channel.
  const reset = (await sent()).map((m) => m.bytes);
  assert.equal(reset.length, 32);
  assert.ok(reset.every((m) => m[0] >= 0xb0 && m[0] <= 0xbf && [123, 64].includes(m[1]) && m[2] === 0));
  await clearSent();

  await page.click('#rows .row[data-index="0"]');
  await page.keyboard.press('ArrowDown');
  await page.keyboard.press('ArrowDown');
  await page.keyboard.press('Enter');
  await page.waitForFunction(() => window.fakeMidi.sent.length > 0);
  assert.deepEqual((await sent()).map((m) => m.bytes), [hexBytes(events[2].bytes)]);
  await clearSent();

  await page.check('input[name="view"][value="0"]');
  await page.focus('#viewport');
  const converted = events.findIndex((e, i) => i > 2 && e.cc.length > 0);
  for (let i = 2; i < converted; ++i) await page.keyboard.press('ArrowDown');
  await page.keyboard.press('Enter');
  await page.waitForFunction(() => window.fakeMidi.sent.length > 0);
  assert.deepEqual((await sent()).map((m) => m.bytes), ccMessages(events[converted]));
  await clearSent();

  for (const [view, expected] of [['1', events.map((e) => [hexBytes(e.bytes)])], ['0', events.map(ccMessages)]]) {
    await page.check(`input[name="view"][value="${view}"]`);
    await page.click('#sendAll');
    await page.waitForFunction(() => document.getElementById('sendProgress').textContent.startsWith('Sent ')
      && document.getElementById('cancelSend').hidden);
    const messages = await sent();
    assert.deepEqual(messages.map((m) => m.bytes), expected.flat(), `view ${view}`);
    for (let i = 1; i < messages.length; ++i) {
      const gap = messages[i].time - messages[i - 1].time;
      const least = pauseAfter(messages[i - 1].bytes);
      assert.ok(gap >= least - 0.01 && gap <= least + 60, `pause ${gap} ms after message ${i - 1}, at least ${least}`);
    }
    await clearSent();
  }

  await page.check('input[name="view"][value="1"]');
  await page.click('#sendAll');
  await page.waitForFunction(() => window.fakeMidi.sent.length >= 2);
  await page.click('#cancelSend');
  await page.waitForFunction(() => document.getElementById('cancelSend').hidden);
  const stopped = (await sent()).length;
  await page.waitForTimeout(300);
  assert.equal((await sent()).length, stopped);
  assert.ok(stopped < events.length);
  assert.match(await page.textContent('#sendProgress'), /^Cancelled after \d+ of 21$/);
  await page.done();
});

test('the large file lists with a progress bar, scrolls and filters', async (t) => {
  const large = path.join(work, 'large.mid');
  execFileSync(path.join(nativeBuild, 'bench/make_large_smf'), [large]);
  const tsv = tsvRowsByFile([large])[0];
  const page = await openPage();
  await page.evaluate(() => {
    window.progressSeen = [];
    const progress = document.getElementById('progress');
    new MutationObserver(() => {
      if (!progress.hidden) {
        window.progressSeen.push({ text: document.getElementById('progressText').textContent,
          value: document.getElementById('progressBar').value });
      }
    }).observe(progress, { attributes: true, subtree: true, childList: true, characterData: true });
  });
  const started = Date.now();
  await chooseAndWait(page, large);
  await page.waitForFunction(() => document.getElementById('progress').hidden);
  const loadSeconds = (Date.now() - started) / 1000;
  const seen = await page.evaluate(() => window.progressSeen);
  assert.ok(seen.some((p) => p.text.startsWith('Reading')), JSON.stringify(seen.slice(0, 3)));
  assert.ok(seen.some((p) => /^Listing [\d,]+ of 200,000$/.test(p.text) && p.value > 0 && p.value < 1),
    JSON.stringify(seen.slice(-3)));
  assert.equal(await page.textContent('#rowCount'), '200,000 SysEx messages');

  // Far down and to the end: the rows there, filled within a few frames.
  for (const position of [123457, 199990]) {
    const began = await page.evaluate((p) => {
      document.getElementById('viewport').scrollTop = p * 20;
      return performance.now();
    }, position);
    await page.waitForFunction((p) => {
      const shown = window.mertovanPage.shownRows();
      return shown.some((r) => r.position === p) && shown.every((r) => !r.pending);
    }, position);
    const took = await page.evaluate((b) => performance.now() - b, began);
    assert.ok(took < 250, `${took} ms to show the rows at ${position}`);
    const shown = await page.evaluate(() => window.mertovanPage.shownRows());
    for (const r of shown) assert.deepEqual([...r.cells.slice(0, 6), r.cells[7]], tsv[r.position], `row ${r.position}`);
  }

  await page.selectOption('#partFilter', '0');
  const inPart = tsv.filter((row) => row[3] === '1').length;
  await page.waitForFunction((n) => document.getElementById('rowCount').textContent === `${n} of 200,000 rows`,
    inPart.toLocaleString('en'));
  await page.done();
  t.diagnostic(`the large file listed in ${loadSeconds} s`);
});
