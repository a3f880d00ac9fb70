// The piano roll's model, without the page: tempo maps, bars and their
// places, note names, and per channel the MIDI file's notes after the
// switches and the notes the tune plays, sorted for drawing what is in
// view and for finding the note under a point. Shared with the roll's
// view (roll-view.js, roll-lane.js), the player and the tests.
(function (root) {
  'use strict';

  // The game's lowest note, C3.
  var lowestNote = 48;

  var names = ['C', 'C#', 'D', 'D#', 'E', 'F', 'F#', 'G', 'G#', 'A', 'A#', 'B'];

  // "C4" is MIDI note 60, as the departure report names notes.
  function noteName(pitch) {
    return names[((pitch % 12) + 12) % 12] + (Math.floor(pitch / 12) - 1);
  }

  // Departure kinds as the converter numbers them.
  var kinds = { dropped: 0, start: 1, length: 2, pitch: 3, heldLate: 4, stuck: 5, tempo: 6, added: 7 };

  // Colour classes of the notes; a played note takes the first class of
  // this order whose kinds it has.
  var classNames = ['tune', 'start', 'length', 'pitch', 'held', 'dropped', 'source'];
  var TUNE = 0;
  var DROPPED = 5;
  var SOURCE = 6;
  var classOrder = [[3, 1 << kinds.pitch], [4, (1 << kinds.heldLate) | (1 << kinds.stuck)], [1, 1 << kinds.start],
                    [2, 1 << kinds.length]];

  function classOf(mask) {
    for (var i = 0; i < classOrder.length; ++i)
      if (mask & classOrder[i][1])
        return classOrder[i][0];
    return TUNE;
  }

  // Seconds of a clock that runs at tempo marks [[at, bpm]...] (120 before
  // the first): `unit` is the seconds of one step of the clock at 1 bpm
  // (a sixteenth: 15; a tick: 60 / division).
  function TempoMap(marks, unit) {
    this.unit = unit;
    this.at = [0];
    this.seconds = [0];
    this.bpm = [120];
    for (var i = 0; i < marks.length; ++i) {
      var at = Math.max(marks[i][0], this.at[this.at.length - 1]);
      var bpm = marks[i][1] > 0 ? marks[i][1] : 120;
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

  // Fills the list from rows, ordered by start, then pitch.
  NoteList.prototype.fill = function (rows) {
    rows.sort(function (a, b) { return a.start - b.start || a.pitch - b.pitch; });
    var max = -Infinity;
    for (var i = 0; i < rows.length; ++i) {
      var row = rows[i];
      this.start[i] = row.start;
      this.end[i] = row.end;
      max = Math.max(max, row.end);
      this.endMax[i] = max;
      this.pitch[i] = row.pitch;
      this.cls[i] = row.cls;
      this.index[i] = row.index;
      this.seconds[i] = row.seconds;
      this.duration[i] = row.duration;
      this.velocity[i] = row.velocity;
    }
    return this;
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

  // A channel of the roll's data (see describeRoll in module.cpp; its
  // tables `roll.columns` numbers a row).
  function Channel(data, roll) {
    this.columns = roll.columns;
    this.channel = data.channel;
    this.data = data;
    this.tuneClock = new TempoMap(data.tempos, 15);
    this.midiClock = new TempoMap(data.midiTempos, 60 / roll.division);
    this.ticksPerSixteenth = roll.division / 4;
    var marks = this.markDepartures(data.departures, data.played.length / this.columns.played,
                                    data.source.length / this.columns.source);
    this.tune = this.tuneNotes(data.played, marks.played);
    this.source = this.sourceNotes(data.source, marks.source);
    this.measure(roll.upperC);
    this.items = null;
  }

  function addTo(map, key, d) {
    var list = map.get(key);
    if (list)
      list.push(d);
    else
      map.set(key, [d]);
  }

  // Counts the departures by kind and gives each note the kinds that
  // concern it, as bit masks; keeps the departures of each note.
  Channel.prototype.markDepartures = function (departures, playedCount, sourceCount) {
    var played = new Uint16Array(playedCount);
    var source = new Uint16Array(sourceCount);
    this.ofPlayed = new Map();
    this.ofSource = new Map();
    this.counts = [0, 0, 0, 0, 0, 0, 0, 0];
    var width = this.columns.departures;
    for (var d = 0; d < departures.length / width; ++d) {
      var kind = departures[width * d];
      var note = departures[width * d + 2];
      var playedNote = departures[width * d + 3];
      ++this.counts[kind];
      if (note >= 0) {
        source[note] |= 1 << kind;
        addTo(this.ofSource, note, d);
      }
      if (playedNote >= 0) {
        played[playedNote] |= 1 << kind;
        addTo(this.ofPlayed, playedNote, d);
      }
    }
    return { played: played, source: source };
  };

  // The tune's notes that sound (a letter of no length plays nothing).
  Channel.prototype.tuneNotes = function (played, mask) {
    var rows = [];
    var width = this.columns.played;
    for (var i = 0; i < played.length / width; ++i) {
      var r = width * i;
      if (played[r + 1] <= 0)
        continue;
      rows.push({
        start: played[r] * this.ticksPerSixteenth, end: (played[r] + played[r + 1]) * this.ticksPerSixteenth,
        pitch: played[r + 2], velocity: played[r + 3], seconds: played[r + 4], duration: played[r + 5],
        cls: classOf(mask[i]), index: i
      });
    }
    return new NoteList(rows.length).fill(rows);
  };

  // The MIDI file's notes after the switches, timed on its own tempo marks.
  Channel.prototype.sourceNotes = function (source, mask) {
    var rows = [];
    var width = this.columns.source;
    for (var i = 0; i < source.length / width; ++i) {
      var r = width * i;
      var seconds = this.midiClock.secondsAt(source[r]);
      rows.push({
        start: source[r], end: source[r] + source[r + 1], pitch: source[r + 2], velocity: 100,
        seconds: seconds, duration: this.midiClock.secondsAt(source[r] + source[r + 1]) - seconds,
        cls: source[r + 3] !== 0 || (mask[i] & (1 << kinds.dropped)) ? DROPPED : SOURCE, index: i
      });
    }
    return new NoteList(rows.length).fill(rows);
  };

  // The last second a list sounds.
  function lastSecond(list) {
    var last = 0;
    for (var i = 0; i < list.count; ++i)
      last = Math.max(last, list.seconds[i] + list.duration[i]);
    return last;
  }

  // The pitches shown (the game's range and every note, a row spare each
  // side), the last tick and the seconds each way of playing lasts.
  Channel.prototype.measure = function (upperC) {
    var lowest = Infinity;
    var highest = -Infinity;
    [this.tune, this.source].forEach(function (list) {
      for (var k = 0; k < list.count; ++k) {
        lowest = Math.min(lowest, list.pitch[k]);
        highest = Math.max(highest, list.pitch[k]);
      }
    });
    this.rangeBottom = lowestNote;
    this.rangeTop = upperC ? 84 : 83;
    this.top = Math.max(highest, this.rangeTop) + 1;
    this.bottom = Math.min(lowest, this.rangeBottom) - 1;
    this.end = Math.max(this.tune.count ? this.tune.endMax[this.tune.count - 1] : 0,
                        this.source.count ? this.source.endMax[this.source.count - 1] : 0);
    this.tuneSeconds = lastSecond(this.tune);
    this.midiSeconds = lastSecond(this.source);
  };

  // An item (as steps() has them) as its list and the note's place in it.
  Channel.prototype.note = function (item) {
    return item >= 0 ? { list: this.tune, at: item } : { list: this.source, at: -1 - item };
  };

  // The notes the keyboard steps through: the tune's, and the dropped notes
  // of the file, in time order (tune notes as their index, dropped ones as
  // -1 - index).
  Channel.prototype.steps = function () {
    if (this.items)
      return this.items;
    var items = [];
    for (var i = 0; i < this.tune.count; ++i)
      items.push(i);
    for (i = 0; i < this.source.count; ++i)
      if (this.source.cls[i] === DROPPED)
        items.push(-1 - i);
    var self = this;
    var at = function (item) { var note = self.note(item); return note.list.start[note.at]; };
    var pitch = function (item) { var note = self.note(item); return note.list.pitch[note.at]; };
    items.sort(function (a, b) { return at(a) - at(b) || pitch(a) - pitch(b); });
    this.items = items;
    return items;
  };

  // The last note of `list` of `pitch` within `slack` ticks of `tick` that
  // `accept` takes, or null.
  function search(list, tick, pitch, slack, accept) {
    var range = list.range(tick - slack, tick + slack);
    var found = null;
    for (var i = range[0]; i < range[1]; ++i)
      if (list.pitch[i] === pitch && list.start[i] <= tick + slack && list.end[i] >= tick - slack && accept(i))
        found = i;
    return found;
  }

  // The note at `tick` and `pitch` (an item as steps() has them), or null:
  // a dropped note first, as it is drawn on top, then the tune's, then the
  // file's outline.
  Channel.prototype.noteAt = function (tick, pitch, slack) {
    var source = this.source;
    var dropped = search(source, tick, pitch, slack, function (i) { return source.cls[i] === DROPPED; });
    if (dropped !== null)
      return -1 - dropped;
    var played = search(this.tune, tick, pitch, slack, function () { return true; });
    if (played !== null)
      return played;
    var outline = search(source, tick, pitch, slack, function () { return true; });
    return outline === null ? null : -1 - outline;
  };

  // The place in `list` of the converter's row `row` (none: -1).
  function find(list, row) {
    return row >= 0 ? list.index.indexOf(row) : -1;
  }

  // The item departure `d` concerns: its played note, else its note of the
  // file; null when neither is drawn.
  Channel.prototype.itemOf = function (d) {
    var row = this.columns.departures * d;
    var played = find(this.tune, this.data.departures[row + 3]);
    var note = find(this.source, this.data.departures[row + 2]);
    return played >= 0 ? played : note >= 0 ? -1 - note : null;
  };

  // The tick of departure `d`.
  Channel.prototype.departureTick = function (d) {
    return this.data.departures[this.columns.departures * d + 1];
  };

  // The tick where a channel's tune is at `seconds` of playing, or the MIDI
  // file is (`midi`).
  Channel.prototype.tickAt = function (seconds, midi) {
    return midi ? this.midiClock.atSeconds(seconds) : this.tuneClock.atSeconds(seconds) * this.ticksPerSixteenth;
  };

  Channel.prototype.secondsAt = function (tick, midi) {
    return midi ? this.midiClock.secondsAt(tick) : this.tuneClock.secondsAt(tick / this.ticksPerSixteenth);
  };

  // What happened to a note, in words, one line per departure.
  Channel.prototype.describe = function (item, bars) {
    var data = this.data;
    var tune = item >= 0;
    var note = this.note(item);
    var row = note.list.index[note.at];
    var departures = (tune ? this.ofPlayed : this.ofSource).get(row) || [];
    var lines = departures.map(function (d) { return data.words[d]; });
    var head = noteName(note.list.pitch[note.at]) + ', ' + bars.place(note.list.start[note.at]) +
      (tune ? ', played by the tune' : ', in the MIDI file');
    if (!lines.length)
      lines.push(tune ? 'plays as the MIDI file has it' : 'played as the MIDI file has it');
    return { head: head, lines: lines };
  };

  var api = {
    TempoMap: TempoMap, Bars: Bars, NoteList: NoteList, Channel: Channel, noteName: noteName, kinds: kinds,
    classNames: classNames, classes: { tune: TUNE, dropped: DROPPED, source: SOURCE }
  };
  if (typeof module === 'object' && module.exports)
    module.exports = api;
  else
    root.Midi2varnRoll = api;
})(this);
