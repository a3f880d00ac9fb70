// Times conversions in headless Chromium, on the site opened from disk:
// through the scripting hook (first call, with the worker's start, and the
// median of the calls after it) and through the page (a control changed
// until the result is shown). See bench/web.sh.
//
//   node bench/web.js SITE_DIR RUNS FILE...
'use strict';
const fs = require('fs');
const path = require('path');
const { launch, close, median } = require('./chromium');

const [siteDir, runsText, ...files] = process.argv.slice(2);
const runs = Number(runsText);

(async () => {
  const browser = await launch();
  const results = [];
  for (const file of files) {
    // A fresh tab per file, so that each first call starts its own worker.
    const page = await browser.newPage();
    await page.goto('file://' + path.resolve(siteDir, 'index.html'));
    await page.waitForFunction(() => window.midi2varn);
    const name = path.basename(file);
    const hook = await page.evaluate(async (base64, name, runs) => {
      const bytes = Uint8Array.from(atob(base64), (ch) => ch.charCodeAt(0));
      const times = [];
      for (let i = 0; i <= runs; ++i) {
        const start = performance.now();
        const run = await window.midi2varn.convert(bytes, [name]);
        times.push(performance.now() - start);
        if (run.status !== 0)
          throw new Error(run.console);
      }
      return times;
    }, fs.readFileSync(file).toString('base64'), name, runs);

    // The page: pick the file, then switch -e on and off; each change is
    // timed from the control's change to the result on show.
    await (await page.$('#file')).uploadFile(path.resolve(file));
    await page.waitForFunction(() => document.querySelectorAll('#tunes .tune').length > 0 &&
                               document.getElementById('busy').hidden, { timeout: 120000 });
    const pageTimes = [];
    for (let i = 0; i < runs; ++i) {
      pageTimes.push(await page.evaluate(() => new Promise((resolve) => {
        const busy = document.getElementById('busy');
        const start = performance.now();
        const observer = new MutationObserver(() => {
          if (busy.hidden) {
            observer.disconnect();
            // The result is in the document; let the browser lay it out.
            requestAnimationFrame(() => resolve(performance.now() - start));
          }
        });
        observer.observe(busy, { attributes: true });
        const box = document.getElementById('opt-e');
        box.checked = !box.checked;
        box.dispatchEvent(new Event('change', { bubbles: true }));
      })));
    }
    results.push({ name, first: hook[0], hook: median(hook.slice(1)), page: median(pageTimes) });
    await page.close();
  }
  await close(browser);
  console.log(JSON.stringify(results));
})().catch((error) => {
  console.error(error);
  process.exit(1);
});
