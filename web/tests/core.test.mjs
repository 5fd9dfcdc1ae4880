// The WebAssembly module under node against the command-line companion: the
// same files give the same JSON listing, byte for byte, and the same
// converted files and reports, for every layout and target.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { test } from 'node:test';

import {
  LAYOUTS, TARGETS, cliConvertArgs, example, jsonDocument, makeSongs, newModule, rmidFileOf, runCli, scratch,
  sysExFileOf,
} from './support.mjs';

const work = scratch('core');
const songs = makeSongs(6, 11);
// Cut in its first track's header: the file cannot be read.
const damaged = path.join(work, 'damaged.mid');
fs.writeFileSync(damaged, fs.readFileSync(example).subarray(0, 20));
// Cut in its first track: reading stops early, what was read is listed.
const cut = path.join(work, 'cut.mid');
fs.writeFileSync(cut, fs.readFileSync(example).subarray(0, 60));
const noMidi = path.join(work, 'notes.txt');
fs.writeFileSync(noMidi, 'not a MIDI file\n');

// Files listed in one run, in order: one session for all, as in one page.
const runs = [
  { name: 'the example and generated songs', files: [example, ...songs] },
  {
    name: 'SysEx and RIFF MIDI files, damaged files and no MIDI file among them',
    files: [sysExFileOf(songs[0], work), damaged, rmidFileOf(songs[1], work), noMidi, cut, example],
  },
];

for (const run of runs) {
  test(`listing: ${run.name}`, async () => {
    const M = await newModule();
    const listed = run.files.map((file) => {
      const loaded = M.load(fs.readFileSync(file), file);
      if (!loaded.ok) return { path: file, error: loaded.error };
      assert.equal(M.rowCount(), loaded.rows);
      return { path: file, rows: M.rowsJson(0, loaded.rows) };
    });
    const expected = runCli(['list', '--format', 'json', ...run.files]).toString();
    assert.equal(jsonDocument(listed), expected);
  });
}

// Each variant of the conversion, as the command line asks for it.
const variants = [
  { layout: 'formal', unconvertible: true },
  { layout: 'formal', unconvertible: false },
  { layout: 'plain', unconvertible: true },
  { layout: 'plain', unconvertible: false },
  { layout: 'song', unconvertible: true },
  { layout: 'song', unconvertible: false },
  { layout: 'song', target: 'xg', unconvertible: true },
  { layout: 'song', target: 'gm', unconvertible: true },
  { layout: 'song', target: 'gs', unconvertible: true },
];

for (const file of [example, songs[2], songs[3]]) {
  test(`conversion of ${path.basename(file)}: every layout and target as mertovan-cli writes it`, async () => {
    let n = 0;
    for (const variant of variants) {
      // A fresh module for each, like a fresh run of mertovan-cli.
      const M = await newModule();
      assert.ok(M.load(fs.readFileSync(file), file).ok);
      const out = path.join(work, `out${n}.mid`);
      const report = path.join(work, `report${n++}.tsv`);
      const args = ['convert', ...cliConvertArgs(variant), '-o', out, file];
      if (variant.target) args.push('--report', report);
      const cli = runCli(args, { whole: true });
      assert.equal(cli.status, 0, cli.stderr.toString());

      const converted = M.convert(LAYOUTS[variant.layout], variant.unconvertible, TARGETS[variant.target || 'xg']);
      assert.ok(converted.ok, converted.error);
      const what = JSON.stringify(variant);
      assert.ok(Buffer.from(converted.bytes).equals(fs.readFileSync(out)), `bytes differ: ${what}`);
      assert.equal(cli.stdout.toString(), `${converted.successText}: ${out} ${converted.countText}\n`, what);
      const flattened = converted.flattenedText ? `warning: ${out}: ${converted.flattenedText}\n` : '';
      const lost = variant.target && variant.target !== 'xg'
        ? `${converted.lost} settings could not be carried to ${converted.targetName} (see --report): ${out}\n` : '';
      assert.equal(cli.stderr.toString(), flattened + lost, what);
      if (variant.target) {
        assert.equal(converted.reportTsv, fs.readFileSync(report, 'utf8'), what);
        assert.equal(converted.reportLost.length, converted.settings);
        assert.equal(converted.reportLost.reduce((a, b) => a + b, 0), converted.lost);
      }
      assert.equal(M.outputName(file), file.replace(/\.mid$/, '_cc.mid'));
    }
  });
}

test('a song without SysEx messages has nothing to convert', async () => {
  const M = await newModule();
  // One track: a note and its end.
  const empty = path.join(work, 'empty.mid');
  fs.writeFileSync(empty, Buffer.from([
    0x4d, 0x54, 0x68, 0x64, 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xe0,
    0x4d, 0x54, 0x72, 0x6b, 0, 0, 0, 13, 0, 0x90, 60, 100, 0x83, 0x60, 0x80, 60, 0, 0, 0xff, 0x2f, 0]));
  const loaded = M.load(fs.readFileSync(empty), empty);
  assert.ok(loaded.ok);
  assert.equal(loaded.rows, 0);
  const converted = M.convert(0, true, 0);
  assert.deepEqual([converted.ok, converted.error], [false, 'No data to convert']);
  assert.match(runCli(['convert', '-o', path.join(work, 'e.mid'), empty], { whole: true }).stderr.toString(),
    /^No data to convert/);
});
