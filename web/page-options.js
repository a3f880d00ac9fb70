// The page's options and channel table: one row per channel, shown for
// the channels the file uses, and the controls read as the program's
// command line, which converts again whenever it changes.
(function (page) {
  'use strict';

  var Switches = window.midi2varn.switches;
  var $ = page.$;
  var element = page.element;

  var placeholderName = 'song.mid';

  // The converter's numbers where the page names them (data-contract), the
  // largest split and the default report detail.
  function showContract() {
    var contract = window.midi2varn.contract;
    Array.prototype.forEach.call(document.querySelectorAll('[data-contract]'), function (node) {
      node.textContent = String(contract[node.dataset.contract]);
    });
    $('opt-b').max = String(contract.maxSplitParts);
    $('opt-v').value = String(contract.defaults.verbosity);
  }

  function buildChannelRows() {
    var body = $('channel-rows');
    for (var ch = 1; ch <= Switches.channelCount; ++ch) {
      var row = element('tr');
      row.id = 'channel-' + ch;
      var head = element('th', null, String(ch));
      head.scope = 'row';
      if (ch === window.midi2varn.contract.drumChannel)
        head.appendChild(drumsTag());
      row.appendChild(head);
      row.appendChild(element('td', 'notes', '–'));
      row.appendChild(element('td', 'player', '–'));

      var leaveOut = element('input');
      leaveOut.type = 'checkbox';
      leaveOut.id = 'leave-out-' + ch;
      leaveOut.dataset.switch = 'd';
      row.appendChild(cell(leaveOut, 'Leave out channel ' + ch));

      var merge = element('select');
      merge.id = 'merge-' + ch;
      merge.dataset.switch = 'm';
      merge.appendChild(new Option('–', '0'));
      for (var target = 1; target <= Switches.channelCount; ++target)
        if (target !== ch)
          merge.appendChild(new Option(String(target), String(target)));
      row.appendChild(cell(merge, 'Merge channel ' + ch + ' into channel'));

      var polyphony = element('input');
      polyphony.type = 'number';
      polyphony.min = '0';
      polyphony.step = '1';
      polyphony.inputMode = 'numeric';
      polyphony.id = 'polyphony-' + ch;
      polyphony.dataset.switch = 'p';
      polyphony.className = 'narrow';
      row.appendChild(cell(polyphony, 'Notes at once on channel ' + ch));

      var output = element('input');
      output.type = 'checkbox';
      output.id = 'output-' + ch;
      output.dataset.switch = 's';
      row.appendChild(cell(output, 'Output channel ' + ch));
      body.appendChild(row);
    }
  }

  // General MIDI's drum channel, marked, with why in its tooltip.
  function drumsTag() {
    var tag = element('span', 'tag drums', 'drums');
    tag.title = 'General MIDI plays this channel as drums. The game has no drums: it plays each hit as a ' +
      'pitched note (a bass drum as a low C, a snare as a D), a rattle over the music. Leave it out unless you want that.';
    return tag;
  }

  function cell(control, labelText) {
    var td = element('td');
    var label = element('label', 'visually-hidden', labelText);
    label.htmlFor = control.id;
    td.appendChild(label);
    td.appendChild(control);
    return td;
  }

  function channelTouched(ch) {
    return $('leave-out-' + ch).checked || $('merge-' + ch).value !== '0' ||
           $('polyphony-' + ch).value !== '' || $('output-' + ch).checked;
  }

  // Rows for the channels the file uses, those set by hand, or all.
  function showChannelRows() {
    var all = $('show-all').checked;
    for (var ch = 1; ch <= Switches.channelCount; ++ch) {
      var summary = page.state.summary;
      var notes = summary ? summary.notes[ch - 1] : 0;
      var row = $('channel-' + ch);
      row.hidden = !(all || notes > 0 || channelTouched(ch));
      row.querySelector('.notes').textContent = summary ? notes.toLocaleString('en') : '–';
      row.classList.toggle('silent', summary !== null && notes === 0);
      $('leave-out-' + ch).disabled = $('opt-d-all').checked;
      $('merge-' + ch).disabled = $('opt-m-all').checked || arranged();
    }
    $('opt-m-all').disabled = arranged();
  }

  // Whether Players is set: the arrangement makes the merges then.
  function arranged() {
    return Switches.switches(readState()).indexOf('-P') >= 0;
  }

  // Each channel's player in the shown conversion (with -P): "1", "2
  // (+12)" for a channel moved by octaves, "left out" for a channel with
  // notes outside the band (drums or -d/-s); the column shows only for an
  // arrangement.
  function showPlayers(run) {
    var band = run && run.status === 0 && run.roll ? run.roll.band : null;
    $('channel-table').classList.toggle('band', Boolean(band));
    var summary = page.state.summary;
    for (var ch = 1; ch <= Switches.channelCount; ++ch) {
      var text = '–';
      var words = '';
      if (band && band.playerOf[ch - 1] > 0) {
        var octaves = band.octaves[ch - 1];
        var moved = (octaves > 0 ? 'up ' : 'down ') + Math.abs(12 * octaves);
        text = String(band.playerOf[ch - 1]) +
               (octaves ? ' (' + (octaves > 0 ? '+' : '−') + Math.abs(12 * octaves) + ')' : '');
        words = 'Player ' + band.playerOf[ch - 1] + (octaves ? ', moved ' + moved + ' semitones' : '');
      } else if (band && summary && summary.notes[ch - 1] > 0) {
        text = 'left out';
      }
      var cell = $('channel-' + ch).querySelector('.player');
      cell.textContent = text;
      cell.title = words;
    }
  }

  // ---- Controls to switches -----------------------------------------------

  function readState() {
    var state = Switches.defaults();
    state.autoTranspose = $('opt-a').checked;
    state.split = numberText($('opt-b'));
    state.outerVoices = $('opt-c').checked;
    state.leaveOutAll = $('opt-d-all').checked;
    state.eliminate = $('opt-e').checked;
    state.keepInStep = $('opt-k').checked;
    state.longChords = $('opt-l').checked;
    state.noTriplets = $('opt-n').checked;
    state.mergeAll = $('opt-m-all').checked;
    state.fitOctaves = $('opt-o').checked;
    state.polyphony = numberText($('opt-p'));
    state.players = numberText($('opt-P'));
    state.transpose = numberText($('opt-t'));
    state.upperC = $('opt-u').checked;
    state.verbosity = Number($('opt-v').value);
    state.channels.forEach(function (channel, i) {
      var ch = i + 1;
      channel.leaveOut = $('leave-out-' + ch).checked;
      channel.mergeInto = Number($('merge-' + ch).value);
      channel.polyphony = numberText($('polyphony-' + ch));
      channel.output = $('output-' + ch).checked;
    });
    return state;
  }

  // A number field's text; one the browser cannot read as a number is
  // marked and counts as empty.
  function numberText(input) {
    var bad = input.validity && input.validity.badInput;
    input.classList.toggle('invalid', Boolean(bad));
    input.setAttribute('aria-invalid', bad ? 'true' : 'false');
    return bad ? '' : input.value;
  }

  function currentArgs() {
    var file = page.state.file;
    return Switches.commandLine(readState(), file ? file.name : placeholderName);
  }

  var convertedFor = null; // the file and command line of the newest conversion

  function controlsChanged() {
    showChannelRows();
    var args = currentArgs();
    $('command-line').textContent = Switches.display(args);
    var file = page.state.file;
    if (!file)
      return;
    var key = JSON.stringify(args);
    if (convertedFor && convertedFor.file === file && convertedFor.key === key)
      return;
    convertedFor = { file: file, key: key };
    page.convert(args);
  }

  page.showContract = showContract;
  page.buildChannelRows = buildChannelRows;
  page.showChannelRows = showChannelRows;
  page.showPlayers = showPlayers;
  page.controlsChanged = controlsChanged;
  page.currentSwitches = function () { return Switches.switches(readState()); };
})(window.midi2varn.page);
