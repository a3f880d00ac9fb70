// The piano roll's model under Node.js: note names, tempo maps, bars, and
// a channel's notes as the roll draws, finds and steps through them.
//
//   node roll-model.test.js MODULE.js
'use strict';
const assert = require('assert');
const path = require('path');
const Engine = require('../../web/engine.js');
const { Bars, NoteList, TempoMap, noteNamer, classes } = require('../../web/roll-model.js');
const Channel = require('../../web/roll-channel.js');

const [moduleFile] = process.argv.slice(2);
if (!moduleFile) {
  console.error('usage: node roll-model.test.js MODULE.js');
  process.exit(2);
}
// The converter's contract, and its departure kinds by name.
let contract;
let kinds;

const tests = [];
const test = (name, body) => tests.push({ name, body });

test('note names count C4 as 60, below 0 too', () => {
  const noteName = noteNamer(contract.pitchClassNames);
  for (const [pitch, name] of [[60, 'C4'], [61, 'C#4'], [59, 'B3'], [48, 'C3'], [0, 'C-1'], [-1, 'B-2'], [127, 'G9']])
    assert.strictEqual(noteName(pitch), name, String(pitch));
});

test('a tempo map turns steps into seconds and back', () => {
  // Sixteenths (15 s at 1 bpm): 120 bpm until 8, then 60; a mark of 0 bpm counts as 120.
  const map = new TempoMap([[8, 60], [16, 0], [16, 240]], 15, 120);
  for (const [at, seconds] of [[0, 0], [4, 0.5], [8, 1], [12, 2], [16, 3], [24, 3.5]]) {
    assert.strictEqual(map.secondsAt(at), seconds, `at ${at}`);
    assert.strictEqual(map.atSeconds(seconds), at, `seconds ${seconds}`);
  }
});

test('bars give places and lines across changes of metre', () => {
  // 4/4 for two bars, then 3/4, at 96 ticks a beat.
  const bars = new Bars([[0, 0, 4, 4], [768, 2, 3, 4]], 96);
  // Places count 24ths of a beat, rounded.
  for (const [tick, place] of [[0, 'bar 1, beat 1'], [93, 'bar 1, beat 1'], [95, 'bar 1, beat 2'],
                               [96, 'bar 1, beat 2'], [384, 'bar 2, beat 1'], [768, 'bar 3, beat 1'],
                               [1055, 'bar 4, beat 1'], [1056, 'bar 4, beat 1'], [1344, 'bar 5, beat 1']])
    assert.strictEqual(bars.place(tick), place, `tick ${tick}`);
  const lines = [];
  bars.lines(0, 1400, 1, (tick, number, length, beats) => lines.push([tick, number, length, beats]));
  assert.deepStrictEqual(lines, [[0, 1, 384, 4], [384, 2, 384, 4], [768, 3, 288, 3], [1056, 4, 288, 3],
                                 [1344, 5, 288, 3]]);
  lines.length = 0;
  bars.lines(400, 1100, 2, (tick, number) => lines.push(number));
  assert.deepStrictEqual(lines, [3]);
  assert.strictEqual(new Bars([], 96).place(384), 'bar 2, beat 1');
});

// A note list of notes [start, end, pitch, kinds, row] given in order (a
// row left out: the note's place), as the converter makes them.
function listOf(notes) {
  const n = notes.length;
  const columns = { count: n, start: new Float64Array(n), end: new Float64Array(n), pitch: new Int16Array(n),
                    velocity: new Uint8Array(n), kinds: new Uint16Array(n), index: new Int32Array(n) };
  notes.forEach(([start, end, pitch, kinds, row], i) => {
    columns.start[i] = start;
    columns.end[i] = end;
    columns.pitch[i] = pitch;
    columns.kinds[i] = kinds || 0;
    columns.index[i] = row === undefined ? i : row;
  });
  return columns;
}

test('a note list finds the notes in view, long ones included', () => {
  const spans = [[0, 400, 60], [10, 20, 60], [50, 60, 60], [100, 110, 60], [100, 300, 61], [500, 510, 60]];
  const list = new NoteList(listOf(spans), new Uint8Array(spans.length), (tick) => tick / 100);
  for (const [from, to, range] of [[0, 5, [0, 1]], [30, 40, [0, 2]], [450, 600, [5, 6]], [600, 700, [6, 6]],
                                   [105, 105, [0, 5]]])
    assert.deepStrictEqual(list.range(from, to), range, `${from}..${to}`);
  // Seconds come from the list's clock: the last end is not the last note's.
  assert.deepStrictEqual([list.seconds(4), list.duration(4), list.lastSecond()], [1, 2, 5.1]);
});

test('scrolled through window by window, a note list shows every note, and only in the windows it reaches', () => {
  // Some notes are long enough to cross many windows.
  let seed = 7;
  const next = (n) => (seed = (seed * 1103515245 + 12345) % 2147483648) % n;
  const notes = [];
  for (let i = 0, start = 0; i < 3000; ++i, start += next(40))
    notes.push([start, start + 1 + (next(50) === 0 ? next(20000) : next(200)), 40 + next(40)]);
  notes.sort((a, b) => a[0] - b[0] || a[2] - b[2]);
  {
    const list = new NoteList(listOf(notes), new Uint8Array(notes.length), (tick) => tick);
    const last = Math.max(...notes.map((n) => n[1]));
    const width = 1000;
    const seen = new Uint32Array(notes.length);
    for (let from = 0; from <= last; from += width) {
      const to = from + width;
      const [first, end] = list.range(from, to);
      for (let k = first; k < end; ++k) {
        if (list.end[k] < from)
          continue;
        const [start, stop] = notes[list.index[k]];
        assert.ok(start <= to && stop >= from, `note ${list.index[k]} drawn outside ${from}..${to}`);
        ++seen[list.index[k]];
      }
      for (let k = 0; k < list.count; ++k)
        if (list.start[k] <= to && list.end[k] >= from && (k < first || k >= end))
          assert.fail(`note ${list.index[k]} in ${from}..${to} not drawn`);
    }
    assert.ok(seen.every((times) => times > 0));
  }
});

// One channel at 96 ticks a beat (24 a sixteenth): the file has three
// notes, the second dropped (under a played one); the tune plays two, the
// first late, and a letter of no length that sounds nothing (row 1).
function channel() {
  const bit = (kind) => 1 << kinds[kind];
  const data = {
    channel: 3, tempos: [], midiTempos: [],
    tune: listOf([[24, 72, 60, bit('start'), 0], [96, 120, 67, 0, 2]]),
    source: listOf([[0, 48, 60, bit('start')], [48, 96, 60, bit('dropped')], [96, 120, 67, bit('length')]]),
    counts: Object.keys(kinds).map((kind) => (['start', 'dropped', 'tempo', 'length'].includes(kind) ? 1 : 0)),
    // kind, tick, note of the file, played note
    departures: [kinds.start, 0, 0, 0, kinds.dropped, 48, 1, -1, kinds.tempo, 200, -1, -1, kinds.length, 72, 2, 1],
  };
  return new Channel(data, { division: 96, upperC: false }, contract);
}

test('a channel colours and counts its notes, and steps through them', () => {
  const c = channel();
  assert.deepStrictEqual([...c.tune.cls], [classes.start, classes.tune]);
  assert.deepStrictEqual([...c.source.cls], [classes.source, classes.dropped, classes.source]);
  // A note of several kinds takes the class that comes first: drum, pitch, held, start, length.
  const bit = (kind) => 1 << kinds[kind];
  assert.deepStrictEqual([...c.tuneClasses(Uint16Array.of(bit('start') | bit('pitch'), bit('length') | bit('stuck'),
                                                          bit('length') | bit('start'), bit('added'), 0,
                                                          bit('drum')))],
                         [classes.pitch, classes.held, classes.start, classes.tune, classes.tune, classes.drum]);
  assert.deepStrictEqual([c.bottom, c.rangeTop, c.top, c.end], [47, 83, 84, 120]);
  assert.deepStrictEqual(c.steps(), [0, -2, 1]);
  assert.strictEqual(c.tuneSeconds, 0.625);
});

test('hit-testing finds dropped notes first, then the tune, then outlines', () => {
  const c = channel();
  for (const [tick, pitch, slack, item] of [[60, 60, 0, -2], [30, 60, 0, 0], [10, 60, 0, -1], [100, 67, 0, 1],
                                           [92, 67, 4, 1], [92, 67, 0, null], [130, 67, 0, null], [30, 61, 0, null]])
    assert.strictEqual(c.noteAt(tick, pitch, slack), item, `${tick}, ${pitch}, ${slack}`);
});

// A departure of a played note that sounds nothing leads to the file's note.
test('departures lead to their note, else to none', () => {
  const c = channel();
  assert.deepStrictEqual([0, 1, 2, 3].map((d) => c.itemOf(d)), [0, -2, null, -3]);
  assert.deepStrictEqual([0, 1, 2, 3].map((d) => c.departureTick(d)), [0, 48, 200, 72]);
  const told = (item) => {
    const said = c.describe(item, new Bars([], 96));
    return [said.head, said.departures.length ? said.departures : said.none];
  };
  assert.deepStrictEqual(told(0), ['C4, bar 1, beat 1, played by the tune', [0]]);
  assert.deepStrictEqual(told(-3), ['G4, bar 1, beat 2, in the MIDI file', [3]]);
  assert.deepStrictEqual(told(1), ['G4, bar 1, beat 2, played by the tune', 'plays as the MIDI file has it']);
});

(async () => {
  contract = new Engine(await require(path.resolve(moduleFile))()).contract;
  kinds = contract.departureKinds;
  let failed = 0;
  for (const { name, body } of tests) {
    try {
      body();
      console.log(`ok: ${name}`);
    } catch (error) {
      ++failed;
      console.log(`FAILED: ${name}\n${error.stack}`);
    }
  }
  console.log(`${tests.length - failed} passed, ${failed} failed`);
  process.exit(failed ? 1 : 0);
})();
