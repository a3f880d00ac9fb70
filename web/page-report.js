// The page's reports: each channel's departures from the MIDI file, the
// program's console report with its levels told apart, and its usage text.
(function (page) {
  'use strict';

  var $ = page.$;
  var element = page.element;
  var plural = page.plural;
  var utf8 = page.utf8;

  // Console bytes shown on the page; the rest is in "Save the report".
  var consoleShown = 200000;
  // Departures listed at a time; "Show more" adds as many again.
  var departuresShown = 200;
  // The converter's constants (see engine.js).
  var contract = window.midi2varn.contract;

  // ---- Departures' words, from the converter when shown -------------------

  // Words already fetched for the conversion on show, by "channel:index".
  var known = { serial: null, lines: new Map(), words: new Map() };

  // The report lines and words of departures `indices` of `channel` in the
  // conversion on show: a promise of { lines, words }, or of null when
  // another conversion is on show by then.
  function departureWords(channel, indices) {
    var run = page.state.shown;
    if (!run)
      return Promise.resolve(null);
    if (known.serial !== run.serial)
      known = { serial: run.serial, lines: new Map(), words: new Map() };
    var cache = known;
    var missing = indices.filter(function (d) { return !cache.words.has(channel + ':' + d); });
    var fetched = missing.length ? page.state.converter.departures(run.serial, channel, missing)
      : Promise.resolve({ lines: [], words: [] });
    return fetched.then(function (found) {
      if (!found || page.state.shown !== run)
        return null;
      missing.forEach(function (d, i) {
        cache.lines.set(channel + ':' + d, found.lines[i]);
        cache.words.set(channel + ':' + d, found.words[i]);
      });
      return {
        lines: indices.map(function (d) { return cache.lines.get(channel + ':' + d); }),
        words: indices.map(function (d) { return cache.words.get(channel + ':' + d); })
      };
    }, function () { return null; });
  }

  // ---- Departures ---------------------------------------------------------

  // The channel's departure report: its summary line, and its departures
  // in a list that opens on request, each showing its note on the roll.
  function departureReport(channel) {
    var box = element('div', 'departures');
    box.appendChild(element('h4', null, 'Where the tune departs from the MIDI file'));
    box.appendChild(element('p', 'departure-summary', channel.summary));
    var count = channel.departures.length / contract.layouts.departure.width;
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
    var asked = 0;
    // Lists the next departures once the converter has given their words.
    var addMore = function () {
      if (asked > listed)
        return;
      var indices = [];
      for (asked = listed; asked < Math.min(count, listed + departuresShown); ++asked)
        indices.push(asked);
      departureWords(channel.channel, indices).then(function (found) {
        if (!found)
          return;
        list.appendChild(departureItems(channel.channel, indices, found));
        listed = asked;
        more.hidden = listed >= count;
        more.textContent = 'Show ' + plural(Math.min(departuresShown, count - listed), 'more', 'more') + ' of ' +
          (count - listed).toLocaleString('en');
      });
    };
    details.addEventListener('toggle', function () {
      if (details.open && listed === 0)
        addMore();
    });
    more.addEventListener('click', addMore);
    list.addEventListener('click', function (event) {
      var button = event.target.closest('button.departure');
      if (button && page.state.roll)
        page.state.roll.showDeparture(Number(button.dataset.channel), Number(button.dataset.departure));
    });
    details.appendChild(list);
    details.appendChild(more);
    box.appendChild(details);
    return box;
  }

  // The buttons of departures `indices` with their `found` lines and words.
  function departureItems(channel, indices, found) {
    var fragment = document.createDocumentFragment();
    indices.forEach(function (d, i) {
      var item = element('li');
      var button = element('button', 'departure');
      button.type = 'button';
      button.dataset.channel = String(channel);
      button.dataset.departure = String(d);
      button.appendChild(element('code', null, found.lines[i]));
      button.appendChild(element('span', 'words', found.words[i]));
      item.appendChild(button);
      fragment.appendChild(item);
    });
    return fragment;
  }

  // ---- Console ------------------------------------------------------------

  // The labels that begin a line of each level, as the program prints them.
  var labels = contract.levels.map(function (level) { return level.label; });

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
        var lineClass = kind === contract.macroRun ? 'macro' : line.indexOf(labels[kind]) === 0 ? 'level-' + kind : 'plain';
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

  // The usage text on request, and the whole report saved as a file.
  function wireReport() {
    var state = page.state;
    $('usage-button').addEventListener('click', toggleUsage);
    $('save-report').addEventListener('click', function () {
      var file = state.file;
      if (state.shown)
        page.save(state.shown.console, (file ? file.name.replace(/\.[^.]*$/, '') : 'midi2varn') + '-report.txt');
    });
  }

  page.departureReport = departureReport;
  page.departureWords = departureWords;
  page.showConsole = showConsole;
  page.wireReport = wireReport;
})(window.midi2varn.page);
