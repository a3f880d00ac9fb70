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

  // Runs the program on `bytes` (null: the input could not be opened) with
  // `args`, the command line after the program's name. Gives the exit
  // status, standard output, standard error and output file as bytes, the
  // output's name, the runs of standard output by level (start, length,
  // kind: 0..9 for the levels, 10 for macro text), and the tunes.
  Engine.prototype.convert = function (bytes, args) {
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
                                      encoded.length) >>> 2;
      // Memory may have grown during the call: read through fresh views.
      var heap = module.HEAPU8;
      var heap32 = module.HEAPU32;
      var word = function (i) { return heap32[words + i]; };
      var bytesAt = function (i) { return heap.slice(word(i), word(i) + word(i + 1)); };
      var tunes = [];
      var tuneWords = word(11) >>> 2;
      for (var t = 0; t < word(12); ++t) {
        var w = tuneWords + 6 * t;
        tunes.push({
          channel: heap32[w],
          status: heap32[w + 1],
          text: ascii.decode(heap.subarray(heap32[w + 2], heap32[w + 2] + heap32[w + 3])),
          block: ascii.decode(heap.subarray(heap32[w + 4], heap32[w + 4] + heap32[w + 5]))
        });
      }
      return {
        status: word(0),
        console: bytesAt(1),
        errors: bytesAt(3),
        text: bytesAt(5),
        outputName: new TextDecoder().decode(heap.subarray(word(7), word(7) + word(8))),
        runs: heap32.slice(word(9) >>> 2, (word(9) >>> 2) + 3 * word(10)),
        tunes: tunes
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

  if (typeof module === 'object' && module.exports)
    module.exports = Engine;
  else
    root.Midi2varnEngine = Engine;
})(this);
