// The page's file: read from the chooser or a drop, its summary (tempo,
// channels) once the converter has looked at it, and its conversion in
// the worker, of which only the newest is shown.
(function (page) {
  'use strict';

  var $ = page.$;
  var plural = page.plural;
  var superseded = new Error('superseded by a newer conversion');
  var generation = 0;   // the newest conversion asked for

  function openFile(chosen) {
    if (!chosen)
      return;
    chosen.arrayBuffer().then(function (buffer) {
      var file = { name: chosen.name, bytes: new Uint8Array(buffer) };
      page.state.file = file;
      page.state.summary = null;
      $('file-name').textContent = file.name;
      $('file-size').textContent = formatSize(file.bytes.length);
      $('tempo').textContent = '';
      $('channels-found').textContent = '';
      $('summary').hidden = false;
      page.controlsChanged();
    }, function () {
      page.showStatus('The file could not be read from your disk. Try choosing it again.', 'bad');
    });
  }

  function formatSize(bytes) {
    if (bytes < 1024)
      return '(' + plural(bytes, 'byte', 'bytes') + ')';
    if (bytes < 1024 * 1024)
      return '(' + (bytes / 1024).toFixed(1) + ' KB)';
    return '(' + (bytes / 1024 / 1024).toFixed(1) + ' MB)';
  }

  function showSummary(facts) {
    page.state.summary = facts;
    if (!facts.readable) {
      $('tempo').textContent = '';
      $('channels-found').textContent = 'This file cannot be read as MIDI (see the result).';
      page.showChannelRows();
      return;
    }
    if (facts.firstTempo === 0)
      $('tempo').textContent = 'Tempo: none set (MIDI\'s default is 120 beats per minute).';
    else
      $('tempo').textContent = 'Tempo: ' + facts.firstTempo + ' beats per minute at the start' +
        (facts.tempoChanges ? ', then ' + plural(facts.tempoChanges, 'change', 'changes') : ', no changes') + '.';
    var used = [];
    facts.notes.forEach(function (notes, i) {
      if (notes > 0)
        used.push((i + 1) + ' (' + plural(notes, 'note', 'notes') + ')');
    });
    $('channels-found').textContent = used.length ? 'Channels: ' + used.join(', ') + '.' : 'The file has no notes.';
    page.showChannelRows();
  }

  // ---- Converting ---------------------------------------------------------

  // The busy sign, and the page's readiness: document.body.dataset.state
  // is "converting" while a conversion runs and "ready" once its result is
  // on show (blocks, summary, report summary and the roll's first view).
  function setBusy(busy) {
    $('busy').hidden = !busy;
    $('result').setAttribute('aria-busy', busy ? 'true' : 'false');
    document.body.dataset.state = busy ? 'converting' : 'ready';
  }

  // Converts the file with the current controls; only the newest result
  // is shown, and a conversion still running for older controls is ended.
  function convert(args) {
    var converter = page.state.converter;
    var mine = ++generation;
    var current = page.state.file;
    if (converter.busy())
      converter.stop(superseded);
    setBusy(true);
    converter.convert(current.bytes, args, page.state.summary === null, true).then(function (run) {
      if (mine !== generation)
        return;
      if (run.summary)
        showSummary(run.summary);
      page.showResult(run, current);
      // Ready once the roll's first view, drawn at the next frame, is on show.
      requestAnimationFrame(function () {
        if (mine === generation)
          setBusy(false);
      });
    }, function (error) {
      if (mine !== generation || error === superseded)
        return;
      page.state.shown = null;
      setBusy(false);
      page.showStatus('The converter stopped: ' + error.message + '. Try again, or with fewer channels.', 'bad');
    });
  }

  // The file chooser, and a file dropped anywhere on the page.
  function wireFile() {
    $('choose').addEventListener('click', function () { $('file').click(); });
    $('file').addEventListener('change', function (event) {
      openFile(event.target.files[0]);
      event.target.value = '';
    });
    var depth = 0;
    var carriesFiles = function (event) {
      return event.dataTransfer && Array.prototype.indexOf.call(event.dataTransfer.types, 'Files') >= 0;
    };
    document.addEventListener('dragenter', function (event) {
      if (!carriesFiles(event))
        return;
      event.preventDefault();
      if (depth++ === 0)
        $('drop-overlay').hidden = false;
    });
    document.addEventListener('dragover', function (event) {
      if (!carriesFiles(event))
        return;
      event.preventDefault();
      event.dataTransfer.dropEffect = 'copy';
    });
    document.addEventListener('dragleave', function (event) {
      if (!carriesFiles(event))
        return;
      if (--depth <= 0) {
        depth = 0;
        $('drop-overlay').hidden = true;
      }
    });
    document.addEventListener('drop', function (event) {
      if (!carriesFiles(event))
        return;
      event.preventDefault();
      depth = 0;
      $('drop-overlay').hidden = true;
      openFile(event.dataTransfer.files[0]);
    });
  }

  page.convert = convert;
  page.wireFile = wireFile;
})(window.midi2varn.page);
