// The WebAssembly module under Node.js against the native program: for the
// example, the benchmark generator's 10k-note files and every valid file of
// the shared corpus, under several option sets, status, standard output,
// standard error and output file are equal byte for byte. The corpus is
// skipped where it is absent.
//
//   node equivalence.js MODULE.js NATIVE_EXE MAKE_BENCH_MIDI SOURCE_DIR WORK_DIR
'use strict';
const fs = require('fs');
const path = require('path');
const childProcess = require('child_process');
const Engine = require('../../web/engine.js');
const { runNative, difference } = require('./native.js');

const [moduleFile, nativeExe, benchGenerator, sourceDir, workDir] = process.argv.slice(2);
if (!workDir) {
  console.error('usage: node equivalence.js MODULE.js NATIVE_EXE MAKE_BENCH_MIDI SOURCE_DIR WORK_DIR');
  process.exit(2);
}

const optionSets = [[], ['-p', '3', '-e'], ['-l', '-u'], ['-n', '-t', '-5'], ['-m', 'all', '-p', '4'], ['-v', '9'], ['-b', '5', '-k']];

function inputs() {
  fs.mkdirSync(workDir, { recursive: true });
  const list = [{ name: 'example.mid', file: path.join(sourceDir, 'examples', 'example.mid') }];
  for (const type of [0, 1]) {
    const file = path.join(workDir, `bench-10000-t${type}.mid`);
    childProcess.execFileSync(benchGenerator, ['10000', String(type), file]);
    list.push({ name: path.basename(file), file });
  }
  const corpus = path.join(sourceDir, '..', 'shared', 'midi-corpus', 'Valid');
  // Regular files only, and real folders: links are not followed.
  const walk = (dir) => {
    for (const entry of fs.readdirSync(dir, { withFileTypes: true }).sort((a, b) => (a.name < b.name ? -1 : 1))) {
      const file = path.join(dir, entry.name);
      if (entry.isDirectory())
        walk(file);
      else if (entry.isFile())
        list.push({ name: entry.name, file });
    }
  };
  if (fs.existsSync(corpus)) {
    walk(corpus);
  } else {
    console.log(`corpus absent (${corpus}): skipped`);
  }
  return list;
}

(async () => {
  const engine = new Engine(await require(path.resolve(moduleFile))());
  let passed = 0;
  const failures = [];
  const check = (label, args, inputName, inputFile) => {
    const bytes = inputFile === null ? null : new Uint8Array(fs.readFileSync(inputFile));
    const web = engine.convert(bytes, args);
    const native = runNative(nativeExe, args, inputName, inputFile);
    const problems = [
      web.status === native.status ? '' : `status ${web.status}, native ${native.status}`,
      difference('console', web.console, native.console),
      difference('errors', web.errors, native.errors),
      difference('text', web.text, native.text),
    ].filter(Boolean);
    if (problems.length)
      failures.push(`${label}: midi2varn ${args.join(' ')}\n${problems.join('\n')}`);
    else
      ++passed;
  };

  const files = inputs();
  for (const input of files)
    for (const options of optionSets)
      check(input.name, [...options, input.name], input.name, input.file);

  // The example through the other paths of the program: macro blocks on
  // standard output, refusals, usage text, an input that cannot be opened,
  // an output that would overwrite the input.
  const example = files[0].file;
  for (const args of [['example.mid', '-'], ['-v', '9', '-l', 'example.mid', '-'], ['-h'], ['-x', 'example.mid'],
                      ['-d', '17', 'example.mid'], ['-p', '1', '-l', 'example.mid'], ['-m', '1,2', '-m', '2,3', 'example.mid'],
                      ['example.mid', 'out.txt', 'extra'], ['-t'], ['--', 'example.mid', 'melody.txt']])
    check('example', args, 'example.mid', example);
  check('tune.txt', ['tune.txt'], 'tune.txt', example);
  check('missing input', ['missing.mid'], 'missing.mid', null);

  for (const failure of failures)
    console.log(failure);
  console.log(`${files.length} files, ${optionSets.length} option sets`);
  console.log(`${passed} passed, ${failures.length} failed`);
  process.exit(failures.length ? 1 : 0);
})().catch((error) => {
  console.error(error);
  process.exit(1);
});
