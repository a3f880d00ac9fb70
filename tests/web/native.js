// Runs the native command-line program the way a player would: in a fresh
// folder holding the input under its own name (a link to the file, so that
// shared files are used in place), and collects what it prints and writes.
'use strict';
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

module.exports = { runNative, difference };
