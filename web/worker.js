// The worker's side: converts on request, off the page's thread. Its script
// is the converter module, engine.js and this file, one after the other;
// midi2varn.js starts it from a Blob URL.
/* global createMidi2varnModule, midi2varn */
(function () {
  'use strict';

  // The converter needs no network. Without fetch the module also takes
  // its WebAssembly straight from the script instead of fetching it from a
  // data: URL.
  self.fetch = undefined;

  var engine = createMidi2varnModule().then(function (module) {
    return new midi2varn.Engine(module);
  });

  // The answer to a request, and the buffers it hands over.
  function answer(converter, request) {
    switch (request.kind) {
    case 'summary':
      return { value: converter.summary(request.bytes), transfer: [] };
    case 'preview':
      return { value: converter.preview(request.text), transfer: [] };
    case 'suggest':
      // Progress goes out as messages of its own, which carry no id.
      return { value: converter.suggest(request.bytes, request.args, function (done, total) {
        self.postMessage({ suggestProgress: request.token, done: done, total: total });
      }, request.players), transfer: [] };
    case 'departures':
      return { value: converter.departures(request.serial, request.channel, request.indices), transfer: [] };
    case 'previewFile':
      var file = converter.previewFile(request.text);
      return { value: file, transfer: [file.bytes.buffer] };
    default:
      var result = converter.convert(request.bytes, request.args, request.roll);
      if (request.summary && request.bytes)
        result.summary = converter.summary(request.bytes);
      var transfer = [result.console.buffer, result.errors.buffer, result.text.buffer, result.runs.buffer];
      if (result.roll) {
        transfer.push(result.roll.store.buffer);
        result.roll.channels.forEach(function (channel) { transfer.push(channel.departures.buffer); });
      }
      return { value: result, transfer: transfer };
    }
  }

  self.onmessage = function (event) {
    var request = event.data;
    engine.then(function (converter) {
      var found = answer(converter, request);
      self.postMessage({ id: request.id, value: found.value }, found.transfer);
    }).catch(function (error) {
      // After an abort (out of memory) the module is unusable: the page
      // starts a new worker.
      self.postMessage({ id: request.id, error: String((error && error.message) || error), broken: true });
    });
  };
})();
