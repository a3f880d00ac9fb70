// The page's results: the status line, the problems in plain words, and
// each channel's macro block with its size and what changed, ready to
// copy; the output file and its preview to download.
(function (page) {
  'use strict';

  var $ = page.$;
  var element = page.element;
  var plural = page.plural;
  var showStatus = page.showStatus;
  var utf8 = page.utf8;

  // Characters of a macro block shown in its box; Copy takes all of it.
  var blockShown = 20000;
  // The converter's constants (see engine.js).
  var contract = window.midi2varn.contract;
  // Macro parts the game accepts in one macro.
  var partLimit = contract.partLimit;

  // What other sections show of each conversion once the results are on
  // show (the fidelity score): functions of (run, source), given to onResult.
  var resultShown = [];

  function showResult(run, source) {
    var state = page.state;
    var sameFile = state.shown !== null && state.shownFile === source;
    state.shown = run;
    state.shownFile = source;
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
    page.showConsole(run);
    page.showRoll(run.roll, sameFile);
    resultShown.forEach(function (show) { show(run, source); });
  }

  // ---- Plain words --------------------------------------------------------

  // What a diagnostic means for a player, by its code (the names the module
  // publishes); `d` is the diagnostic with its arguments.
  var notMidi = function () {
    return 'This is not a MIDI file: a MIDI file begins with "MThd", and this one does not. ' +
           'Is it really a .mid file, and did its download finish?';
  };
  var cannotOpen = function () {
    return 'The input could not be opened.';
  };
  var explanations = {
    NotMidi: notMidi,
    HeaderCutShort: notMidi,
    InvalidDivision: function () {
      return 'The file\'s header is damaged: its time division is 0, so no note can be timed.';
    },
    TrackTooShort: function (d) {
      var n = d.args[0];
      return n > 0
        ? 'The file is cut short (truncated): a track ends ' + plural(n, 'byte', 'bytes') +
          ' before its announced end. Notes after the cut are missing.'
        : 'A track is ' + plural(-n, 'byte', 'bytes') + ' longer than announced: the file is damaged, ' +
          'and some notes may be wrong.';
    },
    CutAtCap: function () {
      return 'A channel\'s tune grew too long (usually a damaged file with enormous pauses) and was cut: ' +
             'the rest of that channel is missing.';
    },
    LongChordsWithoutPolyphony: function () {
      return 'Long chords (-l) need more than one note at once on every converted channel: set ' +
             '"Notes at once" to 0 (unlimited) or to 2 or more.';
    },
    MergedTwice: function (d) {
      return 'Channel ' + d.args[0] + ' is in two merges: a channel can be merged only once, as target or as source.';
    },
    MergeIntoItself: function (d) {
      return 'Channel ' + d.args[0] + ' cannot be merged into itself.';
    },
    InvalidChannel: function () {
      return 'Channels are numbered 1 to ' + contract.channels + '.';
    },
    OutputIsInput: function () {
      return 'The output would replace the MIDI file itself, because the file\'s name ends in .txt. ' +
             'Rename the file and choose it again.';
    },
    CannotOpenInput: cannotOpen,
    CannotOpenOutput: cannotOpen,
    OutOfMemory: function () {
      return 'The converter ran out of memory.';
    },
    Usage: function () {
      return 'The program did not accept these options and printed its usage text instead ' +
             '(one of the numbers is not a whole number it allows).';
    }
  };
  // Any internal check that failed.
  var internal = function () {
    return 'The converter reported an internal error; the result may be wrong.';
  };

  // The level of a name, as the converter numbers its levels.
  function levelOf(name) {
    for (var i = 0; i < contract.levels.length; ++i)
      if (contract.levels[i].name === name)
        return i;
    throw new Error('the converter has no level ' + name);
  }
  // The diagnostics' levels that the page explains (up to errors), and the
  // level of the damage it sums up instead.
  var explainedLevels = levelOf('error');
  var formatLevel = levelOf('format');

  function showProblems(run, source) {
    var list = [];
    var seen = {};
    var explained = [];
    var formatPlaces = 0;
    var firstFormat = '';
    if (source.bytes.length === 0)
      list.push({ words: 'The file is empty: it has 0 bytes.', line: '' });
    if (run.errors.length)
      list.push({ words: 'The program did not understand an option.', line: utf8.decode(run.errors).trim() });
    run.diagnostics.forEach(function (d) {
      if (d.level === formatLevel) {
        if (!seen[d.code])
          formatPlaces += d.count;
        if (!firstFormat)
          firstFormat = d.text;
        seen[d.code] = true;
        return;
      }
      var explain = d.internal ? internal : explanations[d.code];
      // Each explanation once, for its first diagnostic.
      if (d.level > explainedLevels || !explain || explained.indexOf(explain) >= 0)
        return;
      explained.push(explain);
      list.push({ words: explain(d), line: d.text.trim() });
    });
    if (formatPlaces)
      list.push({
        words: 'The file breaks the MIDI format in ' + plural(formatPlaces, 'place', 'places') +
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

  // ---- Tunes --------------------------------------------------------------

  // The tune's status flags, by the converter's names, in words, in the
  // order the program reports them.
  var statusWords = [
    ['tooLow', 'bad', 'Some notes were too low for the game: they sound higher than written. ' +
                      'Try fitting each channel by octaves (-o), auto-transpose (-a) or transpose by 12.'],
    ['tooHigh', 'bad', 'Some notes were too high for the game: they sound lower than written. ' +
                       'Try fitting each channel by octaves (-o), transpose by -12, or allow the upper c (-u).'],
    ['tooShort', 'bad', 'Some notes were too short and were lengthened to a sixteenth: fast passages may drift.'],
    ['tooLong', 'warn', 'Some notes were too long and were cut to ' + contract.longestSixteenths +
                        ' sixteenths. Long chords (-l) hold them.'],
    ['tempoTooSlow', 'warn', 'The tempo was too slow for the game: it plays at ' + contract.tempo.slowest +
                             ' beats per minute.'],
    ['tempoTooFast', 'warn', 'The tempo was too fast for the game: it plays at ' + contract.tempo.fastest +
                             ' beats per minute.'],
    ['macroTooLong', 'bad', 'Too many macro parts: the game plays at most ' + partLimit + '. ' +
                            'Leave out channels or split the song.']
  ];

  function showTunes(tunes, rollData) {
    var box = $('tunes');
    box.textContent = '';
    tunes.forEach(function (tune) {
      box.appendChild(tuneArticle(tune, rollData));
    });
  }

  // A tune's block with its title, Copy button, size, status and, after a
  // channel's last macro, its departure report.
  function tuneArticle(tune, rollData) {
    // A split channel comes as its macros, in order, each a block of its own.
    // With -P, the block is its player's, written as its lowest channel.
    var player = rollData && rollData.band ? rollData.band.playerOf[tune.channel - 1] : 0;
    var members = player ? rollData.band.players[player - 1] : [];
    var owner = player
      ? 'player ' + player + ' (' + (members.length === 1 ? 'channel ' : 'channels ') + members.join(', ') + ')'
      : 'channel ' + tune.channel;
    var name = owner;
    var key = String(tune.channel);
    if (tune.macro) {
      name = 'macro ' + tune.macro + ' of ' + tune.macros + ' of ' + owner;
      key += '-' + tune.macro;
    }
    var article = element('article', 'tune');
    article.id = 'tune-' + key;
    article.appendChild(tuneHead(tune, owner, name, key, article));
    if (tune.macro)
      article.appendChild(element('p', 'muted', tune.macro === 1
        ? 'Press it together with the band\'s macro 1.'
        : 'Press it as soon as macro ' + (tune.macro - 1) + ' has ended: the band\'s macro ' + tune.macro +
          ' starts then too.'));
    article.appendChild(tuneSize(tune));
    article.appendChild(tuneStatus(tune));

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
      article.appendChild(page.departureReport(traced));
    return article;
  }

  function tuneHead(tune, owner, name, key, article) {
    var head = element('div', 'tune-head');
    var title = element('h3', null, owner.charAt(0).toUpperCase() + owner.slice(1) +
                        (tune.macro ? ', macro ' + tune.macro + ' of ' + tune.macros : ''));
    title.id = 'tune-title-' + key;
    article.setAttribute('aria-labelledby', title.id);
    head.appendChild(title);
    var copy = element('button', 'copy', 'Copy');
    copy.type = 'button';
    copy.setAttribute('aria-label', 'Copy the macro of ' + name);
    copy.addEventListener('click', function () { page.copyText(tune.block, copy); });
    head.appendChild(copy);
    return head;
  }

  // The tune's characters and macro parts, with a meter of the parts.
  function tuneSize(tune) {
    var parts = tune.parts;
    var size = element('p', 'tune-size');
    var partsText = parts > partLimit ? parts + ', more than the ' + partLimit + ' the game plays '
                                      : parts + ' of ' + partLimit + ' ';
    size.appendChild(document.createTextNode(
      plural(tune.text.length, 'character', 'characters') + ' · macro parts: ' + partsText));
    size.appendChild(partMeter(parts));
    return size;
  }

  function tuneStatus(tune) {
    var list = element('ul', 'tune-status');
    var any = false;
    statusWords.forEach(function (entry) {
      if (tune.status & contract.status[entry[0]]) {
        list.appendChild(element('li', entry[1], entry[2]));
        any = true;
      }
    });
    if (!any)
      list.appendChild(element('li', 'good', 'Converted without changes.'));
    return list;
  }

  function partMeter(parts) {
    var meter = element('span', 'meter' + (parts > partLimit ? ' over' : ''));
    meter.setAttribute('aria-hidden', 'true');
    for (var i = 0; i < Math.max(partLimit, Math.min(parts, 12)); ++i)
      meter.appendChild(element('span', i < parts ? 'filled' + (i >= partLimit ? ' extra' : '') : ''));
    return meter;
  }

  // Downloads of the output file and of the preview MIDI file.
  function wireDownloads() {
    var state = page.state;
    $('download').addEventListener('click', function () {
      if (state.shown && state.shown.status === 0)
        page.save(page.outputBytes(state.shown, $('crlf').checked), state.shown.outputName);
    });
    // The preview file varn2midi writes for the macro text on show.
    $('download-preview').addEventListener('click', function () {
      var run = state.shown;
      if (!run || run.status !== 0 || !run.roll)
        return;
      state.converter.previewFile(utf8.decode(run.text)).then(function (file) {
        if (file.bytes.length)
          page.save(file.bytes, run.roll.previewName, 'audio/midi');
        else
          showStatus('No preview: ' + file.remarks.trim(), 'warn');
      }, function () {
        // A newer conversion ended the worker's work: nothing to save.
      });
    });
  }

  page.showResult = showResult;
  page.onResult = function (show) { resultShown.push(show); };
  page.wireDownloads = wireDownloads;
})(window.midi2varn.page);
