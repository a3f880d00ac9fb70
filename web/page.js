// The page: reads the dropped or chosen file, turns the controls into the
// program's switches, converts in the worker and shows what the program
// would print and write, with each channel's macro block ready to copy,
// where the tune departs from the file, and the piano roll to hear and see
// it.
(function () {
  'use strict';

  var Switches = window.Midi2varnSwitches;
  var converter = new window.midi2varn.Converter();
  var roll = null;      // the piano roll (roll.js)
  var player = null;    // its sound (player.js)
  var utf8 = new TextDecoder();
  var superseded = new Error('superseded by a newer conversion');

  // Console bytes shown on the page; the rest is in "Save the report".
  var consoleShown = 200000;
  // Characters of a macro block shown in its box; Copy takes all of it.
  var blockShown = 20000;
  // Departures listed at a time; "Show more" adds as many again.
  var departuresShown = 200;
  // Macro parts the game accepts in one macro.
  var partLimit = 5;
  var placeholderName = 'song.mid';

  var file = null;      // { name, bytes } of the file in use
  var summary = null;   // what the file holds, once known
  var shown = null;     // the conversion on show
  var generation = 0;   // the newest conversion asked for

  function $(id) { return document.getElementById(id); }

  function element(tag, className, text) {
    var node = document.createElement(tag);
    if (className)
      node.className = className;
    if (text !== undefined)
      node.textContent = text;
    return node;
  }

  function plural(n, one, many) {
    return n.toLocaleString('en') + ' ' + (n === 1 ? one : many);
  }

  // ---- Channel rows -------------------------------------------------------

  function buildChannelRows() {
    var body = $('channel-rows');
    for (var ch = 1; ch <= Switches.channelCount; ++ch) {
      var row = element('tr');
      row.id = 'channel-' + ch;
      var head = element('th', null, String(ch));
      head.scope = 'row';
      row.appendChild(head);
      row.appendChild(element('td', 'notes', '–'));

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
      var notes = summary ? summary.notes[ch - 1] : 0;
      var row = $('channel-' + ch);
      row.hidden = !(all || notes > 0 || channelTouched(ch));
      row.querySelector('.notes').textContent = summary ? notes.toLocaleString('en') : '–';
      row.classList.toggle('silent', summary !== null && notes === 0);
      $('leave-out-' + ch).disabled = $('opt-d-all').checked;
      $('merge-' + ch).disabled = $('opt-m-all').checked;
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
    return Switches.commandLine(readState(), file ? file.name : placeholderName);
  }

  var convertedFor = null; // the file and command line of the newest conversion
  var shownFile = null;    // the file of the conversion on show

  function controlsChanged() {
    showChannelRows();
    var args = currentArgs();
    $('command-line').textContent = Switches.display(args);
    if (!file)
      return;
    var key = JSON.stringify(args);
    if (convertedFor && convertedFor.file === file && convertedFor.key === key)
      return;
    convertedFor = { file: file, key: key };
    convert(args);
  }

  // ---- Files --------------------------------------------------------------

  function openFile(chosen) {
    if (!chosen)
      return;
    chosen.arrayBuffer().then(function (buffer) {
      file = { name: chosen.name, bytes: new Uint8Array(buffer) };
      summary = null;
      $('file-name').textContent = file.name;
      $('file-size').textContent = formatSize(file.bytes.length);
      $('tempo').textContent = '';
      $('channels-found').textContent = '';
      $('summary').hidden = false;
      controlsChanged();
    }, function () {
      showStatus('The file could not be read from your disk. Try choosing it again.', 'bad');
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
    summary = facts;
    if (!facts.readable) {
      $('tempo').textContent = '';
      $('channels-found').textContent = 'This file cannot be read as MIDI (see the result).';
      showChannelRows();
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
    showChannelRows();
  }

  // ---- Converting ---------------------------------------------------------

  function setBusy(busy) {
    $('busy').hidden = !busy;
    $('result').setAttribute('aria-busy', busy ? 'true' : 'false');
  }

  // Converts the file with the current controls; only the newest result
  // is shown, and a conversion still running for older controls is ended.
  function convert(args) {
    var mine = ++generation;
    var current = file;
    if (converter.busy())
      converter.stop(superseded);
    setBusy(true);
    converter.convert(current.bytes, args, summary === null, true).then(function (run) {
      if (mine !== generation)
        return;
      setBusy(false);
      if (run.summary)
        showSummary(run.summary);
      showResult(run, current);
    }, function (error) {
      if (mine !== generation || error === superseded)
        return;
      setBusy(false);
      shown = null;
      showStatus('The converter stopped: ' + error.message + '. Try again, or with fewer channels.', 'bad');
    });
  }

  function showStatus(text, kind) {
    var status = $('status');
    status.textContent = text;
    status.className = 'status ' + (kind || '');
  }

  function showResult(run, source) {
    var sameFile = shown !== null && shownFile === source;
    shown = run;
    shownFile = source;
    var channels = run.tunes.filter(function (tune) { return tune.macro <= 1; }).length;
    var changed = run.tunes.some(function (tune) { return tune.status !== 0; });
    if (run.status === 0 && channels > 0)
      showStatus('Converted: ' + plural(channels, 'channel', 'channels') +
                 (changed ? ', with changes to the music (see each channel)' : '') +
                 '. Ready to copy, or to download as ' + run.outputName + '.', changed ? 'warn' : 'good');
    else if (run.status === 0)
      showStatus('Converted, but no converted channel has notes: the output file is empty.', 'warn');
    else
      showStatus('Not converted. The reason is below and in the console report.', 'bad');

    showProblems(run, source);
    $('download-row').hidden = run.status !== 0;
    $('download').textContent = 'Download ' + run.outputName;
    $('download-preview').hidden = !run.roll || run.tunes.length === 0;
    $('to-roll').hidden = $('download-preview').hidden;
    if (run.roll)
      $('download-preview').textContent = 'Download ' + run.roll.previewName;
    showTunes(run.tunes, run.roll);
    showConsole(run);
    showRoll(run.roll, sameFile);
  }

  // ---- Plain words --------------------------------------------------------

  // What a console line means for a player, by the program's own wording.
  var explanations = [
    [/Not a MIDI File\./, function () {
      return 'This is not a MIDI file: a MIDI file begins with "MThd", and this one does not. ' +
             'Is it really a .mid file, and did its download finish?';
    }],
    [/Invalid time division/, function () {
      return 'The file\'s header is damaged: its time division is 0, so no note can be timed.';
    }],
    [/Track is (-?\d+) bytes too short/, function (m) {
      var n = Number(m[1]);
      return n > 0
        ? 'The file is cut short (truncated): a track ends ' + plural(n, 'byte', 'bytes') +
          ' before its announced end. Notes after the cut are missing.'
        : 'A track is ' + plural(-n, 'byte', 'bytes') + ' longer than announced: the file is damaged, ' +
          'and some notes may be wrong.';
    }],
    [/Not a MIDI Track\./, function () {
      return 'Part of the file is not a MIDI track and was skipped: the file is damaged or cut short.';
    }],
    [/Tune is too long! Cut after/, function () {
      return 'A channel\'s tune grew too long (usually a damaged file with enormous pauses) and was cut: ' +
             'the rest of that channel is missing.';
    }],
    [/BUG!/, function () {
      return 'The converter reported an internal error; the result may be wrong.';
    }],
    [/Cannot use long chords without polyphony/, function () {
      return 'Long chords (-l) need more than one note at once on every converted channel: set ' +
             '"Notes at once" to 0 (unlimited) or to 2 or more.';
    }],
    [/Channel (\d+) is already being merged/, function (m) {
      return 'Channel ' + m[1] + ' is in two merges: a channel can be merged only once, as target or as source.';
    }],
    [/Cannot merge channel (\d+) into itself/, function (m) {
      return 'Channel ' + m[1] + ' cannot be merged into itself.';
    }],
    [/Invalid channel (-?\d+)/, function () {
      return 'Channels are numbered 1 to 16.';
    }],
    [/Cannot write output to the input file/, function () {
      return 'The output would replace the MIDI file itself, because the file\'s name ends in .txt. ' +
             'Rename the file and choose it again.';
    }],
    [/Could not open/, function () {
      return 'The input could not be opened.';
    }],
    [/Out of memory/, function () {
      return 'The converter ran out of memory.';
    }],
    [/^Usage: /, function () {
      return 'The program did not accept these options and printed its usage text instead ' +
             '(one of the numbers is not a whole number it allows).';
    }]
  ];

  function showProblems(run, source) {
    var list = [];
    var seen = {};
    var formatLines = 0;
    var firstFormat = '';
    if (source.bytes.length === 0)
      list.push({ words: 'The file is empty: it has 0 bytes.', line: '' });
    if (run.errors.length)
      list.push({ words: 'The program did not understand an option.', line: utf8.decode(run.errors).trim() });
    forEachLine(run, function (kind, line) {
      if (kind === 2) {
        if (!formatLines++)
          firstFormat = line;
        return;
      }
      if (kind > 1)
        return;
      for (var i = 0; i < explanations.length; ++i) {
        var match = explanations[i][0].exec(line.replace(/^(FATAL|ERROR):\s+/, ''));
        if (match && !seen[i]) {
          seen[i] = true;
          if (!(i === 0 && source.bytes.length === 0))
            list.push({ words: explanations[i][1](match), line: line.trim() });
          break;
        }
      }
    });
    if (formatLines)
      list.push({
        words: 'The file breaks the MIDI format in ' + plural(formatLines, 'place', 'places') +
               ' (FORMAT lines in the report). It was read anyway; the tune may differ from what a MIDI player plays.',
        line: firstFormat.trim()
      });

    var box = $('problems');
    box.textContent = '';
    box.hidden = list.length === 0;
    if (!list.length)
      return;
    var ul = element('ul');
    list.forEach(function (problem) {
      var li = element('li');
      li.appendChild(element('span', 'words', problem.words));
      if (problem.line) {
        li.appendChild(document.createTextNode(' '));
        li.appendChild(element('code', 'console-line', problem.line));
      }
      ul.appendChild(li);
    });
    box.appendChild(ul);
  }

  // Calls `visit(kind, line)` for each line of the levels 0 to 2.
  function forEachLine(run, visit) {
    for (var r = 0; r < run.runs.length; r += 3) {
      var kind = run.runs[r + 2];
      if (kind > 2)
        continue;
      var text = utf8.decode(run.console.subarray(run.runs[r], run.runs[r] + run.runs[r + 1]));
      text.split('\n').forEach(function (line) {
        if (line)
          visit(kind, line);
      });
    }
  }

  // ---- Tunes --------------------------------------------------------------

  // The tune status bits in words, in the order the program reports them.
  var statusWords = [
    [1, 'bad', 'Some notes were too low for the game: they sound higher than written. ' +
               'Try fitting each channel by octaves (-o), auto-transpose (-a) or transpose by 12.'],
    [2, 'bad', 'Some notes were too high for the game: they sound lower than written. ' +
               'Try fitting each channel by octaves (-o), transpose by -12, or allow the upper c (-u).'],
    [32, 'bad', 'Some notes were too short and were lengthened to a sixteenth: fast passages may drift.'],
    [64, 'warn', 'Some notes were too long and were cut to 9 sixteenths. Long chords (-l) hold them.'],
    [8, 'warn', 'The tempo was too slow for the game: it plays at 60 beats per minute.'],
    [16, 'warn', 'The tempo was too fast for the game: it plays at 180 beats per minute.'],
    [128, 'bad', 'Too many macro parts: the game plays at most ' + partLimit + '. ' +
                 'Leave out channels or split the song.']
  ];

  function partsOf(block) {
    return block.split('\n').filter(function (line) { return line.indexOf('  "/use ') === 0; }).length;
  }

  function showTunes(tunes, rollData) {
    var box = $('tunes');
    box.textContent = '';
    tunes.forEach(function (tune) {
      // A split channel comes as its macros, in order, each a block of its own.
      var name = 'channel ' + tune.channel;
      var key = String(tune.channel);
      if (tune.macro) {
        name = 'macro ' + tune.macro + ' of ' + tune.macros + ' of channel ' + tune.channel;
        key += '-' + tune.macro;
      }
      var article = element('article', 'tune');
      article.id = 'tune-' + key;
      var head = element('div', 'tune-head');
      var title = element('h3', null, 'Channel ' + tune.channel +
                          (tune.macro ? ', macro ' + tune.macro + ' of ' + tune.macros : ''));
      title.id = 'tune-title-' + key;
      article.setAttribute('aria-labelledby', title.id);
      head.appendChild(title);
      var copy = element('button', 'copy', 'Copy');
      copy.type = 'button';
      copy.setAttribute('aria-label', 'Copy the macro of ' + name);
      copy.addEventListener('click', function () { copyText(tune.block, copy); });
      head.appendChild(copy);
      article.appendChild(head);
      if (tune.macro)
        article.appendChild(element('p', 'muted', tune.macro === 1
          ? 'Press it together with the band\'s macro 1.'
          : 'Press it as soon as macro ' + (tune.macro - 1) + ' has ended: the band\'s macro ' + tune.macro +
            ' starts then too.'));

      var parts = partsOf(tune.block);
      var size = element('p', 'tune-size');
      var partsText = parts > partLimit ? parts + ', more than the ' + partLimit + ' the game plays '
                                        : parts + ' of ' + partLimit + ' ';
      size.appendChild(document.createTextNode(
        plural(tune.text.length, 'character', 'characters') + ' · macro parts: ' + partsText));
      size.appendChild(partMeter(parts));
      article.appendChild(size);

      var list = element('ul', 'tune-status');
      var any = false;
      statusWords.forEach(function (entry) {
        if (tune.status & entry[0]) {
          list.appendChild(element('li', entry[1], entry[2]));
          any = true;
        }
      });
      if (!any)
        list.appendChild(element('li', 'good', 'Converted without changes.'));
      article.appendChild(list);

      var block = element('pre', 'block');
      block.tabIndex = 0;
      block.setAttribute('aria-label', 'Macro of ' + name);
      block.textContent = tune.block.length > blockShown
        ? tune.block.slice(0, blockShown) + '\n… (' + plural(tune.block.length - blockShown, 'more character',
                                                                'more characters') + '; Copy takes it all)'
        : tune.block;
      article.appendChild(block);
      var traced = rollData && rollData.channels.filter(function (c) { return c.channel === tune.channel; })[0];
      // A split channel's report follows its last macro.
      if (traced && tune.macro === tune.macros)
        article.appendChild(departureReport(traced));
      box.appendChild(article);
    });
  }

  // ---- Departures ---------------------------------------------------------

  // The channel's departure report: its summary line, and its departures
  // in a list that opens on request, each showing its note on the roll.
  function departureReport(channel) {
    var box = element('div', 'departures');
    box.appendChild(element('h4', null, 'Where the tune departs from the MIDI file'));
    box.appendChild(element('p', 'departure-summary', channel.summary));
    var count = channel.lines.length;
    if (!count) {
      box.appendChild(element('p', 'good', 'Every note plays as the MIDI file has it.'));
      return box;
    }
    var details = element('details', 'departure-details');
    details.appendChild(element('summary', null, 'The ' + plural(count, 'departure', 'departures') +
                                                     ', place by place (a click shows it on the roll)'));
    var list = element('ol', 'departure-list');
    var more = element('button', 'more');
    more.type = 'button';
    var listed = 0;
    var addMore = function () {
      var fragment = document.createDocumentFragment();
      var until = Math.min(count, listed + departuresShown);
      for (; listed < until; ++listed) {
        var item = element('li');
        var button = element('button', 'departure');
        button.type = 'button';
        button.dataset.channel = String(channel.channel);
        button.dataset.departure = String(listed);
        button.appendChild(element('code', null, channel.lines[listed]));
        button.appendChild(element('span', 'words', channel.words[listed]));
        item.appendChild(button);
        fragment.appendChild(item);
      }
      list.appendChild(fragment);
      more.hidden = listed >= count;
      more.textContent = 'Show ' + plural(Math.min(departuresShown, count - listed), 'more', 'more') + ' of ' +
        (count - listed).toLocaleString('en');
    };
    details.addEventListener('toggle', function () {
      if (details.open && listed === 0)
        addMore();
    });
    more.addEventListener('click', addMore);
    list.addEventListener('click', function (event) {
      var button = event.target.closest('button.departure');
      if (button && roll)
        roll.showDeparture(Number(button.dataset.channel), Number(button.dataset.departure));
    });
    details.appendChild(list);
    details.appendChild(more);
    box.appendChild(details);
    return box;
  }

  // ---- Piano roll and sound -----------------------------------------------

  function showRoll(data, sameFile) {
    var section = $('listen');
    if (!data || !data.channels.length) {
      player.stop();
      player.load([]);
      section.hidden = true;
      return;
    }
    // Playing goes on where it was, with the new notes.
    var wasPlaying = player.playing ? { mode: player.mode, at: player.position() } : null;
    section.hidden = false;
    roll.show(data, sameFile);
    player.load(roll.lanes.map(function (lane) { return lane.channel; }));
    player.keepChannels(data.channels.map(function (c) { return c.channel; }));
    roll.showAudible(function (channel) { return !player.off.has(channel); }, player.solo);
    if (wasPlaying)
      player.play(wasPlaying.mode, wasPlaying.at);
    showPlaying();
  }

  // Time as m:ss.
  function clock(seconds) {
    var whole = Math.max(0, Math.floor(seconds));
    return Math.floor(whole / 60) + ':' + String(whole % 60).padStart(2, '0');
  }

  // The channel whose playhead the roll follows: the first one heard.
  function leader() {
    var lanes = roll.lanes.filter(function (lane) { return player.audible(lane.channel.channel); });
    return (lanes[0] || roll.lanes[0] || {}).channel;
  }

  // The buttons, the time and the playheads as the player stands.
  function showPlaying() {
    var mode = player.mode;
    var position = player.position();
    var midi = mode === 'midi';
    $('play-tune').textContent = player.playing && mode === 'tune' ? 'Pause' : 'Play the tune';
    $('play-midi').textContent = player.playing && midi ? 'Pause' : 'Play the MIDI file';
    $('play-tune').setAttribute('aria-pressed', player.playing && mode === 'tune' ? 'true' : 'false');
    $('play-midi').setAttribute('aria-pressed', player.playing && midi ? 'true' : 'false');
    $('stop').disabled = mode === null;
    var length = player.length(mode || 'tune');
    $('play-time').textContent = (mode === null ? 'Tune: ' : midi ? 'MIDI file: ' : 'Tune: ') + clock(position) +
      ' / ' + clock(length);
    var transport = $('transport');
    transport.dataset.state = player.playing ? 'playing' : mode ? 'paused' : 'stopped';
    transport.dataset.audio = player.context ? player.context.state : 'none';
    if (mode === null) {
      roll.setPlayheads(null);
    } else {
      roll.setPlayheads(function (channel) { return channel.tickAt(position, midi); });
      var first = leader();
      if (player.playing && first)
        roll.follow(first.tickAt(position, midi));
    }
    roll.lanes.forEach(function (lane) {
      lane.box.dataset.sounded = String(player.sounded(lane.channel.channel));
    });
  }

  // Play (or pause) `mode`; from the other mode, at the same place of the song.
  function playOrPause(mode) {
    if (player.playing && player.mode === mode) {
      player.pause();
      return;
    }
    var from;
    if (player.mode !== null && player.mode !== mode) {
      var first = leader();
      if (first)
        from = first.secondsAt(first.tickAt(player.position(), player.mode === 'midi'), mode === 'midi');
    }
    player.play(mode, from);
  }

  // A click on a bar number: play from there (or start there when paused).
  function seek(channel, tick) {
    var mode = player.mode || 'tune';
    var seconds = channel.secondsAt(tick, mode === 'midi');
    if (player.playing) {
      player.play(mode, seconds);
    } else {
      player.mode = mode;
      player.offset = seconds;
      showPlaying();
    }
  }

  function setupRoll() {
    player = new window.Midi2varnPlayer.Player(showPlaying);
    roll = new window.Midi2varnRoll.Roll($('lanes'), $('roll-position'), {
      onSeek: seek,
      onToggle: function (channel, on) {
        player.setOn(channel, on);
        roll.showAudible(function (c) { return !player.off.has(c); }, player.solo);
        showPlaying();
      },
      onSolo: function (channel) {
        player.setSolo(channel);
        roll.showAudible(function (c) { return !player.off.has(c); }, player.solo);
        showPlaying();
      }
    });
    if (!window.AudioContext && !window.webkitAudioContext) {
      // A browser without Web Audio shows the roll, silent.
      ['play-tune', 'play-midi'].forEach(function (id) {
        $(id).disabled = true;
        $(id).title = 'This browser cannot play sound (no Web Audio).';
      });
    }
    $('play-tune').addEventListener('click', function () { playOrPause('tune'); });
    $('play-midi').addEventListener('click', function () { playOrPause('midi'); });
    $('stop').addEventListener('click', function () { player.stop(); });
    $('zoom-in').addEventListener('click', function () { roll.zoom(2); });
    $('zoom-out').addEventListener('click', function () { roll.zoom(0.5); });
    $('zoom-fit').addEventListener('click', function () { roll.fit(); });
  }

  function partMeter(parts) {
    var meter = element('span', 'meter' + (parts > partLimit ? ' over' : ''));
    meter.setAttribute('aria-hidden', 'true');
    for (var i = 0; i < Math.max(partLimit, Math.min(parts, 12)); ++i)
      meter.appendChild(element('span', i < parts ? 'filled' + (i >= partLimit ? ' extra' : '') : ''));
    return meter;
  }

  // ---- Console ------------------------------------------------------------

  // The labels that begin a line of each level, as the program prints them.
  var labels = ['FATAL:', 'ERROR:', 'FORMAT:', 'WARN:', 'Output:', 'Info:', 'Notice:', 'Debug:', 'Ignore:', 'All:'];

  // The report with its levels told apart: a line that carries a level's
  // label gets that level's colour; the banner, the usage text and the
  // tunes' copies stay plain. Lines of one colour share one element.
  function showConsole(run) {
    var pre = $('console');
    pre.textContent = '';
    var fragment = document.createDocumentFragment();
    var budget = consoleShown;
    var pending = '';
    var pendingClass = '';
    var flush = function () {
      if (pending)
        fragment.appendChild(element('span', pendingClass, pending));
      pending = '';
    };
    for (var r = 0; r < run.runs.length && budget > 0; r += 3) {
      var start = run.runs[r];
      var length = Math.min(run.runs[r + 1], budget);
      var kind = run.runs[r + 2];
      var text = utf8.decode(run.console.subarray(start, start + length));
      budget -= length;
      for (var from = 0; from < text.length;) {
        var end = text.indexOf('\n', from);
        end = end < 0 ? text.length : end + 1;
        var line = text.slice(from, end);
        from = end;
        var lineClass = kind === 10 ? 'macro' : line.indexOf(labels[kind]) === 0 ? 'level-' + kind : 'plain';
        if (lineClass !== pendingClass)
          flush();
        pendingClass = lineClass;
        pending += line;
      }
    }
    flush();
    pre.appendChild(fragment);
    var rest = run.console.length - Math.min(run.console.length, consoleShown);
    $('console-more').hidden = rest === 0;
    $('console-more').textContent = rest ? '… and ' + plural(rest, 'more character', 'more characters') +
                                            '. "Save the report" keeps it all.' : '';
    $('report').hidden = false;
  }

  // ---- Clipboard and downloads --------------------------------------------

  function copyText(text, button) {
    var done = function (ok) {
      var old = button.dataset.label || button.textContent;
      button.dataset.label = old;
      button.textContent = ok ? 'Copied' : 'Copy failed';
      setTimeout(function () { button.textContent = old; }, 1500);
    };
    if (navigator.clipboard && navigator.clipboard.writeText) {
      navigator.clipboard.writeText(text).then(function () { done(true); }, function () { done(fallbackCopy(text)); });
    } else {
      done(fallbackCopy(text));
    }
  }

  // Older browsers, and pages whose clipboard access is refused.
  function fallbackCopy(text) {
    var area = element('textarea');
    area.value = text;
    area.setAttribute('readonly', '');
    area.style.position = 'fixed';
    area.style.opacity = '0';
    document.body.appendChild(area);
    area.select();
    var ok = false;
    try {
      ok = document.execCommand('copy');
    } catch (error) {
      ok = false;
    }
    document.body.removeChild(area);
    return ok;
  }

  function save(bytes, name, type) {
    var url = URL.createObjectURL(new Blob([bytes], { type: type || 'text/plain' }));
    var link = element('a');
    link.href = url;
    link.download = name;
    document.body.appendChild(link);
    link.click();
    document.body.removeChild(link);
    setTimeout(function () { URL.revokeObjectURL(url); }, 10000);
  }

  // The output file as the Linux program writes it, or with CR LF as the
  // Windows program does.
  function outputBytes(run, windows) {
    if (!windows)
      return run.text;
    var lines = 0;
    for (var i = 0; i < run.text.length; ++i)
      if (run.text[i] === 10)
        ++lines;
    var out = new Uint8Array(run.text.length + lines);
    for (var from = 0, to = 0; from < run.text.length; ++from) {
      if (run.text[from] === 10)
        out[to++] = 13;
      out[to++] = run.text[from];
    }
    return out;
  }

  // ---- Usage text (-h) ----------------------------------------------------

  function toggleUsage() {
    var button = $('usage-button');
    var usage = $('usage');
    var open = button.getAttribute('aria-expanded') !== 'true';
    button.setAttribute('aria-expanded', open ? 'true' : 'false');
    usage.hidden = !open;
    if (open && !usage.textContent) {
      window.midi2varn.convert(new Uint8Array(0), ['-h']).then(function (run) {
        usage.textContent = run.console;
      });
    }
  }

  // ---- Wiring -------------------------------------------------------------

  function wire() {
    // The worker starts now, so that the first file finds it ready.
    converter.start();
    buildChannelRows();
    setupRoll();
    $('choose').addEventListener('click', function () { $('file').click(); });
    $('file').addEventListener('change', function (event) {
      openFile(event.target.files[0]);
      event.target.value = '';
    });
    $('options').addEventListener('change', controlsChanged);
    $('options').addEventListener('input', function (event) {
      if (event.target.type === 'number')
        controlsChanged();
    });
    $('copy-command').addEventListener('click', function () {
      copyText($('command-line').textContent, $('copy-command'));
    });
    $('usage-button').addEventListener('click', toggleUsage);
    $('download').addEventListener('click', function () {
      if (shown && shown.status === 0)
        save(outputBytes(shown, $('crlf').checked), shown.outputName);
    });
    // The preview file varn2midi writes for the macro text on show.
    $('download-preview').addEventListener('click', function () {
      var run = shown;
      if (!run || run.status !== 0 || !run.roll)
        return;
      converter.previewFile(utf8.decode(run.text)).then(function (file) {
        if (file.bytes.length)
          save(file.bytes, run.roll.previewName, 'audio/midi');
        else
          showStatus('No preview: ' + file.remarks.trim(), 'warn');
      }, function () {
        // A newer conversion ended the worker's work: nothing to save.
      });
    });
    $('save-report').addEventListener('click', function () {
      if (shown)
        save(shown.console, (file ? file.name.replace(/\.[^.]*$/, '') : 'midi2varn') + '-report.txt');
    });

    // A file dropped anywhere on the page.
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
    controlsChanged();
  }

  wire();
})();
