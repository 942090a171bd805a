// Starts vorn-lsp for VORN scripts and lists, and stops it with the extension.
'use strict';

const vscode = require('vscode');
const { LanguageClient, TransportKind } = require('vscode-languageclient/node');

let client;

function activate(context) {
  const command = vscode.workspace.getConfiguration('vorn').get('server.path') || 'vorn-lsp';
  // With the stdio transport the client adds --stdio to the command line itself.
  const server = { command, transport: TransportKind.stdio };
  const options = {
    documentSelector: [
      { scheme: 'file', language: 'vorn' },
      { scheme: 'file', language: 'vorn-list' },
    ],
  };
  client = new LanguageClient('vorn', 'VORN language server', server, options);
  context.subscriptions.push({ dispose: () => client && client.stop() });
  return client.start();
}

function deactivate() {
  return client ? client.stop() : undefined;
}

module.exports = { activate, deactivate };
