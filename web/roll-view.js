// The piano roll: per channel, the MIDI file's notes after the switches
// (outlines; dropped ones filled) laid over the notes the tune plays as
// read back from its text (filled, coloured by what departed), on the
// file's bars. Drawn on one canvas per channel, only what is in view
// (roll-draw.js); hover or step through the notes with the arrow keys to
// read what happened to each (roll-lane.js). This file holds the view:
// the lanes' sizes, zoom, scrolling and playheads.
(function (root) {
  'use strict';

  var model = root.midi2varn.roll;

  var gutter = model.layout.gutter;
  var ruler = model.layout.ruler;
  var maxZoom = 48;    // pixels of a sixteenth at most

  // The roll in `container`, with the position slider `slider`, of data
  // laid out as options.contract (the converter's) names it. Calls
  // options.onSeek(channel, tick) when a bar number is clicked, and
  // options.onToggle(channel) / onSolo(channel) for the lanes' buttons;
  // options.departureWords(channel, indices) gives a promise of the words
  // of departures ({ lines, words }, or null once out of date).
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
    this.bars = new model.Bars(data.metres, data.division);
    this.division = data.division;
    var contract = this.options.contract;
    var channels = data.channels.map(function (channel) { return new model.Channel(channel, data, contract); });
    this.total = Math.max(4 * data.division, channels.reduce(function (end, c) { return Math.max(end, c.end); }, 0) +
                          data.division);
    this.container.textContent = '';
    var self = this;
    this.lanes = channels.map(function (channel) { return new model.Lane(self, channel); });
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

  // Draws every lane; the time it took is kept in the container's
  // data-draw-ms (for the benchmark).
  Roll.prototype.draw = function () {
    var began = performance.now();
    if (!this.colours)
      this.colours = model.draw.colours(this.container);
    for (var i = 0; i < this.lanes.length; ++i) {
      model.draw.lane(this.lanes[i], this.view, this.bars, this.division, this.colours);
      this.placePlayhead(this.lanes[i]);
    }
    this.container.dataset.drawMs = (performance.now() - began).toFixed(2);
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

  // The lanes' buttons as the player's state has them.
  Roll.prototype.showAudible = function (on, solo) {
    this.lanes.forEach(function (lane) { lane.showAudible(on, solo); });
  };

  // Shows departure `d` of `channel`: its note in focus, or its place marked.
  Roll.prototype.showDeparture = function (channel, d) {
    var lane = this.lanes.filter(function (l) { return l.channel.channel === channel; })[0];
    if (lane)
      lane.showDeparture(d);
  };

  model.Roll = Roll;
})(this);
