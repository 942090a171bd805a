// Drives VS Code's page in Chromium (puppeteer-core, connected to the browser that
// test_vscode_ui.py started) and checks what a user sees: the language mode of a script
// and of a list, the Problems panel, a hover, a completion, go to definition, the colour of
// a semantic token, a rename across files, and the message when the server cannot be started. Prints one line per check; exits 1 when any
// failed, after a screenshot of the page at that moment.
'use strict';

const fs = require('fs');
const path = require('path');
const { connect, checks } = require('../browser/browser_checks.js');

const URL = process.env.VORN_URL;
const SHOTS = process.env.VORN_SHOTS;
const SETTINGS = process.env.VORN_SETTINGS;
const PROJECT = process.env.VORN_PROJECT;
const EXTENSION = process.env.VORN_EXTENSION;
const THEME = process.env.VORN_THEME;
// Each wait for the page gives up after this long.
const WAIT_MS = 30000;

let page;
const { shot, check, until, failed } = checks({ shots: SHOTS, page: () => page, waitMs: WAIT_MS, pollMs: 200 });

const text = (selector) => until((s) => {
  const node = document.querySelector(s);
  return node ? { ok: node.innerText.trim() !== '', value: node.innerText.trim() } : { ok: false };
}, selector, 'no text in ' + selector);

async function waitForText(selector, want) {
  return until(([s, w]) => {
    const node = document.querySelector(s);
    const value = node ? node.innerText.trim() : null;
    return { ok: value === w, value };
  }, [selector, want], `${selector} is not "${want}"`);
}

async function keys(...combination) {
  for (const key of combination.slice(0, -1)) {
    await page.keyboard.down(key);
  }
  await page.keyboard.press(combination[combination.length - 1]);
  for (const key of combination.slice(0, -1).reverse()) {
    await page.keyboard.up(key);
  }
}

// Quick Open with a file name (F1, then without the '>' it starts with).
async function quickOpen(query) {
  await page.keyboard.press('F1');
  await page.waitForSelector('.quick-input-widget input', { visible: true, timeout: WAIT_MS });
  await keys('Control', 'a');
  await page.keyboard.type(query, { delay: 20 });
  // The list answers to the query asynchronously: wait for a row that shows it.
  await until((q) => {
    const row = document.querySelector('.quick-input-list .monaco-list-row.focused');
    const value = row ? row.innerText : null;
    return { ok: !!value && value.includes(q.replace(/^[:>]/, '').split(':')[0]), value };
  }, query, 'quick open has no row for ' + query).catch(() => undefined);
  await page.keyboard.press('Enter');
  await page.waitForSelector('.quick-input-widget', { hidden: true, timeout: WAIT_MS });
}

async function openFile(name) {
  await quickOpen(name);
  await waitForText('.tabs-container .tab.active .label-name', path.basename(name));
  // The editor takes the focus once its text is there.
  await page.waitForSelector('.editor-instance .monaco-editor.focused', { timeout: WAIT_MS });
}

// The cursor at a line and column counted from 1, as Go to Line takes them.
async function goTo(line, column) {
  await quickOpen(`:${line}:${column}`);
  await waitForText('#status\\.editor\\.selection', `Ln ${line}, Col ${column}`);
}

// The colour a theme gives a TextMate scope: that of its rule with the longest selector that
// the scope starts with (of equal ones the last, the theme's own after those it includes).
function themeColour(themeFile, scope) {
  const rules = [];
  const load = (file) => {
    const theme = JSON.parse(fs.readFileSync(file, 'utf8'));
    if (theme.include) {
      load(path.join(path.dirname(file), theme.include));
    }
    for (const rule of theme.tokenColors || []) {
      const selectors = Array.isArray(rule.scope) ? rule.scope : String(rule.scope || '').split(',');
      for (const selector of selectors.map((s) => s.trim())) {
        if (rule.settings && rule.settings.foreground && selector && !selector.includes(' ')) {
          rules.push([selector, rule.settings.foreground]);
        }
      }
    }
  };
  load(themeFile);
  let best = null;
  let length = -1;
  for (const [selector, colour] of rules) {
    if ((scope === selector || scope.startsWith(selector + '.')) && selector.length >= length) {
      best = colour;
      length = selector.length;
    }
  }
  if (!best) {
    throw new Error('the theme has no colour for ' + scope);
  }
  const n = parseInt(best.slice(1, 7), 16);
  return `rgb(${n >> 16}, ${(n >> 8) & 255}, ${n & 255})`;
}

// The computed colour of each span of the active editor whose text is word.
const wordColours = (word) => page.evaluate((w) => {
  const editor = document.querySelector('.editor-instance .monaco-editor .view-lines');
  return editor ? [...editor.querySelectorAll('span span')].filter((s) => s.textContent === w)
    .map((s) => getComputedStyle(s).color) : [];
}, word);

async function main() {
  const browser = await connect({ defaultViewport: null });
  page = await browser.newPage();
  await page.setViewport({ width: 1400, height: 900 });
  await page.goto(URL, { waitUntil: 'domcontentloaded', timeout: WAIT_MS });
  await page.waitForSelector('.monaco-workbench', { timeout: WAIT_MS });
  // The explorer shows the project once the workbench has the folder.
  await until(() => {
    const rows = [...document.querySelectorAll('.explorer-folders-view .monaco-list-row')];
    return { ok: rows.some((r) => r.innerText.includes('main.vs')), value: rows.map((r) => r.innerText) };
  }, null, 'the explorer does not list main.vs');

  await check('language mode of main.vs', async () => {
    await openFile('main.vs');
    return waitForText('#status\\.editor\\.mode', 'VORN');
  });

  await check('problems panel', async () => {
    await keys('Control', 'Shift', 'M');
    // Each file's row, then its errors: the one in lib/doors.vs (its column counts the
    // two-byte é once, as VS Code counts characters) with its link to the include line of
    // the top script it arises in (named in the message too), and the include line of main.vs
    // that leads to it, with the error it links to. Nothing from build/, a nested project of
    // its own.
    const want = [
      /^doors\.vs\s*lib 1$/,
      /^Unknown argument 'Nope' \(in the compile of main\.vs\) vorn unknown-argument \[Ln 2, Col 16\]$/,
      /^main\.vs \[Ln 1, Col 9\] ?: Included here, in the compile of main\.vs$/,
      /^main\.vs 1$/,
      /^In lib\/doors\.vs: Unknown argument 'Nope' vorn unknown-argument \[Ln 1, Col 9\]$/,
      /^doors\.vs \[Ln 2, Col 16\] ?: Unknown argument 'Nope'$/,
    ];
    return until((patterns) => {
      const rows = [...document.querySelectorAll('.markers-panel .monaco-list-row')]
        .map((row) => row.innerText.replace(/\s+/g, ' ').trim());
      const ok = rows.length === patterns.length &&
        patterns.every((p, i) => new RegExp(p).test(rows[i]));
      return { ok, value: rows };
    }, want.map((p) => p.source), 'the Problems panel does not show the two errors');
  });

  await check('hover on a command', async () => {
    await openFile('main.vs');
    await goTo(3, 6);
    await keys('Control', 'k');
    await keys('Control', 'i');
    return until(() => {
      const node = document.querySelector('.monaco-hover:not(.hidden) .hover-contents');
      const value = node ? node.innerText.trim() : null;
      return { ok: !!value && /Say.*command 1 of command\.lst.*1 argument/s.test(value), value };
    }, null, 'no hover on Say');
  });

  await check('completion of a command', async () => {
    await page.keyboard.press('Escape');
    await goTo(5, 5);
    await keys('Control', ' ');
    return until(() => {
      const rows = [...document.querySelectorAll('.suggest-widget.visible .monaco-list-row')]
        .map((row) => row.getAttribute('aria-label') || row.innerText);
      const labels = rows.map((r) => r.split(/[\s,]/)[0]);
      const ok = ['Say', 'Set', 'Stop', 'Wait'].every((name) => labels.includes(name));
      return { ok, value: rows };
    }, null, 'no completion with the commands of command.lst');
  });

  await check('go to definition', async () => {
    await page.keyboard.press('Escape');
    await goTo(4, 10);
    await page.keyboard.press('F12');
    await waitForText('.tabs-container .tab.active .label-name', 'doors.vs');
    return waitForText('#status\\.editor\\.selection', 'Ln 1, Col 8');
  });

  // Speed is a defnum: the grammar can only call it a variable, as it does Doors; the server's
  // semantic tokens make it a constant, in the colour the theme gives the scope that the
  // extension maps constants to.
  await check('semantic colour of a constant', async () => {
    const scopes = JSON.parse(fs.readFileSync(path.join(EXTENSION, 'package.json'), 'utf8'))
      .contributes.semanticTokenScopes.find((entry) => entry.language === 'vorn').scopes;
    const want = themeColour(THEME, scopes.enumMember[0]);
    await openFile('main.vs');
    const variable = themeColour(THEME, scopes.variable[0]);
    if (want === variable) {
      throw new Error('the theme gives constants and variables one colour: ' + want);
    }
    const end = Date.now() + WAIT_MS;
    let seen;
    while (Date.now() < end) {
      seen = { Speed: await wordColours('Speed'), Doors: await wordColours('Doors') };
      if (seen.Speed.length === 1 && seen.Speed[0] === want && seen.Doors.length === 1 && seen.Doors[0] === variable) {
        return `Speed ${want}, Doors ${variable}`;
      }
      await new Promise((resolve) => setTimeout(resolve, 200));
    }
    throw new Error(`Speed is not ${want} (Doors ${variable}); saw ${JSON.stringify(seen)}`);
  });

  // F2 on a variable of the shared file, a new name, Enter: every file that uses it changes,
  // and Save All writes them.
  await check('rename across files', async () => {
    await openFile('lib/doors.vs');
    await goTo(1, 9);
    await page.keyboard.press('F2');
    // The box takes the focus once the server has said what the name is.
    await until(() => {
      const input = document.activeElement;
      const value = input && input.closest && input.closest('.rename-box') ? input.value : null;
      return { ok: value === 'Doors', value };
    }, null, 'the rename box does not take the focus with Doors');
    await keys('Control', 'a');
    await page.keyboard.type('Gates', { delay: 20 });
    await page.keyboard.press('Enter');
    await page.waitForSelector('.rename-box', { hidden: true, timeout: WAIT_MS });
    await until(() => {
      const editor = document.querySelector('.editor-instance .monaco-editor .view-lines');
      // The editor shows blanks as no-break spaces.
      const value = editor ? editor.innerText.replace(/\u00a0/g, ' ') : null;
      return { ok: !!value && value.includes('defvar Gates 4'), value };
    }, null, 'the shared file does not show the new name');
    await keys('Control', 'Shift', 'P');
    await page.waitForSelector('.quick-input-widget input', { visible: true, timeout: WAIT_MS });
    await page.keyboard.type('File: Save All', { delay: 20 });
    await until(() => {
      const row = document.querySelector('.quick-input-list .monaco-list-row.focused');
      const value = row ? row.innerText : null;
      return { ok: !!value && value.includes('File: Save All'), value };
    }, null, 'the command palette has no File: Save All');
    await page.keyboard.press('Enter');
    const read = (name) => fs.readFileSync(path.join(PROJECT, name), 'utf8');
    const end = Date.now() + WAIT_MS;
    let seen;
    while (Date.now() < end) {
      seen = { 'lib/doors.vs': read('lib/doors.vs'), 'main.vs': read('main.vs') };
      if (seen['lib/doors.vs'].startsWith('defvar Gates 4\n') && seen['main.vs'].includes('    Wait(Gates)\n') &&
          !Object.values(seen).some((t) => t.includes('Doors'))) {
        return 'Doors is Gates in lib/doors.vs and main.vs on disk';
      }
      await new Promise((resolve) => setTimeout(resolve, 200));
    }
    throw new Error('the files on disk are ' + JSON.stringify(seen));
  });

  await check('language mode of events.lst', async () => {
    await openFile('events.lst');
    return waitForText('#status\\.editor\\.mode', 'VORN list');
  });

  // A server path that names nothing: changing the setting restarts the server, and the
  // message names the setting.
  await check('message when the server cannot start', async () => {
    fs.mkdirSync(path.dirname(SETTINGS), { recursive: true });
    fs.writeFileSync(SETTINGS, JSON.stringify({ 'vorn.server.path': '/nonexistent/vorn-lsp' }));
    await until(() => {
      const nodes = [...document.querySelectorAll('.notifications-toasts .notification-list-item-message')];
      const value = nodes.map((n) => n.innerText);
      return { ok: value.some((t) => t.includes('vorn.server.path') && t.includes('/nonexistent/vorn-lsp')), value };
    }, null, 'no message that names vorn.server.path');
    // And no second message about the settings change sent to the server that stopped.
    await new Promise((resolve) => setTimeout(resolve, 2000));
    return until(() => {
      const nodes = [...document.querySelectorAll('.notifications-toasts .notification-list-item-message')];
      const value = nodes.map((n) => n.innerText);
      return { ok: !value.some((t) => t.includes('didChangeConfiguration')), value };
    }, null, 'a message that sending workspace/didChangeConfiguration failed');
  });

  // The command restarts the server: with the same path, the same message comes again.
  await check('command VORN: Restart language server', async () => {
    await until(() => {
      for (const button of document.querySelectorAll('.notifications-toasts .codicon-notifications-clear')) {
        button.click();
      }
      const left = document.querySelectorAll('.notifications-toasts .notification-list-item-message').length;
      return { ok: left === 0, value: left };
    }, null, 'the message does not go away');
    await keys('Control', 'Shift', 'P');
    await page.waitForSelector('.quick-input-widget input', { visible: true, timeout: WAIT_MS });
    await page.keyboard.type('VORN: Restart language server', { delay: 20 });
    await until(() => {
      const row = document.querySelector('.quick-input-list .monaco-list-row.focused');
      const value = row ? row.innerText : null;
      return { ok: !!value && value.includes('VORN: Restart language server'), value };
    }, null, 'the command palette has no VORN: Restart language server');
    await page.keyboard.press('Enter');
    return until(() => {
      const nodes = [...document.querySelectorAll('.notifications-toasts .notification-list-item-message')];
      const value = nodes.map((n) => n.innerText);
      return { ok: value.length > 0 && value.every((t) => t.includes('vorn.server.path')), value };
    }, null, 'no message after the restart');
  });

  await browser.disconnect();
  console.log(failed() ? `${failed()} check(s) failed` : 'all checks passed');
  return failed() ? 1 : 0;
}

main().then((status) => process.exit(status), async (error) => {
  console.log('FAIL ' + (error && error.stack ? error.stack : error));
  if (page) {
    await shot('failed-run');
  }
  process.exit(1);
});
