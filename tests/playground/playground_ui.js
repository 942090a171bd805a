// Drives the playground in Chromium (puppeteer-core, connected to the browser that
// test_playground.py started) and checks what a user sees. Prints one line per check and the
// figures measured; exits 1 when any check failed, after a screenshot of the page then.
'use strict';

const fs = require('fs');
const path = require('path');
const { connect, checks } = require('../browser/browser_checks.js');

const PAGE_URL = process.env.VORN_URL;
const WORK = process.env.VORN_WORK;
const SHOTS = path.join(WORK, 'screenshots');
const DOWNLOADS = path.join(WORK, 'downloads');
const PROJECTS = JSON.parse(fs.readFileSync(process.env.VORN_PROJECTS, 'utf8'));
// Each wait for the page gives up after this long.
const WAIT_MS = 20000;

let page;
const { shot, check, until, failed } = checks({ shots: SHOTS, page: () => page, waitMs: WAIT_MS, pollMs: 50 });

function expect(condition, message) {
  if (!condition) throw new Error(message);
}

async function openPage(browserContext) {
  const p = await browserContext.newPage();
  await p.setViewport({ width: 1400, height: 900 });
  p.on('pageerror', (error) => console.log('  page error: ' + error.message));
  await p.goto(PAGE_URL);
  return p;
}

const ready = () => until(() => ({ ok: !!(window.vornPlayground && window.vornPlayground.ready),
  value: document.getElementById('status').textContent }), null, 'the editor is not ready');

// Loads a project as the page's own loader does (the example menu and the permalink use it).
async function load(files, active) {
  await page.evaluate(([f, a]) => window.vornPlayground.load(f, a), [files, active]);
}

// Puts the cursor in the open editor at the first match of text (plus offset), by a click.
async function clickAt(text, offset = 0) {
  const box = await page.evaluate(([t, o]) => {
    const view = window.vornPlayground.view();
    const at = view.state.doc.toString().indexOf(t);
    if (at < 0) return null;
    view.dispatch({ selection: { anchor: at + o }, scrollIntoView: true });
    const c = view.coordsAtPos(at + o);
    return c && { x: c.left + 1, y: (c.top + c.bottom) / 2 };
  }, [text, offset]);
  expect(box, `"${text}" is not in the open file`);
  await page.mouse.click(box.x, box.y);
  // A tooltip of the last check may have taken the click: the keys go to the editor all the same.
  await page.evaluate(([t, o]) => {
    const view = window.vornPlayground.view();
    view.focus();
    view.dispatch({ selection: { anchor: view.state.doc.toString().indexOf(t) + o } });
  }, [text, offset]);
  return box;
}

async function compileAndDownload(project, script) {
  await page.evaluate((s) => window.vornPlayground.activate(s), script);
  for (const file of fs.readdirSync(DOWNLOADS)) fs.unlinkSync(path.join(DOWNLOADS, file));
  const before = await page.evaluate(() => window.vornPlayground.result());
  await page.click('#compile');
  const result = await until((b) => {
    const r = window.vornPlayground.result();
    return { ok: !!r && r !== b && JSON.stringify(r) !== b, value: r };
  }, JSON.stringify(before), 'no compile result');
  const want = project.native[script];
  if (result.console !== want.console) {
    const a = want.console.split('\n');
    const b = result.console.split('\n');
    let i = 0;
    while (i < a.length && a[i] === b[i]) i++;
    throw new Error(`console differs from vorn's at line ${i + 1}:\n  vorn:       ${JSON.stringify(a.slice(i, i + 3))}` +
      `\n  playground: ${JSON.stringify(b.slice(i, i + 3))}`);
  }
  expect(result.status === want.status, `status ${result.status}, vorn's ${want.status}`);
  const name = script.replace(/^.*\//, '').replace(/\.vs$/, '') + '.bin';
  if (want.output === '') {
    expect(await page.$eval('#download', (b) => b.disabled), 'a download is offered where vorn writes no file');
    return `no file, as vorn (status ${want.status})`;
  }
  await page.click('#download');
  const file = path.join(DOWNLOADS, name);
  // Done when the file is there under its name, with nothing left in progress.
  const done = () => fs.existsSync(file) && !fs.readdirSync(DOWNLOADS).some((f) => f.endsWith('.crdownload')) &&
    fs.statSync(file).size > 0;
  const end = Date.now() + WAIT_MS;
  while (!done() && Date.now() < end) await new Promise((r) => setTimeout(r, 50));
  expect(fs.existsSync(file), 'no ' + name + ' downloaded');
  const bytes = fs.readFileSync(file).toString('hex');
  expect(bytes === want.output, `${name}: ${bytes.length / 2} bytes differ from vorn's ${want.output.length / 2}`);
  return `${want.output.length / 2} bytes and the console as vorn`;
}

(async () => {
  const browser = await connect();
  const cdp = await browser.target().createCDPSession();
  await cdp.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: DOWNLOADS });
  const context = await browser.createBrowserContext();
  await cdp.send('Browser.setDownloadBehavior', {
    behavior: 'allow', downloadPath: DOWNLOADS, browserContextId: context.id,
  });
  page = await openPage(context);
  const figures = {};

  await check('load', async () => {
    const status = await ready();
    figures.readyMs = await page.evaluate(() => window.vornPlayground.readyMs);
    const tabs = await page.$$eval('#tabs .tab', (t) => t.map((x) => x.dataset.path));
    expect(tabs.includes('events.lst') && tabs.includes('command.lst'), 'no list tabs: ' + tabs);
    // One editor shows, the open tab's, and it fills the editor's area.
    const shown = await page.$$eval('#editors .cm-editor', (editors) => editors
      .filter((e) => e.getClientRects().length > 0).map((e) => e.parentElement.dataset.path));
    const active = await page.evaluate(() => window.vornPlayground.active());
    expect(shown.length === 1 && shown[0] === active, `editors shown: ${shown}, open tab ${active}`);
    await shot('loaded');
    return `${status}; tabs ${tabs.join(' ')}`;
  });
  const server = await page.evaluate(() => window.vornPlayground.server());
  await check('the language server runs in the worker', async () => {
    expect(server, 'this build has no language server');
  });

  // The language features, on a project of a top script and an include.
  const lspProject = {
    'events.lst': 'OnStart 1\nOnTouch 2\n',
    'command.lst': 'Wait 10 1\nSay 11 1\nStop 12 0\nSet 14 2\n',
    'main.vs': 'include lib\\/doors.vs\nOnStart:\n    Set(Doors, 2)\n    Wait(Doors)\n',
    'lib/doors.vs': 'defvar Doors 4\n',
  };
  if (server) {
    await load(lspProject, 'main.vs');
    await check('an error is underlined and listed', async () => {
      await clickAt('    Wait(Doors)', 15);
      await page.keyboard.press('End');
      await page.keyboard.type('\n    Wiat(1)');
      const listed = await until(() => {
        const marks = document.querySelectorAll('.editor:not(.hidden) .cm-lintRange-error');
        const panel = document.querySelector('.editor:not(.hidden) .cm-panel-lint');
        return { ok: marks.length > 0 && panel && /Wiat/.test(panel.innerText), value: panel && panel.innerText };
      }, null, 'no underlined error listed');
      await shot('diagnostic');
      return listed.split('\n')[0];
    });
    await check('hover', async () => {
      const at = await clickAt('Wait(Doors)', 6);
      await page.mouse.move(at.x, at.y);
      const text = await until(() => {
        const t = document.querySelector('.cm-tooltip-hover');
        return { ok: !!t && t.innerText.trim() !== '', value: t && t.innerText };
      }, null, 'no hover');
      expect(/Doors/.test(text), 'hover does not name Doors: ' + text);
      return text.replace(/\s+/g, ' ').slice(0, 80);
    });
    await check('completion', async () => {
      await clickAt('    Wiat(1)', 11);
      await page.keyboard.type('\n    Sa');
      const items = await until(() => {
        const t = document.querySelector('.cm-tooltip-autocomplete');
        return { ok: !!t && /Say/.test(t.innerText), value: t && t.innerText };
      }, null, 'no completion of Sa');
      await page.keyboard.press('Escape');
      // The half-typed line goes again, so that the fix below leaves no error.
      await page.evaluate(() => {
        const view = window.vornPlayground.view();
        const line = view.state.doc.lineAt(view.state.selection.main.head);
        view.dispatch({ changes: { from: line.from - 1, to: line.to } });
      });
      return items.replace(/\s+/g, ' ').slice(0, 80);
    });
    await check('rename of a name used in two tabs', async () => {
      await clickAt('Set(Doors', 5);
      await page.keyboard.press('F2');
      const field = await page.waitForSelector('.editor:not(.hidden) .cm-panel input, .editor:not(.hidden) input', { timeout: WAIT_MS });
      await field.click({ clickCount: 3 });
      await field.type('Gates');
      await page.keyboard.press('Enter');
      const files = await until(() => {
        const f = window.vornPlayground.files();
        return { ok: /defvar Gates 4/.test(f['lib/doors.vs']) && /Set\(Gates, 2\)/.test(f['main.vs']), value: f };
      }, null, 'the rename did not reach both tabs');
      expect(!/Doors/.test(files['main.vs'] + files['lib/doors.vs']), 'Doors is left somewhere');
      return 'Doors -> Gates in main.vs and lib/doors.vs';
    });
    await check('signature help', async () => {
      await clickAt('    Wait(Gates)', 15);
      await page.keyboard.type('\n    Set(');
      const text = await until(() => {
        const t = document.querySelector('.cm-lsp-signature-tooltip');
        return { ok: !!t && /Set/.test(t.innerText), value: t && t.innerText };
      }, null, 'no signature for Set(');
      await page.keyboard.press('Escape');
      await page.evaluate(() => {
        const view = window.vornPlayground.view();
        const line = view.state.doc.lineAt(view.state.selection.main.head);
        view.dispatch({ changes: { from: line.from - 1, to: line.to } });
      });
      return text.replace(/\s+/g, ' ').slice(0, 80);
    });
    await check('definition across tabs', async () => {
      await clickAt('Wait(Gates)', 6);
      await page.keyboard.press('F12');
      await until(() => ({ ok: window.vornPlayground.active() === 'lib/doors.vs', value: window.vornPlayground.active() }),
        null, 'F12 on Gates did not open lib/doors.vs');
      const line = await page.evaluate(() => {
        const view = window.vornPlayground.view();
        return view.state.doc.lineAt(view.state.selection.main.head).text;
      });
      expect(/defvar Gates/.test(line), 'the cursor is not on the definition: ' + line);
      return 'lib/doors.vs: ' + line;
    });
    await check('references', async () => {
      await clickAt('defvar Gates', 8);
      await page.keyboard.down('Shift');
      await page.keyboard.press('F12');
      await page.keyboard.up('Shift');
      const text = await until(() => {
        const t = document.querySelector('.editor:not(.hidden) .cm-lsp-reference-panel');
        return { ok: !!t && t.querySelectorAll('.cm-lsp-reference').length >= 3, value: t && t.innerText };
      }, null, 'no panel of the three references to Gates');
      expect(/main\.vs/.test(text) && /doors\.vs/.test(text), 'not both files: ' + text);
      await page.keyboard.press('Escape');
      await page.evaluate(() => window.vornPlayground.activate('main.vs'));
      return text.replace(/\s+/g, ' ').slice(0, 100);
    });
    await check('format', async () => {
      await page.evaluate(() => window.vornPlayground.activate('main.vs'));
      await clickAt('Set(Gates, 2)', 10);
      await page.keyboard.type('   ');
      await clickAt('    Set(Gates');
      await page.keyboard.type('  ');
      const before = await page.evaluate(() => window.vornPlayground.files()['main.vs']);
      expect(/^ {6}Set\(Gates, {4}2\)$/m.test(before), 'the blanks did not go in: ' + before);
      await page.click('#format');
      const text = await until(() => {
        const t = window.vornPlayground.files()['main.vs'];
        return { ok: /^ {4}Set\(Gates, 2\)$/m.test(t), value: t };
      }, null, 'formatting did not lay out the Set line');
      return 'six blanks and four after the comma back to "    Set(Gates, 2)"';
    });
    await check('quick fix', async () => {
      await clickAt('Wiat(1)', 1);
      await page.click('#fix');
      const titles = await until(() => {
        const b = [...document.querySelectorAll('#fixes button')].map((x) => x.textContent);
        return { ok: b.length > 0, value: b };
      }, null, 'no fix offered for Wiat');
      const wait = titles.findIndex((t) => /Wait/.test(t));
      expect(wait >= 0, 'no fix to Wait: ' + titles.join(' | '));
      await page.evaluate((i) => document.querySelectorAll('#fixes button')[i].click(), wait);
      await until(() => {
        const t = window.vornPlayground.files()['main.vs'];
        return { ok: !/Wiat/.test(t) && /    Wait\(1\)/.test(t), value: t };
      }, null, 'the fix did not edit the line');
      await until(() => ({ ok: document.querySelectorAll('.editor:not(.hidden) .cm-lintRange-error').length === 0 }),
        null, 'an error is still underlined after the fix');
      await shot('fixed');
      return titles[wait];
    });
    await check('semantic colouring', async () => {
      const classes = await until(() => {
        const c = [...document.querySelectorAll('.editor:not(.hidden) [class*="sem-"]')].map((e) => e.className);
        return { ok: c.some((x) => /sem-function/.test(x)) && c.some((x) => /sem-variable/.test(x)), value: c };
      }, null, 'no command or variable coloured');
      return [...new Set(classes)].join(' ');
    });
  }

  await check('tabs: add, rename, delete', async () => {
    await load(lspProject, 'main.vs');
    const answers = ['notes/extra.vs', 'notes/more.vs'];
    const onDialog = async (dialog) => { await dialog.accept(answers.shift()); };
    page.on('dialog', onDialog);
    try {
      await page.click('#add-file');
      await until(() => ({ ok: window.vornPlayground.active() === 'notes/extra.vs', value: window.vornPlayground.active() }),
        null, 'no notes/extra.vs tab');
      await page.keyboard.type('defnum Extra 5\n');
      await page.click('#tabs .tab[data-path="notes/extra.vs"]', { clickCount: 2 });
      await until(() => ({ ok: 'notes/more.vs' in window.vornPlayground.files() && !('notes/extra.vs' in window.vornPlayground.files()),
        value: Object.keys(window.vornPlayground.files()) }), null, 'the tab was not renamed');
      const kept = await page.evaluate(() => window.vornPlayground.files()['notes/more.vs']);
      expect(kept === 'defnum Extra 5\n', 'the renamed file lost its text: ' + JSON.stringify(kept));
      await page.click('#tabs .tab[data-path="notes/more.vs"] .close');
      const files = await page.evaluate(() => Object.keys(window.vornPlayground.files()));
      expect(!files.includes('notes/more.vs') && files.length === 4, 'after delete: ' + files);
      return 'notes/extra.vs -> notes/more.vs -> gone';
    } finally {
      page.off('dialog', onDialog);
    }
  });

  // Compile: every example and every generated project, console and bytes as native vorn's.
  for (const project of PROJECTS) {
    for (const script of project.top) {
      await check(`compile ${project.name}/${script}`, async () => {
        if (project.example) {
          // An example is opened from the page's menu, and must hold the files of its folder.
          await page.select('#examples', project.name);
          const files = await page.evaluate(() => window.vornPlayground.files());
          expect(JSON.stringify(Object.keys(files).sort()) === JSON.stringify(Object.keys(project.files).sort()),
            `the menu's ${project.name} holds ${Object.keys(files)}`);
          expect(Object.keys(files).every((f) => files[f] === project.files[f]), `the menu's ${project.name} differs`);
        } else {
          await load(project.files, script);
        }
        return compileAndDownload(project, script);
      });
    }
  }

  await check('listing linked to the source both ways', async () => {
    const demo = PROJECTS[0];
    await load(demo.files, demo.top[0]);
    await page.click('#compile');
    await until(() => ({ ok: document.querySelectorAll('#listing .row').length > 0 }), null, 'no listing');
    const target = await page.evaluate(() => {
      const r = window.vornPlayground.result();
      const i = r.rows.findIndex((row) => row.end > row.begin && row.file === window.vornPlayground.active());
      return { index: i, row: r.rows[i], header: r.header };
    });
    expect(target.index >= 0, 'no row with code in the open file');
    // A line selected in the editor lights its row and its bytes.
    await page.evaluate((line) => {
      const view = window.vornPlayground.view();
      view.dispatch({ selection: { anchor: view.state.doc.line(line).from } });
    }, target.row.line);
    const lit = await page.evaluate(() => window.vornPlayground.highlight());
    const want = [];
    for (let o = target.header + target.row.begin; o < target.header + target.row.end; o++) want.push(o);
    expect(lit.rows.includes(target.index), 'the line did not light its row');
    expect(want.every((o) => lit.bytes.includes(o)), `bytes ${want} not lit: ${lit.bytes}`);
    // What the hex view lights is those bytes of the downloaded file.
    const shownLit = await page.$$eval('#hex .lit', (spans) => spans.map((x) => x.textContent).join(''));
    const file = demo.native[demo.top[0]].output;
    expect(shownLit === file.slice(want[0] * 2, (want[want.length - 1] + 1) * 2),
      `the hex view lights ${shownLit}, the file has ${file.slice(want[0] * 2, (want[want.length - 1] + 1) * 2)} there`);
    // A byte clicked in the hex view lights its line in the editor.
    await page.evaluate(() => window.vornPlayground.view().dispatch({ selection: { anchor: 0 } }));
    const point = await page.evaluate((offset) => {
      const div = document.querySelectorAll('#hex .row')[offset >> 4];
      div.textContent = div.textContent;  // one text node
      const range = document.createRange();
      const column = 6 + 3 * (offset % 16);
      range.setStart(div.firstChild, column);
      range.setEnd(div.firstChild, column + 2);
      div.scrollIntoView({ block: 'nearest' });
      const r = range.getBoundingClientRect();
      return { x: r.left + r.width / 2, y: r.top + r.height / 2 };
    }, want[0]);
    await page.mouse.click(point.x, point.y);
    const line = await page.evaluate(() => {
      const view = window.vornPlayground.view();
      return view.state.doc.lineAt(view.state.selection.main.head).number;
    });
    expect(line === target.row.line, `byte ${want[0]} went to line ${line}, not ${target.row.line}`);
    expect(await page.$$eval('.editor:not(.hidden) .cm-line.lit', (l) => l.length) > 0, 'no line lit in the editor');
    await shot('listing');
    return `line ${target.row.line} <-> bytes ${want[0]}..${want[want.length - 1]}`;
  });

  // The figures: a compile of 5,000 lines, and a keystroke to its diagnostics on 300 lines.
  // Scripts that compile whole, over examples/'s lists, as bench/lsp_bench.py shapes them:
  // definitions, statements under event labels, comments and blank lines; the code area holds
  // a statement for one line in five.
  const script = (n) => {
    const lines = ['; a script of ' + n + ' lines'];
    const variables = Math.min(200, Math.floor(n / 25));
    const constants = Math.floor(n / 5);
    for (let i = 0; i < variables; i++) lines.push(`defvar Var${i} ${(i % 250) + 1}`);
    for (let i = 0; i < constants; i++) lines.push(`defnum Const${i} ${i * 7}`);
    const events = ['OnStart', 'OnTouch', 'OnTimer', 'OnMessage'];
    for (let i = 0; i < constants && lines.length < n - 3; i++) {
      if (i % Math.ceil(constants / 4) === 0) lines.push(events[Math.floor(i / Math.ceil(constants / 4))] + ':');
      lines.push(`    Set(Var${i % variables}, Const${i % constants})`, `; step ${i}`, '');
    }
    while (lines.length < n) lines.push('; padding');
    return lines.join('\n') + '\n';
  };
  const lists = { 'events.lst': PROJECTS[0].files['events.lst'], 'command.lst': PROJECTS[0].files['command.lst'] };
  await check('a 5,000-line compile', async () => {
    await load({ ...lists, 'big.vs': script(5000) }, 'big.vs');
    // The server's first answers for the file (its colours) come first: they are not the compile's.
    if (server) await page.waitForFunction(() => window.vornPlayground.marks['big.vs'] > 0, { timeout: WAIT_MS });
    // The first compile runs on the browser's baseline code; it compiles the module again,
    // optimised, while the page is used. Both are given.
    const runs = [];
    for (let i = 0; i < 3; i++) {
      runs.push(await page.evaluate(async () => {
        const t0 = performance.now();
        const r = await window.vornPlayground.compile();
        await new Promise(requestAnimationFrame);
        return { ms: performance.now() - t0, worker: r.ms, status: r.status, size: r.output.length / 2 };
      }));
    }
    const want = runs[0];
    expect(want.status === 0 && want.size > 0, 'status ' + want.status);
    figures.compile5000 = runs;
    return runs.map((r) => `${r.ms.toFixed(0)} ms (${r.worker.toFixed(0)} in the worker)`).join(', ') +
      ` for ${want.size} bytes`;
  });
  if (server) {
    await check('a keystroke to its diagnostics on 300 lines', async () => {
      await load({ ...lists, 'mid.vs': script(300) }, 'mid.vs');
      await until(() => ({ ok: document.querySelectorAll('.editor:not(.hidden) .cm-lintRange-error').length === 0 }),
        null, 'errors in the 300 lines');
      await page.waitForFunction(() => window.vornPlayground.marks['mid.vs'] > 0, { timeout: WAIT_MS });
      const times = [];
      for (let i = 0; i < 5; i++) {
        await clickAt('    Set(Var3, Const3)', 5);
        const t0 = await page.evaluate(() => performance.now());
        await page.keyboard.type(i % 2 === 0 ? 'x' : 'y');
        const t1 = await page.waitForFunction(() => (
          document.querySelectorAll('.editor:not(.hidden) .cm-lintRange-error').length > 0 ? performance.now() : 0),
        { timeout: WAIT_MS, polling: 'raf' }).then((h) => h.jsonValue());
        times.push(t1 - t0);
        await page.keyboard.press('Backspace');
        await page.waitForFunction(() => document.querySelectorAll('.editor:not(.hidden) .cm-lintRange-error').length === 0,
          { timeout: WAIT_MS, polling: 'raf' });
      }
      times.sort((a, b) => a - b);
      figures.keystrokeMs = times[Math.floor(times.length / 2)];
      return `median ${figures.keystrokeMs.toFixed(0)} ms of ${times.map((t) => t.toFixed(0)).join(', ')}`;
    });
  }

  await check('permalink opened in a fresh page', async () => {
    const demo = PROJECTS[1] || PROJECTS[0];
    await load(demo.files, demo.top[demo.top.length - 1]);
    await page.evaluate(() => window.vornPlayground.activate('events.lst'));
    await page.click('#permalink');
    const link = await until(() => ({ ok: location.hash.startsWith('#p='), value: location.href }), null, 'no permalink');
    const want = await page.evaluate(() => window.vornPlayground.files());
    // A context of its own: nothing of the first page's storage.
    const fresh = await browser.createBrowserContext();
    const other = await fresh.newPage();
    await other.setViewport({ width: 1400, height: 900 });
    await other.goto(link);
    const saved = page;
    page = other;
    try {
      await ready();
      const got = await page.evaluate(() => ({ files: window.vornPlayground.files(), active: window.vornPlayground.active() }));
      expect(JSON.stringify(got.files) === JSON.stringify(want), 'the files differ: ' + Object.keys(got.files).join(' '));
      expect(got.active === 'events.lst', 'the open tab is ' + got.active);
      await shot('permalink');
    } finally {
      page = saved;
      await fresh.close();
    }
    return `${Object.keys(want).length} files in ${link.length} characters`;
  });

  const sizes = {};
  const site = new URL('.', PAGE_URL);
  for (const name of ['index.html', 'main.js', 'worker.js', 'style.css', 'vorn.js', 'vorn.wasm', 'examples.json']) {
    const response = await fetch(new URL(name, site));
    sizes[name] = (await response.arrayBuffer()).byteLength;
  }
  figures.sizes = sizes;
  figures.totalBytes = Object.values(sizes).reduce((a, b) => a + b, 0);
  console.log('figures: ' + JSON.stringify(figures));
  fs.writeFileSync(path.join(WORK, 'figures.json'), JSON.stringify(figures, null, 2));
  await check('sizes', async () => {
    expect(figures.totalBytes <= 1.5 * 1024 * 1024, `${figures.totalBytes} bytes sent, over 1.5 MB`);
    return `${figures.totalBytes} bytes in all`;
  });
  await context.close();
  browser.disconnect();
  process.exit(failed() ? 1 : 0);
})().catch(async (error) => {
  console.log('FAIL the driver: ' + (error && error.stack ? error.stack : error));
  process.exit(1);
});
