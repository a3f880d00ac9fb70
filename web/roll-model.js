// The piano roll's model, without the page: tempo maps, bars and their
// places, note names, and lists of notes sorted for drawing what is in
// view and for finding the note under a point; a channel's notes are in
// roll-channel.js. Shared with the roll's view (roll-view.js,
// roll-lane.js), the player and the tests.
(function (root) {
  'use strict';

  // Names notes from the names of the twelve pitches of an octave (the
  // contract's pitchClassNames): "C4" is MIDI note 60, as the departure
  // report names notes.
  function noteNamer(names) {
    return function (pitch) {
      return names[((pitch % 12) + 12) % 12] + (Math.floor(pitch / 12) - 1);
    };
  }

  // Colour classes of the notes.
  var classNames = ['tune', 'start', 'length', 'pitch', 'held', 'dropped', 'source'];
  var classes = {};
  classNames.forEach(function (name, i) { classes[name] = i; });

  // Seconds of a clock that runs at tempo marks [[at, bpm]...] (`plain`
  // before the first, and for a mark of no tempo): `unit` is the seconds of
  // one step of the clock at 1 bpm (a sixteenth: 15; a tick: 60 / division).
  function TempoMap(marks, unit, plain) {
    this.unit = unit;
    this.at = [0];
    this.seconds = [0];
    this.bpm = [plain];
    for (var i = 0; i < marks.length; ++i) {
      var at = Math.max(marks[i][0], this.at[this.at.length - 1]);
      var bpm = marks[i][1] > 0 ? marks[i][1] : plain;
      var last = this.at.length - 1;
      var seconds = this.seconds[last] + (at - this.at[last]) * unit / this.bpm[last];
      if (at === this.at[last]) {
        this.bpm[last] = bpm;
      } else {
        this.at.push(at);
        this.seconds.push(seconds);
        this.bpm.push(bpm);
      }
    }
  }

  // The last index of `sorted` whose value is at most `value` (0 if none).
  function segment(sorted, value) {
    var lo = 0;
    var hi = sorted.length - 1;
    while (lo < hi) {
      var mid = (lo + hi + 1) >> 1;
      if (sorted[mid] <= value)
        lo = mid;
      else
        hi = mid - 1;
    }
    return lo;
  }

  TempoMap.prototype.secondsAt = function (at) {
    var i = segment(this.at, at);
    return this.seconds[i] + (at - this.at[i]) * this.unit / this.bpm[i];
  };

  TempoMap.prototype.atSeconds = function (seconds) {
    var i = segment(this.seconds, seconds);
    return this.at[i] + (seconds - this.seconds[i]) * this.bpm[i] / this.unit;
  };

  // Bars of the MIDI file: metres [[start tick, first bar (0-based),
  // numerator, denominator]...], as the departure report counts them.
  function Bars(metres, division) {
    this.metres = metres.length ? metres : [[0, 0, 4, 4]];
    this.division = division;
  }

  Bars.prototype.barTicks = function (m) {
    return this.metres[m][2] * 4 * this.division / this.metres[m][3];
  };

  // "bar 3, beat 2" of a tick, counted as the departure report counts:
  // from 24ths of a beat, rounded.
  Bars.prototype.place = function (tick) {
    var m = segment(this.starts || (this.starts = this.metres.map(function (metre) { return metre[0]; })), tick);
    var metre = this.metres[m];
    var sub = Math.max(0, Math.round((tick - metre[0]) * metre[3] * 24 / (4 * this.division)));
    var perBar = 24 * metre[2];
    return 'bar ' + (metre[1] + Math.floor(sub / perBar) + 1) + ', beat ' + (Math.floor((sub % perBar) / 24) + 1);
  };

  // Calls visit(tick, bar number, bar length in ticks, beats in the bar)
  // for every `step`th bar line from `from` to `to`.
  Bars.prototype.lines = function (from, to, step, visit) {
    for (var m = 0; m < this.metres.length; ++m) {
      var start = this.metres[m][0];
      var next = m + 1 < this.metres.length ? this.metres[m + 1][0] : Infinity;
      if (next <= from || start > to)
        continue;
      var bar = this.barTicks(m);
      var k = Math.max(0, Math.floor((from - start) / bar));
      for (var tick = start + k * bar; tick < next && tick <= to; tick = start + (++k) * bar) {
        var number = this.metres[m][1] + k + 1;
        if ((number - 1) % step === 0)
          visit(tick, number, bar, this.metres[m][2]);
      }
    }
  };

  // ---- One channel's notes ------------------------------------------------

  // Notes sorted by start, as parallel arrays, with the largest end of each
  // prefix, so that the notes in view are found by two binary searches.
  function NoteList(count) {
    this.count = count;
    this.start = new Float64Array(count);
    this.end = new Float64Array(count);
    this.endMax = new Float64Array(count);
    this.pitch = new Int16Array(count);
    this.cls = new Uint8Array(count);
    this.index = new Int32Array(count);   // row in the converter's table
    this.seconds = new Float64Array(count);
    this.duration = new Float64Array(count);
    this.velocity = new Uint8Array(count);
  }

  // The fields of a list, as `raw` gives them to fill().
  var fields = ['start', 'end', 'pitch', 'cls', 'index', 'seconds', 'duration', 'velocity'];

  // Whether note `a` of `raw` goes before note `b`: by start, then pitch,
  // then as given.
  function before(raw, a, b) {
    return raw.start[a] < raw.start[b] ||
      (raw.start[a] === raw.start[b] && (raw.pitch[a] < raw.pitch[b] || (raw.pitch[a] === raw.pitch[b] && a < b)));
  }

  // The order of the notes of `raw`: by insertion, which is quick for notes
  // nearly in order (chords in any order of pitch), else by sorting; null
  // when they are in order already.
  function orderOf(raw, n) {
    var order = new Uint32Array(n);
    var moves = 0;
    for (var i = 0; i < n; ++i) {
      var k = i;
      for (; k > 0 && before(raw, i, order[k - 1]) && moves < 8 * n; --k, ++moves)
        order[k] = order[k - 1];
      order[k] = i;
    }
    if (moves >= 8 * n) {
      for (i = 0; i < n; ++i)
        order[i] = i;
      order.sort(function (a, b) { return before(raw, a, b) ? -1 : before(raw, b, a) ? 1 : 0; });
    }
    return moves === 0 ? null : order;
  }

  // Fills the list from `raw` (typed arrays of `fields`, one entry a
  // note), ordered by start, then pitch.
  NoteList.prototype.fill = function (raw) {
    var n = this.count;
    var order = orderOf(raw, n);
    var self = this;
    fields.forEach(function (field) {
      var from = raw[field];
      if (order === null) {
        self[field] = from;   // in order: the arrays are the list's own
        return;
      }
      var to = self[field];
      for (var k = 0; k < n; ++k)
        to[k] = from[order[k]];
    });
    var max = -Infinity;
    for (var i = 0; i < n; ++i) {
      max = Math.max(max, this.end[i]);
      this.endMax[i] = max;
    }
    return this;
  };

  // Empty typed arrays of `fields` for `count` notes, to fill() a list from.
  NoteList.prototype.raw = function () {
    var raw = {};
    var self = this;
    fields.forEach(function (field) { raw[field] = new self[field].constructor(self.count); });
    return raw;
  };

  // The first and one past the last note that may be seen from `from` to
  // `to` (ticks).
  NoteList.prototype.range = function (from, to) {
    var lo = 0;
    var hi = this.count;
    while (lo < hi) {
      var mid = (lo + hi) >> 1;
      if (this.endMax[mid] < from)
        lo = mid + 1;
      else
        hi = mid;
    }
    var first = lo;
    hi = this.count;
    while (lo < hi) {
      mid = (lo + hi) >> 1;
      if (this.start[mid] <= to)
        lo = mid + 1;
      else
        hi = mid;
    }
    return [first, lo];
  };

  var api = { TempoMap: TempoMap, Bars: Bars, NoteList: NoteList, noteNamer: noteNamer, classNames: classNames,
              classes: classes };
  if (typeof module === 'object' && module.exports)
    module.exports = api;
  else
    root.Midi2varnRoll = api;
})(this);
