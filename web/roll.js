// The piano roll: per channel, the MIDI file's notes after the switches
// (outlines; dropped ones filled) laid over the notes the tune plays as
// read back from its text (filled, coloured by what departed), on the
// file's bars. Drawn on one canvas per channel, only what is in view;
// hover or step through the notes with the arrow keys to read what
// happened to each. Pure helpers (tempo maps, places, note names) are
// shared with the player and the tests.
(function (root) {
  'use strict';

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

  // A channel of the roll's data (see describeRoll in module.cpp).
  function Channel(data, roll) {
    var division = roll.division;
    this.channel = data.channel;
    this.data = data;
    this.tuneClock = new TempoMap(data.tempos, 15);
    this.midiClock = new TempoMap(data.midiTempos, 60 / division);
    this.ticksPerSixteenth = division / 4;

    var played = data.played;
    var source = data.source;
    var departures = data.departures;
    var playedCount = played.length / 7;
    var sourceCount = source.length / 4;
    var playedMask = new Uint16Array(playedCount);
    var sourceMask = new Uint16Array(sourceCount);
    this.ofPlayed = new Map();
    this.ofSource = new Map();
    this.counts = [0, 0, 0, 0, 0, 0, 0, 0];
    var add = function (map, key, d) {
      var list = map.get(key);
      if (list)
        list.push(d);
      else
        map.set(key, [d]);
    };
    for (var d = 0; d < departures.length / 4; ++d) {
      var kind = departures[4 * d];
      var note = departures[4 * d + 2];
      var playedNote = departures[4 * d + 3];
      ++this.counts[kind];
      if (note >= 0) {
        sourceMask[note] |= 1 << kind;
        add(this.ofSource, note, d);
      }
      if (playedNote >= 0) {
        playedMask[playedNote] |= 1 << kind;
        add(this.ofPlayed, playedNote, d);
      }
    }

    // The tune's notes that sound (a letter of no length plays nothing).
    var rows = [];
    for (var i = 0; i < playedCount; ++i) {
      var r = 7 * i;
      if (played[r + 1] <= 0)
        continue;
      rows.push({
        start: played[r] * this.ticksPerSixteenth, end: (played[r] + played[r + 1]) * this.ticksPerSixteenth,
        pitch: played[r + 2], velocity: played[r + 3], seconds: played[r + 4], duration: played[r + 5],
        cls: classOf(playedMask[i]), index: i
      });
    }
    this.tune = new NoteList(rows.length).fill(rows);

    rows = [];
    for (i = 0; i < sourceCount; ++i) {
      r = 4 * i;
      var seconds = this.midiClock.secondsAt(source[r]);
      rows.push({
        start: source[r], end: source[r] + source[r + 1], pitch: source[r + 2], velocity: 100,
        seconds: seconds, duration: this.midiClock.secondsAt(source[r] + source[r + 1]) - seconds,
        cls: source[r + 3] !== 0 || (sourceMask[i] & (1 << kinds.dropped)) ? DROPPED : SOURCE, index: i
      });
    }
    this.source = new NoteList(rows.length).fill(rows);

    var lowest = Infinity;
    var highest = -Infinity;
    [this.tune, this.source].forEach(function (list) {
      for (var k = 0; k < list.count; ++k) {
        lowest = Math.min(lowest, list.pitch[k]);
        highest = Math.max(highest, list.pitch[k]);
      }
    });
    this.rangeTop = roll.upperC ? 84 : 83;
    this.top = Math.max(highest, this.rangeTop) + 1;
    this.bottom = Math.min(lowest, 48) - 1;
    this.end = Math.max(this.tune.count ? this.tune.endMax[this.tune.count - 1] : 0,
                        this.source.count ? this.source.endMax[this.source.count - 1] : 0);
    this.tuneSeconds = 0;
    for (i = 0; i < this.tune.count; ++i)
      this.tuneSeconds = Math.max(this.tuneSeconds, this.tune.seconds[i] + this.tune.duration[i]);
    this.midiSeconds = 0;
    for (i = 0; i < this.source.count; ++i)
      this.midiSeconds = Math.max(this.midiSeconds, this.source.seconds[i] + this.source.duration[i]);
    this.items = null;
  }

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
    var at = function (item) { return item >= 0 ? self.tune.start[item] : self.source.start[-1 - item]; };
    var pitch = function (item) { return item >= 0 ? self.tune.pitch[item] : self.source.pitch[-1 - item]; };
    items.sort(function (a, b) { return at(a) - at(b) || pitch(a) - pitch(b); });
    this.items = items;
    return items;
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
    var list = tune ? this.tune : this.source;
    var at = tune ? item : -1 - item;
    var row = list.index[at];
    var departures = (tune ? this.ofPlayed : this.ofSource).get(row) || [];
    var lines = departures.map(function (d) { return data.words[d]; });
    var head = noteName(list.pitch[at]) + ', ' + bars.place(list.start[at]) +
      (tune ? ', played by the tune' : ', in the MIDI file');
    if (!lines.length)
      lines.push(tune ? 'plays as the MIDI file has it' : 'played as the MIDI file has it');
    return { head: head, lines: lines };
  };

  // ---- The roll -----------------------------------------------------------

  var gutter = 40;     // pitch names, left of the notes
  var ruler = 16;      // bar numbers, above the notes
  var maxZoom = 48;    // pixels of a sixteenth at most

  function element(tag, className, text) {
    var node = document.createElement(tag);
    if (className)
      node.className = className;
    if (text !== undefined)
      node.textContent = text;
    return node;
  }

  // The roll in `container`, with the position slider `slider`. Calls
  // options.onSeek(channel, tick) when a bar number is clicked, and
  // options.onToggle(channel) / onSolo(channel) for the lanes' buttons.
  function Roll(container, slider, options) {
    this.container = container;
    this.slider = slider;
    this.options = options || {};
    this.lanes = [];
    this.view = { start: 0, tpp: 1 };
    this.total = 1;
    this.pending = false;
    this.fitted = true;
    this.measured = 0;   // the lanes' width in CSS pixels, once known
    this.colours = null;
    this.bars = null;
    var self = this;
    slider.addEventListener('input', function () {
      self.scrollTo(Number(slider.value) / 1000 * self.maxStart());
    });
    // The lanes' width, measured after the browser's own layout when it
    // changes (the window, a scroll bar), else read once a file.
    this.observer = window.ResizeObserver ? new ResizeObserver(function (entries) {
      var width = entries[entries.length - 1].contentRect.width;
      if (width > 0 && Math.abs(width - self.measured) >= 1) {
        self.measured = width;
        self.resize();
      }
    }) : null;
    window.addEventListener('resize', function () {
      if (self.observer)
        return;
      self.measured = 0;
      self.resize();
    });
    if (window.matchMedia)
      window.matchMedia('(prefers-color-scheme: dark)').addEventListener('change', function () {
        self.colours = null;
        self.invalidate();
      });
  }

  Roll.prototype.width = function () {
    return Math.max(1, (this.lanes.length ? this.lanes[0].cssWidth : 600) - gutter);
  };

  Roll.prototype.maxStart = function () {
    return Math.max(0, this.total - this.width() * this.view.tpp);
  };

  Roll.prototype.fitTpp = function () {
    return this.total / this.width();
  };

  // Shows a conversion's roll; keeps the view when `keepView` (the same file).
  Roll.prototype.show = function (data, keepView) {
    this.data = data;
    this.bars = new Bars(data.metres, data.division);
    this.division = data.division;
    var channels = data.channels.map(function (channel) { return new Channel(channel, data); });
    this.total = Math.max(4 * data.division, channels.reduce(function (end, c) { return Math.max(end, c.end); }, 0) +
                          data.division);
    this.container.textContent = '';
    this.lanes = channels.map(this.makeLane, this);
    if (this.observer && this.lanes.length) {
      this.observer.disconnect();
      this.observer.observe(this.lanes[0].canvas.parentNode);
    }
    this.resize(true);
    // A whole song in view stays whole; else the view keeps its place.
    if (!keepView || this.fitted)
      this.fit();
    else
      this.zoomTo(this.view.tpp, 0);
  };

  Roll.prototype.makeLane = function (channel) {
    var self = this;
    var lane = { channel: channel, focused: null, hover: null, hasFocus: false, marker: null, playhead: null };
    var box = element('div', 'lane');
    box.id = 'lane-' + channel.channel;
    box.dataset.channel = String(channel.channel);
    var head = element('div', 'lane-head');
    var title = element('h3', null, 'Channel ' + channel.channel);
    title.id = 'lane-title-' + channel.channel;
    head.appendChild(title);
    var on = element('input');
    on.type = 'checkbox';
    on.checked = true;
    on.id = 'lane-on-' + channel.channel;
    on.className = 'lane-on';
    var onLabel = element('label', null, 'Play');
    onLabel.htmlFor = on.id;
    var onBox = element('span', 'check-inline');
    onBox.appendChild(on);
    onBox.appendChild(onLabel);
    on.setAttribute('aria-label', 'Play channel ' + channel.channel);
    head.appendChild(onBox);
    var solo = element('button', 'lane-solo', 'Alone');
    solo.type = 'button';
    solo.setAttribute('aria-pressed', 'false');
    solo.setAttribute('aria-label', 'Play channel ' + channel.channel + ' alone');
    head.appendChild(solo);
    var facts = channel.counts;
    head.appendChild(element('span', 'lane-facts',
      channel.source.count + ' notes in the file, ' + channel.tune.count + ' played' +
      (facts[kinds.dropped] ? ', ' + facts[kinds.dropped] + ' dropped' : '')));
    box.appendChild(head);
    on.addEventListener('change', function () {
      if (self.options.onToggle)
        self.options.onToggle(channel.channel, on.checked);
    });
    solo.addEventListener('click', function () {
      if (self.options.onSolo)
        self.options.onSolo(channel.channel);
    });

    var body = element('div', 'lane-body');
    var canvas = element('canvas', 'roll-canvas');
    canvas.tabIndex = 0;
    canvas.setAttribute('role', 'img');
    canvas.setAttribute('aria-label', 'Piano roll of channel ' + channel.channel + ': ' +
      channel.source.count + ' notes in the MIDI file, ' + channel.tune.count +
      ' played by the tune. Arrow keys step through the notes and tell what happened to each.');
    var tip = element('div', 'roll-tip');
    tip.setAttribute('role', 'tooltip');
    tip.id = 'roll-tip-' + channel.channel;
    tip.hidden = true;
    canvas.setAttribute('aria-describedby', tip.id);
    var playhead = element('div', 'playhead');
    playhead.hidden = true;
    var live = element('p', 'visually-hidden');
    live.setAttribute('aria-live', 'polite');
    body.appendChild(canvas);
    body.appendChild(playhead);
    body.appendChild(tip);
    box.appendChild(body);
    box.appendChild(live);
    this.container.appendChild(box);
    lane.box = box;
    lane.canvas = canvas;
    lane.tip = tip;
    lane.live = live;
    lane.playheadBox = playhead;
    lane.on = on;
    lane.solo = solo;
    this.wire(lane);
    return lane;
  };

  // The lanes' buttons as the player's state has them.
  Roll.prototype.showAudible = function (on, solo) {
    this.lanes.forEach(function (lane) {
      lane.on.checked = on(lane.channel.channel);
      lane.solo.setAttribute('aria-pressed', solo === lane.channel.channel ? 'true' : 'false');
      lane.box.classList.toggle('muted', !(solo ? solo === lane.channel.channel : lane.on.checked));
    });
  };

  // Canvas sizes follow the page's width; `quiet` leaves the redraw to the caller.
  Roll.prototype.resize = function (quiet) {
    var ratio = window.devicePixelRatio || 1;
    // All lanes are as wide as the first.
    if (!this.measured && this.lanes.length)
      this.measured = this.lanes[0].canvas.parentNode.clientWidth;
    var width = this.measured || 600;
    this.lanes.forEach(function (lane) {
      var c = lane.channel;
      var rows = c.top - c.bottom + 1;
      lane.rowHeight = Math.max(2, Math.min(8, Math.floor(280 / rows)));
      var height = ruler + rows * lane.rowHeight;
      lane.canvas.style.height = height + 'px';
      lane.canvas.width = Math.round(width * ratio);
      lane.canvas.height = Math.round(height * ratio);
      lane.ratio = ratio;
      lane.cssWidth = width;
      lane.cssHeight = height;
    });
    if (quiet)
      return;
    if (this.fitted)
      this.fit();
    else
      this.zoomTo(this.view.tpp, 0);
  };

  Roll.prototype.fit = function () {
    this.view.tpp = this.fitTpp();
    this.fitted = true;
    this.scrollTo(0);
  };

  // Zooms to `tpp` ticks a pixel, keeping the tick at `anchor` (pixels
  // into the notes) where it is.
  Roll.prototype.zoomTo = function (tpp, anchor) {
    var least = this.division / 4 / maxZoom;
    var most = this.fitTpp();
    var tick = this.view.start + anchor * this.view.tpp;
    this.view.tpp = Math.min(most, Math.max(Math.min(least, most), tpp));
    this.fitted = this.view.tpp >= most;
    this.scrollTo(tick - anchor * this.view.tpp);
  };

  Roll.prototype.zoom = function (factor, anchor) {
    this.zoomTo(this.view.tpp / factor, anchor === undefined ? this.width() / 2 : anchor);
  };

  Roll.prototype.scrollTo = function (start) {
    this.view.start = Math.min(this.maxStart(), Math.max(0, start));
    var max = this.maxStart();
    this.slider.value = String(max > 0 ? Math.round(this.view.start / max * 1000) : 0);
    this.slider.disabled = max <= 0;
    this.slider.setAttribute('aria-valuetext', this.bars ? 'from ' + this.bars.place(this.view.start) : '');
    this.invalidate();
  };

  // Brings `tick` into view (centred when it is outside).
  Roll.prototype.reveal = function (tick) {
    var span = this.width() * this.view.tpp;
    if (tick < this.view.start || tick > this.view.start + span * 0.95)
      this.scrollTo(tick - span / 2);
  };

  // Keeps a moving playhead in view: a page ahead once it passes the edge.
  Roll.prototype.follow = function (tick) {
    var span = this.width() * this.view.tpp;
    if (tick < this.view.start || tick > this.view.start + span * 0.97)
      this.scrollTo(tick - span * 0.03);
  };

  Roll.prototype.invalidate = function () {
    if (this.pending)
      return;
    this.pending = true;
    var self = this;
    requestAnimationFrame(function () {
      self.pending = false;
      self.draw();
    });
  };

  Roll.prototype.readColours = function () {
    var style = getComputedStyle(this.container);
    var get = function (name) { return style.getPropertyValue('--roll-' + name).trim(); };
    this.colours = {
      notes: classNames.map(get), back: get('back'), range: get('range'), grid: get('grid'), bar: get('bar'),
      text: get('text'), focus: get('focus'), outline: get('outline')
    };
  };

  // Draws every lane; the time it took is kept in the container's
  // data-draw-ms (for the benchmark).
  Roll.prototype.draw = function () {
    var began = performance.now();
    if (!this.colours)
      this.readColours();
    for (var i = 0; i < this.lanes.length; ++i)
      this.drawLane(this.lanes[i]);
    this.container.dataset.drawMs = (performance.now() - began).toFixed(2);
  };

  Roll.prototype.drawLane = function (lane) {
    var c = lane.channel;
    var colours = this.colours;
    var view = this.view;
    var ctx = lane.canvas.getContext('2d');
    var width = lane.cssWidth;
    var height = lane.cssHeight;
    var rowH = lane.rowHeight;
    var from = view.start;
    var to = view.start + (width - gutter) * view.tpp;
    var tpp = view.tpp;
    var x = function (tick) { return gutter + (tick - from) / tpp; };
    var y = function (pitch) { return ruler + (c.top - pitch) * rowH; };
    ctx.setTransform(lane.ratio, 0, 0, lane.ratio, 0, 0);
    ctx.fillStyle = colours.back;
    ctx.fillRect(0, 0, width, height);

    // The game's range, edged, and a line at every c.
    ctx.fillStyle = colours.range;
    ctx.fillRect(gutter, y(c.rangeTop), width - gutter, (c.rangeTop - 48 + 1) * rowH);
    ctx.fillStyle = colours.bar;
    ctx.fillRect(gutter, y(c.rangeTop), width - gutter, 1);
    ctx.fillRect(gutter, y(48) + rowH, width - gutter, 1);
    ctx.fillStyle = colours.grid;
    for (var p = c.bottom; p <= c.top; ++p)
      if (p % 12 === 0)
        ctx.fillRect(gutter, y(p) + rowH - 1, width - gutter, 1);

    // Bars, numbered in the ruler; beats where there is room.
    var bars = this.bars;
    var barPixels = bars.barTicks(0) / tpp;
    var lineStep = 1;   // bar lines at least 6 pixels apart
    while (barPixels * lineStep < 6)
      lineStep *= 2;
    var labelStep = lineStep; // bar numbers at least 32 pixels apart
    while (barPixels * labelStep < 32)
      labelStep *= 2;
    ctx.font = '10px system-ui, sans-serif';
    ctx.textBaseline = 'middle';
    var beatsShown = this.division / tpp >= 12;
    bars.lines(from, to, lineStep, function (tick, number, bar, beats) {
      var bx = Math.round(x(tick));
      var labelled = (number - 1) % labelStep === 0;
      // Between the numbered bars, their lines are fainter.
      ctx.fillStyle = labelled ? colours.bar : colours.grid;
      ctx.fillRect(bx, ruler, 1, height - ruler);
      if (labelled) {
        ctx.fillStyle = colours.text;
        ctx.fillText(String(number), bx + 3, ruler / 2);
      }
      if (beatsShown) {
        ctx.fillStyle = colours.grid;
        for (var k = 1; k < beats; ++k)
          ctx.fillRect(Math.round(x(tick + k * bar / beats)), ruler, 1, height - ruler);
      }
    });
    ctx.fillStyle = colours.bar;
    ctx.fillRect(gutter, ruler - 1, width - gutter, 1);

    // The file's notes as outlines, under the tune's: an outline shows
    // where the file has a note that the tune does not play just so.
    var noteHeight = rowH > 3 ? rowH - 1 : rowH;
    var rect = function (list, at) {
      var x0 = x(list.start[at]);
      var x1 = x(list.end[at]);
      return [x0, y(list.pitch[at]), Math.max(1.5, x1 - x0 - (x1 - x0 > 4 ? 1 : 0)), noteHeight];
    };
    var outline = function (r) {
      ctx.rect(Math.round(r[0]) + 0.5, r[1] + 0.5, Math.max(1, Math.round(r[2]) - 1), Math.max(1, r[3] - 1));
    };
    var source = c.source;
    var range = source.range(from, to);
    var dropped = [];
    var sourceDrawn = 0;
    ctx.beginPath();
    for (var i = range[0]; i < range[1]; ++i) {
      if (source.end[i] < from)
        continue;
      ++sourceDrawn;
      if (source.cls[i] === DROPPED)
        dropped.push(i);
      else
        outline(rect(source, i));
    }
    ctx.strokeStyle = colours.notes[SOURCE];
    ctx.lineWidth = 1;
    ctx.stroke();

    // The tune's notes, filled, one colour at a time.
    var tune = c.tune;
    range = tune.range(from, to);
    var boxes = [[], [], [], [], []];
    var drawn = 0;
    for (i = range[0]; i < range[1]; ++i) {
      if (tune.end[i] < from)
        continue;
      boxes[tune.cls[i]].push(i);
      ++drawn;
    }
    var r;
    for (var k = 0; k < boxes.length; ++k) {
      if (!boxes[k].length)
        continue;
      ctx.fillStyle = colours.notes[k];
      for (var j = 0; j < boxes[k].length; ++j) {
        r = rect(tune, boxes[k][j]);
        ctx.fillRect(r[0], r[1], r[2], r[3]);
      }
    }

    // The dropped notes of the file, filled and edged, over everything.
    ctx.fillStyle = colours.notes[DROPPED];
    for (j = 0; j < dropped.length; ++j) {
      r = rect(source, dropped[j]);
      ctx.fillRect(r[0], r[1], r[2], r[3]);
    }
    // Edged where there is room: a small note stays all its colour.
    if (rowH > 3) {
      ctx.beginPath();
      for (j = 0; j < dropped.length; ++j) {
        r = rect(source, dropped[j]);
        if (r[2] >= 6)
          outline(r);
      }
      ctx.strokeStyle = colours.outline;
      ctx.stroke();
    }

    // The note in focus (keyboard, a departure clicked) and a place marked.
    if (lane.focused !== null) {
      var item = lane.focused;
      r = rect(item >= 0 ? tune : source, item >= 0 ? item : -1 - item);
      ctx.strokeStyle = colours.focus;
      ctx.lineWidth = 2;
      ctx.strokeRect(r[0] - 2, r[1] - 2, r[2] + 4, r[3] + 4);
    }
    if (lane.marker !== null) {
      ctx.fillStyle = colours.focus;
      ctx.fillRect(Math.round(x(lane.marker)) - 1, 0, 2, height);
    }

    // Pitch names, over anything scrolled under them.
    ctx.fillStyle = colours.back;
    ctx.fillRect(0, 0, gutter, height);
    ctx.fillStyle = colours.text;
    ctx.textBaseline = 'middle';
    for (p = c.bottom; p <= c.top; ++p) {
      if (p % 12 === 0)
        ctx.fillText(noteName(p), 4, y(p) + rowH / 2);
    }
    // The game's range beside the names, as in the notes.
    ctx.fillStyle = colours.bar;
    ctx.fillRect(gutter - 5, y(c.rangeTop), 3, (c.rangeTop - 48 + 1) * rowH);
    ctx.fillStyle = colours.bar;
    ctx.fillRect(gutter - 1, 0, 1, height);

    // What the tests and the benchmark read.
    var data = lane.canvas.dataset;
    data.tuneNotes = String(drawn);
    data.sourceNotes = String(sourceDrawn);
    data.firstTick = String(from);
    data.ticksPerPixel = String(tpp);
    data.gutter = String(gutter);
    data.ruler = String(ruler);
    data.topPitch = String(c.top);
    data.rowHeight = String(rowH);
    this.placePlayhead(lane);
  };

  // Where the playhead of each channel is (a tick), or null: none.
  Roll.prototype.setPlayheads = function (tickOf) {
    for (var i = 0; i < this.lanes.length; ++i) {
      var lane = this.lanes[i];
      lane.playhead = tickOf ? tickOf(lane.channel) : null;
      lane.box.dataset.playhead = lane.playhead === null ? '' : lane.playhead.toFixed(1);
      this.placePlayhead(lane);
    }
  };

  Roll.prototype.placePlayhead = function (lane) {
    var shown = lane.playhead !== null && lane.playhead >= this.view.start &&
      lane.playhead <= this.view.start + this.width() * this.view.tpp;
    lane.playheadBox.hidden = !shown;
    if (shown)
      lane.playheadBox.style.transform = 'translateX(' + (gutter + (lane.playhead - this.view.start) / this.view.tpp) + 'px)';
  };

  // The note under a point of a lane's canvas (an item as Channel.steps
  // has them), or null.
  Roll.prototype.noteAt = function (lane, px, py) {
    var c = lane.channel;
    var tick = this.view.start + (px - gutter) * this.view.tpp;
    var pitch = c.top - Math.floor((py - ruler) / lane.rowHeight);
    var slack = 2 * this.view.tpp;
    var search = function (list, accept) {
      var range = list.range(tick - slack, tick + slack);
      var found = null;
      for (var i = range[0]; i < range[1]; ++i)
        if (list.pitch[i] === pitch && list.start[i] <= tick + slack && list.end[i] >= tick - slack && accept(i))
          found = i;
      return found;
    };
    var dropped = search(c.source, function (i) { return c.source.cls[i] === DROPPED; });
    if (dropped !== null)
      return -1 - dropped;
    var played = search(c.tune, function () { return true; });
    if (played !== null)
      return played;
    var outline = search(c.source, function () { return true; });
    return outline === null ? null : -1 - outline;
  };

  // Shows what happened to `item` beside it; `announce` also reads it out.
  Roll.prototype.tell = function (lane, item, announce) {
    if (item === null) {
      lane.tip.hidden = true;
      return;
    }
    var c = lane.channel;
    var words = c.describe(item, this.bars);
    lane.tip.textContent = '';
    lane.tip.appendChild(element('strong', null, words.head));
    words.lines.forEach(function (line) { lane.tip.appendChild(element('span', null, line)); });
    var list = item >= 0 ? c.tune : c.source;
    var at = item >= 0 ? item : -1 - item;
    var left = gutter + (list.start[at] - this.view.start) / this.view.tpp;
    var top = ruler + (c.top - list.pitch[at] + 1) * lane.rowHeight + 4;
    lane.tip.hidden = false;
    var room = lane.cssWidth - lane.tip.offsetWidth - 4;
    lane.tip.style.left = Math.max(0, Math.min(room, left)) + 'px';
    lane.tip.style.top = (top + lane.tip.offsetHeight > lane.cssHeight
      ? Math.max(0, top - lane.rowHeight - lane.tip.offsetHeight - 8) : top) + 'px';
    if (announce)
      lane.live.textContent = words.head + ': ' + words.lines.join('; ') + '.';
  };

  // The tip tells of the note under the pointer, else of the one in focus.
  Roll.prototype.showTip = function (lane) {
    this.tell(lane, lane.hover !== null ? lane.hover : lane.hasFocus ? lane.focused : null, false);
  };

  Roll.prototype.focusItem = function (lane, item, announce) {
    lane.focused = item;
    lane.marker = null;
    if (item !== null) {
      var list = item >= 0 ? lane.channel.tune : lane.channel.source;
      this.reveal(list.start[item >= 0 ? item : -1 - item]);
    }
    this.invalidate();
    var self = this;
    // Once drawn where the view now is.
    requestAnimationFrame(function () {
      if (announce && item !== null)
        self.tell(lane, item, true);
      self.showTip(lane);
    });
  };

  // Shows departure `d` of `channel`: its note in focus, or its place marked.
  Roll.prototype.showDeparture = function (channel, d) {
    var lane = this.lanes.filter(function (l) { return l.channel.channel === channel; })[0];
    if (!lane)
      return;
    var c = lane.channel;
    var departures = c.data.departures;
    var played = departures[4 * d + 3];
    var note = departures[4 * d + 2];
    var item = null;
    var find = function (list, row) {
      for (var i = 0; i < list.count; ++i)
        if (list.index[i] === row)
          return i;
      return -1;
    };
    if (played >= 0 && find(c.tune, played) >= 0)
      item = find(c.tune, played);
    else if (note >= 0 && find(c.source, note) >= 0)
      item = -1 - find(c.source, note);
    lane.box.scrollIntoView({ block: 'nearest' });
    lane.canvas.focus({ preventScroll: true });
    if (item !== null) {
      this.focusItem(lane, item, true);
    } else {
      lane.focused = null;
      lane.marker = departures[4 * d + 1];
      this.reveal(lane.marker);
      lane.live.textContent = c.data.words[d] + '.';
    }
  };

  Roll.prototype.wire = function (lane) {
    var self = this;
    var canvas = lane.canvas;
    var drag = null;
    var point = function (event) {
      var box = canvas.getBoundingClientRect();
      return [event.clientX - box.left, event.clientY - box.top];
    };
    canvas.addEventListener('pointerdown', function (event) {
      if (event.button !== 0)
        return;
      drag = { x: event.clientX, start: self.view.start, moved: false, id: event.pointerId };
    });
    canvas.addEventListener('pointermove', function (event) {
      if (drag && drag.id === event.pointerId) {
        var dx = event.clientX - drag.x;
        if (Math.abs(dx) > 3 && !drag.moved) {
          drag.moved = true;
          canvas.setPointerCapture(event.pointerId);
          lane.tip.hidden = true;
        }
        if (drag.moved) {
          self.scrollTo(drag.start - dx * self.view.tpp);
          return;
        }
      }
      var at = point(event);
      var item = at[0] > gutter && at[1] > ruler ? self.noteAt(lane, at[0], at[1]) : null;
      if (item !== lane.hover) {
        lane.hover = item;
        self.showTip(lane);
      }
      canvas.style.cursor = at[1] <= ruler && at[0] > gutter ? 'pointer' : item !== null ? 'help' : 'grab';
    });
    var end = function (event) {
      if (!drag || drag.id !== event.pointerId)
        return;
      var moved = drag.moved;
      drag = null;
      if (moved || event.type !== 'pointerup')
        return;
      var at = point(event);
      if (at[1] <= ruler && at[0] > gutter && self.options.onSeek)
        self.options.onSeek(lane.channel, self.view.start + (at[0] - gutter) * self.view.tpp);
    };
    canvas.addEventListener('pointerup', end);
    canvas.addEventListener('pointercancel', end);
    canvas.addEventListener('pointerleave', function () {
      lane.hover = null;
      self.showTip(lane);
    });
    canvas.addEventListener('wheel', function (event) {
      if (event.ctrlKey) {
        event.preventDefault();
        self.zoom(Math.exp(-event.deltaY * 0.002), point(event)[0] - gutter);
      } else if (event.shiftKey || Math.abs(event.deltaX) > Math.abs(event.deltaY)) {
        event.preventDefault();
        var delta = event.deltaX || event.deltaY;
        self.scrollTo(self.view.start + delta * (event.deltaMode === 1 ? 16 : 1) * self.view.tpp);
      }
    }, { passive: false });
    canvas.addEventListener('focus', function () {
      lane.hasFocus = true;
      self.showTip(lane);
    });
    canvas.addEventListener('blur', function () {
      lane.hasFocus = false;
      self.showTip(lane);
    });
    canvas.addEventListener('keydown', function (event) {
      var items = lane.channel.steps();
      var at = lane.focused === null ? -1 : items.indexOf(lane.focused);
      var next = null;
      var span = self.width() * self.view.tpp;
      switch (event.key) {
      case 'ArrowRight': next = items[Math.min(items.length - 1, at + 1)]; break;
      case 'ArrowLeft': next = items[Math.max(0, at - 1)]; break;
      case 'Home': next = items[0]; break;
      case 'End': next = items[items.length - 1]; break;
      case 'PageDown': self.scrollTo(self.view.start + span * 0.9); break;
      case 'PageUp': self.scrollTo(self.view.start - span * 0.9); break;
      case '+': case '=': self.zoom(1.5); break;
      case '-': self.zoom(1 / 1.5); break;
      case 'Escape': lane.focused = null; self.showTip(lane); self.invalidate(); break;
      default: return;
      }
      event.preventDefault();
      if (next !== null && next !== undefined)
        self.focusItem(lane, next, true);
    });
  };

  var api = { Roll: Roll, TempoMap: TempoMap, Bars: Bars, noteName: noteName, kinds: kinds, classNames: classNames };
  if (typeof module === 'object' && module.exports)
    module.exports = api;
  else
    root.Midi2varnRoll = api;
})(this);
