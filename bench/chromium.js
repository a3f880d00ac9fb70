// Shared by the browser benchmarks: headless Chromium started as the tests
// start it (no background traffic, a fresh profile, no sandbox as root), and
// the median of a list of timings.
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const puppeteer = require(path.join(__dirname, '..', 'tests', 'web', 'node_modules', 'puppeteer-core'));

const profiles = new WeakMap();

// Starts Debian's chromium (or $CHROMIUM) headless with a profile of its own.
exports.launch = async () => {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'midi2varn-bench-'));
  const browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    args: [
      ...(process.getuid && process.getuid() === 0 ? ['--no-sandbox'] : []),
      '--disable-background-networking', '--disable-component-update', '--disable-sync', '--disable-quic',
      '--no-first-run', '--disable-gpu', `--user-data-dir=${profile}`,
    ],
  });
  profiles.set(browser, profile);
  return browser;
};

// Closes the browser, then removes its profile.
exports.close = async (browser) => {
  await browser.close();
  fs.rmSync(profiles.get(browser), { recursive: true, force: true });
};

// The median of `values` (the mean of the two middle ones for an even count).
exports.median = (values) => {
  const sorted = [...values].sort((a, b) => a - b);
  const middle = sorted.length >> 1;
  return sorted.length % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
};
