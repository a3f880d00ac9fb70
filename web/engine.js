// Calls into the converter's WebAssembly module: copies a MIDI file and a
// command line in, and what the program would print and write out, as
// bytes. Used by the page's worker and by the tests under Node.js.
(function (root) {
  'use strict';

  var encoder = new TextEncoder();
  var ascii = new TextDecoder('latin1');

  // Copies `bytes` into the module's memory; the caller frees the address.
  function copyIn(module, bytes) {
    var address = module._malloc(Math.max(1, bytes.length));
    module.HEAPU8.set(bytes, address);
    return address;
  }

  function Engine(module) {
    this.module = module;
  }

  // A description the module wrote: its JSON text and its numbers (the
  // rows of its tables), read from the words at `words` + `first`.
  function description(module, words, first) {
    var heap32 = module.HEAPU32;
    var at = heap32[words + first];
    var text = ascii.decode(module.HEAPU8.subarray(at, at + heap32[words + first + 1]));
    var numbersAt = heap32[words + first + 2] >>> 3;
    var numbers = module.HEAPF64.slice(numbersAt, numbersAt + heap32[words + first + 3]);
    return { value: text ? JSON.parse(text) : null, numbers: numbers };
  }

  // The last run's diagnostics as the module describes them: objects
  // { code (its name), level, channel (0: none), args, count, internal,
  // text }.
  function diagnostics(module) {
    var words = module._m2v_diagnostics() >>> 2;
    var heap32 = module.HEAPU32;
    var at = heap32[words];
    return JSON.parse(ascii.decode(module.HEAPU8.subarray(at, at + heap32[words + 1])));
  }

  // A table [offset, rows] of `columns` numbers a row, as a Float64Array
  // of its own.
  function rows(numbers, table, columns) {
    return numbers.slice(table[0], table[0] + table[1] * columns);
  }

  // The numbers a row of each of the roll's tables holds.
  var columns = { source: 4, played: 7, departures: 4 };

  // The roll's description (see describeRoll in module.cpp) with its tables
  // as Float64Arrays, and their widths as `columns`.
  function roll(description) {
    var value = description.value;
    value.channels.forEach(function (channel) {
      channel.source = rows(description.numbers, channel.source, columns.source);
      channel.played = rows(description.numbers, channel.played, columns.played);
      channel.departures = rows(description.numbers, channel.departures, columns.departures);
    });
    value.columns = columns;
    return value;
  }

  // Runs the program on `bytes` (null: the input could not be opened) with
  // `args`, the command line after the program's name. Gives the exit
  // status, standard output, standard error and output file as bytes, the
  // output's name, the runs of standard output by level (start, length,
  // kind: 0..9 for the levels, 10 for macro text), and the tunes; with
  // `withRoll`, also what the page's piano roll shows (roll; null when the
  // run failed).
  Engine.prototype.convert = function (bytes, args, withRoll) {
    var module = this.module;
    var encoded = args.map(function (arg) { return encoder.encode(String(arg)); });
    var total = encoded.reduce(function (sum, arg) { return sum + arg.length; }, 0);
    var text = new Uint8Array(total);
    var lengths = new Uint32Array(encoded.length);
    var offset = 0;
    encoded.forEach(function (arg, i) {
      text.set(arg, offset);
      offset += arg.length;
      lengths[i] = arg.length;
    });
    var midi = bytes === null ? new Uint8Array(0) : bytes;
    var midiAt = copyIn(module, midi);
    var textAt = copyIn(module, text);
    var lengthsAt = copyIn(module, new Uint8Array(lengths.buffer));
    try {
      var words = module._m2v_convert(midiAt, midi.length, bytes === null ? 0 : 1, textAt, lengthsAt,
                                      encoded.length, withRoll ? 1 : 0) >>> 2;
      // Memory may have grown during the call: read through fresh views.
      var heap = module.HEAPU8;
      var heap32 = module.HEAPU32;
      var word = function (i) { return heap32[words + i]; };
      var bytesAt = function (i) { return heap.slice(word(i), word(i) + word(i + 1)); };
      var tunes = [];
      var tuneWords = word(11) >>> 2;
      for (var t = 0; t < word(12); ++t) {
        var w = tuneWords + 8 * t;
        tunes.push({
          channel: heap32[w],
          status: heap32[w + 1],
          text: ascii.decode(heap.subarray(heap32[w + 2], heap32[w + 2] + heap32[w + 3])),
          block: ascii.decode(heap.subarray(heap32[w + 4], heap32[w + 4] + heap32[w + 5])),
          macro: heap32[w + 6],  // of a split channel, from 1; 0: the whole tune
          macros: heap32[w + 7]  // the channel's macros when split
        });
      }
      return {
        status: word(0),
        console: bytesAt(1),
        errors: bytesAt(3),
        text: bytesAt(5),
        outputName: new TextDecoder().decode(heap.subarray(word(7), word(7) + word(8))),
        runs: heap32.slice(word(9) >>> 2, (word(9) >>> 2) + 3 * word(10)),
        tunes: tunes,
        diagnostics: diagnostics(module),
        roll: withRoll && word(14) ? roll(description(module, words, 13)) : null
      };
    } finally {
      module._free(midiAt);
      module._free(textAt);
      module._free(lengthsAt);
    }
  };

  // What the file holds before any switch: whether it reads as MIDI, the
  // first tempo (0: none) and the changes after it, and notes per channel.
  Engine.prototype.summary = function (bytes) {
    var module = this.module;
    var at = copyIn(module, bytes);
    try {
      var words = module._m2v_summary(at, bytes.length) >>> 2;
      var heap32 = module.HEAPU32;
      return {
        readable: heap32[words] === 1,
        firstTempo: heap32[words + 1],
        tempoChanges: heap32[words + 2],
        notes: Array.from(heap32.subarray(words + 3, words + 19))
      };
    } finally {
      module._free(at);
    }
  };

  // The notes a macro text (or a bare tune text) plays, as the scripting
  // hook gives them: per tune { channel, notes, warnings }, channel null for
  // a bare tune text, notes { start, length, pitch, velocity, seconds,
  // durationSeconds, stuck } ordered by start, then pitch.
  Engine.prototype.preview = function (text) {
    var module = this.module;
    var bytes = encoder.encode(text);
    var at = copyIn(module, bytes);
    try {
      var found = description(module, module._m2v_preview(at, bytes.length) >>> 2, 0);
      return found.value.map(function (tune) {
        var table = rows(found.numbers, tune.notes, 7);
        var notes = [];
        for (var i = 0; i < table.length; i += 7) {
          notes.push({
            start: table[i], length: table[i + 1], pitch: table[i + 2], velocity: table[i + 3],
            seconds: table[i + 4], durationSeconds: table[i + 5], stuck: (table[i + 6] & 2) !== 0
          });
        }
        return { channel: tune.channel, notes: notes, warnings: tune.warnings };
      });
    } finally {
      module._free(at);
    }
  };

  // The preview file varn2midi writes for a macro text: its bytes (empty
  // when the text holds no tune, or is too long for a MIDI file) and the
  // remarks about it, one a line.
  Engine.prototype.previewFile = function (text) {
    var module = this.module;
    var bytes = encoder.encode(text);
    var at = copyIn(module, bytes);
    try {
      var words = module._m2v_preview_file(at, bytes.length) >>> 2;
      var heap32 = module.HEAPU32;
      var heap = module.HEAPU8;
      return {
        bytes: heap.slice(heap32[words], heap32[words] + heap32[words + 1]),
        remarks: ascii.decode(heap.subarray(heap32[words + 2], heap32[words + 2] + heap32[words + 3]))
      };
    } finally {
      module._free(at);
    }
  };

  Engine.columns = columns;

  if (typeof module === 'object' && module.exports)
    module.exports = Engine;
  else
    root.Midi2varnEngine = Engine;
})(this);
