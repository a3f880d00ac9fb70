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
  var classNames = ['tune', 'start', 'length', 'pitch', 'held', 'drum', 'dropped', 'source'];
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
      var first = this.metres[m][1];
      var k = Math.max(0, Math.floor((from - start) / bar));
      k += (step - (first + k) % step) % step;   // the first bar of a number the step shows
      for (var tick = start + k * bar; tick < next && tick <= to; k += step, tick = start + k * bar)
        visit(tick, first + k + 1, bar, this.metres[m][2]);
    }
  };

  // ---- One channel's notes ------------------------------------------------

  // Notes sorted by start, then pitch, as parallel typed arrays, with the
  // largest end of each prefix, so that the notes in view are found by two
  // binary searches. `columns` holds them as the converter's note lists do
  // ({ count, start, end, pitch, velocity, kinds, index }: index is the
  // note's row in the converter's table); `cls` gives each note's colour
  // class and `secondsAt` the seconds of playing at a tick.
  function NoteList(columns, cls, secondsAt) {
    this.count = columns.count;
    this.start = columns.start;
    this.end = columns.end;
    this.pitch = columns.pitch;
    this.velocity = columns.velocity;
    this.kinds = columns.kinds;
    this.index = columns.index;
    this.cls = cls;
    this.secondsAt = secondsAt;
    this.endMax = new Float64Array(this.count);
    var max = -Infinity;
    for (var i = 0; i < this.count; ++i)
      this.endMax[i] = max = Math.max(max, this.end[i]);
  }

  // When note `k` starts, and how long it sounds, in seconds of playing.
  NoteList.prototype.seconds = function (k) {
    return this.secondsAt(this.start[k]);
  };

  NoteList.prototype.duration = function (k) {
    return this.secondsAt(this.end[k]) - this.secondsAt(this.start[k]);
  };

  // The seconds the list sounds, to the end of its last note.
  NoteList.prototype.lastSecond = function () {
    return this.count ? this.secondsAt(this.endMax[this.count - 1]) : 0;
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
    root.midi2varn.roll = api;
})(this);
