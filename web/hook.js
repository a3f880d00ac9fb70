// midi2varn in the browser. The converter runs in a Web Worker, started
// from a Blob URL because a page opened from disk may not start one from a
// file; its script, WebAssembly included, is the string below.
//
//   window.midi2varn.convert(bytes, args) -> Promise of
//     { status, console, errors, text }
//
// answers as the command-line program would: `bytes` is the content of the
// input named in `args` (the command line after the program's name), and
// nothing is read or written anywhere.
//
//   window.midi2varn.preview(text) -> Promise of
//     [{ channel, notes: [{ start, length, pitch, velocity, seconds,
//        durationSeconds, stuck }], warnings }]
//
// gives the notes a macro text (or a bare tune text) plays, block by block,
// as varn2midi writes them.
//
//   window.midi2varn.contract
//
// names the converter's constants and the layouts of what it hands over
// (m2v_contract, read by engine.js).
//
// window.midi2varn is the page's one global name: the page's own scripts
// add their parts to it (switches, roll, Player, page).
(function () {
  'use strict';

  var workerSource = /*@worker-source@*/null;
  var workerUrl = null;
  var utf8 = new TextDecoder();

  // One worker and the requests it has not answered yet.
  function Converter() {
    this.worker = null;
    this.pending = new Map();
    this.nextId = 1;
  }

  Converter.prototype.start = function () {
    if (this.worker)
      return this.worker;
    if (!workerUrl)
      workerUrl = URL.createObjectURL(new Blob([workerSource], { type: 'text/javascript' }));
    var self = this;
    var worker = new Worker(workerUrl);
    worker.onmessage = function (event) {
      var answer = event.data;
      var waiting = self.pending.get(answer.id);
      if (!waiting)
        return;
      self.pending.delete(answer.id);
      if (answer.error !== undefined) {
        if (answer.broken)
          self.stop(new Error(answer.error));
        waiting.reject(new Error(answer.error));
      } else {
        waiting.resolve(answer.value);
      }
    };
    worker.onerror = function (event) {
      event.preventDefault();
      self.stop(new Error('The converter stopped: ' + (event.message || 'unknown error')));
    };
    this.worker = worker;
    return worker;
  };

  Converter.prototype.request = function (message) {
    var self = this;
    var worker = this.start();
    message.id = this.nextId++;
    return new Promise(function (resolve, reject) {
      self.pending.set(message.id, { resolve: resolve, reject: reject });
      worker.postMessage(message);
    });
  };

  // Ends the worker; its unanswered requests fail with `reason`. The next
  // request starts a new one.
  Converter.prototype.stop = function (reason) {
    if (this.worker)
      this.worker.terminate();
    this.worker = null;
    var pending = this.pending;
    this.pending = new Map();
    pending.forEach(function (waiting) { waiting.reject(reason); });
  };

  // Whether a request is still unanswered.
  Converter.prototype.busy = function () {
    return this.pending.size > 0;
  };

  // Everything a run gives: status, console, errors and text as bytes, the
  // output's name, the console's runs by level and the tunes; with
  // `withSummary`, also what the file holds before any switch (summary);
  // with `withRoll`, what the piano roll shows (roll, see engine.js).
  Converter.prototype.convert = function (bytes, args, withSummary, withRoll) {
    return this.request({ kind: 'convert', bytes: bytes, args: args.slice(), summary: Boolean(withSummary),
                          roll: Boolean(withRoll) });
  };

  // The notes a macro text plays, block by block (see preview below).
  Converter.prototype.preview = function (text) {
    return this.request({ kind: 'preview', text: text });
  };

  // The preview file varn2midi writes for a macro text: { bytes, remarks }.
  Converter.prototype.previewFile = function (text) {
    return this.request({ kind: 'previewFile', text: text });
  };

  // The report lines and words of departures `indices` (numbers) of
  // `channel` in conversion `serial`: { lines, words }, or null after a
  // newer conversion.
  Converter.prototype.departures = function (serial, channel, indices) {
    return this.request({ kind: 'departures', serial: serial, channel: channel, indices: indices });
  };

  // What the file holds before any switch (see engine.js).
  Converter.prototype.summary = function (bytes) {
    return this.request({ kind: 'summary', bytes: bytes });
  };

  var shared = null;

  function convert(bytes, args, options) {
    if (!(bytes instanceof Uint8Array) && bytes !== null)
      return Promise.reject(new TypeError('bytes must be a Uint8Array (or null for an input that cannot be opened)'));
    if (!Array.isArray(args) || !args.every(function (arg) { return typeof arg === 'string'; }))
      return Promise.reject(new TypeError('args must be an array of strings'));
    shared = shared || new Converter();
    return shared.convert(bytes, args).then(function (run) {
      var result = {
        status: run.status,
        console: utf8.decode(run.console),
        errors: utf8.decode(run.errors),
        text: utf8.decode(run.text)
      };
      if (options && options.bytes)
        result.bytes = { console: run.console, errors: run.errors, text: run.text };
      return result;
    });
  }

  function preview(text) {
    if (typeof text !== 'string')
      return Promise.reject(new TypeError('text must be a string: a macro text or a bare tune text'));
    shared = shared || new Converter();
    return shared.preview(text);
  }

  // The converter's contract (see engine.js), written in when the site is built.
  var contract = /*@contract@*/null;

  window.midi2varn = { convert: convert, preview: preview, Converter: Converter, contract: contract };
})();
