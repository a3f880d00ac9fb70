// Times the page in headless Chromium, on the site opened from disk: from
// choosing a file until the page says it is ready (document.body.dataset.state
// "ready": blocks, summary, report summary and the roll's first view on
// show), the first time in a fresh tab and the median of the times after it,
// with the page's JS heap after the last. See bench/web.sh.
//
//   node bench/ready.js SITE_DIR RUNS FILE...
'use strict';
const path = require('path');
const { launch, close, median } = require('./chromium');

const [siteDir, runsText, ...files] = process.argv.slice(2);
const runs = Number(runsText);

// Chooses `file` on the page and gives the milliseconds until it is ready.
async function timeChoice(page, file) {
  await page.evaluate(() => {
    window.benchDone = null;
    document.getElementById('file').addEventListener('change', () => {
      window.benchStart = performance.now();
      const observer = new MutationObserver(() => {
        if (document.body.dataset.state === 'ready') {
          observer.disconnect();
          window.benchDone = performance.now() - window.benchStart;
        }
      });
      observer.observe(document.body, { attributes: true, attributeFilter: ['data-state'] });
    }, { once: true, capture: true });
  });
  await (await page.$('#file')).uploadFile(path.resolve(file));
  await page.waitForFunction(() => window.benchDone !== null, { timeout: 600000, polling: 50 });
  return page.evaluate(() => window.benchDone);
}

(async () => {
  const browser = await launch();
  const results = [];
  for (const file of files) {
    const page = await browser.newPage();
    await page.goto('file://' + path.resolve(siteDir, 'index.html'));
    await page.waitForFunction(() => window.midi2varn);
    const times = [];
    for (let i = 0; i <= runs; ++i)
      times.push(await timeChoice(page, file));
    const metrics = await page.metrics();
    results.push({ name: path.basename(file), first: times[0], median: median(times.slice(1)),
                   heapMB: metrics.JSHeapUsedSize / 1048576 });
    await page.close();
  }
  await close(browser);
  console.log(JSON.stringify(results));
})().catch((error) => {
  console.error(error);
  process.exit(1);
});
