// What the web page plays and draws, under Node.js against the native
// programs: for the example, the benchmark generator's 10k-note files and
// every valid file of the shared corpus (skipped where absent), converted
// by the native midi2varn,
// - the scripting hook's preview(text) gives the notes of the file the
//   native varn2midi writes for the macro text: per block its channel,
//   each note's start and end (seconds at the preview's 1920 ticks a second)
//   within half a tick, pitch and velocity;
// - the piano roll's tune notes are those same notes, its bars number each
//   departure as the departure report places it, and its tempo maps time
//   the notes as the converter does.
// Hand-made texts check channels, warnings and stuck notes.
//
//   node preview.js MODULE.js NATIVE_DIR MAKE_BENCH_MIDI SOURCE_DIR WORK_DIR
'use strict';
const assert = require('assert');
const childProcess = require('child_process');
const fs = require('fs');
const path = require('path');
const Engine = require('../../web/engine.js');
const { Bars, TempoMap } = require('../../web/roll-model.js');
const { runNative, runPreview } = require('./native.js');

const [moduleFile, nativeDir, benchGenerator, sourceDir, workDir] = process.argv.slice(2);
if (!workDir) {
  console.error('usage: node preview.js MODULE.js NATIVE_DIR MAKE_BENCH_MIDI SOURCE_DIR WORK_DIR');
  process.exit(2);
}
const midi2varn = path.resolve(nativeDir, 'midi2varn');
const varn2midi = path.resolve(nativeDir, 'varn2midi');
const ticksPerSecond = 1920; // the preview's 960 ticks a quarter at 120
const nativePreview = (text) => runPreview(varn2midi, text);

const byTime = (a, b) => a[0] - b[0] || a[1] - b[1] || a[2] - b[2];

// Where the hook's notes of one block differ from a track of the preview
// file; empty when they agree.
function compareBlock(block, track) {
  const problems = [];
  const channel = Number(track.name.replace('Channel ', ''));
  if (block.channel !== channel)
    problems.push(`channel ${block.channel}, file ${track.name}`);
  const starts = block.notes.map((n) => [n.seconds * ticksPerSecond, n.pitch, n.velocity]);
  const ends = block.notes.map((n) => [(n.seconds + n.durationSeconds) * ticksPerSecond, n.pitch, 0]);
  for (const [what, mine, theirs] of [['start', starts, track.starts], ['end', ends, track.ends]]) {
    if (mine.length !== theirs.length) {
      problems.push(`${mine.length} ${what}s, file ${theirs.length}`);
      continue;
    }
    // Ties within a tick are ordered by pitch, then velocity, on both sides.
    const sorted = mine.map((note) => [Math.round(note[0]), note[1], note[2], note[0]]).sort(byTime);
    theirs.sort(byTime);
    const wrong = sorted.findIndex((note, i) => Math.abs(note[3] - theirs[i][0]) > 0.5 ||
                                   note[1] !== theirs[i][1] || note[2] !== theirs[i][2]);
    if (wrong >= 0)
      problems.push(`${what} ${wrong}: ${JSON.stringify(sorted[wrong])}, file ${JSON.stringify(theirs[wrong])}`);
  }
  // Ordered by start, then pitch.
  const order = block.notes.findIndex((n, i) => i > 0 && (n.start < block.notes[i - 1].start ||
    (n.start === block.notes[i - 1].start && n.pitch < block.notes[i - 1].pitch)));
  if (order >= 0)
    problems.push(`note ${order} out of order`);
  return problems;
}

function inputs() {
  fs.mkdirSync(workDir, { recursive: true });
  const list = [path.join(sourceDir, 'examples', 'example.mid')];
  for (const type of [0, 1]) {
    const file = path.join(workDir, `bench-10000-t${type}.mid`);
    childProcess.execFileSync(benchGenerator, ['10000', String(type), file]);
    list.push(file);
  }
  const corpus = path.join(sourceDir, '..', 'shared', 'midi-corpus', 'Valid');
  const walk = (dir) => {
    for (const entry of fs.readdirSync(dir, { withFileTypes: true }).sort((a, b) => (a.name < b.name ? -1 : 1))) {
      const file = path.join(dir, entry.name);
      if (entry.isDirectory())
        walk(file);
      else if (entry.isFile())
        list.push(file);
    }
  };
  if (fs.existsSync(corpus))
    walk(corpus);
  else
    console.log(`corpus absent (${corpus}): skipped`);
  return list;
}

(async () => {
  const engine = new Engine(await require(path.resolve(moduleFile))());
  const failures = [];
  let compared = 0;
  let notes = 0;
  let departures = 0;

  for (const file of inputs()) {
    const name = path.basename(file);
    const converted = runNative(midi2varn, [name], name, file);
    const text = converted.text.toString('latin1');
    if (converted.status !== 0 || !text) {
      console.log(`  ${name}: no macro text (status ${converted.status}): skipped`);
      continue;
    }
    const problems = [];
    // The hook against varn2midi's file.
    const blocks = engine.preview(text);
    const native = nativePreview(text);
    if (native.status !== 0 || !native.tracks) {
      problems.push(`varn2midi ended with ${native.status}: ${native.errors}`);
    } else {
      const tracks = native.tracks.slice(1);
      if (blocks.length !== tracks.length)
        problems.push(`${blocks.length} blocks, file ${tracks.length} tracks`);
      blocks.forEach((block, i) => {
        if (tracks[i])
          problems.push(...compareBlock(block, tracks[i]).map((p) => `block ${i + 1}: ${p}`));
        notes += block.notes.length;
      });
      const warnings = blocks.flatMap((block) => block.warnings.map((w) => 'song.txt:' + w + '\n')).sort();
      if (warnings.join('') !== native.errors.split(/(?<=\n)/).filter((line) => /^song\.txt:\d/.test(line)).sort().join(''))
        problems.push(`warnings ${JSON.stringify(warnings)}, varn2midi ${JSON.stringify(native.errors)}`);
    }

    // The roll of the same conversion: its tune notes are the read-back's,
    // its bars place each departure as the report does, and its tempo maps
    // time the notes as the converter does.
    const run = engine.convert(new Uint8Array(fs.readFileSync(file)), [name], true);
    if (!run.roll) {
      problems.push('no roll');
    } else {
      const bars = new Bars(run.roll.metres, run.roll.division);
      const { departure } = engine.contract.layouts;
      const perSixteenth = run.roll.division / 4;
      run.roll.channels.forEach((channel, i) => {
        const block = blocks[i] || { channel: null, notes: [] };
        const { tune } = channel;
        const played = [];
        for (let k = 0; k < tune.count; ++k)
          played.push([tune.start[k] / perSixteenth, (tune.end[k] - tune.start[k]) / perSixteenth, tune.pitch[k],
                       tune.velocity[k]]);
        const hook = block.notes.map((n) => [n.start, n.length, n.pitch, n.velocity]);
        if (block.channel !== channel.channel || JSON.stringify(played) !== JSON.stringify(hook))
          problems.push(`roll channel ${channel.channel}: its notes differ from the read-back of block ${i + 1}`);
        // The roll times notes on the channel's tempo marks as the converter does.
        const clock = new TempoMap(channel.tempos, 15, engine.contract.tempo.plain);
        const late = block.notes.findIndex((n) => Math.abs(clock.secondsAt(n.start) - n.seconds) > 1e-6 ||
          Math.abs(clock.secondsAt(n.start + n.length) - n.seconds - n.durationSeconds) > 1e-6);
        if (late >= 0)
          problems.push(`roll channel ${channel.channel}: note ${late} timed ${clock.secondsAt(block.notes[late].start)}, ` +
                        `converter ${block.notes[late].seconds}`);
        const back = block.notes.findIndex((n) => Math.abs(clock.atSeconds(n.seconds) - n.start) > 1e-6);
        if (back >= 0)
          problems.push(`roll channel ${channel.channel}: seconds of note ${back} map back to another start`);
        const count = channel.departures.length / departure.width;
        const lines = engine.departures(run.serial, channel.channel, Array.from({ length: count }, (_, d) => d)).lines;
        lines.forEach((line, d) => {
          const [, bar, beat] = /^(\d+):(\d+)/.exec(line);
          const place = bars.place(channel.departures[departure.width * d + departure.at.at]);
          if (place !== `bar ${bar}, beat ${beat}`)
            problems.push(`roll channel ${channel.channel}: "${line}" placed at ${place}`);
          ++departures;
        });
      });
      if (run.roll.channels.length !== blocks.length)
        problems.push(`roll of ${run.roll.channels.length} channels, ${blocks.length} blocks`);
    }
    if (problems.length)
      failures.push(`${name}:\n  ${problems.slice(0, 10).join('\n  ')}`);
    ++compared;
  }

  // Hand-made texts: a bare tune text is channel null; warnings go with the
  // block they are in; a held note nothing ends is stuck to the block's end.
  const cases = [
    ['CDEx', [{ channel: null, notes: 3, stuck: 0, warnings: ["1:4: error: unexpected 'x' ignored"] }]],
    ['"/playthis"\n{\n  // Channel 3\n  "/use @120{CDE\\r"\n}\n"/playthis"\n{\n  // Channel 5\n' +
     '  "/use @90{[c]$EFq\\r"\n}\n',
     [{ channel: 3, notes: 3, stuck: 0, warnings: [] },
      { channel: 5, notes: 3, stuck: 1, warnings: ["9:19: error: unexpected 'q' ignored",
                                                    "9:14: warning: held note (MIDI note 60) never ended: stuck, it sounds to the end of the tune"] }]],
    ['', []],
  ];
  for (const [text, expected] of cases) {
    const blocks = engine.preview(text);
    const got = blocks.map((b) => ({ channel: b.channel, notes: b.notes.length,
                                     stuck: b.notes.filter((n) => n.stuck).length, warnings: b.warnings }));
    try {
      assert.deepStrictEqual(got.map((b) => ({ ...b, warnings: [...b.warnings].sort() })),
                             expected.map((b) => ({ ...b, warnings: [...b.warnings].sort() })));
      // The same notes and messages as varn2midi's (a bare text plays on
      // channel 1).
      const native = text ? nativePreview(text) : null;
      if (native) {
        blocks.forEach((block, i) => {
          const problems = compareBlock({ ...block, channel: block.channel || 1 }, native.tracks[i + 1]);
          assert.deepStrictEqual(problems, []);
        });
        assert.deepStrictEqual(blocks.flatMap((b) => b.warnings.map((w) => 'song.txt:' + w)).sort(),
                               native.errors.split('\n').filter((line) => /^song\.txt:\d/.test(line)).sort());
      }
    } catch (error) {
      failures.push(`${JSON.stringify(text)}: ${error.message}`);
    }
  }

  for (const failure of failures)
    console.log(failure);
  console.log(`${compared} files compared: ${notes} notes, ${departures} departures placed; ${cases.length} texts`);
  console.log(`${failures.length ? 'FAILED' : 'passed'}`);
  process.exit(failures.length || compared === 0 ? 1 : 0);
})().catch((error) => {
  console.error(error);
  process.exit(1);
});
