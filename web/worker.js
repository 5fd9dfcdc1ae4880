// The page's worker: runs the WebAssembly module, which holds the loaded song
// and the page's session, so that reading a large file never stops the page.
// Requests come as {id, op, ...} and are answered as {id, result} or
// {id, error}; after a load the filter's texts are built a chunk at a time,
// reported as {type: 'progress'}, with requests served between the chunks.
/* global createMertovan */
'use strict';

importScripts('mertovan.js');

const INDEX_CHUNK = 20000;
let M = null;
let generation = 0; // counts loads, so that progress of an older song is told apart
let indexTimer = 0;

const ready = createMertovan().then((module) => {
  M = module;
  postMessage({ type: 'ready', version: M.version() });
}, (error) => {
  postMessage({ type: 'failed', error: String(error && error.message ? error.message : error) });
  throw error;
});

function indexMore() {
  indexTimer = 0;
  const total = M.rowCount();
  const done = M.indexStep(INDEX_CHUNK);
  postMessage({ type: 'progress', stage: 'listing', done, total, generation });
  if (done < total) indexTimer = setTimeout(indexMore, 0);
}

const ops = {
  load({ bytes, name, view, first }) {
    const loaded = M.load(new Uint8Array(bytes), name);
    if (!loaded.ok) return loaded;
    generation += 1;
    if (indexTimer) clearTimeout(indexTimer);
    indexTimer = setTimeout(indexMore, 0);
    const shown = [];
    for (let i = 0; i < Math.min(first, loaded.rows); ++i) shown.push(i);
    return {
      ...loaded,
      generation,
      parts: Array.from(M.parts()),
      firstRows: M.rows(shown, view),
      outputName: M.outputName(name),
    };
  },
  rows({ indices, view }) {
    return M.rows(indices, view);
  },
  filter({ view, part, text }) {
    return M.filter(view, part, text);
  },
  rowsJson({ first, count }) {
    return M.rowsJson(first, count);
  },
  convert({ layout, includeUnconvertible, target }) {
    return M.convert(layout, includeUnconvertible, target);
  },
  rowMessages({ index, view }) {
    return M.rowMessages(index, view);
  },
  allMessages({ view }) {
    return M.allMessages(view);
  },
  resetMessages() {
    return M.resetMessages();
  },
};

onmessage = async (event) => {
  await ready;
  const { id, op } = event.data;
  try {
    const result = ops[op](event.data);
    const transfer = [];
    if (result && result.bytes instanceof Uint8Array) transfer.push(result.bytes.buffer);
    if (result instanceof Uint32Array) transfer.push(result.buffer);
    postMessage({ id, result }, transfer);
  } catch (error) {
    postMessage({ id, error: String(error && error.message ? error.message : error) });
  }
};
