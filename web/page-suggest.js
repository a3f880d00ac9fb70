// The fidelity score of the current settings under the file's summary, and
// the Suggest button: the worker converts the file under a few switch sets
// built on the current ones (as varn2midi --suggest does) with a progress
// line, and a click on a row sets the controls to it.
(function (page) {
  'use strict';

  var $ = page.$;
  var element = page.element;
  // The switches a row may change; the others stay as they are.
  var toggled = ['a', 'c', 'e', 'k', 'n', 'o', 'u'];
  var token = 0; // tells this page's requests from older ones

  // The band size the suggestions are for (0: any number of players).
  function players() {
    var value = Number($('suggest-players').value);
    var most = Number($('suggest-players').max);
    return Number.isInteger(value) && value > 0 ? Math.min(value, most) : 0;
  }

  function request() {
    var file = page.state.file;
    return page.state.converter.request({
      kind: 'suggest', bytes: file.bytes, args: page.currentSwitches(), players: players(), token: ++token
    });
  }

  // The score of the shown conversion, from its roll's song figures; drums
  // played as pitches count against it.
  function showScore(run) {
    var song = run.status === 0 && run.roll ? run.roll.song : null;
    var notes = song && page.plural(song.notes, 'note', 'notes');
    $('score').textContent = !song ? '' :
      'Fidelity: ' + (song.drums
        ? song.asWrittenShare + ' as written, ' + song.playedShare + ' of ' + notes + ' played; ' +
          page.plural(song.drums, 'drum note', 'drum notes') + ' played as pitches count against it; '
        : song.asWrittenShare + ' of ' + notes + ' as written, ' + song.playedShare + ' played; ') +
      page.plural(song.macros, 'macro', 'macros') + ' of at most ' + page.plural(song.parts, 'part', 'parts') +
      (song.playsWhole ? '.' : ': the game plays only ' + window.midi2varn.contract.partLimit + ' parts of a macro.');
  }

  // Sets the controls to a row's switches and converts with them.
  function apply(row) {
    toggled.forEach(function (letter) {
      $('opt-' + letter).checked = row.switches.indexOf('-' + letter) >= 0;
    });
    var split = row.switches.indexOf('-b');
    $('opt-b').value = split >= 0 ? row.switches[split + 1] : '';
    // A row's -P (the band it is for) takes the place of the merges.
    var band = row.switches.indexOf('-P');
    $('opt-P').value = band >= 0 ? row.switches[band + 1] : '';
    // A row's -d 10 leaves the drums out: the channel's box, or under -d all its Output box.
    var drums = String(window.midi2varn.contract.drumChannel);
    row.switches.forEach(function (arg, i) {
      if (arg === '-d' && row.switches[i + 1] === drums) {
        if ($('opt-d-all').checked)
          $('output-' + drums).checked = false;
        else
          $('leave-out-' + drums).checked = true;
      }
    });
    page.controlsChanged();
  }

  function cell(text, className) {
    return element('td', className, text);
  }

  function showTable(found) {
    var body = $('suggest-table').querySelector('tbody');
    body.textContent = '';
    found.ranked.forEach(function (row, i) {
      var tr = element('tr', (i === 0 ? 'best' : '') + (row.playsWhole ? '' : ' too-many'));
      tr.appendChild(cell(row.typed === '' ? '(none)' : row.typed));
      tr.appendChild(cell(row.asWrittenShare, 'number'));
      tr.appendChild(cell(row.playedShare, 'number'));
      tr.appendChild(cell(String(row.macros), 'number'));
      tr.appendChild(cell(row.parts + (row.playsWhole ? '' : ' (too many)'), 'number'));
      if (found.players)
        tr.appendChild(cell(String(row.players), 'number'));
      tr.appendChild(cell(row.words, 'words'));
      var use = element('button', 'apply', row.given ? 'In use' : 'Use');
      use.type = 'button';
      use.disabled = row.given;
      use.addEventListener('click', function () { apply(row); });
      var last = cell('');
      last.appendChild(use);
      tr.appendChild(last);
      body.appendChild(tr);
    });
    $('suggest-players-head').hidden = !found.players;
    $('suggest-table').hidden = found.ranked.length === 0;
  }

  function suggest() {
    if (!page.state.file)
      return;
    var mine = token + 1;
    var progress = $('suggest-progress');
    var worker = page.state.converter.start();
    var listen = function (event) {
      var d = event.data;
      if (d && d.suggestProgress === mine)
        progress.textContent = 'Trying switch sets: ' + d.done + ' of ' + d.total + '…';
    };
    worker.addEventListener('message', listen);
    $('suggest-button').disabled = true;
    progress.textContent = 'Trying switch sets…';
    var done = function () {
      worker.removeEventListener('message', listen);
      $('suggest-button').disabled = false;
    };
    request().then(function (found) {
      done();
      if (mine !== token)
        return;
      progress.textContent = found.converted ? 'Best first; Use sets the options to a row.' : found.errors;
      showTable(found);
    }, function (error) {
      done();
      progress.textContent = 'The suggestions stopped: ' + error.message;
    });
  }

  // Each shown conversion gets its score; the table of other settings goes.
  page.onResult(function (run) {
    $('suggest-table').hidden = true;
    $('suggest-progress').textContent = '';
    showScore(run);
  });

  $('suggest-button').addEventListener('click', suggest);
  page.applySuggestion = apply;
})(window.midi2varn.page);
