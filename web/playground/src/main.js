// The playground's page: one CodeMirror editor per file of the project (tabs), the language
// server in a Web Worker through @codemirror/lsp-client, and the Compile view (console, listing,
// hex) over the worker's compile. The project can be put in the address (a permalink), compressed.
import { EditorState, StateEffect, StateField, RangeSetBuilder } from '@codemirror/state';
import {
  EditorView, keymap, lineNumbers, highlightActiveLine, drawSelection, Decoration,
} from '@codemirror/view';
import { defaultKeymap, history, historyKeymap } from '@codemirror/commands';
import { lintGutter, openLintPanel } from '@codemirror/lint';
import { autocompletion, completionKeymap } from '@codemirror/autocomplete';
import {
  LSPClient, LSPPlugin, Workspace, languageServerExtensions, formatDocument,
} from '@codemirror/lsp-client';

const ROOT = 'file:///project/';
const uriOf = (path) => ROOT + path.split('/').map(encodeURIComponent).join('/');
const pathOf = (uri) => (uri.startsWith(ROOT)
  ? uri.slice(ROOT.length).split('/').map(decodeURIComponent).join('/') : null);
const $ = (id) => document.getElementById(id);

// What the page holds: the files in tab order, the open one, and each file's editor.
const state = { order: [], active: null, views: new Map(), result: null, compiledName: null, bytes: new Uint8Array(0) };
const api = { ready: false, marks: {} };
window.vornPlayground = api;

function setStatus(text) { $('status').textContent = text; }

// ---- The worker, and the transport the language client talks through.
const worker = window.vornWorker ?? new Worker('worker.js');
const lspHandlers = [];
let compileId = 0;
const compileWaiters = new Map();
let serverPresent = false;
const workerReady = new Promise((resolve) => {
  const receive = (event) => {
    const data = event.data;
    if (data.kind === 'ready') {
      serverPresent = data.server;
      resolve();
    } else if (data.kind === 'lsp') {
      traced('<-', data.message);
      for (const handler of lspHandlers) handler(data.message);
    } else if (data.kind === 'compiled') {
      const waiter = compileWaiters.get(data.id);
      compileWaiters.delete(data.id);
      if (waiter) waiter(data.result);
    }
  };
  worker.onmessage = receive;
  for (const event of (window.vornEarly ?? []).splice(0)) receive(event);
});
// The last messages to and from the server, for a test or a bug report to look at.
const TraceLength = 200;
const trace = [];
function traced(direction, message) {
  trace.push(direction + ' ' + message.slice(0, 2000));
  if (trace.length > TraceLength) trace.shift();
}
const transport = {
  send(message) {
    traced('->', message);
    worker.postMessage({ kind: 'lsp', message });
  },
  subscribe(handler) { lspHandlers.push(handler); },
  unsubscribe(handler) {
    const at = lspHandlers.indexOf(handler);
    if (at >= 0) lspHandlers.splice(at, 1);
  },
};

// ---- The workspace: every file of the project is open in the server, each with its editor
// (hidden when its tab is not the active one), so that a rename edits every tab.
class TabWorkspace extends Workspace {
  constructor(client) {
    super(client);
    this.files = [];
    this.versions = Object.create(null);
  }
  nextVersion(uri) { return (this.versions[uri] = (this.versions[uri] ?? -1) + 1); }
  syncFiles() {
    const updates = [];
    for (const file of this.files) {
      const plugin = LSPPlugin.get(file.view);
      if (!plugin) continue;
      const changes = plugin.unsyncedChanges;
      if (!changes.empty) {
        updates.push({ changes, file, prevDoc: file.doc });
        file.doc = file.view.state.doc;
        file.version = this.nextVersion(file.uri);
        plugin.clear();
      }
    }
    return updates;
  }
  openFile(uri, languageId, view) {
    if (this.getFile(uri)) return;
    const file = {
      uri, languageId, version: this.nextVersion(uri), doc: view.state.doc, view,
      getView() { return this.view; },
    };
    this.files.push(file);
    this.client.didOpen(file);
  }
  closeFile(uri) {
    if (!this.getFile(uri)) return;
    this.files = this.files.filter((f) => f.uri !== uri);
    this.client.didClose(uri);
  }
  async displayFile(uri) {
    const path = pathOf(uri);
    if (path === null || !state.views.has(path)) return null;
    activate(path);
    return state.views.get(path);
  }
}

const client = new LSPClient({
  rootUri: ROOT.slice(0, -1),
  workspace: (c) => new TabWorkspace(c),
  extensions: languageServerExtensions(),
  timeout: 10000,
});

// ---- Semantic colouring, asked for with the client's request API (the package has no
// extension for it) after each change has settled.
const setSemantic = StateEffect.define();
const semanticField = StateField.define({
  create: () => Decoration.none,
  update(value, tr) {
    value = value.map(tr.changes);
    for (const effect of tr.effects) if (effect.is(setSemantic)) value = effect.value;
    return value;
  },
  provide: (field) => EditorView.decorations.from(field),
});

// One decoration per token type, shared by every token of it.
const semanticMarks = new Map();
function semanticMark(type) {
  if (!semanticMarks.has(type)) semanticMarks.set(type, Decoration.mark({ class: 'sem-' + type }));
  return semanticMarks.get(type);
}

async function refreshSemantic(path) {
  const view = state.views.get(path);
  const legend = client.serverCapabilities?.semanticTokensProvider?.legend;
  if (!view || !legend) return;
  client.sync();
  const doc = view.state.doc;
  let tokens;
  try {
    tokens = await client.request('textDocument/semanticTokens/full', { textDocument: { uri: uriOf(path) } });
  } catch (error) {
    return;
  }
  if (!tokens || view.state.doc !== doc) return;
  const builder = new RangeSetBuilder();
  let line = 0;
  let char = 0;
  const data = tokens.data;
  for (let i = 0; i + 4 < data.length; i += 5) {
    line += data[i];
    char = data[i] === 0 ? char + data[i + 1] : data[i + 1];
    if (line >= doc.lines) break;
    const start = doc.line(line + 1).from + char;
    const end = Math.min(start + data[i + 2], doc.line(line + 1).to);
    if (end > start) {
      builder.add(start, end, semanticMark(legend.tokenTypes[data[i + 3]]));
    }
  }
  view.dispatch({ effects: setSemantic.of(builder.finish()) });
  api.marks[path] = (api.marks[path] || 0) + 1;
}

const semanticTimers = new Map();
function scheduleSemantic(path, delay = 150) {
  clearTimeout(semanticTimers.get(path));
  semanticTimers.set(path, setTimeout(() => refreshSemantic(path), delay));
}

// ---- Quick fixes, through the client's request API: the code actions at the cursor, as
// buttons under the editor.
async function showFixes() {
  const path = state.active;
  const view = state.views.get(path);
  const box = $('fixes');
  box.replaceChildren();
  box.hidden = true;
  if (!view || !serverPresent) return [];
  client.sync();
  const plugin = LSPPlugin.get(view);
  const head = view.state.selection.main.head;
  const line = view.state.doc.lineAt(head);
  const range = { start: plugin.toPosition(line.from), end: plugin.toPosition(line.to) };
  const diagnostics = [];
  let actions = [];
  try {
    actions = await client.request('textDocument/codeAction', {
      textDocument: { uri: uriOf(path) }, range, context: { diagnostics },
    }) || [];
  } catch (error) {
    setStatus('no fixes: ' + error.message);
    return [];
  }
  actions = actions.filter((a) => a.edit);
  for (const action of actions) {
    const button = document.createElement('button');
    button.textContent = action.title;
    button.onclick = () => { applyWorkspaceEdit(action.edit); box.hidden = true; };
    box.append(button);
  }
  if (actions.length === 0) box.append('No fixes here.');
  box.hidden = false;
  return actions.map((a) => a.title);
}

function applyWorkspaceEdit(edit) {
  const byUri = { ...(edit.changes || {}) };
  for (const change of edit.documentChanges || []) {
    if (change.textDocument) byUri[change.textDocument.uri] = change.edits;
  }
  for (const [uri, edits] of Object.entries(byUri)) {
    const view = state.views.get(pathOf(uri));
    if (!view) continue;
    const plugin = LSPPlugin.get(view);
    view.dispatch({
      changes: edits.map((e) => ({
        from: plugin.fromPosition(e.range.start, plugin.syncedDoc),
        to: plugin.fromPosition(e.range.end, plugin.syncedDoc),
        insert: e.newText,
      })),
    });
  }
}

// Each change goes to the server as soon as the keystroke's task is over (the package's own
// sync waits half a second), so that its diagnostics follow the keystroke: the server is in
// the worker, and a compile that a newer change makes stale is dropped there.
let syncQueued = false;
function scheduleSync() {
  if (syncQueued || !serverPresent) return;
  syncQueued = true;
  queueMicrotask(() => {
    syncQueued = false;
    client.sync();
  });
}

// ---- Files and tabs.
function editorFor(path, text) {
  const extensions = [
    lineNumbers(), history(), drawSelection(), highlightActiveLine(), lintGutter(),
    autocompletion(), semanticField, listingLinkField,
    keymap.of([
      { key: 'Mod-Enter', run: () => { compile(); return true; } },
      { key: 'Mod-.', run: () => { showFixes(); return true; } },
      ...completionKeymap, ...defaultKeymap, ...historyKeymap,
    ]),
    EditorView.updateListener.of((update) => {
      if (update.docChanged) {
        scheduleSync();
        scheduleSemantic(path);
        scheduleSave();
      }
      if (update.selectionSet || update.docChanged) linkFromEditor(path, update.view);
    }),
  ];
  if (serverPresent) extensions.push(client.plugin(uriOf(path), 'vorn'));
  // A file of CRLF lines keeps them: the compiled bytes must be those of the file as written.
  if (text.includes('\r\n')) extensions.push(EditorState.lineSeparator.of('\r\n'));
  // Each editor in a box of its own, which its tab shows and hides (the editor keeps its own
  // element's classes).
  const box = document.createElement('div');
  box.className = 'editor hidden';
  box.dataset.path = path;
  $('editors').append(box);
  return new EditorView({ state: EditorState.create({ doc: text, extensions }), parent: box });
}

function renderTabs() {
  const tabs = $('tabs');
  for (const old of [...tabs.querySelectorAll('.tab')]) old.remove();
  for (const path of state.order) {
    const tab = document.createElement('span');
    tab.className = 'tab' + (path === state.active ? ' active' : '');
    tab.dataset.path = path;
    tab.title = 'Double-click to rename';
    tab.append(path);
    const close = document.createElement('span');
    close.className = 'close';
    close.textContent = '×';
    close.title = 'Delete ' + path;
    close.onclick = (event) => { event.stopPropagation(); removeFile(path); };
    tab.append(close);
    tab.onclick = () => activate(path);
    tab.ondblclick = () => {
      const name = prompt('Rename ' + path + ' to', path);
      if (name) renameFile(path, name.trim());
    };
    tabs.insertBefore(tab, $('add-file'));
  }
}

function activate(path) {
  state.active = path;
  for (const [p, view] of state.views) view.dom.parentElement.classList.toggle('hidden', p !== path);
  renderTabs();
  const view = state.views.get(path);
  if (view) {
    view.requestMeasure();
    if (serverPresent) openLintPanel(view);
    linkFromEditor(path, view);
  }
}

// Tells the worker the project's files, before the server hears of a file opened or closed.
function sendFiles(extra = {}) {
  worker.postMessage({ kind: 'files', files: { ...projectFiles(), ...extra } });
}

function addFile(path, text = '', quiet = false) {
  if (!path || state.views.has(path)) return false;
  if (!quiet) sendFiles({ [path]: text });
  state.order.push(path);
  state.views.set(path, editorFor(path, text));
  scheduleSemantic(path, 0);
  return true;
}

function removeFile(path) {
  const view = state.views.get(path);
  if (!view) return;
  const box = view.dom.parentElement;
  view.destroy();
  box.remove();
  state.views.delete(path);
  state.order = state.order.filter((p) => p !== path);
  sendFiles();
  if (state.active === path) state.active = state.order[0] ?? null;
  activate(state.active);
  scheduleSave();
}

function renameFile(from, to) {
  if (from === to || state.views.has(to) || !state.views.has(from)) return;
  const text = state.views.get(from).state.doc.toString();
  const at = state.order.indexOf(from);
  removeFile(from);
  addFile(to, text);
  state.order.splice(state.order.indexOf(to), 1);
  state.order.splice(at, 0, to);
  activate(to);
}

function projectFiles() {
  const files = {};
  for (const path of state.order) files[path] = state.views.get(path).state.doc.toString();
  return files;
}

function loadProject(files, active) {
  for (const path of [...state.order]) {
    const view = state.views.get(path);
    const box = view.dom.parentElement;
    view.destroy();
    box.remove();
    state.views.delete(path);
  }
  state.order = [];
  worker.postMessage({ kind: 'files', files });
  for (const [path, text] of Object.entries(files)) addFile(path, text, true);
  const first = state.order.find((p) => p.endsWith('.vs') && !p.includes('/')) ?? state.order[0];
  activate(files[active] !== undefined ? active : first);
  clearOutput();
}

// ---- The Compile view.
let highlight = { rows: [], bytes: [] };

function clearOutput() {
  state.result = null;
  $('console').textContent = '';
  $('listing').replaceChildren();
  $('hex').replaceChildren();
  state.bytes = new Uint8Array(0);
  $('download').disabled = true;
}

const hexByte = (n) => n.toString(16).padStart(2, '0');
const hexWord = (n) => n.toString(16).padStart(4, '0');

function compile() {
  const script = state.active;
  if (!script || !script.endsWith('.vs')) {
    setStatus('open a .vs file to compile it');
    return Promise.resolve(null);
  }
  const id = ++compileId;
  return new Promise((resolve) => {
    compileWaiters.set(id, (result) => { showResult(script, result); resolve(result); });
    worker.postMessage({ kind: 'compile', id, script, files: projectFiles() });
  });
}

function showResult(script, result) {
  state.result = { ...result, script };
  state.compiledName = script.replace(/^.*\//, '').replace(/\.vs$/, '') + '.bin';
  $('console').textContent = readable(result.console);
  setStatus(`compiled ${script} in ${result.ms.toFixed(1)} ms: status ${result.status}`);
  const bytes = hexToBytes(result.output);
  const code = hexToBytes(result.code);
  $('download').disabled = bytes.length === 0;
  // The listing: one row per listed line, its file offset, its bytes and its text; the hex
  // view: every byte of the compiled file, 16 a row. Plain text rows (a large file has
  // thousands), one handler for each view.
  const files = projectFiles();
  const lines = new Map();
  const listing = $('listing');
  listing.replaceChildren();
  const place = result.rows.reduce((w, row) => Math.max(w, row.file.length + String(row.line).length + 1), 0);
  result.rows.forEach((row, index) => {
    if (!lines.has(row.file)) lines.set(row.file, (files[row.file] ?? '').split('\n'));
    const text = (lines.get(row.file)[row.line - 1] ?? '').replace(/\r$/, '').slice(row.column - 1);
    const shown = [...code.slice(row.begin, row.end)].map(hexByte).join(' ');
    const div = document.createElement('div');
    div.className = 'row';
    div.dataset.index = index;
    div.textContent = `${(row.file + ':' + row.line).padEnd(place)}  ${hexWord(result.header + row.begin)}  ` +
      `${shown.padEnd(23)}  ${text}`;
    listing.append(div);
  });
  const hex = $('hex');
  hex.replaceChildren();
  for (let at = 0; at < bytes.length; at += 16) {
    const div = document.createElement('div');
    div.className = 'row';
    div.dataset.row = at / 16;
    div.textContent = hexRow(bytes, at);
    hex.append(div);
  }
  state.bytes = bytes;
  highlight = { rows: [], bytes: [] };
}

// What vorn printed, a character per byte: the UTF-8 in it (the project's own text) shown as
// the characters it spells, every other byte (its string quotes) as the Latin-1 character.
function readable(bytes) {
  return bytes.replace(/[\xC2-\xF4][\x80-\xBF]+/g, (run) => {
    try { return decodeURIComponent(escape(run)); } catch (error) { return run; }
  });
}

function escapeHtml(text) {
  return text.replace(/[&<>"]/g, (c) => ({ '&': '&amp;', '<': '&lt;', '>': '&gt;', '"': '&quot;' })[c]);
}

function hexToBytes(hex) {
  const bytes = new Uint8Array(hex.length / 2);
  for (let i = 0; i < bytes.length; i++) bytes[i] = parseInt(hex.substr(i * 2, 2), 16);
  return bytes;
}

// Lights up listing rows, their bytes in the hex view and their lines in the editor.
const setLinked = StateEffect.define();
const listingLinkField = StateField.define({
  create: () => Decoration.none,
  update(value, tr) {
    value = value.map(tr.changes);
    for (const effect of tr.effects) if (effect.is(setLinked)) value = effect.value;
    return value;
  },
  provide: (field) => EditorView.decorations.from(field),
});

// A row of the hex view: its offset, then its bytes.
const HexLead = 6;
function hexRow(bytes, at) {
  return hexWord(at) + '  ' + [...bytes.slice(at, at + 16)].map(hexByte).join(' ');
}

// Lights bytes in the hex view: their rows are rebuilt with a span round each lit byte.
let litHexRows = [];
function lightBytes(offsets) {
  const hex = $('hex');
  for (const n of litHexRows) {
    const div = hex.children[n];
    if (div) div.textContent = hexRow(state.bytes, n * 16);
  }
  const byRow = new Map();
  for (const o of offsets) {
    if (o >= state.bytes.length) continue;
    if (!byRow.has(o >> 4)) byRow.set(o >> 4, new Set());
    byRow.get(o >> 4).add(o);
  }
  litHexRows = [...byRow.keys()];
  for (const [n, lit] of byRow) {
    const div = hex.children[n];
    div.replaceChildren(hexWord(n * 16) + '  ');
    for (let o = n * 16; o < Math.min(n * 16 + 16, state.bytes.length); o++) {
      if (o > n * 16) div.append(' ');
      if (lit.has(o)) {
        const span = document.createElement('span');
        span.className = 'lit';
        span.textContent = hexByte(state.bytes[o]);
        div.append(span);
      } else {
        div.append(hexByte(state.bytes[o]));
      }
    }
  }
  hex.children[litHexRows[0]]?.scrollIntoView({ block: 'nearest' });
}

// The byte under a point of the hex view, from the character there.
function byteAt(x, y) {
  const caret = document.caretRangeFromPoint(x, y);
  const div = caret && caret.startContainer.parentElement?.closest('#hex .row');
  if (!div) return null;
  let column = caret.startOffset;
  for (const node of div.childNodes) {
    if (node === caret.startContainer || node.contains(caret.startContainer)) break;
    column += node.textContent.length;
  }
  if (column < HexLead) return null;
  const offset = +div.dataset.row * 16 + Math.floor((column - HexLead) / 3);
  return offset < state.bytes.length ? offset : null;
}

function light(indexes, editorToo) {
  for (const el of document.querySelectorAll('#listing .row.lit')) el.classList.remove('lit');
  const result = state.result;
  if (!result) return;
  const rows = $('listing').children;
  const offsets = [];
  const lines = new Map();
  for (const index of indexes) {
    const row = result.rows[index];
    rows[index]?.classList.add('lit');
    for (let o = result.header + row.begin; o < result.header + row.end; o++) offsets.push(o);
    if (!lines.has(row.file)) lines.set(row.file, new Set());
    lines.get(row.file).add(row.line);
  }
  lightBytes(offsets);
  highlight = { rows: indexes, bytes: offsets };
  rows[indexes[0]]?.scrollIntoView({ block: 'nearest' });
  if (!editorToo) return;
  for (const [path, view] of state.views) {
    const builder = new RangeSetBuilder();
    for (const n of [...(lines.get(path) ?? [])].sort((a, b) => a - b)) {
      if (n <= view.state.doc.lines) builder.add(view.state.doc.line(n).from, view.state.doc.line(n).from, Decoration.line({ class: 'lit' }));
    }
    view.dispatch({ effects: setLinked.of(builder.finish()) });
  }
}

function linkFromEditor(path, view) {
  const result = state.result;
  if (!result) return;
  const line = view.state.doc.lineAt(view.state.selection.main.head).number;
  const indexes = [];
  result.rows.forEach((row, i) => { if (row.file === path && row.line === line) indexes.push(i); });
  light(indexes, false);
}

function linkFromRow(index, moveCursor) {
  const row = state.result.rows[index];
  if (moveCursor && state.views.has(row.file)) {
    activate(row.file);
    const view = state.views.get(row.file);
    if (row.line <= view.state.doc.lines) {
      const at = view.state.doc.line(row.line).from;
      view.dispatch({ selection: { anchor: at }, scrollIntoView: true });
    }
  }
  light([index], true);
}

function linkFromByte(offset) {
  const result = state.result;
  const index = result.rows.findIndex((row) => row.end > row.begin &&
    result.header + row.begin <= offset && offset < result.header + row.end);
  if (index >= 0) {
    linkFromRow(index, true);
  } else {
    light([], true);
    lightBytes([offset]);
    highlight = { rows: [], bytes: [offset] };
  }
}

function download() {
  const result = state.result;
  if (!result || !result.output) return;
  const blob = new Blob([hexToBytes(result.output)], { type: 'application/octet-stream' });
  const a = document.createElement('a');
  a.href = URL.createObjectURL(blob);
  a.download = state.compiledName;
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(a.href), 10000);
}

// ---- The permalink: the project as JSON, deflated by the browser, in base64url after #p=.
async function pipeThrough(bytes, stream) {
  const out = new Blob([bytes]).stream().pipeThrough(stream);
  return new Uint8Array(await new Response(out).arrayBuffer());
}
async function encodeProject() {
  const json = JSON.stringify({ files: projectFiles(), active: state.active });
  const packed = await pipeThrough(new TextEncoder().encode(json), new CompressionStream('deflate-raw'));
  let binary = '';
  for (const byte of packed) binary += String.fromCharCode(byte);
  return btoa(binary).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
}
async function decodeProject(text) {
  const binary = atob(text.replace(/-/g, '+').replace(/_/g, '/'));
  const packed = Uint8Array.from(binary, (c) => c.charCodeAt(0));
  const json = await pipeThrough(packed, new DecompressionStream('deflate-raw'));
  return JSON.parse(new TextDecoder().decode(json));
}
async function permalink() {
  const link = location.href.replace(/#.*$/, '') + '#p=' + await encodeProject();
  window.history.replaceState(null, '', link);
  try { await navigator.clipboard.writeText(link); } catch (error) { /* not allowed here */ }
  setStatus('permalink in the address bar');
  return link;
}

// The project is kept in the address as it changes only when asked (Permalink); between
// visits the last project stays in local storage.
let saveTimer = null;
function scheduleSave() {
  clearTimeout(saveTimer);
  saveTimer = setTimeout(() => {
    try { localStorage.setItem('vorn-playground', JSON.stringify({ files: projectFiles(), active: state.active })); } catch (error) { /* full */ }
  }, 500);
}

// ---- Start-up.
async function start() {
  const examples = await (await fetch('examples.json')).json();
  for (const example of examples) {
    const option = document.createElement('option');
    option.value = example.name;
    option.textContent = example.name;
    $('examples').append(option);
  }
  $('examples').onchange = () => {
    const example = examples.find((e) => e.name === $('examples').value);
    if (example) loadProject(example.files, example.top[0]);
  };
  await workerReady;
  if (serverPresent) {
    client.connect(transport);
    await client.initializing;
  }
  let project = null;
  if (location.hash.startsWith('#p=')) {
    try { project = await decodeProject(location.hash.slice(3)); } catch (error) { setStatus('the permalink cannot be read'); }
  }
  if (!project) {
    try { project = JSON.parse(localStorage.getItem('vorn-playground')); } catch (error) { project = null; }
  }
  if (!project || !project.files) project = { files: examples[0].files, active: examples[0].top[0] };
  loadProject(project.files, project.active);
  $('compile').onclick = () => compile();
  $('download').onclick = download;
  $('format').onclick = () => { const v = state.views.get(state.active); if (v) formatDocument(v); };
  $('fix').onclick = () => showFixes();
  $('permalink').onclick = () => permalink();
  $('listing').onclick = (event) => {
    const row = event.target.closest('.row');
    if (row) linkFromRow(+row.dataset.index, true);
  };
  $('hex').onclick = (event) => {
    const offset = byteAt(event.clientX, event.clientY);
    if (offset !== null) linkFromByte(offset);
  };
  $('add-file').onclick = () => {
    const name = prompt('New file (a .vs script, or events.lst / command.lst)', 'new.vs');
    if (name && addFile(name.trim(), '')) {
      activate(name.trim());
      state.views.get(name.trim()).focus();
    }
  };
  api.ready = true;
  // From the start of the navigation: the page, its scripts, the worker and the module.
  api.readyMs = performance.now();
  setStatus(`ready in ${api.readyMs.toFixed(0)} ms` + (serverPresent ? '' : ' (no language server in this build)'));
}

Object.assign(api, {
  files: projectFiles, load: loadProject, compile, permalink, showFixes, activate,
  active: () => state.active,
  result: () => state.result,
  highlight: () => highlight,
  server: () => serverPresent,
  view: (path) => state.views.get(path ?? state.active),
  trace: () => trace.slice(),
});

start().catch((error) => setStatus('failed: ' + error.message));
