// The site in headless Chromium, opened from disk with the browser's own
// file-access rules, as a player opens it: the scripting hook against the
// native programs, the page's controls and results, Copy and Download, broken
// files, a large file, a phone-sized screen and the keyboard; the piano roll,
// its sound and the departure report; and no network request. Screenshots
// go to SHOTS_DIR.
//
//   node browser.js SITE_DIR NATIVE_EXE MAKE_BENCH_MIDI SOURCE_DIR SHOTS_DIR
//
// Needs puppeteer-core (npm ci in this folder) and Chromium (Debian:
// chromium; another one with CHROMIUM=/path); skips without them, but
// fails in CI (CI set).
'use strict';
const assert = require('assert');
const childProcess = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { runNative, runPreview, runAgainst, difference } = require('./native.js');

const [siteDir, nativeExe, benchGenerator, sourceDir, shotsDir] = process.argv.slice(2);
if (!shotsDir) {
  console.error('usage: node browser.js SITE_DIR NATIVE_EXE MAKE_BENCH_MIDI SOURCE_DIR SHOTS_DIR');
  process.exit(2);
}

// Without the tools the test is skipped, except in CI, where it must run.
function missing(what) {
  console.log(`${process.env.CI ? 'Missing' : 'Skipped'}: ${what}`);
  process.exit(process.env.CI ? 1 : 0);
}
let puppeteer;
try {
  puppeteer = require('puppeteer-core');
} catch (error) {
  missing('puppeteer-core is not installed (run npm ci in tests/web).');
}
const chromium = [process.env.CHROMIUM, '/usr/bin/chromium', '/usr/bin/chromium-browser']
  .find((candidate) => candidate && fs.existsSync(candidate));
if (!chromium)
  missing('no Chromium found (Debian: apt-get install chromium; or set CHROMIUM).');

const wait = 30000;
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'midi2varn-browser-'));
const downloads = path.join(work, 'downloads');
fs.mkdirSync(downloads);
fs.mkdirSync(shotsDir, { recursive: true });
const site = path.resolve(siteDir);
const pageUrl = 'file://' + path.join(site, 'index.html');
const examplePath = path.join(sourceDir, 'examples', 'example.mid');
const example = fs.readFileSync(examplePath);
const varn2midi = path.join(path.dirname(nativeExe), 'varn2midi');

// Test files: not MIDI, empty, cut short, and a large generated one.
const files = {
  broken: path.join(work, 'broken.mid'),
  empty: path.join(work, 'empty.mid'),
  truncated: path.join(work, 'truncated.mid'),
  large: path.join(work, 'large.mid'),
  dense: path.join(work, 'dense.mid'),
  band: path.join(work, 'band.mid'),
};
fs.writeFileSync(files.broken, 'Not a MIDI file at all.\n');
fs.writeFileSync(files.empty, '');
fs.writeFileSync(files.truncated, example.subarray(0, example.length - 40));
childProcess.execFileSync(benchGenerator, ['100000', '1', files.large]);
childProcess.execFileSync(benchGenerator, ['10000', '1', files.dense]);
// Six channels: five pitched parts and the drums.
childProcess.execFileSync(benchGenerator, ['3000', '1', files.band, '6']);

const native = (args, name, file) => runNative(nativeExe, args, name, file === undefined ? examplePath : file);
// The macro blocks of an output file, one per channel.
const blocksOf = (text) => text.toString().split(/(?="\/playthis")/).filter(Boolean);

const tests = [];
const test = (name, body) => tests.push({ name, body });
const requests = [];
const pageErrors = [];

// A fresh tab with the page; its requests are logged as made during or
// after its load.
async function openPage(browser, viewport) {
  const page = await browser.newPage();
  let loaded = false;
  page.on('request', (request) => requests.push({ url: request.url(), afterLoad: loaded }));
  page.on('pageerror', (error) => pageErrors.push(error.message));
  page.on('console', (message) => {
    if (message.type() === 'error')
      pageErrors.push(message.text());
  });
  await page.setViewport(viewport);
  const cdp = await page.createCDPSession();
  await cdp.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads });
  await page.goto(pageUrl, { waitUntil: 'load' });
  await page.waitForFunction(() => window.midi2varn && window.midi2varn.switches);
  loaded = true;
  return page;
}

async function pick(page, file) {
  const input = await page.$('#file');
  await input.uploadFile(file);
}

// Waits until the result shown is of the command line `line` and the page
// is no longer busy.
async function resultFor(page, line) {
  await page.waitForFunction((expected) =>
    document.getElementById('command-line').textContent === expected &&
    document.getElementById('busy').hidden &&
    !/^Choose/.test(document.getElementById('status').textContent) &&
    document.getElementById('console').textContent.length > 0, { timeout: wait }, line);
}

const blocksShown = (page) => page.$$eval('#tunes .tune', (tunes) => tunes.map((tune) => ({
  title: tune.querySelector('h3').textContent,
  block: tune.querySelector('pre').textContent,
  size: tune.querySelector('.tune-size').textContent,
  status: tune.querySelector('.tune-status').textContent,
})));

const text = (page, selector) => page.$eval(selector, (node) => node.textContent);

// Waits until the roll of the result on show is drawn; gives each
// channel's lane: its number, playhead, notes sounded since Play, and its
// canvas's drawing (counts and geometry, as numbers).
async function rollShown(page) {
  await page.waitForFunction(() => !document.getElementById('listen').hidden &&
    document.querySelectorAll('#lanes canvas').length > 0 &&
    Array.from(document.querySelectorAll('#lanes canvas')).every((canvas) => canvas.dataset.tuneNotes), { timeout: wait });
  return lanes(page);
}

const lanes = (page) => page.$$eval('#lanes .lane', (boxes) => boxes.map((box) => {
  const drawing = {};
  for (const [key, value] of Object.entries(box.querySelector('canvas').dataset))
    drawing[key] = Number(value);
  return { channel: Number(box.dataset.channel), playhead: box.dataset.playhead,
           sounded: Number(box.dataset.sounded || 0), ...drawing };
}));

// The point of the page where a lane draws `pitch` at `tick` (a little
// into the note), and the colour of the canvas there.
const pointOf = (page, channel, tick, pitch) => page.evaluate((channel, tick, pitch) => {
  const canvas = document.querySelector(`#lane-${channel} canvas`);
  const d = canvas.dataset;
  const x = Number(d.gutter) + (tick - Number(d.firstTick)) / Number(d.ticksPerPixel) + 4;
  const y = Number(d.ruler) + (Number(d.topPitch) - pitch + 0.4) * Number(d.rowHeight);
  const ratio = canvas.width / canvas.clientWidth;
  const [r, g, b] = canvas.getContext('2d').getImageData(Math.round(x * ratio), Math.round(y * ratio), 1, 1).data;
  const box = canvas.getBoundingClientRect();
  return { x: box.left + x, y: box.top + y, colour: `rgb(${r}, ${g}, ${b})` };
}, channel, tick, pitch);

const transport = (page) => page.$eval('#transport', (node) => ({ ...node.dataset }));

async function downloaded(name, before) {
  const file = path.join(downloads, name);
  for (let i = 0; i < 100; ++i) {
    if (fs.existsSync(file) && fs.statSync(file).mtimeMs > before)
      return fs.readFileSync(file);
    await new Promise((resolve) => setTimeout(resolve, 100));
  }
  throw new Error('no download of ' + name);
}

(async () => {
  const browser = await puppeteer.launch({
    executablePath: chromium,
    headless: true,
    args: [
      ...(process.getuid && process.getuid() === 0 ? ['--no-sandbox'] : []),
      // Sound may start without a click (the tests click, but not as a person).
      '--autoplay-policy=no-user-gesture-required',
      '--disable-background-networking', '--disable-component-update', '--disable-sync', '--disable-quic',
      '--no-first-run', '--disable-gpu', `--user-data-dir=${path.join(work, 'profile')}`,
    ],
  });
  const cdp = await browser.target().createCDPSession();
  await cdp.send('Browser.grantPermissions', { permissions: ['clipboardReadWrite', 'clipboardSanitizedWrite'] });
  const page = await openPage(browser, { width: 1280, height: 900 });

  test('loads from file:// with nothing but its own files', async () => {
    assert.strictEqual(await page.evaluate(() => location.protocol), 'file:');
    assert.strictEqual(await page.title(), 'midi2varn: MIDI to Varnholt tune macros');
    // The page's own files (those index.html names; site.test.js holds
    // their list), and its worker from a Blob URL.
    const html = fs.readFileSync(path.join(site, 'index.html'), 'utf8');
    const named = [...html.matchAll(/<(?:script|link)\b[^>]*\b(?:src|href)="([^"]*)"/g)].map((m) => m[1]);
    assert.ok(named.length >= 10, named.join(' '));
    const atLoad = requests.filter((r) => !r.afterLoad).map((r) => r.url).sort();
    assert.deepStrictEqual(atLoad.filter((url) => !url.startsWith('blob:')),
      ['index.html', ...named].map((name) => 'file://' + path.join(site, name)).sort());
  });

  test('the hook answers as the program does, byte for byte', async () => {
    const cases = [
      { args: ['example.mid'] }, { args: ['-p', '3', '-e', 'example.mid'] }, { args: ['-v', '9', 'example.mid', '-'] },
      { args: ['-m', 'all', '-p', '4', 'example.mid', 'both.txt'] }, { args: ['-h'] }, { args: ['-x', 'example.mid'] },
      { args: ['example.txt'], name: 'example.txt' }, { args: ['missing.mid'], name: 'missing.mid', file: null },
      { args: ['broken.mid'], name: 'broken.mid', file: files.broken },
      { args: ['empty.mid'], name: 'empty.mid', file: files.empty },
      { args: ['-v', '7', 'truncated.mid'], name: 'truncated.mid', file: files.truncated },
    ];
    const corpus = path.join(sourceDir, '..', 'shared', 'midi-corpus', 'Valid');
    const walk = (dir) => fs.readdirSync(dir, { withFileTypes: true }).sort((a, b) => (a.name < b.name ? -1 : 1))
      .flatMap((entry) => (entry.isDirectory() ? walk(path.join(dir, entry.name))
        : entry.isFile() ? [path.join(dir, entry.name)] : []));
    if (fs.existsSync(corpus))
      for (const file of walk(corpus))
        cases.push({ args: [path.basename(file)], name: path.basename(file), file });
    else
      console.log('  corpus absent: the hook is compared on the example and test files only');
    const problems = [];
    for (const c of cases) {
      const name = c.name || 'example.mid';
      const file = c.file === undefined ? examplePath : c.file;
      const expected = native(c.args, name, file);
      const got = await page.evaluate(async (base64, args) => {
        const bytes = base64 === null ? null : Uint8Array.from(atob(base64), (ch) => ch.charCodeAt(0));
        const run = await window.midi2varn.convert(bytes, args, { bytes: true });
        const pack = (array) => btoa(Array.from(array, (b) => String.fromCharCode(b)).join(''));
        return { status: run.status, console: run.console, errors: run.errors, text: run.text,
                 bytes: { console: pack(run.bytes.console), errors: pack(run.bytes.errors), text: pack(run.bytes.text) } };
      }, file === null ? null : fs.readFileSync(file).toString('base64'), c.args);
      const decoded = (buffer) => new TextDecoder().decode(buffer);
      const found = [
        got.status === expected.status ? '' : `status ${got.status}, native ${expected.status}`,
        ...['console', 'errors', 'text'].map((part) =>
          difference(part, Buffer.from(got.bytes[part], 'base64'), expected[part]) ||
          (got[part] === decoded(expected[part]) ? '' : part + ' as text differs')),
      ].filter(Boolean);
      if (found.length)
        problems.push(`midi2varn ${c.args.join(' ')}: ${found.join('\n')}`);
    }
    console.log(`  ${cases.length} runs compared`);
    assert.deepStrictEqual(problems, []);
  });

  test('every switch of the usage text has a control, and every control a label', async () => {
    const usage = (await page.evaluate(() => window.midi2varn.convert(new Uint8Array(0), ['-h']))).console;
    const letters = [...new Set([...usage.matchAll(/^ {2}-([A-Za-z])\b/gm)].map((m) => m[1]))];
    const controls = await page.$$eval('[data-switch]', (nodes) => nodes.map((node) => node.dataset.switch));
    assert.ok(letters.length >= 12);
    assert.deepStrictEqual(letters.filter((letter) => !controls.includes(letter)), []);
    const unlabelled = await page.$$eval('input, select, button, output', (nodes) => nodes.filter((node) => {
      const named = node.getAttribute('aria-label') || (node.labels && node.labels.length) ||
        (node.tagName === 'BUTTON' && node.textContent.trim());
      return !named;
    }).map((node) => node.id || node.outerHTML.slice(0, 60)));
    assert.deepStrictEqual(unlabelled, []);
    // -h is a button that shows the program's usage text.
    await page.click('#usage-button');
    await page.waitForFunction(() => document.getElementById('usage').textContent.length > 0);
    assert.strictEqual(await text(page, '#usage'), usage);
    assert.match(usage, /^MIDI-to-VARN converter .*\nUsage: midi2varn \[OPTIONS\]/);
    await page.click('#usage-button');
  });

  let defaultBlocks;
  test('picking the example shows the file and one block per channel', async () => {
    await pick(page, examplePath);
    await resultFor(page, 'midi2varn example.mid');
    const expected = native(['example.mid'], 'example.mid');
    defaultBlocks = blocksOf(expected.text);
    const shown = await blocksShown(page);
    assert.deepStrictEqual(shown.map((tune) => tune.title), ['Channel 1', 'Channel 2']);
    assert.deepStrictEqual(shown.map((tune) => tune.block), defaultBlocks);
    assert.match(shown[0].size, /^42 characters · macro parts: 1 of 5/);
    assert.match(shown[0].status, /Converted without changes/);
    assert.match(await text(page, '#status'), /^Converted: 2 channels\. Ready to copy, or to download as example\.txt\.$/);
    assert.strictEqual(await text(page, '#console'), expected.console.toString());
    assert.ok(await page.$eval('#console .level-4', (node) => node.textContent.startsWith('Output: ')));
    // Notes and tempo as the program itself reads them at -v 6.
    const trace = native(['-v', '6', 'example.mid'], 'example.mid').console.toString();
    const notes = {};
    for (const m of trace.matchAll(/Note \d+\(\d+\) on on channel (\d+)/g))
      notes[m[1]] = (notes[m[1]] || 0) + 1;
    const tempos = [...trace.matchAll(/Tempo is ([\d.]+)/g)].map((m) => Math.round(Number(m[1])));
    assert.strictEqual(await text(page, '#channels-found'),
      `Channels: 1 (${notes[1]} notes), 2 (${notes[2]} notes).`);
    assert.strictEqual(await text(page, '#tempo'),
      `Tempo: ${tempos[0]} beats per minute at the start, then ${tempos.length - 1} change.`);
    await page.screenshot({ path: path.join(shotsDir, 'desktop-example.png'), fullPage: true });
  });

  test('the roll shows as many tune notes as the read-back gives, over the file\'s notes', async () => {
    const shown = await rollShown(page);
    const macro = native(['example.mid'], 'example.mid').text.toString();
    const preview = runPreview(varn2midi, macro);
    const hook = await page.evaluate((macro) => window.midi2varn.preview(macro), macro);
    assert.deepStrictEqual(shown.map((lane) => lane.channel), [1, 2]);
    // The whole song is in view: every note is drawn.
    assert.deepStrictEqual(shown.map((lane) => lane.tuneNotes), preview.tracks.slice(1).map((t) => t.starts.length));
    assert.deepStrictEqual(shown.map((lane) => lane.tuneNotes), hook.map((block) => block.notes.length));
    assert.deepStrictEqual(shown.map((lane) => lane.sourceNotes), [30, 48]);
    assert.deepStrictEqual(hook.map((block) => block.channel), [1, 2]);
    // The hook refuses only what is not a string.
    assert.strictEqual(await page.evaluate(() => window.midi2varn.preview(42).then(() => 'resolved',
      (error) => error.constructor.name)), 'TypeError');
    const bare = await page.evaluate(() => window.midi2varn.preview('CDx'));
    assert.deepStrictEqual(bare.map((block) => [block.channel, block.notes.length, block.warnings]),
                           [[null, 2, ["1:3: error: unexpected 'x' ignored"]]]);
    // Each channel's report: the summary line of varn2midi --against.
    const report = runAgainst(varn2midi, examplePath, [], macro);
    assert.deepStrictEqual(await page.$$eval('.departure-summary', (nodes) => nodes.map((node) => node.textContent)),
                           report.split('\n').filter((line) => line.startsWith('channel ')));
    await (await page.$('#listen')).screenshot({ path: path.join(shotsDir, 'roll-example.png') });
  });

  test('Play starts the sound and moves the playhead; Stop, then one channel alone', async () => {
    await page.click('#play-tune');
    await page.waitForFunction(() => document.getElementById('transport').dataset.audio === 'running' &&
      document.getElementById('transport').dataset.state === 'playing', { timeout: wait });
    await page.waitForFunction(() => Number(document.getElementById('lane-1').dataset.playhead) > 0);
    const before = Number((await lanes(page))[0].playhead);
    // 100 beats a minute: 160 ticks a second.
    await page.waitForFunction((at) => Number(document.getElementById('lane-1').dataset.playhead) > at + 40,
                               { timeout: wait }, before);
    assert.strictEqual(await page.$eval('#play-tune', (button) => button.textContent), 'Pause');
    let shown = await lanes(page);
    assert.ok(shown.every((lane) => lane.sounded > 0), JSON.stringify(shown));
    await page.click('#stop');
    assert.strictEqual((await transport(page)).state, 'stopped');
    assert.deepStrictEqual((await lanes(page)).map((lane) => lane.playhead), ['', '']);

    await page.click('#lane-2 .lane-solo');
    assert.strictEqual(await page.$eval('#lane-2 .lane-solo', (b) => b.getAttribute('aria-pressed')), 'true');
    await page.click('#play-tune');
    await page.waitForFunction(() => Number(document.getElementById('lane-2').dataset.sounded) >= 6 &&
      Number(document.getElementById('lane-2').dataset.playhead) > 100, { timeout: wait });
    shown = await lanes(page);
    assert.strictEqual(shown[0].sounded, 0, JSON.stringify(shown));
    assert.ok(await page.$eval('#lane-1', (lane) => lane.classList.contains('muted')));
    // The MIDI file's own notes, from the same place.
    const tick = Number(shown[1].playhead);
    await page.click('#play-midi');
    assert.strictEqual(await page.$eval('#play-midi', (button) => button.getAttribute('aria-pressed')), 'true');
    await page.waitForFunction(() => Number(document.getElementById('lane-2').dataset.sounded) > 0, { timeout: wait });
    assert.ok(Number((await lanes(page))[1].playhead) >= tick - 1);
    await page.click('#play-midi');
    assert.strictEqual((await transport(page)).state, 'paused');
    await page.click('#stop');
    await page.click('#lane-2 .lane-solo');
    assert.ok(!(await page.$eval('#lane-1', (lane) => lane.classList.contains('muted'))));
  });

  test('Copy puts exactly the channel\'s block on the clipboard', async () => {
    const buttons = await page.$$('#tunes .tune .copy');
    await buttons[1].click();
    await page.waitForFunction(() => document.querySelectorAll('#tunes .copy')[1].textContent === 'Copied');
    assert.strictEqual(await page.evaluate(() => navigator.clipboard.readText()), defaultBlocks[1]);
    await page.click('#copy-command');
    await page.waitForFunction(() => document.getElementById('copy-command').textContent === 'Copied');
    assert.strictEqual(await page.evaluate(() => navigator.clipboard.readText()), 'midi2varn example.mid');
  });

  test('changing the polyphony converts again with the new switch', async () => {
    await page.type('#opt-p', '1');
    await resultFor(page, 'midi2varn -p 1 example.mid');
    const expected = native(['-p', '1', 'example.mid'], 'example.mid');
    const shown = await blocksShown(page);
    assert.deepStrictEqual(shown.map((tune) => tune.block), blocksOf(expected.text));
    assert.notStrictEqual(shown[1].block, defaultBlocks[1]);
    assert.match(await text(page, '#console'), /Setting polyphony of all channels to 1\./);
    await page.screenshot({ path: path.join(shotsDir, 'desktop-polyphony.png') });
  });

  test('dropped notes show in the legend\'s colour, say why, and the report leads to them', async () => {
    await rollShown(page);
    const macro = native(['-p', '1', 'example.mid'], 'example.mid').text.toString();
    const report = runAgainst(varn2midi, examplePath, ['-p', '1'], macro).split('\n');
    // The report of channel 2, opened: varn2midi's lines, with words.
    await page.click('#tune-2 .departure-details summary');
    await page.waitForFunction(() => document.querySelectorAll('#tune-2 .departure').length > 0, { timeout: wait });
    const listed = await page.$$eval('#tune-2 .departure', (buttons) => buttons.map((b) => b.querySelector('code').textContent));
    const channel2 = report.slice(report.findIndex((line) => line.startsWith('channel 2:')) + 1)
      .filter((line) => line.startsWith('  ')).map((line) => line.trim());
    assert.deepStrictEqual(listed, channel2);
    assert.strictEqual(listed[0], '1:1 dropped C3 (polyphony)');
    // C3 at the first beat: dropped, in the legend's colour.
    await page.$eval('#lane-2', (lane) => lane.scrollIntoView());
    const point = await pointOf(page, 2, 0, 48);
    const legend = await page.$eval('.swatch-dropped', (swatch) => getComputedStyle(swatch).backgroundColor);
    assert.strictEqual(point.colour, legend);
    // The tune's own note (G3, the chord's top) has the tune's colour.
    assert.strictEqual((await pointOf(page, 2, 0, 55)).colour,
                       await page.$eval('.swatch-tune', (swatch) => getComputedStyle(swatch).backgroundColor));
    await page.mouse.move(point.x, point.y);
    await page.waitForFunction(() => !document.getElementById('roll-tip-2').hidden, { timeout: wait });
    const tip = await text(page, '#roll-tip-2');
    assert.match(tip, /^C3, bar 1, beat 1, in the MIDI file/);
    assert.match(tip, /dropped by the polyphony limit of 1/);
    await page.screenshot({ path: path.join(shotsDir, 'roll-dropped-hover.png') });
    await page.mouse.move(0, 0);
    // A departure of the list shows its note on the roll, in focus.
    await page.click('#tune-2 .departure[data-departure="2"]');
    await page.waitForFunction(() => /bar 1, beat 3/.test(document.getElementById('roll-tip-2').textContent) &&
      !document.getElementById('roll-tip-2').hidden, { timeout: wait });
    assert.strictEqual(await page.evaluate(() => document.activeElement.closest('.lane').id), 'lane-2');
    // The keyboard steps through the notes of a roll.
    await page.focus('#lane-1 canvas');
    await page.keyboard.press('ArrowRight');
    await page.waitForFunction(() => /^E4, bar 1, beat 1, played by the tune/.test(
      document.getElementById('roll-tip-1').textContent), { timeout: wait });
    assert.match(await text(page, '#roll-tip-1'), /plays as the MIDI file has it/);
  });

  test('Download preview MIDI gives varn2midi\'s file, named as it names it', async () => {
    const macro = native(['-p', '1', 'example.mid'], 'example.mid').text.toString();
    assert.strictEqual(await text(page, '#download-preview'), 'Download example.preview.mid');
    const before = Date.now();
    await page.click('#download-preview');
    assert.ok((await downloaded('example.preview.mid', before - 1000)).equals(runPreview(varn2midi, macro).bytes));
  });

  test('Download gives the program\'s file, with LF or with CR LF', async () => {
    const expected = native(['-p', '1', 'example.mid'], 'example.mid').text;
    assert.strictEqual(await text(page, '#download'), 'Download example.txt');
    let before = Date.now();
    await page.click('#download');
    assert.ok((await downloaded('example.txt', before - 1000)).equals(expected));
    fs.rmSync(path.join(downloads, 'example.txt'));
    await page.click('#crlf');
    before = Date.now();
    await page.click('#download');
    const windows = await downloaded('example.txt', before - 1000);
    assert.ok(windows.equals(Buffer.from(expected.toString().replace(/\n/g, '\r\n'))));
    await page.click('#crlf');
  });

  test('a broken file is explained, and the next good file converts', async () => {
    const cases = [
      [files.broken, 'broken.mid', /This is not a MIDI file/, 'FATAL:  Not a MIDI File.'],
      [files.empty, 'empty.mid', /The file is empty/, ''],
      [files.truncated, 'truncated.mid', /cut short \(truncated\)/, 'ERROR:  Warning! Track is'],
    ];
    for (const [file, name, words, line] of cases) {
      await pick(page, file);
      await resultFor(page, `midi2varn -p 1 ${name}`);
      const problems = await text(page, '#problems');
      assert.match(problems, words);
      assert.ok(problems.includes(line), problems);
      if (name === 'broken.mid') {
        assert.match(await text(page, '#status'), /^Not converted/);
        assert.strictEqual((await blocksShown(page)).length, 0);
        assert.ok(await page.$eval('#download-row', (node) => node.offsetParent === null));
        await page.screenshot({ path: path.join(shotsDir, 'desktop-broken.png') });
      }
    }
    // The good file comes dropped onto the page this time.
    await page.evaluate((base64) => {
      const transfer = new DataTransfer();
      const bytes = Uint8Array.from(atob(base64), (ch) => ch.charCodeAt(0));
      transfer.items.add(new File([bytes], 'example.mid', { type: 'audio/midi' }));
      for (const type of ['dragenter', 'dragover', 'drop'])
        document.querySelector('footer').dispatchEvent(new DragEvent(type, { dataTransfer: transfer, bubbles: true }));
    }, example.toString('base64'));
    await resultFor(page, 'midi2varn -p 1 example.mid');
    assert.strictEqual((await blocksShown(page)).length, 2);
    assert.ok(await page.$eval('#problems', (node) => node.offsetParent === null));
    assert.ok(await page.$eval('#drop-overlay', (node) => node.offsetParent === null));
  });

  test('a large file converts in the worker with a busy sign, and only the newest result shows', async () => {
    await page.evaluate(() => {
      window.busySeen = false;
      new MutationObserver(() => {
        if (!document.getElementById('busy').hidden)
          window.busySeen = true;
      }).observe(document.getElementById('busy'), { attributes: true });
    });
    await pick(page, files.large);
    await page.waitForFunction(() => window.busySeen, { timeout: wait });
    // The page answers while the worker converts.
    assert.strictEqual(await page.evaluate(() => 6 * 7), 42);
    await page.$eval('#opt-p', (input) => {
      input.value = '2';
      input.dispatchEvent(new Event('input', { bubbles: true }));
    });
    await resultFor(page, 'midi2varn -p 2 large.mid');
    const report = await text(page, '#console');
    assert.match(report, /Setting polyphony of all channels to 2\./);
    assert.doesNotMatch(report, /to 1\./);
    assert.match(await text(page, '#channels-found'), /^Channels: /);
    const shown = await blocksShown(page);
    assert.ok(shown.length > 0);
    // Tunes of more than five parts say so in words and in red.
    const over = shown.filter((tune) => /more than the 5 the game plays/.test(tune.size));
    assert.ok(over.length > 0 && over.every((tune) => /Too many macro parts/.test(tune.status)));
    assert.ok(await page.$$eval('#tunes .meter.over', (meters) => meters.length) === over.length);
    await page.evaluate(() => document.getElementById('result').scrollIntoView());
    await page.screenshot({ path: path.join(shotsDir, 'desktop-large.png') });
    await page.$eval('#opt-p', (input) => {
      input.value = '';
      input.dispatchEvent(new Event('input', { bubbles: true }));
    });
  });

  // Blocks of a long tune show their start; Copy takes all of it.
  test('a 100k-note file reaches "ready" with every block as the native program writes it', async () => {
    await pick(page, files.large);
    await page.waitForFunction(() => document.body.dataset.state === 'converting', { timeout: wait, polling: 5 });
    await page.waitForFunction(() => document.body.dataset.state === 'ready' &&
      document.getElementById('command-line').textContent === 'midi2varn large.mid', { timeout: wait });
    const expected = blocksOf(native(['large.mid'], 'large.mid', files.large).text);
    const shown = await blocksShown(page);
    assert.strictEqual(shown.length, expected.length);
    const copies = [];
    for (let i = 0; i < shown.length; ++i) {
      assert.ok(expected[i].startsWith(shown[i].block.split('\n… (')[0]), `block ${i + 1} begins as the native one`);
      await page.evaluate(() => navigator.clipboard.writeText(''));
      await (await page.$$('#tunes .tune .copy'))[i].click();
      await page.waitForFunction((k) => document.querySelectorAll('#tunes .copy')[k].textContent === 'Copied', {}, i);
      copies.push(await page.evaluate(() => navigator.clipboard.readText()));
    }
    assert.deepStrictEqual(copies, expected);
    // Every lane of the roll is drawn.
    assert.strictEqual(await page.$$eval('#lanes canvas', (canvases) => canvases.length), expected.length);
    // Every departure of channel 2 opens, page by page, as varn2midi --against lists it.
    const against = runAgainst(varn2midi, files.large, [], native(['large.mid'], 'large.mid', files.large).text);
    const report = against.split('\n');
    const lines = [];
    for (let i = report.findIndex((line) => line.startsWith('channel 2:')) + 1; report[i].startsWith('  '); ++i)
      lines.push(report[i].trim());
    assert.ok(lines.length > 1000, String(lines.length));
    const list = (await page.$$('.departure-details'))[1];
    await (await list.$('summary')).click();
    for (;;) {
      const listed = await list.$$eval('.departure', (items) => items.length);
      if (await list.$eval('.more', (more) => more.hidden) && listed > 0)
        break;
      if (listed > 0)
        await (await list.$('.more')).click();
      await page.waitForFunction((box, before) => box.querySelectorAll('.departure').length > before,
                                 { timeout: wait }, list, listed);
    }
    assert.deepStrictEqual(await list.$$eval('.departure code', (codes) => codes.map((code) => code.textContent.trim())),
                           lines);
  });

  test('a dense file\'s roll draws every note in view, zooms and scrolls', async () => {
    await pick(page, files.dense);
    await resultFor(page, 'midi2varn dense.mid');
    const shown = await rollShown(page);
    const run = await page.evaluate(async (base64) => {
      const bytes = Uint8Array.from(atob(base64), (ch) => ch.charCodeAt(0));
      const converted = await window.midi2varn.convert(bytes, ['dense.mid']);
      return (await window.midi2varn.preview(converted.text)).map((block) => block.notes.length);
    }, fs.readFileSync(files.dense).toString('base64'));
    assert.deepStrictEqual(shown.map((lane) => lane.tuneNotes), run);
    assert.ok(run.reduce((a, b) => a + b, 0) > 9000);
    await page.$eval('#listen', (section) => section.scrollIntoView());
    await (await page.$('#listen')).screenshot({ path: path.join(shotsDir, 'roll-dense.png') });
    // Zoomed in, a part of the song is drawn; the slider moves through it.
    for (let i = 0; i < 4; ++i)
      await page.click('#zoom-in');
    await page.$eval('#roll-position', (slider) => {
      slider.value = '500';
      slider.dispatchEvent(new Event('input', { bubbles: true }));
    });
    await page.waitForFunction((tpp) => Number(document.querySelector('#lanes canvas').dataset.ticksPerPixel) < tpp / 10 &&
      Number(document.querySelector('#lanes canvas').dataset.firstTick) > 0, { timeout: wait }, shown[0].ticksPerPixel);
    const zoomed = await lanes(page);
    assert.ok(zoomed.every((lane, i) => lane.tuneNotes < shown[i].tuneNotes), JSON.stringify(zoomed));
    assert.ok(zoomed.some((lane) => lane.tuneNotes > 0));
    await (await page.$('#listen')).screenshot({ path: path.join(shotsDir, 'roll-dense-zoomed.png') });
    await page.click('#zoom-fit');
    await page.waitForFunction((first) => Number(document.querySelector('#lanes canvas').dataset.firstTick) === 0,
                               { timeout: wait });
  });

  test('the keyboard reaches the controls and sets switches', async () => {
    const fresh = await openPage(browser, { width: 1280, height: 900 });
    await fresh.keyboard.press('Tab');
    assert.strictEqual(await fresh.evaluate(() => document.activeElement.id), 'choose');
    await pick(fresh, examplePath);
    await resultFor(fresh, 'midi2varn example.mid');
    const reached = [];
    for (let i = 0; i < 12; ++i) {
      await fresh.keyboard.press('Tab');
      reached.push(await fresh.evaluate(() => document.activeElement.id));
    }
    // Under the file's summary, Suggest comes first; then the options.
    assert.deepStrictEqual(reached.slice(0, 5), ['suggest-button', 'suggest-players', 'opt-a', 'opt-b', 'opt-c']);
    assert.ok(reached.includes('opt-p'), reached.join(' '));
    await fresh.focus('#opt-a');
    await fresh.keyboard.press('Space');
    await resultFor(fresh, 'midi2varn -a example.mid');
    await fresh.focus('#opt-v');
    await fresh.keyboard.press('ArrowDown');
    await resultFor(fresh, 'midi2varn -a -v 5 example.mid');
    await fresh.close();
  });

  test('a split song shows each macro of a channel in order, with its own Copy, characters and parts', async () => {
    const fresh = await openPage(browser, { width: 1280, height: 900 });
    await pick(fresh, files.dense);
    await resultFor(fresh, 'midi2varn dense.mid');
    await fresh.type('#opt-b', '5');
    await resultFor(fresh, 'midi2varn -b 5 dense.mid');
    const expected = blocksOf(native(['-b', '5', 'dense.mid'], 'dense.mid', files.dense).text);
    const shown = await blocksShown(fresh);
    assert.ok(shown.length > 2, String(shown.length));
    assert.deepStrictEqual(shown.map((tune) => tune.block), expected);
    shown.forEach((tune, i) => {
      const [, channel, macro, macros] = /^Channel (\d+), macro (\d+) of (\d+)$/.exec(tune.title);
      assert.ok(tune.block.includes('// Channel ' + channel + ', macro ' + macro + ' of ' + macros + '\n'), tune.title);
      assert.match(tune.size, /macro parts: [1-5] of 5/);
      if (i > 0 && Number(macro) > 1)
        assert.strictEqual(shown[i - 1].title, 'Channel ' + channel + ', macro ' + (macro - 1) + ' of ' + macros);
    });
    const copies = await fresh.$$('#tunes .tune .copy');
    assert.strictEqual(copies.length, shown.length);
    await fresh.close();
  });

  test('Players 2 gives the native program\'s 2 blocks, each channel\'s player, and Suggest for 2 players', async () => {
    const fresh = await openPage(browser, { width: 1280, height: 1400 });
    await pick(fresh, files.band);
    await resultFor(fresh, 'midi2varn band.mid');
    assert.strictEqual((await blocksShown(fresh)).length, 6);
    await fresh.type('#opt-P', '2');
    await resultFor(fresh, 'midi2varn -P 2 band.mid');
    const expected = blocksOf(native(['-P', '2', 'band.mid'], 'band.mid', files.band).text);
    const shown = await blocksShown(fresh);
    assert.strictEqual(expected.length, 2);
    assert.deepStrictEqual(shown.map((tune) => tune.block), expected);
    // Each block is its player's, and the table names each channel's player.
    const players = await fresh.$$eval('#channel-rows tr:not([hidden])', (rows) => rows.map((row) =>
      [Number(row.querySelector('th').firstChild.textContent), row.querySelector('.player').textContent]));
    assert.strictEqual(players.length, 6);
    shown.forEach((tune, i) => {
      const members = /^Player (\d+) \(channels? ([\d, ]+)\)$/.exec(tune.title);
      assert.ok(members && Number(members[1]) === i + 1, tune.title);
      assert.ok(tune.block.includes('// Player ' + (i + 1) + ': channel'), tune.title);
      const inTable = players.filter(([, player]) => player.split(' ')[0] === String(i + 1)).map(([ch]) => ch);
      assert.deepStrictEqual(inTable.join(', '), members[2]);
    });
    assert.deepStrictEqual(players.filter(([ch]) => ch === 10), [[10, 'left out']]);
    assert.strictEqual((await rollShown(fresh)).length, 2);
    assert.ok(await fresh.$eval('#merge-1', (node) => node.disabled));
    await (await fresh.$('#options')).screenshot({ path: path.join(shotsDir, 'players.png') });
    // Suggest for 2 players: every row needs at most 2, and -P 2 is among them.
    await fresh.type('#suggest-players', '2');
    await fresh.click('#suggest-button');
    await fresh.waitForFunction(() => !document.getElementById('suggest-table').hidden, { timeout: wait });
    const rows = await fresh.$$eval('#suggest-table tbody tr', (trs) => trs.map((tr) => Array.from(tr.cells,
      (cell) => cell.textContent)));
    assert.ok(rows.some((row) => / -P 2|^-P 2/.test(row[0])), JSON.stringify(rows));
    assert.ok(rows.every((row) => Number(row[5]) >= 1 && Number(row[5]) <= 2), JSON.stringify(rows));
    await fresh.close();
  });

  test('drums: the tag, the better settings offered on their own, Suggest, and Use gives the program\'s blocks', async () => {
    const fresh = await openPage(browser, { width: 1280, height: 900 });
    await pick(fresh, files.dense);
    await resultFor(fresh, 'midi2varn dense.mid');
    // Channel 10 is marked as the drums, with why.
    const tag = await fresh.$eval('#channel-10 th .tag', (node) => ({ text: node.textContent, title: node.title }));
    assert.strictEqual(tag.text, 'drums');
    assert.match(tag.title, /no drums/);
    await fresh.waitForFunction(() => /^Fidelity: \d+% as written, 100% of [\d,]+ notes played; 2,640 drum notes played as pitches count against it; 1 macro of at most \d+ parts: the game plays only 5/
      .test(document.getElementById('score').textContent), { timeout: wait });
    // The offer comes without a click.
    await fresh.waitForFunction(() => document.getElementById('offer').dataset.state !== 'trying', { timeout: wait });
    const offer = await text(fresh, '#offer-words');
    assert.match(offer, /^Better: (-\w )*-d 10 -b 5: \d+% as written instead of \d+%, drums left out, played whole$/);
    assert.ok(!(await fresh.$eval('#offer', (node) => node.hidden)));
    await fresh.screenshot({ path: path.join(shotsDir, 'offer.png') });
    await fresh.click('#suggest-button');
    await fresh.waitForFunction(() => !document.getElementById('suggest-table').hidden, { timeout: wait });
    const rows = await fresh.$$eval('#suggest-table tbody tr', (trs) => trs.map((tr) => Array.from(tr.cells,
      (cell) => cell.textContent)));
    assert.ok(rows.length >= 2, JSON.stringify(rows));
    assert.strictEqual(offer.slice('Better: '.length, offer.indexOf(': ', 8)), rows[0][0]);
    assert.match(rows[0][5], /^\+ .*-d 10 \+ -b 5: .*2,640 drum notes no longer played as pitches, played whole in \d+ macros$/);
    assert.deepStrictEqual(rows[rows.length - 1].slice(0, 1).concat(rows[rows.length - 1].slice(5)),
      ['(none)', 'the switches as given', 'In use']);
    await fresh.screenshot({ path: path.join(shotsDir, 'suggest.png') });
    const best = rows[0][0].split(' ');
    await fresh.click('#offer-use');
    // The command line names the switches in the controls' order.
    const order = ['-a', '-b', '-c', '-d', '-e', '-k', '-n', '-o', '-u'];
    const typed = [];
    for (const letter of order) {
      const at = best.indexOf(letter);
      if (at >= 0)
        typed.push(...(letter === '-b' || letter === '-d' ? [letter, best[at + 1]] : [letter]));
    }
    await resultFor(fresh, ['midi2varn', ...typed, 'dense.mid'].join(' '));
    const expected = blocksOf(native([...best, 'dense.mid'], 'dense.mid', files.dense).text);
    assert.deepStrictEqual((await blocksShown(fresh)).map((tune) => tune.block), expected);
    // Nothing better is left to offer.
    await fresh.waitForFunction(() => document.getElementById('offer').dataset.state === 'none', { timeout: wait });
    assert.ok(await fresh.$eval('#offer', (node) => node.hidden));
    await fresh.close();
  });

  test('a phone-sized screen shows the page without sideways scrolling', async () => {
    const phone = await openPage(browser, { width: 390, height: 844, isMobile: true, hasTouch: true });
    await phone.screenshot({ path: path.join(shotsDir, 'phone-start.png') });
    await pick(phone, examplePath);
    await resultFor(phone, 'midi2varn example.mid');
    assert.strictEqual((await blocksShown(phone)).length, 2);
    const widths = await phone.evaluate(() => ({
      page: document.documentElement.scrollWidth,
      view: window.innerWidth,
      copies: Array.from(document.querySelectorAll('#tunes .copy'), (b) => b.getBoundingClientRect().right),
      table: document.querySelector('.table-wrap').scrollWidth - document.querySelector('.table-wrap').clientWidth,
    }));
    // The channel table fits too, its last column (Output) included.
    assert.ok(widths.table <= 0, JSON.stringify(widths));
    assert.ok(widths.page <= widths.view, JSON.stringify(widths));
    assert.ok(widths.copies.every((right) => right <= widths.view), JSON.stringify(widths));
    await phone.evaluate(() => document.getElementById('options').scrollIntoView());
    await phone.screenshot({ path: path.join(shotsDir, 'phone-options.png') });
    await phone.evaluate(() => document.getElementById('result').scrollIntoView());
    await phone.screenshot({ path: path.join(shotsDir, 'phone-result.png') });
    await rollShown(phone);
    await (await phone.$('#listen')).screenshot({ path: path.join(shotsDir, 'phone-roll.png') });
    await phone.screenshot({ path: path.join(shotsDir, 'phone-full.png'), fullPage: true });
    await phone.close();
  });

  test('no network request after load, and no script error', async () => {
    const after = requests.filter((r) => r.afterLoad && !r.url.startsWith('blob:'));
    assert.deepStrictEqual(after, []);
    assert.ok(requests.some((r) => r.url.startsWith('blob:')), 'the worker starts from a Blob URL');
    assert.deepStrictEqual(pageErrors, []);
  });

  let passed = 0;
  let failed = 0;
  for (const { name, body } of tests) {
    try {
      await body();
      ++passed;
      console.log(`ok: ${name}`);
    } catch (error) {
      ++failed;
      console.log(`FAILED: ${name}\n${error.stack}`);
    }
  }
  await browser.close();
  fs.rmSync(work, { recursive: true, force: true });
  console.log(`screenshots in ${shotsDir}`);
  console.log(`${passed} passed, ${failed} failed`);
  process.exit(failed ? 1 : 0);
})().catch((error) => {
  console.error(error);
  process.exit(1);
});
