// The playground's worker: the toolchain compiled to WebAssembly (vorn.js, vorn.wasm), with the
// project's files in its memory. The page sends {kind: 'files'} (the whole project),
// {kind: 'compile'} (a top script) and {kind: 'lsp'} (one message for the language server);
// the worker answers {kind: 'ready'}, {kind: 'compiled'} and {kind: 'lsp'} (each message the
// server sends). The server's deferred work (compiles) runs between messages.
/* global importScripts, createVorn */
importScripts('vorn.js');

let vorn = null;
const queue = [];

// The files are served to the compiler and the server from memory, where the server also
// finds which files and folders the project has.
function serve(files) {
  vorn.ccall('vorn_forget_all', null, [], []);
  for (const [path, text] of Object.entries(files)) {
    vorn.ccall('vorn_serve', null, ['string', 'string'], [path, text]);
  }
}

const hasServer = () => typeof vorn._vorn_lsp_handle === 'function';

// The server's messages come one JSON text a line.
function sendAll(lines) {
  if (lines === '') return;
  for (const message of lines.split('\n')) postMessage({ kind: 'lsp', message });
}

// The server's deferred compiles, one step per task, so that a message that comes meanwhile is
// handled first.
let stepping = false;
function step() {
  stepping = false;
  if (!hasServer() || !vorn.ccall('vorn_lsp_has_work', 'number', [], [])) return;
  sendAll(vorn.ccall('vorn_lsp_step', 'string', [], []));
  schedule();
}
function schedule() {
  if (!stepping && hasServer() && vorn.ccall('vorn_lsp_has_work', 'number', [], [])) {
    stepping = true;
    setTimeout(step, 0);
  }
}

function handle(data) {
  switch (data.kind) {
    case 'files':
      serve(data.files);
      break;
    case 'compile': {
      if (data.files) serve(data.files);
      const started = performance.now();
      const result = JSON.parse(vorn.ccall('vorn_compile', 'string', ['string'], [data.script]));
      result.ms = performance.now() - started;
      postMessage({ kind: 'compiled', id: data.id, script: data.script, result });
      break;
    }
    case 'lsp':
      if (hasServer()) {
        sendAll(vorn.ccall('vorn_lsp_handle', 'string', ['string'], [data.message]));
        schedule();
      }
      break;
    default:
      break;
  }
}

onmessage = (event) => {
  if (!vorn) {
    queue.push(event.data);
    return;
  }
  handle(event.data);
};

createVorn().then((module) => {
  vorn = module;
  postMessage({ kind: 'ready', server: hasServer() });
  for (const data of queue.splice(0)) handle(data);
});
