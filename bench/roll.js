// Times the piano roll in headless Chromium, on the site opened from disk:
// for each file, the redraw of every channel's roll (the canvas work the
// roll measures itself, in #lanes' data-draw-ms) with the whole song in
// view, after zooming in to about eight bars, and while scrolling through
// the song in 100 steps; and for the steps, the time from the scroll to the
// frame that shows it. See bench/roll.sh.
//
//   node bench/roll.js SITE_DIR RUNS FILE...
'use strict';
const fs = require('fs');
const path = require('path');
const { launch, close, median } = require('./chromium');

const [siteDir, runsText, ...files] = process.argv.slice(2);
const runs = Number(runsText);

// In the page: moves the position slider to `value` and waits for the
// frame after the roll's redraw; gives the redraw's time (drawing and
// rasterising) and the time from the move to that frame.
async function step(page, value) {
  return page.evaluate((value) => new Promise((resolve) => {
    const slider = document.getElementById('roll-position');
    const lanes = document.getElementById('lanes');
    const start = performance.now();
    delete lanes.dataset.drawMs;
    slider.value = String(value);
    slider.dispatchEvent(new Event('input', { bubbles: true }));
    const wait = () => {
      if (lanes.dataset.drawMs === undefined) {
        requestAnimationFrame(wait);
        return;
      }
      // Reading a pixel makes the canvases rasterise what was drawn now.
      const flushed = performance.now();
      for (const canvas of lanes.querySelectorAll('canvas'))
        canvas.getContext('2d').getImageData(0, 0, 1, 1);
      const raster = performance.now() - flushed;
      requestAnimationFrame(() => resolve({ draw: Number(lanes.dataset.drawMs) + raster,
                                            frame: performance.now() - start }));
    };
    requestAnimationFrame(wait);
  }), value);
}

(async () => {
  const browser = await launch();
  const results = [];
  for (const file of files) {
    const page = await browser.newPage();
    await page.setViewport({ width: 1280, height: 900 });
    await page.goto('file://' + path.resolve(siteDir, 'index.html'));
    await page.waitForFunction(() => window.midi2varn);
    await (await page.$('#file')).uploadFile(path.resolve(file));
    await page.waitForFunction(() => !document.getElementById('listen').hidden &&
      Array.from(document.querySelectorAll('#lanes canvas')).every((c) => c.dataset.tuneNotes) &&
      document.getElementById('busy').hidden, { timeout: 300000 });
    const facts = await page.$$eval('#lanes canvas', (canvases) => ({
      channels: canvases.length,
      notes: canvases.reduce((sum, c) => sum + Number(c.dataset.tuneNotes) + Number(c.dataset.sourceNotes), 0),
    }));

    const whole = [];
    for (let i = 0; i < runs; ++i)
      whole.push((await step(page, 0)).draw);

    // About eight bars in view.
    for (let i = 0; i < 5; ++i)
      await page.click('#zoom-in');
    const zoomed = [];
    for (let i = 0; i < runs; ++i)
      zoomed.push((await step(page, 500)).draw);
    const inView = await page.$$eval('#lanes canvas', (canvases) =>
      canvases.reduce((sum, c) => sum + Number(c.dataset.tuneNotes) + Number(c.dataset.sourceNotes), 0));

    const scroll = [];
    for (let value = 0; value <= 1000; value += 10)
      scroll.push(await step(page, value));
    results.push({
      name: path.basename(file), ...facts, inView,
      whole: median(whole), wholeMax: Math.max(...whole),
      zoomed: median(zoomed), zoomedMax: Math.max(...zoomed),
      scrollDraw: median(scroll.map((s) => s.draw)), scrollDrawMax: Math.max(...scroll.map((s) => s.draw)),
      scrollFrame: median(scroll.map((s) => s.frame)), scrollFrameMax: Math.max(...scroll.map((s) => s.frame)),
    });
    await page.close();
  }
  await close(browser);
  const f = (ms) => ms.toFixed(1).padStart(6);
  console.log('file                 channels  notes |  whole song   | ~8 bars in view       | scrolling: redraw, frame');
  for (const r of results)
    console.log(r.name.padEnd(20) + String(r.channels).padStart(9) + String(r.notes).padStart(7) + ' | ' +
                f(r.whole) + ' /' + f(r.wholeMax) + ' | ' + f(r.zoomed) + ' /' + f(r.zoomedMax) +
                (' (' + r.inView + ')').padEnd(8) + ' | ' + f(r.scrollDraw) + ' /' + f(r.scrollDrawMax) + ', ' +
                f(r.scrollFrame) + ' /' + f(r.scrollFrameMax));
  console.log('milliseconds, median / largest; notes: those of the tunes and of the file, all channels');
})().catch((error) => {
  console.error(error);
  process.exit(1);
});
