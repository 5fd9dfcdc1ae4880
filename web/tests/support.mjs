// What the web tests share: where the builds are, the command-line companion
// as the reference, generated songs, and the WebAssembly module under node.
import { execFileSync, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { createRequire } from 'node:module';
import { fileURLToPath } from 'node:url';

export const repo = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
const fromRepo = (p) => (path.isAbsolute(p) ? p : path.join(repo, p));
export const nativeBuild = fromRepo(process.env.BUILD_DIR || 'build');
export const webBuild = fromRepo(process.env.WEB_BUILD_DIR || 'build-web');
export const site = path.join(webBuild, 'site');
export const cli = process.env.MERTOVAN_CLI || path.join(nativeBuild, 'mertovan-cli');
export const example = path.join(repo, 'examples/xg_song_setup.mid');

export function scratch(name) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), `mertovan-web-${name}-`));
  process.on('exit', () => fs.rmSync(dir, { recursive: true, force: true }));
  return dir;
}

// Runs mertovan-cli; its standard output as a Buffer, or the whole result
// when `status` is asked for.
export function runCli(args, { whole = false } = {}) {
  const r = spawnSync(cli, args, { maxBuffer: 1 << 30 });
  if (r.error) throw r.error;
  return whole ? r : r.stdout;
}

// Songs shaped like real XG songs, from bench/make_songs.py.
export function makeSongs(count, seed) {
  const dir = scratch('songs');
  execFileSync('python3', [path.join(repo, 'bench/make_songs.py'), dir, String(count), String(seed)]);
  return fs.readdirSync(dir).sort().map((f) => path.join(dir, f));
}

// The same file as a SysEx file (its messages one after another) and as a
// RIFF MIDI file, from the messages the command-line companion lists.
export function sysExFileOf(smf, dir) {
  const listing = JSON.parse(runCli(['list', '--format', 'json', smf]).toString());
  const bytes = listing[0].events.flatMap((e) => e.bytes.split(' ').map((h) => parseInt(h, 16)));
  const out = path.join(dir, `${path.basename(smf, '.mid')}.syx`);
  fs.writeFileSync(out, Buffer.from(bytes));
  return out;
}
export function rmidFileOf(smf, dir) {
  const data = fs.readFileSync(smf);
  const chunk = (id, body) => {
    const head = Buffer.alloc(8);
    head.write(id, 0, 'latin1');
    head.writeUInt32LE(body.length, 4);
    return Buffer.concat([head, body, Buffer.alloc(body.length % 2)]);
  };
  const out = path.join(dir, `${path.basename(smf, '.mid')}.rmi`);
  fs.writeFileSync(out, chunk('RIFF', Buffer.concat([Buffer.from('RMID', 'latin1'), chunk('data', data)])));
  return out;
}

// The JSON listing of files as `mertovan-cli list --format json` frames it:
// each entry {path, rows} (the rows' JSON texts) or {path, error}.
export function jsonDocument(files) {
  if (files.length === 0) return '[]\n';
  const parts = files.map((f) => {
    let body;
    if (f.error !== undefined) body = `    "error": ${JSON.stringify(f.error)},\n    "events": [],\n`;
    else if (f.rows.length === 0) body = '    "events": [],\n';
    else body = `    "events": [\n      ${f.rows.join(',\n      ')}\n    ],\n`;
    return `  {\n${body}    "file": ${JSON.stringify(f.path)}\n  }`;
  });
  return `[\n${parts.join(',\n')}\n]\n`;
}

// A new instance of the module (a new page: a new session), compiled once.
const require = createRequire(import.meta.url);
let compiled = null;
export async function newModule() {
  const createMertovan = require(path.join(site, 'mertovan.js'));
  if (!compiled) compiled = await WebAssembly.compile(fs.readFileSync(path.join(site, 'mertovan.wasm')));
  return createMertovan({
    instantiateWasm(imports, done) {
      WebAssembly.instantiate(compiled, imports).then((instance) => done(instance));
      return {};
    },
  });
}

// What convert's options are on the command line and in the module.
export const LAYOUTS = { formal: 0, plain: 1, song: 2 };
export const TARGETS = { xg: 0, gm: 1, gs: 2 };
export function cliConvertArgs({ layout, target, unconvertible }) {
  const args = [`--${layout}`, unconvertible ? '--include-unconvertible' : '--drop-unconvertible'];
  if (target) args.push('--target', target);
  return args;
}

// The site over http on this machine, as a static host serves it.
const TYPES = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.css': 'text/css', '.wasm': 'application/wasm',
};
export function serveSite(dir = site) {
  const server = http.createServer((request, response) => {
    let name = decodeURIComponent(new URL(request.url, 'http://host').pathname);
    if (name.endsWith('/')) name += 'index.html';
    const file = path.join(dir, path.normalize(name));
    fs.readFile(file, (error, data) => {
      if (error || !file.startsWith(dir)) {
        response.writeHead(404);
        response.end();
        return;
      }
      response.writeHead(200, { 'Content-Type': TYPES[path.extname(file)] || 'application/octet-stream' });
      response.end(data);
    });
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

// The TSV listing of files listed in one run, split into the rows of each.
export function tsvRowsByFile(files, view = 'sysex') {
  const text = runCli(['list', '--view', view, '--format', 'tsv', ...files]).toString();
  return text.split(/^Bar\t.*\n/m).slice(1).map((part) => part.split('\n').filter((l) => l).map((l) => l.split('\t')));
}
