// Runs the native programs the way a player would: in a fresh folder
// holding the input under its own name (a link to the file, so that shared
// files are used in place), and collects what they print and write; reads
// the MIDI files varn2midi writes.
'use strict';
const assert = require('assert');
const childProcess = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');

// { status, console, errors, text } as Buffers (text: the file written
// beside the input, empty when there is none).
function runNative(exe, args, inputName, inputFile) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'midi2varn-native-'));
  try {
    if (inputFile !== null)
      fs.symlinkSync(path.resolve(inputFile), path.join(dir, inputName));
    // Named "midi2varn", as when started from the PATH.
    const run = childProcess.spawnSync(path.resolve(exe), args, { cwd: dir, argv0: 'midi2varn', maxBuffer: 1 << 30 });
    if (run.error)
      throw run.error;
    const written = fs.readdirSync(dir).filter((name) => name !== inputName);
    if (written.length > 1)
      throw new Error('the program wrote more than one file: ' + written.join(', '));
    return {
      status: run.status,
      console: run.stdout,
      errors: run.stderr,
      text: written.length ? fs.readFileSync(path.join(dir, written[0])) : Buffer.alloc(0),
    };
  } finally {
    fs.rmSync(dir, { recursive: true, force: true });
  }
}

// Where two byte strings first differ, with a little of each around it;
// empty when they are equal.
function difference(what, got, expected) {
  const a = Buffer.from(got);
  const b = Buffer.from(expected);
  if (a.equals(b))
    return '';
  let i = 0;
  while (i < a.length && i < b.length && a[i] === b[i])
    ++i;
  const around = (bytes) => JSON.stringify(bytes.subarray(Math.max(0, i - 40), i + 40).toString('latin1'));
  return `${what} differs at byte ${i} (lengths ${a.length} and ${b.length}):\n  web:    ${around(a)}\n  native: ${around(b)}`;
}

// The notes of a Standard MIDI File, track by track: the track's name, and
// its note starts and ends as [tick, pitch, velocity] (ends: velocity 0).
function readMidi(bytes) {
  let at = 0;
  const u32 = () => { const v = bytes.readUInt32BE(at); at += 4; return v; };
  const vlq = () => {
    let value = 0;
    for (;;) {
      const byte = bytes[at++];
      value = value * 128 + (byte & 0x7f);
      if (!(byte & 0x80))
        return value;
    }
  };
  assert.strictEqual(bytes.toString('latin1', 0, 4), 'MThd');
  at = 4;
  const headerLength = u32();
  at += headerLength;
  const tracks = [];
  while (at < bytes.length) {
    assert.strictEqual(bytes.toString('latin1', at, at + 4), 'MTrk');
    at += 4;
    const end = u32() + at;
    const track = { name: '', starts: [], ends: [] };
    let tick = 0;
    let status = 0;
    while (at < end) {
      tick += vlq();
      if (bytes[at] & 0x80)
        status = bytes[at++];
      if (status === 0xff) {
        const type = bytes[at++];
        const length = vlq();
        if (type === 0x03)
          track.name = bytes.toString('latin1', at, at + length);
        at += length;
      } else if (status === 0xf0 || status === 0xf7) {
        const length = vlq();
        at += length;
      } else {
        const kind = status & 0xf0;
        const data = kind === 0xc0 || kind === 0xd0 ? [bytes[at++]] : [bytes[at++], bytes[at++]];
        if (kind === 0x90 && data[1] > 0)
          track.starts.push([tick, data[0], data[1]]);
        else if (kind === 0x80 || kind === 0x90)
          track.ends.push([tick, data[0], 0]);
      }
    }
    tracks.push(track);
  }
  return tracks;
}

// The native varn2midi's preview of the macro text `text`: its exit status,
// what it says on standard error and the tracks of the file it writes
// (null when none), run in a fresh folder on a file named song.txt.
function runPreview(exe, text) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'midi2varn-preview-'));
  try {
    fs.writeFileSync(path.join(dir, 'song.txt'), text);
    const run = childProcess.spawnSync(path.resolve(exe), ['song.txt'], { cwd: dir, maxBuffer: 1 << 30 });
    if (run.error)
      throw run.error;
    const file = path.join(dir, 'song.preview.mid');
    return { status: run.status, errors: run.stderr.toString(), bytes: fs.existsSync(file) ? fs.readFileSync(file) : null,
             tracks: fs.existsSync(file) ? readMidi(fs.readFileSync(file)) : null };
  } finally {
    fs.rmSync(dir, { recursive: true, force: true });
  }
}

// The native varn2midi's departure report of the macro text `text` against
// the MIDI file `midiFile`, converted with `args` (its switches).
function runAgainst(exe, midiFile, args, text) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'midi2varn-against-'));
  try {
    fs.symlinkSync(path.resolve(midiFile), path.join(dir, 'song.mid'));
    fs.writeFileSync(path.join(dir, 'song.txt'), text);
    const run = childProcess.spawnSync(path.resolve(exe), ['--against', 'song.mid', ...args, 'song.txt'],
                                       { cwd: dir, maxBuffer: 1 << 30 });
    if (run.error)
      throw run.error;
    return run.stdout.toString();
  } finally {
    fs.rmSync(dir, { recursive: true, force: true });
  }
}

module.exports = { runNative, runPreview, runAgainst, readMidi, difference };
