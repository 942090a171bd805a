// Starts vorn-lsp for VORN scripts and lists, restarts it on request or when its path
// changes, and says which setting to fix when it cannot be started.
'use strict';

const fs = require('fs');
const path = require('path');
const vscode = require('vscode');
const { LanguageClient, TransportKind, State } = require('vscode-languageclient/node');

const SERVER_SETTING = 'vorn.server.path';
const SERVER_DEFAULT = 'vorn-lsp';

let client;
let output;
// Starts and stops run one after another, so that a restart never races a start.
let pending = Promise.resolve();
// From a restart's request until its start begins: the client about to stop is told of no
// settings change (the send would fail as it stops).
let restarting = false;

// The program a command names: itself when it has a slash, else the first executable
// file of that name on PATH; undefined when there is none.
function findProgram(command) {
  const executable = (file) => {
    try {
      fs.accessSync(file, fs.constants.X_OK);
      return fs.statSync(file).isFile();
    } catch {
      return false;
    }
  };
  if (command.includes('/') || command.includes(path.sep)) {
    return executable(command) ? command : undefined;
  }
  for (const folder of (process.env.PATH || '').split(path.delimiter)) {
    if (folder && executable(path.join(folder, command))) {
      return path.join(folder, command);
    }
  }
  return undefined;
}

function serverCommand() {
  const configured = vscode.workspace.getConfiguration('vorn').get('server.path');
  return (typeof configured === 'string' && configured.trim()) || SERVER_DEFAULT;
}

// A relative path with a slash counts from the first workspace folder.
function resolveCommand(command) {
  if (path.isAbsolute(command) || !(command.includes('/') || command.includes(path.sep))) {
    return command;
  }
  const folders = vscode.workspace.workspaceFolders;
  return folders && folders.length > 0 && folders[0].uri.scheme === 'file'
    ? path.join(folders[0].uri.fsPath, command) : path.resolve(command);
}

async function reportFailure(command, reason) {
  const message = `VORN: the language server could not be started: ${reason}. ` +
    `Set "${SERVER_SETTING}" to the vorn-lsp program (now "${command}").`;
  output.appendLine(message);
  const choice = await vscode.window.showErrorMessage(message, 'Open Settings');
  if (choice === 'Open Settings') {
    await vscode.commands.executeCommand('workbench.action.openSettings', SERVER_SETTING);
  }
}

async function start() {
  restarting = false;
  const command = serverCommand();
  const program = findProgram(resolveCommand(command));
  if (!program) {
    reportFailure(command, `"${command}" is not an executable file` +
      (command.includes('/') ? '' : ' on PATH'));
    return;
  }
  // With the stdio transport the client adds --stdio to the command line itself.
  const server = { command: program, transport: TransportKind.stdio };
  const options = {
    documentSelector: [
      { scheme: 'file', language: 'vorn' },
      { scheme: 'file', language: 'vorn-list' },
    ],
    outputChannel: output,
    traceOutputChannel: output,
    // vorn.warnings goes to the server at its start, and again with every change of the
    // vorn settings; the server also asks for the section itself (workspace/configuration).
    initializationOptions: { vorn: { warnings: vscode.workspace.getConfiguration('vorn').get('warnings', []) } },
    synchronize: { configurationSection: 'vorn' },
    middleware: {
      workspace: {
        // Only a running server that stays is told: a client whose server could not start,
        // or is being stopped for a restart, would report the failed send ("Sending
        // notification workspace/didChangeConfiguration failed") on top of the start's
        // own error.
        didChangeConfiguration: (sections, send) =>
          (next.isRunning() && !restarting ? send(sections) : Promise.resolve()),
      },
    },
  };
  // The client reads the trace level from vorn.trace.server, its id's setting.
  const next = new LanguageClient('vorn', 'VORN language server', server, options);
  try {
    await next.start();
    client = next;
  } catch (error) {
    reportFailure(command, error && error.message ? error.message : String(error));
    if (next.state !== State.Stopped) {
      await next.stop().catch(() => undefined);
    }
  }
}

async function stop() {
  const running = client;
  client = undefined;
  if (running && running.state !== State.Stopped) {
    await running.stop().catch((error) => output.appendLine(`stopping vorn-lsp: ${error}`));
  }
}

// A step that failed does not hold up the ones after it.
function restart() {
  restarting = true;
  pending = pending.catch(() => undefined).then(stop).then(start);
  return pending;
}

function activate(context) {
  output = vscode.window.createOutputChannel('VORN language server');
  context.subscriptions.push(
    output,
    vscode.commands.registerCommand('vorn.restartServer', restart),
    vscode.workspace.onDidChangeConfiguration((event) => {
      if (event.affectsConfiguration(SERVER_SETTING)) {
        restart();
      }
    }),
  );
  pending = pending.then(start);
  return pending;
}

function deactivate() {
  pending = pending.catch(() => undefined).then(stop);
  return pending;
}

module.exports = { activate, deactivate };
