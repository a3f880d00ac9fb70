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
              'rollNumbersCount', 'rollColumnsAt', 'rollColumnsLength'],
    run: ['start', 'length', 'kind'],
    tune: ['channel', 'status', 'textAt', 'textLength', 'blockAt', 'blockLength', 'macro', 'macros', 'parts'],
    summary: ['readable', 'firstTempo', 'tempoChanges', 'notes'],
    description: ['at', 'length', 'numbersAt', 'numbersCount'],
    previewFile: ['bytesAt', 'bytesLength', 'remarksAt', 'remarksLength'],
    played: ['start', 'length', 'pitch', 'velocity', 'seconds', 'duration', 'flags'],
    departure: ['kind', 'at', 'note', 'played'],
  };
  assert.deepStrictEqual(Object.keys(engine.contract.layouts).sort(), Object.keys(fields).sort());
  for (const [layout, names] of Object.entries(fields))
    assert.deepStrictEqual(Object.keys(engine.contract.layouts[layout].at), names, layout);
  assert.strictEqual(engine.contract.layouts.summary.width, 3 + engine.contract.channels);
  assert.deepStrictEqual(engine.contract.columns.noteList.map((column) => column[0]),
                         ['start', 'end', 'pitch', 'velocity', 'kinds', 'index']);
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

// A roll's note lists: sorted by start, then pitch, each row once, and
// with the kinds of the departures that name their notes (a note of the
// file that is not written is also dropped).
function checkNoteLists(contract, roll) {
  const { departure } = contract.layouts;
  for (const channel of roll.channels) {
    const named = { tune: new Map(), source: new Map() };
    for (let row = 0; row < channel.departures.length; row += departure.width)
      for (const [list, column] of [['tune', 'played'], ['source', 'note']]) {
        const note = channel.departures[row + departure.at[column]];
        named[list].set(note, (named[list].get(note) || 0) | (1 << channel.departures[row + departure.at.kind]));
      }
    for (const name of ['tune', 'source']) {
      const list = channel[name];
      assert.strictEqual(new Set(list.index).size, list.count, name);
      for (let k = 0; k < list.count; ++k) {
        if (k > 0)
          assert.ok(list.start[k - 1] < list.start[k] ||
                    (list.start[k - 1] === list.start[k] && list.pitch[k - 1] <= list.pitch[k]), `${name} ${k}`);
        assert.ok(list.end[k] >= list.start[k], `${name} ${k}`);
        const expected = named[name].get(list.index[k]) || 0;
        const extra = list.kinds[k] & ~expected;
        assert.ok((list.kinds[k] & expected) === expected && (extra === 0 ||
                  (name === 'source' && extra === 1 << contract.departureKinds.dropped)), `${name} ${k}`);
      }
    }
  }
}

// A one-track MIDI file at 96 ticks a beat of `events`: [delta, ...bytes].
function midiFile(events) {
  const track = events.flatMap(([delta, ...bytes]) => [delta < 128 ? delta : [0x80 | (delta >> 7), delta & 127], bytes])
    .flat(2).concat([0, 0xff, 0x2f, 0]);
  const length = [24, 16, 8, 0].map((shift) => (track.length >> shift) & 255);
  return Uint8Array.from([0x4d, 0x54, 0x68, 0x64, 0, 0, 0, 6, 0, 0, 0, 1, 0, 96,
                          0x4d, 0x54, 0x72, 0x6b, ...length, ...track]);
}

// Chords given from the top down, and a chord whose lower note is below the
// game's range: the tune plays it an octave up, above the other.
test('note lists are sorted by start, then pitch', (engine) => {
  const chord = (delta, pitches) => pitches.map((pitch, i) => [i ? 0 : delta, 0x90, pitch, 90]);
  const release = (delta, pitches) => pitches.map((pitch, i) => [i ? 0 : delta, 0x80, pitch, 0]);
  const lowest = engine.contract.range.lowest;
  const bytes = midiFile([...chord(0, [72, 67, 60]), ...release(96, [72, 67, 60]), ...chord(0, [lowest, lowest - 1]),
                          ...release(48, [lowest, lowest - 1]), ...chord(0, [71, 62]), ...release(96, [71, 62])]);
  const run = engine.convert(bytes, ['chords.mid'], true);
  assert.strictEqual(run.status, 0, new TextDecoder().decode(run.console));
  assert.deepStrictEqual(run.roll.channels.map((c) => [c.source.count, c.tune.count]), [[7, 7]]);
  assert.deepStrictEqual(Array.from(run.roll.channels[0].tune.pitch.subarray(3, 5)), [lowest, lowest + 11]);
  checkNoteLists(engine.contract, run.roll);
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
  const kinds = Object.values(contract.departureKinds);
  for (const channel of run.roll.channels) {
    const { tune, source } = channel;
    const { departure } = contract.layouts;
    assert.strictEqual(source.count, summary.notes[channel.channel - 1], `channel ${channel.channel}`);
    const blocks = run.tunes.filter((t) => t.channel === channel.channel).map((t) => t.block).join('');
    assert.strictEqual(tune.count, engine.preview(blocks).reduce((sum, t) => sum + t.notes.length, 0));
    const count = channel.departures.length / departure.width;
    for (let d = 0; d < count; ++d) {
      const row = departure.width * d;
      assert.ok(kinds.includes(channel.departures[row + departure.at.kind]));
      assert.ok(channel.departures[row + departure.at.note] < source.count);
    }
    const indices = Array.from({ length: count }, (_, d) => d);
    const words = engine.departures(run.serial, channel.channel, indices);
    assert.ok(words.lines.every((line) => line.length > 0) && words.lines.length === count);
    assert.strictEqual(words.words.length, count);
    assert.ok(channel.summary.includes(`${source.count} notes in`), channel.summary);
  }
  checkNoteLists(contract, run.roll);
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
