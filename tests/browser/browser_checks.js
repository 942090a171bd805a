// What the browser tests' drivers share (playground_ui.js, vscode_ui.js): the connection to
// the Chromium that browser_run.py started, and checks that print one line each, poll the page
// and keep a screenshot of what a failed check saw.
'use strict';

const fs = require('fs');
const path = require('path');

// puppeteer-core from where the test found it, connected to the browser it started
// (VORN_PUPPETEER and VORN_BROWSER).
async function connect(options = {}) {
  const puppeteer = require(process.env.VORN_PUPPETEER);
  return puppeteer.connect({ browserWSEndpoint: process.env.VORN_BROWSER, ...options });
}

// The checks of one driver: shots is the folder for screenshots, page() the page being
// checked now, waitMs how long until() polls at most and pollMs how often.
function checks({ shots, page, waitMs, pollMs }) {
  let failed = 0;

  async function shot(name) {
    try {
      fs.mkdirSync(shots, { recursive: true });
      const file = path.join(shots, name + '.png');
      await page().screenshot({ path: file });
      console.log('  screenshot: ' + file);
    } catch (error) {
      console.log('  no screenshot: ' + error.message);
    }
  }

  // Runs one check: what() returns a description of what it saw, or throws.
  async function check(name, what) {
    try {
      const seen = await what();
      console.log('ok   ' + name + (seen ? ': ' + seen : ''));
    } catch (error) {
      failed++;
      console.log('FAIL ' + name + ': ' + (error && error.message ? error.message : error));
      await shot('failed-' + name.replace(/[^A-Za-z0-9]+/g, '-'));
    }
  }

  // Polls fn in the page until it returns {ok: true, value}; throws with the last value seen.
  async function until(fn, arg, description, ms = waitMs) {
    const end = Date.now() + ms;
    let last;
    while (Date.now() < end) {
      last = await page().evaluate(fn, arg);
      if (last && last.ok) return last.value;
      await new Promise((resolve) => setTimeout(resolve, pollMs));
    }
    throw new Error(description + '; saw ' + JSON.stringify(last && last.value));
  }

  return { shot, check, until, failed: () => failed };
}

module.exports = { connect, checks };
