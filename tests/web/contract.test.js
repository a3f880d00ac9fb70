// The contract between the converter's module and the page: every name the
// page's scripts read is in it, every tune status flag has the page's words
// and every word a flag, and every record and table the module hands over
// fits its layout, checked on a real conversion.
//
//   node contract.test.js MODULE.js SOURCE_DIR
'use strict';
const assert = require('assert');
const fs = require('fs');
const path = require('path');
const Engine = require('../../web/engine.js');

const [moduleFile, sourceDir] = process.argv.slice(2);
if (!sourceDir) {
  console.error('usage: node contract.test.js MODULE.js SOURCE_DIR');
  process.exit(2);
}
const webDir = path.join(sourceDir, 'web');
const scripts = fs.readdirSync(webDir).filter((name) => name.endsWith('.js'))
  .map((name) => ({ name, text: fs.readFileSync(path.join(webDir, name), 'utf8') }));

const tests = [];
const test = (name, body) => tests.push({ name, body });

test('every name the page reads of the contract is in it', (engine) => {
  const used = new Set();
  for (const { name, text } of scripts)
    for (const m of text.matchAll(/\bcontract\.(\w+)(?:\.(\w+))?/g))
      used.add(`${name}: ${m[1]}${m[2] ? '.' + m[2] : ''}`);
  const html = fs.readFileSync(path.join(webDir, 'index.html'), 'utf8');
  for (const m of html.matchAll(/data-contract="(\w+)"/g))
    used.add(`index.html: ${m[1]}`);
  assert.ok(used.size > 20, `only ${used.size} uses found`);
  for (const use of used) {
    const [, first, second] = /: (\w+)(?:\.(\w+))?/.exec(use);
    assert.ok(first in engine.contract, use);
    if (second && typeof engine.contract[first] === 'object' && !Array.isArray(engine.contract[first]))
      assert.ok(second in engine.contract[first], use);
  }
  // The fields read by name from the records and rows.
  const fields = {
    outcome: ['status', 'consoleAt', 'consoleLength', 'errorsAt', 'errorsLength', 'textAt', 'textLength', 'nameAt',
              'nameLength', 'runsAt', 'runsCount', 'tunesAt', 'tunesCount', 'rollAt', 'rollLength', 'rollNumbersAt',
              'rollNumbersCount'],
    run: ['start', 'length', 'kind'],
    tune: ['channel', 'status', 'textAt', 'textLength', 'blockAt', 'blockLength', 'macro', 'macros', 'parts'],
    summary: ['readable', 'firstTempo', 'tempoChanges', 'notes'],
    description: ['at', 'length', 'numbersAt', 'numbersCount'],
    previewFile: ['bytesAt', 'bytesLength', 'remarksAt', 'remarksLength'],
    source: ['tick', 'ticks', 'pitch', 'fate'],
    played: ['start', 'length', 'pitch', 'velocity', 'seconds', 'duration', 'flags'],
    departure: ['kind', 'at', 'note', 'played'],
  };
  assert.deepStrictEqual(Object.keys(engine.contract.layouts).sort(), Object.keys(fields).sort());
  for (const [layout, names] of Object.entries(fields))
    assert.deepStrictEqual(Object.keys(engine.contract.layouts[layout].at), names, layout);
  assert.strictEqual(engine.contract.layouts.summary.width, 3 + engine.contract.channels);
  assert.deepStrictEqual(engine.contract.levels.map((level) => level.label).slice(0, 4),
                         ['FATAL:', 'ERROR:', 'FORMAT:', 'WARN:']);
});

test('every tune status flag has the page\'s words, and every word a flag', (engine) => {
  const results = scripts.find((script) => script.name === 'page-results.js').text;
  const worded = [...results.matchAll(/\['(\w+)', '(?:bad|warn)',/g)].map((m) => m[1]);
  assert.deepStrictEqual(worded.slice().sort(), Object.keys(engine.contract.status).sort());
  const bits = Object.values(engine.contract.status);
  assert.strictEqual(new Set(bits).size, bits.length);
  assert.ok(bits.every((bit) => bit > 0 && (bit & (bit - 1)) === 0), 'one bit each');
});

test('the page explains problems by codes the converter has', (engine) => {
  const results = scripts.find((script) => script.name === 'page-results.js').text;
  const table = results.slice(results.indexOf('var explanations = {'), results.indexOf('};', results.indexOf('var explanations = {')));
  const named = [...table.matchAll(/^ {4}(\w+):/gm)].map((m) => m[1]);
  assert.ok(named.length >= 10, 'the explanations are found');
  for (const name of named)
    assert.ok(engine.contract.codes.includes(name), 'no code ' + name);
});

// The example with its roll (one note at once, so that notes drop): each record and table as its layout says, in
// agreement with the file and the texts.
test('records and tables fit their layouts on a real conversion', (engine) => {
  const contract = engine.contract;
  const bytes = fs.readFileSync(path.join(sourceDir, 'examples', 'example.mid'));
  const run = engine.convert(bytes, ['-p', '1', '-v', '6', 'example.mid'], true);
  assert.strictEqual(run.status, 0);
  const summary = engine.summary(bytes);
  assert.strictEqual(summary.notes.length, contract.channels);
  // Runs cover standard output in order, each of a level or of macro text.
  let at = 0;
  for (let r = 0; r < run.runs.length; r += contract.layouts.run.width) {
    assert.strictEqual(run.runs[r + contract.layouts.run.at.start], at);
    at += run.runs[r + contract.layouts.run.at.length];
    assert.ok(run.runs[r + contract.layouts.run.at.kind] <= contract.macroRun);
  }
  assert.strictEqual(at, run.console.length);
  assert.strictEqual(run.tunes.length, summary.notes.filter((notes) => notes > 0).length);
  for (const tune of run.tunes) {
    assert.strictEqual(tune.parts, tune.block.split('\n').filter((line) => line.startsWith('  "/use ')).length);
    assert.ok(tune.channel >= 1 && tune.channel <= contract.channels);
  }
  const fates = Object.values(contract.fates);
  const kinds = Object.values(contract.departureKinds);
  for (const channel of run.roll.channels) {
    const { source, played, departure } = contract.layouts;
    const sourceRows = channel.source.length / source.width;
    const playedRows = channel.played.length / played.width;
    assert.strictEqual(sourceRows, summary.notes[channel.channel - 1], `channel ${channel.channel}`);
    for (let i = 0; i < sourceRows; ++i)
      assert.ok(fates.includes(channel.source[source.width * i + source.at.fate]));
    const blocks = run.tunes.filter((tune) => tune.channel === channel.channel).map((tune) => tune.block).join('');
    const sounding = engine.preview(blocks).reduce((sum, tune) => sum + tune.notes.length, 0);
    let withLength = 0;
    for (let i = 0; i < playedRows; ++i)
      if (channel.played[played.width * i + played.at.length] > 0)
        ++withLength;
    assert.strictEqual(withLength, sounding, `channel ${channel.channel}`);
    const count = channel.departures.length / departure.width;
    for (let d = 0; d < count; ++d) {
      const row = departure.width * d;
      assert.ok(kinds.includes(channel.departures[row + departure.at.kind]));
      assert.ok(channel.departures[row + departure.at.note] < sourceRows);
      assert.ok(channel.departures[row + departure.at.played] < playedRows);
    }
    const indices = Array.from({ length: count }, (_, d) => d);
    const words = engine.departures(run.serial, channel.channel, indices);
    assert.ok(words.lines.every((line) => line.length > 0) && words.lines.length === count);
    assert.strictEqual(words.words.length, count);
    assert.ok(channel.summary.includes(`${sourceRows} notes in`), channel.summary);
  }
  assert.ok(run.roll.channels.some((channel) => channel.departures.length > 0), 'some departures');
  assert.strictEqual(engine.departures(run.serial - 1, run.roll.channels[0].channel, [0]), null);
});

(async () => {
  const engine = new Engine(await require(path.resolve(moduleFile))());
  let failed = 0;
  for (const { name, body } of tests) {
    try {
      body(engine);
      console.log(`ok: ${name}`);
    } catch (error) {
      ++failed;
      console.log(`FAILED: ${name}\n${error.stack}`);
    }
  }
  console.log(`${tests.length - failed} passed, ${failed} failed`);
  process.exit(failed ? 1 : 0);
})();
