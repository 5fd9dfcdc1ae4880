// The page: the listing of a dropped or chosen file, its conversion and the
// MIDI output. The song lives in the worker (worker.js), which runs the
// WebAssembly module; the page asks it for the rows it shows, a screenful at
// a time, so that a file of 200 000 messages scrolls as freely as a small one.
'use strict';

(() => {
  const ROW_HEIGHT = 20; // as --row-height in style.css
  const OVERSCAN = 20; // rows rendered above and below the visible ones
  const CACHE_LIMIT = 20000; // rows kept before the cache starts again
  const STREAM_READ_BYTES = 2 * 1024 * 1024; // larger files are read with progress
  const SEND_AHEAD_MS = 40; // how far ahead "Send all" hands messages to the port

  const $ = (id) => document.getElementById(id);
  const el = {
    file: $('file'), fileName: $('fileName'), version: $('version'),
    progress: $('progress'), progressBar: $('progressBar'), progressText: $('progressText'),
    message: $('message'), partFilter: $('partFilter'), textFilter: $('textFilter'), rowCount: $('rowCount'),
    drop: $('drop'), dropHint: $('dropHint'), viewport: $('viewport'), spacer: $('spacer'), rows: $('rows'),
    lastHeader: $('lastHeader'), unconvertible: $('unconvertible'), target: $('target'), download: $('download'),
    convertStatus: $('convertStatus'), report: $('report'), reportHeading: $('reportHeading'),
    reportTable: $('reportTable'), connect: $('connect'), output: $('output'), sendRow: $('sendRow'),
    sendAll: $('sendAll'), cancelSend: $('cancelSend'), sendProgress: $('sendProgress'), status: $('status'),
  };

  // ---- The worker -------------------------------------------------------

  const worker = new Worker('worker.js');
  const pending = new Map();
  let nextId = 1;
  let resolveReady;
  const workerReady = new Promise((resolve) => { resolveReady = resolve; });

  function call(op, args = {}, transfer = []) {
    return new Promise((resolve, reject) => {
      const id = nextId++;
      pending.set(id, { resolve, reject });
      worker.postMessage({ id, op, ...args }, transfer);
    });
  }

  worker.onmessage = (event) => {
    const m = event.data;
    if (m.type === 'ready') {
      el.version.textContent = m.version;
      resolveReady();
      return;
    }
    if (m.type === 'failed') {
      showMessage(`The program could not start in this browser: ${m.error}`);
      return;
    }
    if (m.type === 'progress') {
      listingProgress(m);
      return;
    }
    const p = pending.get(m.id);
    if (!p) return;
    pending.delete(m.id);
    if (m.error !== undefined) p.reject(new Error(m.error));
    else p.resolve(m.result);
  };
  worker.onerror = (event) => {
    showMessage(`The page's worker failed: ${event.message || 'could not start'}`);
  };

  // ---- State ------------------------------------------------------------

  const state = {
    loaded: false,
    name: '',
    rows: 0, // messages of the song
    generation: 0, // the worker's count of loads
    indexed: 0, // rows that the filter can search so far
    view: 1, // 1 SysEx, 0 CC: what the last column shows
    part: -2, // -2 any part, -1 rows of no part, 0-63 one part
    text: '',
    shown: null, // the filtered row indices, or null: every row
    current: 0, // position of the current row among the shown rows
    cache: new Map(), // row index -> cells, for the current view
    listedMs: null, // from the last drop or choice to its rows on the page
    loads: 0,
  };

  const shownCount = () => (state.shown ? state.shown.length : state.rows);
  const rowAt = (position) => (state.shown ? state.shown[position] : position);

  // ---- Messages and progress -------------------------------------------

  function showMessage(text, kind = 'error') {
    el.message.textContent = text;
    el.message.className = `message${kind === 'warning' ? ' warning' : ''}`;
    el.message.hidden = false;
  }
  function clearMessage() {
    el.message.hidden = true;
    el.message.textContent = '';
  }

  function showProgress(text, fraction) {
    el.progress.hidden = false;
    el.progressText.textContent = text;
    if (fraction === undefined) el.progressBar.removeAttribute('value');
    else el.progressBar.value = fraction;
  }
  function hideProgress() {
    el.progress.hidden = true;
  }

  function listingProgress(m) {
    if (m.generation !== state.generation) return;
    state.indexed = m.done;
    if (m.done >= m.total) {
      hideProgress();
      return;
    }
    showProgress(`Listing ${m.done.toLocaleString('en')} of ${m.total.toLocaleString('en')}`, m.done / m.total);
  }

  // ---- Loading ------------------------------------------------------------

  function readFile(file) {
    if (file.size <= STREAM_READ_BYTES) return file.arrayBuffer();
    return new Promise((resolve, reject) => {
      const reader = new FileReader();
      reader.onprogress = (e) => {
        if (e.lengthComputable) showProgress(`Reading ${file.name}`, e.loaded / e.total);
      };
      reader.onload = () => resolve(reader.result);
      reader.onerror = () => reject(reader.error);
      reader.readAsArrayBuffer(file);
    });
  }

  function visibleRows() {
    return Math.ceil((el.viewport.clientHeight || 600) / ROW_HEIGHT) + OVERSCAN;
  }

  let loadQueue = Promise.resolve();
  function loadFiles(files, startedAt) {
    // Files go in the order given, one after another in the page's session.
    for (const file of files) {
      loadQueue = loadQueue.then(() => loadFile(file, startedAt));
    }
    return loadQueue;
  }

  async function loadFile(file, startedAt = performance.now()) {
    await workerReady;
    if (file.size > STREAM_READ_BYTES) showProgress(`Reading ${file.name}`, 0);
    let result;
    try {
      const bytes = await readFile(file);
      if (file.size > STREAM_READ_BYTES) showProgress(`Reading MIDI data of ${file.name}`);
      result = await call('load', { bytes, name: file.name, view: state.view, first: visibleRows() }, [bytes]);
    } catch (error) {
      result = { ok: false, error: `Cannot read ${file.name}: ${error.message}` };
    }
    if (!result.ok) {
      // The song on the page stays as it was: only the error is new.
      if (state.indexed >= state.rows) hideProgress();
      showMessage(result.error);
      return;
    }
    clearMessage();
    state.loaded = true;
    state.loads += 1;
    state.name = file.name;
    state.rows = result.rows;
    state.generation = result.generation;
    state.indexed = 0;
    state.part = -2;
    state.text = '';
    state.shown = null;
    state.current = 0;
    state.cache = new Map();
    result.firstRows.forEach((row) => state.cache.set(row[9], row));
    el.fileName.textContent = file.name;
    el.fileName.title = file.name;
    el.textFilter.value = '';
    fillParts(result.parts);
    el.viewport.scrollTop = 0;
    el.convertStatus.textContent = '';
    hideReport();
    updateButtons();
    render();
    updateStatusLine();
    state.listedMs = performance.now() - startedAt;
    if (result.stoppedEarly) {
      showMessage(`warning: ${file.name}: reading stopped early at data that is not a MIDI event or chunk; ` +
                  'listing what was read', 'warning');
    }
    if (state.rows > 0 && state.indexed < state.rows && state.rows > 20000) {
      showProgress(`Listing 0 of ${state.rows.toLocaleString('en')}`, 0);
    } else {
      hideProgress();
    }
  }

  function fillParts(parts) {
    el.partFilter.textContent = '';
    const add = (value, text) => {
      const option = document.createElement('option');
      option.value = String(value);
      option.textContent = text;
      el.partFilter.append(option);
    };
    add(-2, 'All');
    add(-1, '- (no part)');
    parts.forEach((p) => add(p, String(p + 1)));
    el.partFilter.value = '-2';
  }

  // ---- The listing -----------------------------------------------------

  const pool = [];
  function rowElement(k) {
    while (pool.length <= k) {
      const row = document.createElement('div');
      row.className = 'row';
      row.setAttribute('role', 'row');
      for (let c = 0; c < 8; ++c) row.append(document.createElement('span'));
      el.rows.append(row);
      pool.push(row);
    }
    return pool[k];
  }

  // The grid's cells in the page's order: Bar, Meter, Tick, Ch, Event, Value,
  // Meaning, then the message bytes or controller messages.
  const CELL_ORDER = [0, 1, 2, 3, 4, 5, 7, 6];

  let rowsRequest = null; // the request on its way
  let wantedAgain = false;

  function render() {
    const count = shownCount();
    el.spacer.style.height = `${count * ROW_HEIGHT}px`;
    const top = el.viewport.scrollTop;
    const height = el.viewport.clientHeight;
    const first = Math.max(0, Math.floor(top / ROW_HEIGHT) - OVERSCAN);
    const last = Math.min(count, Math.ceil((top + height) / ROW_HEIGHT) + OVERSCAN);
    el.rows.style.transform = `translateY(${first * ROW_HEIGHT}px)`;
    const missing = [];
    let k = 0;
    for (let position = first; position < last; ++position, ++k) {
      const index = rowAt(position);
      const cells = state.cache.get(index);
      const row = rowElement(k);
      row.hidden = false;
      row.dataset.index = String(index);
      row.dataset.position = String(position);
      row.classList.toggle('current', position === state.current);
      row.classList.toggle('unconverted', cells ? !cells[8] : false);
      row.classList.toggle('pending', !cells);
      for (let c = 0; c < 8; ++c) row.children[c].textContent = cells ? cells[CELL_ORDER[c]] : '';
      if (!cells) missing.push(index);
    }
    for (; k < pool.length; ++k) pool[k].hidden = true;
    el.rowCount.textContent = state.loaded
      ? (state.shown ? `${count.toLocaleString('en')} of ${state.rows.toLocaleString('en')} rows`
        : `${state.rows.toLocaleString('en')} SysEx message${state.rows === 1 ? '' : 's'}`)
      : '';
    if (missing.length > 0) requestRows(missing);
  }

  function requestRows(indices) {
    if (rowsRequest) {
      wantedAgain = true;
      return;
    }
    const view = state.view;
    const generation = state.generation;
    rowsRequest = call('rows', { indices, view }).then((rows) => {
      rowsRequest = null;
      if (view !== state.view || generation !== state.generation) {
        render();
        return;
      }
      if (state.cache.size + rows.length > CACHE_LIMIT) state.cache = new Map();
      rows.forEach((row) => state.cache.set(row[9], row));
      wantedAgain = false;
      render();
    }, (error) => {
      rowsRequest = null;
      showMessage(error.message);
    });
  }

  let scrollFrame = 0;
  el.viewport.addEventListener('scroll', () => {
    if (scrollFrame) return;
    scrollFrame = requestAnimationFrame(() => {
      scrollFrame = 0;
      render();
    });
  });
  window.addEventListener('resize', () => render());

  function setCurrent(position, reveal = true) {
    const count = shownCount();
    if (count === 0) return;
    state.current = Math.max(0, Math.min(count - 1, position));
    if (reveal) {
      const top = state.current * ROW_HEIGHT;
      const viewTop = el.viewport.scrollTop;
      const viewHeight = el.viewport.clientHeight;
      if (top < viewTop) el.viewport.scrollTop = top;
      else if (top + ROW_HEIGHT > viewTop + viewHeight) el.viewport.scrollTop = top + ROW_HEIGHT - viewHeight;
    }
    render();
    updateStatusLine();
  }

  function updateStatusLine() {
    if (!state.loaded || shownCount() === 0) {
      el.status.textContent = '';
      return;
    }
    const cells = state.cache.get(rowAt(state.current));
    el.status.textContent = cells ? [cells[4], cells[5], cells[7]].filter((t) => t).join('  ') : '';
  }

  el.rows.addEventListener('click', (event) => {
    const row = event.target.closest('.row');
    if (!row) return;
    setCurrent(Number(row.dataset.position), false);
    el.viewport.focus();
  });
  el.rows.addEventListener('dblclick', (event) => {
    if (event.target.closest('.row')) sendRow();
  });

  el.viewport.addEventListener('keydown', (event) => {
    const page = Math.max(1, Math.floor(el.viewport.clientHeight / ROW_HEIGHT) - 1);
    const moves = {
      ArrowDown: 1, ArrowUp: -1, PageDown: page, PageUp: -page,
      Home: -Infinity, End: Infinity,
    };
    if (event.key in moves) {
      event.preventDefault();
      const step = moves[event.key];
      setCurrent(Number.isFinite(step) ? state.current + step : (step > 0 ? shownCount() - 1 : 0));
    } else if (event.key === 'Enter') {
      event.preventDefault();
      sendRow();
    }
  });

  // ---- View and filters ----------------------------------------------------

  document.querySelectorAll('input[name="view"]').forEach((radio) => {
    radio.addEventListener('change', () => {
      state.view = Number(radio.value);
      state.cache = new Map();
      el.lastHeader.textContent = state.view === 1 ? 'SystemExclusiveMessage' : 'ControlChange';
      if (state.text) applyFilter();
      else render();
    });
  });

  let filterSeq = 0;
  async function applyFilter() {
    const seq = ++filterSeq;
    const currentIndex = shownCount() > 0 ? rowAt(state.current) : 0;
    let shown = null;
    if (state.part !== -2 || state.text) {
      if (state.rows > 20000) showProgress('Filtering');
      shown = await call('filter', { view: state.view, part: state.part, text: state.text });
      if (state.indexed >= state.rows || state.rows <= 20000) hideProgress();
    }
    if (seq !== filterSeq) return;
    state.shown = shown;
    // The current row stays current when the filter keeps it.
    let position = 0;
    if (shown) {
      let lo = 0;
      let hi = shown.length;
      while (lo < hi) {
        const mid = (lo + hi) >> 1;
        if (shown[mid] < currentIndex) lo = mid + 1;
        else hi = mid;
      }
      position = lo < shown.length && shown[lo] === currentIndex ? lo : 0;
    } else {
      position = currentIndex;
    }
    state.current = position;
    setCurrent(position);
  }

  el.partFilter.addEventListener('change', () => {
    state.part = Number(el.partFilter.value);
    applyFilter();
  });
  let textTimer = 0;
  el.textFilter.addEventListener('input', () => {
    clearTimeout(textTimer);
    textTimer = setTimeout(() => {
      state.text = el.textFilter.value;
      applyFilter();
    }, 120);
  });

  // ---- Opening files -------------------------------------------------------

  el.file.addEventListener('change', () => {
    const startedAt = performance.now();
    const files = Array.from(el.file.files);
    el.file.value = '';
    loadFiles(files, startedAt);
  });

  let dragDepth = 0;
  document.addEventListener('dragenter', (event) => {
    if (!event.dataTransfer || !Array.from(event.dataTransfer.types).includes('Files')) return;
    dragDepth += 1;
    el.drop.classList.add('dragging');
    el.dropHint.hidden = false;
  });
  document.addEventListener('dragleave', () => {
    dragDepth = Math.max(0, dragDepth - 1);
    if (dragDepth === 0) {
      el.drop.classList.remove('dragging');
      el.dropHint.hidden = true;
    }
  });
  document.addEventListener('dragover', (event) => event.preventDefault());
  document.addEventListener('drop', (event) => {
    event.preventDefault();
    const startedAt = performance.now();
    dragDepth = 0;
    el.drop.classList.remove('dragging');
    el.dropHint.hidden = true;
    const files = Array.from((event.dataTransfer && event.dataTransfer.files) || []);
    if (files.length > 0) loadFiles(files, startedAt);
  });

  // ---- Converting -----------------------------------------------------------

  const selectedLayout = () => Number(document.querySelector('input[name="layout"]:checked').value);
  document.querySelectorAll('input[name="layout"]').forEach((radio) => {
    radio.addEventListener('change', () => {
      // A target makes the whole song right for a synthesizer: only the song
      // layout has one.
      el.target.disabled = selectedLayout() !== 2;
    });
  });

  function hideReport() {
    el.report.hidden = true;
    el.reportTable.textContent = '';
  }

  function showReport(result) {
    const lines = result.reportTsv.split('\n').filter((line) => line);
    el.reportHeading.textContent =
      `${result.lost} of ${result.settings} settings could not be carried to ${result.targetName}`;
    el.reportTable.textContent = '';
    lines.forEach((line, i) => {
      const tr = document.createElement('tr');
      if (i > 0 && result.reportLost[i - 1]) tr.className = 'lost';
      line.split('\t').forEach((cell) => {
        const td = document.createElement(i === 0 ? 'th' : 'td');
        td.textContent = cell;
        tr.append(td);
      });
      el.reportTable.append(tr);
    });
    el.report.hidden = false;
  }

  function saveBytes(bytes, name) {
    const url = URL.createObjectURL(new Blob([bytes], { type: 'audio/midi' }));
    const a = document.createElement('a');
    a.href = url;
    a.download = name;
    document.body.append(a);
    a.click();
    a.remove();
    setTimeout(() => URL.revokeObjectURL(url), 60000);
  }

  el.download.addEventListener('click', async () => {
    const layout = selectedLayout();
    const options = {
      layout,
      includeUnconvertible: el.unconvertible.checked,
      target: layout === 2 ? Number(el.target.value) : 0,
    };
    hideReport();
    el.convertStatus.className = 'status';
    const result = await call('convert', options);
    if (!result.ok) {
      el.convertStatus.className = 'status warning';
      el.convertStatus.textContent = result.error;
      return;
    }
    saveBytes(result.bytes, result.name);
    let text = `${result.successText} ${result.countText}: ${result.name}`;
    if (result.flattenedText) text += ` \u2014 ${result.flattenedText}`;
    el.convertStatus.textContent = text;
    if (options.target !== 0 && result.lost > 0) showReport(result);
  });

  // ---- MIDI output -----------------------------------------------------------

  let midi = null;
  let port = null;
  let sending = null;

  function updateButtons() {
    el.download.disabled = !state.loaded;
    const canSend = Boolean(port) && state.loaded && !sending;
    el.sendRow.disabled = !canSend;
    el.sendAll.disabled = !canSend;
  }

  // Wire messages from the worker: each message's bytes and the pause after it.
  function wireMessages(m) {
    const out = [];
    let begin = 0;
    m.ends.forEach((end, i) => {
      out.push({ bytes: m.data.subarray(begin, end), pauseMs: m.pauses[i] / 1000 });
      begin = end;
    });
    return out;
  }

  function portLost(error) {
    showMessage(`MIDI output lost: ${port ? port.name : ''}${error ? ` (${error.message})` : ''}`);
  }

  function listOutputs() {
    const chosen = el.output.value;
    el.output.textContent = '';
    const none = document.createElement('option');
    none.value = '';
    none.textContent = '(none)';
    el.output.append(none);
    for (const output of midi.outputs.values()) {
      const option = document.createElement('option');
      option.value = output.id;
      option.textContent = output.name || output.id;
      el.output.append(option);
    }
    el.output.disabled = false;
    const ids = Array.from(midi.outputs.keys());
    el.output.value = ids.includes(chosen) ? chosen : '';
    if (el.output.value === '' && !port && ids.length > 0) {
      el.output.value = ids[0];
      chooseOutput();
    } else if (port && !ids.includes(port.id)) {
      port = null;
      updateButtons();
    }
  }

  async function chooseOutput() {
    port = midi.outputs.get(el.output.value) || null;
    updateButtons();
    if (!port) return;
    // A newly opened output starts silent: all notes and sustain off.
    const reset = wireMessages(await call('resetMessages'));
    try {
      reset.forEach((m) => port.send(m.bytes));
    } catch (error) {
      portLost(error);
    }
  }

  el.connect.addEventListener('click', async () => {
    if (!navigator.requestMIDIAccess) {
      showMessage('This browser has no Web MIDI: no MIDI output can be reached from the page.');
      return;
    }
    try {
      midi = await navigator.requestMIDIAccess({ sysex: true });
    } catch (error) {
      showMessage(`No MIDI output with SysEx: ${error.message}`);
      return;
    }
    midi.onstatechange = () => listOutputs();
    listOutputs();
    if (midi.outputs.size === 0) showMessage('No Midi Device', 'warning');
  });
  el.output.addEventListener('change', () => chooseOutput());

  async function sendRow() {
    if (!port || !state.loaded || sending || shownCount() === 0) return;
    const messages = wireMessages(await call('rowMessages', { index: rowAt(state.current), view: state.view }));
    try {
      messages.forEach((m) => port.send(m.bytes));
    } catch (error) {
      portLost(error);
    }
  }
  el.sendRow.addEventListener('click', () => sendRow());

  // "Send all": every message in list order, each no sooner than the pause
  // after the one before it (the desktop program's pacing: 50 ms after a
  // System On, 320 microseconds a byte, at least 1 ms). The messages are
  // handed to the port with their times a little ahead, so that a late timer
  // does not stretch the pauses; a late one only moves the rest later.
  function pace(messages, run, progress) {
    return new Promise((resolve) => {
      let due = performance.now();
      let next = 0;
      const pump = () => {
        if (run.cancelled) {
          if (typeof port.clear === 'function') port.clear();
          resolve(next);
          return;
        }
        const now = performance.now();
        try {
          while (next < messages.length && due <= now + SEND_AHEAD_MS) {
            const m = messages[next];
            if (due <= performance.now()) {
              // Due already: it goes now, and the pause counts from now.
              port.send(m.bytes);
              due = performance.now() + m.pauseMs;
            } else {
              port.send(m.bytes, due);
              due += m.pauseMs;
            }
            next += 1;
          }
        } catch (error) {
          portLost(error);
          resolve(next);
          return;
        }
        progress(next, messages.length);
        if (next >= messages.length) {
          resolve(next);
          return;
        }
        run.timer = setTimeout(pump, Math.max(0, due - performance.now() - SEND_AHEAD_MS / 2));
      };
      run.wake = pump;
      pump();
    });
  }

  el.sendAll.addEventListener('click', async () => {
    if (!port || sending) return;
    if (state.rows === 0) {
      showMessage('No data to send', 'warning');
      return;
    }
    sending = { cancelled: false, timer: 0, wake: () => {} };
    updateButtons();
    el.cancelSend.hidden = false;
    const messages = wireMessages(await call('allMessages', { view: state.view }));
    const sent = await pace(messages, sending, (done, total) => {
      el.sendProgress.textContent = `Sent ${done.toLocaleString('en')} of ${total.toLocaleString('en')}`;
    });
    el.sendProgress.textContent = sending.cancelled
      ? `Cancelled after ${sent.toLocaleString('en')} of ${messages.length.toLocaleString('en')}`
      : `Sent ${sent.toLocaleString('en')} messages`;
    sending = null;
    el.cancelSend.hidden = true;
    updateButtons();
  });
  el.cancelSend.addEventListener('click', () => {
    if (!sending) return;
    // The run ends at once; what was already handed to the port still plays.
    sending.cancelled = true;
    clearTimeout(sending.timer);
    sending.wake();
  });

  // ---- For the page's tests ------------------------------------------------

  window.mertovanPage = {
    ready: workerReady,
    state,
    // Every row's JSON object, as `mertovan-cli list --format json` prints it.
    rowsJson: () => call('rowsJson', { first: 0, count: state.rows }),
    // The rows on the page now: their cells as shown, and whether grey.
    shownRows: () => pool.filter((row) => !row.hidden).map((row) => ({
      index: Number(row.dataset.index),
      position: Number(row.dataset.position),
      pending: row.classList.contains('pending'),
      cells: Array.from(row.children, (cell) => cell.textContent),
      grey: getComputedStyle(row).color === 'rgb(170, 170, 170)',
      current: row.classList.contains('current'),
    })),
    idle: () => call('rowsJson', { first: 0, count: 0 }),
  };

  updateButtons();
})();
