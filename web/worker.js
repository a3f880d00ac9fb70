// The worker's side: converts on request, off the page's thread. Its script
// is the converter module, engine.js and this file, one after the other;
// midi2varn.js starts it from a Blob URL.
/* global createMidi2varnModule, Midi2varnEngine */
(function () {
  'use strict';

  // The converter needs no network. Without fetch the module also takes
  // its WebAssembly straight from the script instead of fetching it from a
  // data: URL.
  self.fetch = undefined;

  var engine = createMidi2varnModule().then(function (module) {
    return new Midi2varnEngine(module);
  });

  self.onmessage = function (event) {
    var request = event.data;
    engine.then(function (converter) {
      if (request.kind === 'summary') {
        self.postMessage({ id: request.id, summary: converter.summary(request.bytes) });
        return;
      }
      var result = converter.convert(request.bytes, request.args);
      if (request.summary && request.bytes)
        result.summary = converter.summary(request.bytes);
      self.postMessage({ id: request.id, result: result },
                       [result.console.buffer, result.errors.buffer, result.text.buffer, result.runs.buffer]);
    }).catch(function (error) {
      // After an abort (out of memory) the module is unusable: the page
      // starts a new worker.
      self.postMessage({ id: request.id, error: String((error && error.message) || error), broken: true });
    });
  };
})();
