// One channel of the piano roll's model: the MIDI file's notes after the
// switches and the notes the tune plays, as sorted lists (roll-model.js),
// with the departures that concern each note, read by the names of the
// converter's contract. Shared with the roll's view, the player and the
// tests.
(function (root) {
  'use strict';

  var model = typeof module === 'object' && module.exports ? require('./roll-model.js') : root.midi2varn.roll;
  var TempoMap = model.TempoMap;
  var NoteList = model.NoteList;
  var classes = model.classes;

  // Colour classes by departure kind: a played note takes the first class
  // of this order whose kinds it has.
  var classOrder = [['drum', ['drum']], ['pitch', ['pitch']], ['held', ['heldLate', 'stuck']], ['start', ['start']],
                    ['length', ['length']]];

  // A channel of the roll's data (describeRoll in describe.cpp) of a
  // conversion `roll`, its tables laid out as `contract` names them.
  function Channel(data, roll, contract) {
    this.contract = contract;
    this.layouts = contract.layouts;
    this.channel = data.channel;
    // With -P, the player whose tune this is (from 1) and its channels.
    this.player = data.player || 0;
    this.members = this.player && roll.band ? roll.band.players[this.player - 1] : [this.channel];
    this.noteName = model.noteNamer(contract.pitchClassNames);
    this.data = data;
    this.tuneClock = new TempoMap(data.tempos, 15, contract.tempo.plain);
    this.midiClock = new TempoMap(data.midiTempos, 60 / roll.division, contract.tempo.plain);
    this.ticksPerSixteenth = roll.division / 4;
    this.counts = data.counts;
    var self = this;
    this.tune = new NoteList(data.tune, this.tuneClasses(data.tune.kinds),
                             function (tick) { return self.secondsAt(tick, false); });
    this.source = new NoteList(data.source, this.sourceClasses(data.source.kinds),
                               function (tick) { return self.secondsAt(tick, true); });
    this.measure(roll.upperC);
    this.items = null;
    this.byRow = null;
  }

  // The colour class of each of the tune's notes from the departure kinds
  // that concern it: the first class of classOrder whose kinds it has.
  // What the lane is called: "channel 3", or "player 1 (channels 1, 4)".
  Channel.prototype.name = function () {
    if (!this.player)
      return 'channel ' + this.channel;
    return 'player ' + this.player + ' (' + (this.members.length === 1 ? 'channel ' : 'channels ') +
           this.members.join(', ') + ')';
  };

  Channel.prototype.tuneClasses = function (kinds) {
    var byName = this.contract.departureKinds;
    var bits = Object.keys(byName).length;
    var masks = classOrder.map(function (entry) {
      return entry[1].reduce(function (mask, kind) { return mask | (1 << byName[kind]); }, 0);
    });
    var classOf = new Uint8Array(1 << bits);
    for (var mask = 0; mask < classOf.length; ++mask) {
      classOf[mask] = classes.tune;
      for (var k = masks.length - 1; k >= 0; --k)
        if (mask & masks[k])
          classOf[mask] = classes[classOrder[k][0]];
    }
    var cls = new Uint8Array(kinds.length);
    for (var i = 0; i < kinds.length; ++i)
      cls[i] = classOf[kinds[i]];
    return cls;
  };

  // The file's notes: dropped ones apart from the rest.
  Channel.prototype.sourceClasses = function (kinds) {
    var dropped = 1 << this.contract.departureKinds.dropped;
    var cls = new Uint8Array(kinds.length);
    for (var i = 0; i < kinds.length; ++i)
      cls[i] = kinds[i] & dropped ? classes.dropped : classes.source;
    return cls;
  };

  // The departures of the channel.
  Channel.prototype.departureCount = function () {
    return this.data.departures.length / this.layouts.departure.width;
  };

  // The departures of each note that the departures' column `column` names
  // (-1: none): as { first, list }, the departures of note i being
  // list[first[i]] up to list[first[i + 1]].
  Channel.prototype.byNote = function (column) {
    var departures = this.data.departures;
    var width = this.layouts.departure.width;
    var total = this.departureCount();
    var count = 0;
    var d;
    for (d = 0; d < total; ++d)
      count = Math.max(count, departures[width * d + column] + 1);
    var first = new Int32Array(count + 1);
    for (d = 0; d < total; ++d)
      if (departures[width * d + column] >= 0)
        ++first[departures[width * d + column] + 1];
    for (var i = 0; i < count; ++i)
      first[i + 1] += first[i];
    var list = new Int32Array(first[count]);
    var next = first.slice(0, count);
    for (d = 0; d < total; ++d) {
      var note = departures[width * d + column];
      if (note >= 0)
        list[next[note]++] = d;
    }
    return { first: first, list: list };
  };

  // The departures of each note of the tune and of the file, by row; made
  // when a note is first described.
  Channel.prototype.departuresByRow = function () {
    var at = this.layouts.departure.at;
    if (!this.byRow)
      this.byRow = { played: this.byNote(at.played), source: this.byNote(at.note) };
    return this.byRow;
  };

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
    this.tuneSeconds = this.tune.lastSecond();
    this.midiSeconds = this.source.lastSecond();
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
    if (row + 1 >= lists.first.length)
      return [];
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
      departures: departuresOf(tune ? this.departuresByRow().played : this.departuresByRow().source, row),
      none: tune ? 'plays as the MIDI file has it' : 'played as the MIDI file has it'
    };
  };

  model.Channel = Channel;
  if (typeof module === 'object' && module.exports)
    module.exports = Channel;
})(this);
