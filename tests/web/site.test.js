// The finished site: within its size budget, referring to nothing of
// another origin; and the page's controls become the program's switches in
// the usage text's order, covering every switch the usage text lists.
//
//   node site.test.js SITE_DIR MODULE.js
'use strict';
const assert = require('assert');
const fs = require('fs');
const path = require('path');
const Engine = require('../../web/engine.js');
const forContract = require('../../web/switches.js');

const [siteDir, moduleFile] = process.argv.slice(2);
if (!moduleFile) {
  console.error('usage: node site.test.js SITE_DIR MODULE.js');
  process.exit(2);
}
const budget = 1000000; // bytes, the whole site uncompressed
// What index.html loads, in its order: the page's sections after what they build on.
const pageFiles = ['style.css', 'midi2varn.js', 'switches.js', 'roll-model.js', 'roll-channel.js', 'roll-draw.js',
                   'roll-lane.js', 'roll-view.js', 'player.js', 'page-base.js', 'page-options.js', 'page-file.js',
                   'page-results.js', 'page-report.js', 'page-transport.js', 'page-suggest.js',
                   'page-offer.js', 'page.js'];

// The switches for the converter's contract, once read.
let Switches;

const tests = [];
const test = (name, body) => tests.push({ name, body });

// A state with every control set away from its default.
function everything() {
  const state = Switches.defaults();
  Object.assign(state, {
    autoTranspose: true, split: '5', outerVoices: true, eliminate: true, keepInStep: true, longChords: true,
    noTriplets: true, fitOctaves: true,
    polyphony: '3', transpose: '-5', upperC: true, verbosity: 6,
  });
  state.channels[2].leaveOut = true;  // channel 3
  state.channels[4].leaveOut = true;  // channel 5
  state.channels[1].mergeInto = 1;    // 2 -> 1
  state.channels[3].mergeInto = 1;    // 4 -> 1
  state.channels[6].mergeInto = 6;    // 7 -> 6
  state.channels[0].polyphony = '0';
  state.channels[5].polyphony = '2';
  state.channels[2].output = true;
  return state;
}

test('the site stays within its size budget', () => {
  const files = fs.readdirSync(siteDir);
  const total = files.reduce((sum, name) => sum + fs.statSync(path.join(siteDir, name)).size, 0);
  console.log(`  site: ${files.join(', ')}: ${total} bytes of ${budget}`);
  assert.deepStrictEqual(files.sort(), ['index.html', ...pageFiles].sort());
  assert.ok(total <= budget, `${total} bytes`);
});

test('the page loads only its own files', () => {
  const html = fs.readFileSync(path.join(siteDir, 'index.html'), 'utf8');
  const references = [...html.matchAll(/\b(?:src|href)="([^"]*)"/g)].map((m) => m[1]);
  // Links within the page (#...) load nothing.
  assert.deepStrictEqual(references.filter((reference) => !/^#[\w-]+$/.test(reference)), pageFiles);
});

test('controls become switches as a table of cases says', () => {
  const cases = [
    [Switches.defaults(), []],
    [everything(), ['-a', '-b', '5', '-c', '-d', '3,5', '-e', '-k', '-l', '-n', '-m', '1,2,4', '-m', '6,7', '-o', '-p', '3', '-p', '1@0',
                    '-p', '6@2', '-s', '3', '-t', '-5', '-u', '-v', '6']],
    [Object.assign(everything(), { leaveOutAll: true, mergeAll: true }),
     ['-a', '-b', '5', '-c', '-d', 'all', '-e', '-k', '-l', '-n', '-m', 'all', '-o', '-p', '3', '-p', '1@0', '-p', '6@2', '-s', '3', '-t', '-5',
      '-u', '-v', '6']],
    // Players make the merges: -m is left out, -P follows the -p switches.
    [Object.assign(everything(), { players: '3' }),
     ['-a', '-b', '5', '-c', '-d', '3,5', '-e', '-k', '-l', '-n', '-o', '-p', '3', '-p', '1@0', '-p', '6@2', '-P', '3', '-s', '3',
      '-t', '-5', '-u', '-v', '6']],
    // Defaults typed out leave the switch out; anything else goes to the program as typed.
    [Object.assign(Switches.defaults(), { polyphony: '0', transpose: ' 0 ', split: '0', players: '0', verbosity: 4 }), []],
    [Object.assign(Switches.defaults(), { polyphony: '2.5', transpose: '+7', verbosity: 0 }),
     ['-p', '2.5', '-t', '+7', '-v', '0']],
  ];
  for (const [state, expected] of cases)
    assert.deepStrictEqual(Switches.switches(state), expected);
  assert.deepStrictEqual(Switches.commandLine(Switches.defaults(), '-song.mid'), ['--', '-song.mid']);
  assert.strictEqual(Switches.display(['-t', '-5', 'my "best" song.mid']),
                     'midi2varn -t -5 "my \\"best\\" song.mid"');
});

test('switches follow the usage text, cover all of it and are accepted', async () => {
  const engine = new Engine(await require(path.resolve(moduleFile))());
  assert.strictEqual(Switches.channelCount, engine.contract.channels);
  const usage = Buffer.from(engine.convert(new Uint8Array(0), ['-h']).console).toString();
  const letters = [...new Set([...usage.matchAll(/^ {2}-([A-Za-z])\b/gm)].map((m) => m[1]))];
  assert.ok(letters.length >= 12, usage);
  const states = [everything(), Object.assign(everything(), { leaveOutAll: true, mergeAll: true }),
                  Object.assign(everything(), { players: '2' })];
  const lettersOf = (state) => Switches.switches(state).filter((arg) => /^-[A-Za-z]$/.test(arg)).map((arg) => arg[1]);
  for (const state of states) {
    const used = lettersOf(state);
    const order = used.map((letter) => letters.indexOf(letter));
    assert.ok(order.every((place, i) => place >= 0 && (i === 0 || place >= order[i - 1])), used.join(' '));
  }
  // Every listed switch but -h (a button of its own) comes from the controls.
  const all = new Set(states.flatMap(lettersOf));
  assert.deepStrictEqual(letters.filter((letter) => letter !== 'h' && !all.has(letter)), []);
  const example = new Uint8Array(fs.readFileSync(path.join(__dirname, '..', '..', 'examples', 'example.mid')));
  for (const state of states) {
    const run = engine.convert(example, Switches.commandLine(state, 'example.mid'));
    const console = Buffer.from(run.console).toString();
    assert.strictEqual(run.errors.length, 0);
    assert.deepStrictEqual(run.diagnostics.filter((d) => d.code === 'Usage'), [], console);
    assert.strictEqual(run.status, 0, console);
  }
});

test('runs report their diagnostics by code name, with named fields', async () => {
  const engine = new Engine(await require(path.resolve(moduleFile))());
  const example = new Uint8Array(fs.readFileSync(path.join(__dirname, '..', '..', 'examples', 'example.mid')));
  const cases = [
    [new Uint8Array(0), ['in.mid'], 'Empty', 0, []],
    [new TextEncoder().encode('Not a MIDI file at all.\n'), ['in.mid'], 'NotMidi', 0, []],
    [null, ['in.mid'], 'CannotOpenInput', 0, []],
    [example.subarray(0, example.length - 10), ['in.mid'], 'TrackTooShort', 0, [10]],
    [example, ['-m', '4,4', 'in.mid'], 'MergeIntoItself', 4, [4]],
    [example, ['-p', 'x', 'in.mid'], 'Usage', 0, []],
  ];
  for (const [bytes, args, code, channel, values] of cases) {
    const run = engine.convert(bytes, args);
    const found = run.diagnostics.find((d) => d.code === code);
    assert.ok(found, `${args.join(' ')}: ${JSON.stringify(run.diagnostics)}`);
    assert.deepStrictEqual(Object.keys(found).sort(), ['args', 'channel', 'code', 'count', 'internal', 'level', 'text']);
    assert.strictEqual(found.channel, channel);
    assert.strictEqual(found.internal, false);
    assert.deepStrictEqual(found.args, values);
    assert.ok(found.count >= 1);
    // The text is the console line the values make.
    assert.ok(Buffer.from(run.console).toString().includes(found.text), found.text);
  }
  assert.deepStrictEqual(engine.convert(example, ['in.mid']).diagnostics, []);
});

(async () => {
  Switches = forContract(new Engine(await require(path.resolve(moduleFile))()).contract);
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
  console.log(`${passed} passed, ${failed} failed`);
  process.exit(failed ? 1 : 0);
})();
