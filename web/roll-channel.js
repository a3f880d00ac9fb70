// One channel of the piano roll's model: the MIDI file's notes after the
// switches and the notes the tune plays, as sorted lists (roll-model.js),
// with the departures that concern each note, read by the names of the
// converter's contract. Shared with the roll's view, the player and the
// tests.
(function (root) {
  'use strict';

  var model = typeof module === 'object' && module.exports ? require('./roll-model.js') : root.Midi2varnRoll;
  var TempoMap = model.TempoMap;
  var NoteList = model.NoteList;
  var classes = model.classes;

  // Colour classes by departure kind: a played note takes the first class
  // of this order whose kinds it has.
  var classOrder = [['pitch', ['pitch']], ['held', ['heldLate', 'stuck']], ['start', ['start']],
                    ['length', ['length']]];

  // A channel of the roll's data (describeRoll in describe.cpp) of a
  // conversion `roll`, its tables laid out as `contract` names them.
  function Channel(data, roll, contract) {
    this.contract = contract;
    this.layouts = contract.layouts;
    this.channel = data.channel;
    this.noteName = model.noteNamer(contract.pitchClassNames);
    this.data = data;
    this.tuneClock = new TempoMap(data.tempos, 15, contract.tempo.plain);
    this.midiClock = new TempoMap(data.midiTempos, 60 / roll.division, contract.tempo.plain);
    this.ticksPerSixteenth = roll.division / 4;
    var kinds = contract.departureKinds;
    this.classMasks = classOrder.map(function (entry) {
      return [classes[entry[0]], entry[1].reduce(function (mask, kind) { return mask | (1 << kinds[kind]); }, 0)];
    });
    var marks = this.markDepartures(data.departures, data.played.length / this.layouts.played.width,
                                    data.source.length / this.layouts.source.width);
    this.tune = this.tuneNotes(data.played, marks.played);
    this.source = this.sourceNotes(data.source, marks.source);
    this.measure(roll.upperC);
    this.items = null;
  }

  Channel.prototype.classOf = function (mask) {
    for (var i = 0; i < this.classMasks.length; ++i)
      if (mask & this.classMasks[i][1])
        return this.classMasks[i][0];
    return classes.tune;
  };

  // The departures of the channel.
  Channel.prototype.departureCount = function () {
    return this.data.departures.length / this.layouts.departure.width;
  };

  // The departures of each of `count` notes, which the departures' column
  // `column` names (-1: none): as { first, list }, the departures of note i
  // being list[first[i]] up to list[first[i + 1]].
  Channel.prototype.byNote = function (column, count) {
    var departures = this.data.departures;
    var shape = this.layouts.departure;
    var first = new Int32Array(count + 1);
    var total = this.departureCount();
    var d;
    for (d = 0; d < total; ++d)
      if (departures[shape.width * d + column] >= 0)
        ++first[departures[shape.width * d + column] + 1];
    for (var i = 0; i < count; ++i)
      first[i + 1] += first[i];
    var list = new Int32Array(first[count]);
    var next = first.slice(0, count);
    for (d = 0; d < total; ++d) {
      var note = departures[shape.width * d + column];
      if (note >= 0)
        list[next[note]++] = d;
    }
    return { first: first, list: list };
  };

  // Counts the departures by kind and gives each note the kinds that
  // concern it, as bit masks; keeps the departures of each note.
  Channel.prototype.markDepartures = function (departures, playedCount, sourceCount) {
    var played = new Uint16Array(playedCount);
    var source = new Uint16Array(sourceCount);
    this.counts = Object.keys(this.contract.departureKinds).map(function () { return 0; });
    var shape = this.layouts.departure;
    var c = shape.at;
    this.ofPlayed = this.byNote(c.played, playedCount);
    this.ofSource = this.byNote(c.note, sourceCount);
    for (var d = 0; d < this.departureCount(); ++d) {
      var row = shape.width * d;
      var kind = departures[row + c.kind];
      var note = departures[row + c.note];
      var playedNote = departures[row + c.played];
      ++this.counts[kind];
      if (note >= 0)
        source[note] |= 1 << kind;
      if (playedNote >= 0)
        played[playedNote] |= 1 << kind;
    }
    return { played: played, source: source };
  };

  // The tune's notes that sound (a letter of no length plays nothing).
  Channel.prototype.tuneNotes = function (played, mask) {
    var shape = this.layouts.played;
    var c = shape.at;
    var rows = played.length / shape.width;
    var count = 0;
    for (var i = 0; i < rows; ++i)
      if (played[shape.width * i + c.length] > 0)
        ++count;
    var list = new NoteList(count);
    var raw = list.raw();
    var k = 0;
    for (i = 0; i < rows; ++i) {
      var r = shape.width * i;
      if (played[r + c.length] <= 0)
        continue;
      raw.start[k] = played[r + c.start] * this.ticksPerSixteenth;
      raw.end[k] = (played[r + c.start] + played[r + c.length]) * this.ticksPerSixteenth;
      raw.pitch[k] = played[r + c.pitch];
      raw.velocity[k] = played[r + c.velocity];
      raw.seconds[k] = played[r + c.seconds];
      raw.duration[k] = played[r + c.duration];
      raw.cls[k] = this.classOf(mask[i]);
      raw.index[k++] = i;
    }
    return list.fill(raw);
  };

  // The MIDI file's notes after the switches, timed on its own tempo marks.
  Channel.prototype.sourceNotes = function (source, mask) {
    var shape = this.layouts.source;
    var c = shape.at;
    var written = this.contract.fates.written;
    var dropped = 1 << this.contract.departureKinds.dropped;
    var list = new NoteList(source.length / shape.width);
    var raw = list.raw();
    var velocity = 100;   // the file's notes all sound alike
    for (var i = 0; i < list.count; ++i) {
      var r = shape.width * i;
      var tick = source[r + c.tick];
      var seconds = this.midiClock.secondsAt(tick);
      raw.start[i] = tick;
      raw.end[i] = tick + source[r + c.ticks];
      raw.pitch[i] = source[r + c.pitch];
      raw.velocity[i] = velocity;
      raw.seconds[i] = seconds;
      raw.duration[i] = this.midiClock.secondsAt(raw.end[i]) - seconds;
      raw.cls[i] = source[r + c.fate] !== written || (mask[i] & dropped) ? classes.dropped : classes.source;
      raw.index[i] = i;
    }
    return list.fill(raw);
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
    var range = this.contract.range;
    this.rangeBottom = range.lowest;
    this.rangeTop = upperC ? range.highestUpperC : range.highest;
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
      if (this.source.cls[i] === classes.dropped)
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
    var dropped = search(source, tick, pitch, slack, function (i) { return source.cls[i] === classes.dropped; });
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
    var shape = this.layouts.departure;
    var row = shape.width * d;
    var played = find(this.tune, this.data.departures[row + shape.at.played]);
    var note = find(this.source, this.data.departures[row + shape.at.note]);
    return played >= 0 ? played : note >= 0 ? -1 - note : null;
  };

  // The tick of departure `d`.
  Channel.prototype.departureTick = function (d) {
    var shape = this.layouts.departure;
    return this.data.departures[shape.width * d + shape.at.at];
  };

  // The tick where a channel's tune is at `seconds` of playing, or the MIDI
  // file is (`midi`).
  Channel.prototype.tickAt = function (seconds, midi) {
    return midi ? this.midiClock.atSeconds(seconds) : this.tuneClock.atSeconds(seconds) * this.ticksPerSixteenth;
  };

  Channel.prototype.secondsAt = function (tick, midi) {
    return midi ? this.midiClock.secondsAt(tick) : this.tuneClock.secondsAt(tick / this.ticksPerSixteenth);
  };

  // The departures of a note by its row, from byNote()'s lists.
  function departuresOf(lists, row) {
    return Array.from(lists.list.subarray(lists.first[row], lists.first[row + 1]));
  }

  // What happened to a note: its name and place, and the departures that
  // concern it (their words come from the converter on request), or the
  // line to show when there are none.
  Channel.prototype.describe = function (item, bars) {
    var tune = item >= 0;
    var note = this.note(item);
    var row = note.list.index[note.at];
    return {
      head: this.noteName(note.list.pitch[note.at]) + ', ' + bars.place(note.list.start[note.at]) +
        (tune ? ', played by the tune' : ', in the MIDI file'),
      departures: departuresOf(tune ? this.ofPlayed : this.ofSource, row),
      none: tune ? 'plays as the MIDI file has it' : 'played as the MIDI file has it'
    };
  };

  model.Channel = Channel;
  if (typeof module === 'object' && module.exports)
    module.exports = Channel;
})(this);
