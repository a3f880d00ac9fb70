// Calls into the converter's WebAssembly module: copies a MIDI file and a
// command line in, and what the program would print and write out, as
// bytes. Every record and table is read by the names of the module's
// contract (m2v_contract), never by position. Used by the page's worker,
// the site's build and the tests under Node.js.
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

  // A layout of the contract ([[name, words]...]) as { width, at: {name:
  // first word} }.
  function layout(fields) {
    var at = {};
    var width = 0;
    fields.forEach(function (field) {
      at[field[0]] = width;
      width += field[1];
    });
    return { width: width, at: at, fields: fields };
  }

  // The record of `layout` at word `words` of the module's memory, as an
  // object of its one-word fields.
  function record(module, words, shape) {
    var heap32 = module.HEAPU32;
    var out = {};
    shape.fields.forEach(function (field) {
      if (field[1] === 1)
        out[field[0]] = heap32[words + shape.at[field[0]]];
    });
    return out;
  }

  // The contract: the converter's constants, and its layouts as layout().
  function readContract(module) {
    var words = module._m2v_contract() >>> 2;
    var heap32 = module.HEAPU32;
    var contract = JSON.parse(ascii.decode(module.HEAPU8.subarray(heap32[words], heap32[words] + heap32[words + 1])));
    var layouts = {};
    Object.keys(contract.layouts).forEach(function (name) { layouts[name] = layout(contract.layouts[name]); });
    contract.layouts = layouts;
    return contract;
  }

  function Engine(module) {
    this.module = module;
    this.contract = readContract(module);
    this.serial = 0;   // the conversions so far
  }

  // A description the module wrote (layouts.description): its JSON value
  // and its numbers (the rows of its tables).
  Engine.prototype.description = function (words) {
    var module = this.module;
    var d = record(module, words >>> 2, this.contract.layouts.description);
    var text = ascii.decode(module.HEAPU8.subarray(d.at, d.at + d.length));
    var numbers = module.HEAPF64.slice(d.numbersAt >>> 3, (d.numbersAt >>> 3) + d.numbersCount);
    return { value: text ? JSON.parse(text) : null, numbers: numbers };
  };

  // A table [offset, rows] of rows of `shape`, as a Float64Array of its own.
  function rows(numbers, table, shape) {
    return numbers.slice(table[0], table[0] + table[1] * shape.width);
  }

  // The roll's description (describeRoll in describe.cpp) with its
  // departures as Float64Arrays of the contract's layout departure, and its
  // note lists (tune, source) as { count, column: typed array... } of the
  // contract's columns, all reading `store`, a copy of the module's block.
  Engine.prototype.roll = function (json, numbers, store) {
    var value = JSON.parse(json);
    var layouts = this.contract.layouts;
    var columns = this.contract.columns.noteList;
    var list = function (place) {
      var notes = { count: place.count };
      columns.forEach(function (column) {
        notes[column[0]] = new globalThis[column[1] + 'Array'](store.buffer, place[column[0]], place.count);
      });
      return notes;
    };
    value.store = store;
    value.channels.forEach(function (channel) {
      channel.tune = list(channel.tune);
      channel.source = list(channel.source);
      channel.departures = rows(numbers, channel.departures, layouts.departure);
    });
    return value;
  };

  // The tunes of an outcome (layouts.tune): one entry per macro of a split
  // channel, with its text, block and the macro parts it takes.
  Engine.prototype.tunes = function (at, count) {
    var module = this.module;
    var shape = this.contract.layouts.tune;
    var heap = module.HEAPU8;
    var tunes = [];
    for (var t = 0; t < count; ++t) {
      var w = record(module, (at >>> 2) + shape.width * t, shape);
      tunes.push({
        channel: w.channel,
        status: w.status,
        text: ascii.decode(heap.subarray(w.textAt, w.textAt + w.textLength)),
        block: ascii.decode(heap.subarray(w.blockAt, w.blockAt + w.blockLength)),
        macro: w.macro,   // of a split channel, from 1; 0: the whole tune
        macros: w.macros, // the channel's macros when split
        parts: w.parts    // the macro parts its block takes
      });
    }
    return tunes;
  };

  function encodeArgs(args) {
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
    return { text: text, lengths: new Uint8Array(lengths.buffer), count: encoded.length };
  }

  // Runs the program on `bytes` (null: the input could not be opened) with
  // `args`, the command line after the program's name. Gives the exit
  // status, standard output, standard error and output file as bytes, the
  // output's name, the runs of standard output by level (layouts.run, kind
  // a level or contract.macroRun), the tunes, and the conversion's serial
  // number; with `withRoll`, also what the page's piano roll shows (roll;
  // null when the run failed), whose departures' lines come from
  // departures().
  Engine.prototype.convert = function (bytes, args, withRoll) {
    var module = this.module;
    var line = encodeArgs(args);
    var midi = bytes === null ? new Uint8Array(0) : bytes;
    var midiAt = copyIn(module, midi);
    var textAt = copyIn(module, line.text);
    var lengthsAt = copyIn(module, line.lengths);
    try {
      var words = module._m2v_convert(midiAt, midi.length, bytes === null ? 0 : 1, textAt, lengthsAt,
                                      line.count, withRoll ? 1 : 0) >>> 2;
      // Memory may have grown during the call: read through fresh views.
      var o = record(module, words, this.contract.layouts.outcome);
      var heap = module.HEAPU8;
      var bytesOf = function (at, length) { return heap.slice(at, at + length); };
      var runWidth = this.contract.layouts.run.width;
      var run = {
        serial: ++this.serial,
        status: o.status,
        console: bytesOf(o.consoleAt, o.consoleLength),
        errors: bytesOf(o.errorsAt, o.errorsLength),
        text: bytesOf(o.textAt, o.textLength),
        outputName: new TextDecoder().decode(heap.subarray(o.nameAt, o.nameAt + o.nameLength)),
        runs: module.HEAPU32.slice(o.runsAt >>> 2, (o.runsAt >>> 2) + runWidth * o.runsCount),
        tunes: this.tunes(o.tunesAt, o.tunesCount),
        roll: withRoll && o.rollLength
          ? this.roll(ascii.decode(heap.subarray(o.rollAt, o.rollAt + o.rollLength)),
                      module.HEAPF64.slice(o.rollNumbersAt >>> 3, (o.rollNumbersAt >>> 3) + o.rollNumbersCount),
                      bytesOf(o.rollColumnsAt, o.rollColumnsLength))
          : null
      };
      // Read last: the call may grow the module's memory under the views above.
      run.diagnostics = this.description(module._m2v_diagnostics()).value;
      return run;
    } finally {
      module._free(midiAt);
      module._free(textAt);
      module._free(lengthsAt);
    }
  };

  // The report lines and plain words of departures `indices` of `channel`
  // in conversion `serial`: { lines, words }, or null when a newer
  // conversion has run since.
  Engine.prototype.departures = function (serial, channel, indices) {
    if (serial !== this.serial)
      return null;
    var module = this.module;
    var at = copyIn(module, new Uint8Array(Uint32Array.from(indices).buffer));
    try {
      return this.description(module._m2v_departures(channel, at, indices.length)).value;
    } finally {
      module._free(at);
    }
  };

  // What the file holds before any switch (layouts.summary): whether it
  // reads as MIDI, the first tempo (0: none) and the changes after it, and
  // notes per channel.
  Engine.prototype.summary = function (bytes) {
    var module = this.module;
    var at = copyIn(module, bytes);
    try {
      var words = module._m2v_summary(at, bytes.length) >>> 2;
      var shape = this.contract.layouts.summary;
      var s = record(module, words, shape);
      var notes = words + shape.at.notes;
      return {
        readable: s.readable === 1,
        firstTempo: s.firstTempo,
        tempoChanges: s.tempoChanges,
        notes: Array.from(module.HEAPU32.subarray(notes, notes + this.contract.channels))
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
    var shape = this.contract.layouts.played;
    var c = shape.at;
    var stuck = this.contract.noteFlags.stuck;
    try {
      var found = this.description(module._m2v_preview(at, bytes.length));
      return found.value.map(function (tune) {
        var table = rows(found.numbers, tune.notes, shape);
        var notes = [];
        for (var i = 0; i < table.length; i += shape.width) {
          notes.push({
            start: table[i + c.start], length: table[i + c.length], pitch: table[i + c.pitch],
            velocity: table[i + c.velocity], seconds: table[i + c.seconds],
            durationSeconds: table[i + c.duration], stuck: (table[i + c.flags] & stuck) !== 0
          });
        }
        return { channel: tune.channel, notes: notes, warnings: tune.warnings };
      });
    } finally {
      module._free(at);
    }
  };

  // The preview file varn2midi writes for a macro text (layouts.previewFile):
  // its bytes (empty when the text holds no tune, or is too long for a MIDI
  // file) and the remarks about it, one a line.
  Engine.prototype.previewFile = function (text) {
    var module = this.module;
    var bytes = encoder.encode(text);
    var at = copyIn(module, bytes);
    try {
      var f = record(module, module._m2v_preview_file(at, bytes.length) >>> 2, this.contract.layouts.previewFile);
      var heap = module.HEAPU8;
      return {
        bytes: heap.slice(f.bytesAt, f.bytesAt + f.bytesLength),
        remarks: ascii.decode(heap.subarray(f.remarksAt, f.remarksAt + f.remarksLength))
      };
    } finally {
      module._free(at);
    }
  };

  // Suggestions for `bytes` under switch sets built on `args` (the
  // switches only), for at most `players` players when above 0 (with -P
  // for them among the sets): { converted, errors, players, ranked: [{
  // switches, typed, notes, asWritten, played, macros, parts, playsWhole,
  // drums, asWrittenShare, playedShare, line, players, given, words }],
  // offer }, best first, with
  // `progress(done, total)` called as they are tried; offer is the line
  // offering the best set instead of `args` ("" when it is not worth it).
  Engine.prototype.suggest = function (bytes, args, progress, players) {
    var module = this.module;
    var line = encodeArgs(args);
    var midiAt = copyIn(module, bytes);
    var textAt = copyIn(module, line.text);
    var lengthsAt = copyIn(module, line.lengths);
    module.onSuggestProgress = progress || null;
    try {
      return this.description(module._m2v_suggest(midiAt, bytes.length, textAt, lengthsAt, line.count, players || 0)).value;
    } finally {
      module.onSuggestProgress = null;
      module._free(midiAt);
      module._free(textAt);
      module._free(lengthsAt);
    }
  };

  if (typeof module === 'object' && module.exports)
    module.exports = Engine;
  else
    root.midi2varn = { Engine: Engine }; // the worker's one global name
})(this);
