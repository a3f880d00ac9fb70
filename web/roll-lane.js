// The piano roll's lanes: one per channel, with its buttons, canvas, tip
// and the pointer, wheel and keys that move through it and tell what
// happened to the notes.
(function (root) {
  'use strict';

  var model = root.Midi2varnRoll;
  var Roll = model.Roll;
  var gutter = model.layout.gutter;
  var ruler = model.layout.ruler;

  function element(tag, className, text) {
    var node = document.createElement(tag);
    if (className)
      node.className = className;
    if (text !== undefined)
      node.textContent = text;
    return node;
  }

  Roll.prototype.makeLane = function (channel) {
    var lane = { channel: channel, focused: null, hover: null, hasFocus: false, marker: null, playhead: null };
    var box = element('div', 'lane');
    box.id = 'lane-' + channel.channel;
    box.dataset.channel = String(channel.channel);
    box.appendChild(this.laneHead(lane));
    box.appendChild(laneBody(lane));
    var live = element('p', 'visually-hidden');
    live.setAttribute('aria-live', 'polite');
    box.appendChild(live);
    this.container.appendChild(box);
    lane.box = box;
    lane.live = live;
    this.wire(lane);
    return lane;
  };

  // The lane's title, its Play and Alone buttons and what it holds.
  Roll.prototype.laneHead = function (lane) {
    var self = this;
    var channel = lane.channel;
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
    var dropped = channel.counts[channel.contract.departureKinds.dropped];
    head.appendChild(element('span', 'lane-facts',
      channel.source.count + ' notes in the file, ' + channel.tune.count + ' played' +
      (dropped ? ', ' + dropped + ' dropped' : '')));
    on.addEventListener('change', function () {
      if (self.options.onToggle)
        self.options.onToggle(channel.channel, on.checked);
    });
    solo.addEventListener('click', function () {
      if (self.options.onSolo)
        self.options.onSolo(channel.channel);
    });
    lane.on = on;
    lane.solo = solo;
    return head;
  };

  // The lane's canvas, with its playhead and tip over it.
  function laneBody(lane) {
    var channel = lane.channel;
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
    body.appendChild(canvas);
    body.appendChild(playhead);
    body.appendChild(tip);
    lane.canvas = canvas;
    lane.tip = tip;
    lane.playheadBox = playhead;
    return body;
  }

  // The lanes' buttons as the player's state has them.
  Roll.prototype.showAudible = function (on, solo) {
    this.lanes.forEach(function (lane) {
      lane.on.checked = on(lane.channel.channel);
      lane.solo.setAttribute('aria-pressed', solo === lane.channel.channel ? 'true' : 'false');
      lane.box.classList.toggle('muted', !(solo ? solo === lane.channel.channel : lane.on.checked));
    });
  };

  // The note under a point of a lane's canvas (an item as Channel.steps
  // has them), or null.
  Roll.prototype.noteAt = function (lane, px, py) {
    var c = lane.channel;
    var tick = this.view.start + (px - gutter) * this.view.tpp;
    var pitch = c.top - Math.floor((py - ruler) / lane.rowHeight);
    return c.noteAt(tick, pitch, 2 * this.view.tpp);
  };

  // Shows what happened to `item` beside it; `announce` also reads it out.
  Roll.prototype.tell = function (lane, item, announce) {
    if (item === null) {
      lane.telling = null;
      lane.tip.hidden = true;
      return;
    }
    var c = lane.channel;
    var said = c.describe(item, this.bars);
    lane.telling = item;
    if (!said.departures.length) {
      this.place(lane, item, said.head, [said.none], announce);
      return;
    }
    var self = this;
    this.options.departureWords(c.channel, said.departures).then(function (found) {
      if (found && lane.telling === item)
        self.place(lane, item, said.head, found.words, announce);
    });
  };

  // Shows `head` and `lines` beside `item`; `announce` also reads them out.
  Roll.prototype.place = function (lane, item, head, lines, announce) {
    var c = lane.channel;
    var words = { head: head, lines: lines };
    lane.tip.textContent = '';
    lane.tip.appendChild(element('strong', null, words.head));
    words.lines.forEach(function (line) { lane.tip.appendChild(element('span', null, line)); });
    var note = c.note(item);
    var left = gutter + (note.list.start[note.at] - this.view.start) / this.view.tpp;
    var top = ruler + (c.top - note.list.pitch[note.at] + 1) * lane.rowHeight + 4;
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
      var note = lane.channel.note(item);
      this.reveal(note.list.start[note.at]);
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
    var item = c.itemOf(d);
    lane.box.scrollIntoView({ block: 'nearest' });
    lane.canvas.focus({ preventScroll: true });
    if (item !== null) {
      this.focusItem(lane, item, true);
    } else {
      lane.focused = null;
      lane.marker = c.departureTick(d);
      this.reveal(lane.marker);
      this.options.departureWords(channel, [d]).then(function (found) {
        if (found && lane.marker === c.departureTick(d))
          lane.live.textContent = found.words[0] + '.';
      });
    }
  };

  Roll.prototype.wire = function (lane) {
    this.wirePointer(lane);
    this.wireWheel(lane);
    this.wireKeys(lane);
  };

  // A pointer event's place on the lane's canvas.
  function point(canvas, event) {
    var box = canvas.getBoundingClientRect();
    return [event.clientX - box.left, event.clientY - box.top];
  }

  // Without a drag, the pointer tells of the note under it; the cursor
  // says what a click does.
  Roll.prototype.hoverAt = function (lane, at) {
    var item = at[0] > gutter && at[1] > ruler ? this.noteAt(lane, at[0], at[1]) : null;
    if (item !== lane.hover) {
      lane.hover = item;
      this.showTip(lane);
    }
    lane.canvas.style.cursor = at[1] <= ruler && at[0] > gutter ? 'pointer' : item !== null ? 'help' : 'grab';
  };

  // Dragging scrolls; a click on the ruler seeks to its bar.
  Roll.prototype.wirePointer = function (lane) {
    var self = this;
    var canvas = lane.canvas;
    var drag = null;
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
      self.hoverAt(lane, point(canvas, event));
    });
    var end = function (event) {
      if (!drag || drag.id !== event.pointerId)
        return;
      var moved = drag.moved;
      drag = null;
      if (moved || event.type !== 'pointerup')
        return;
      var at = point(canvas, event);
      if (at[1] <= ruler && at[0] > gutter && self.options.onSeek)
        self.options.onSeek(lane.channel, self.view.start + (at[0] - gutter) * self.view.tpp);
    };
    canvas.addEventListener('pointerup', end);
    canvas.addEventListener('pointercancel', end);
    canvas.addEventListener('pointerleave', function () {
      lane.hover = null;
      self.showTip(lane);
    });
  };

  // Ctrl and the wheel zoom; sideways (or with Shift) it scrolls.
  Roll.prototype.wireWheel = function (lane) {
    var self = this;
    lane.canvas.addEventListener('wheel', function (event) {
      if (event.ctrlKey) {
        event.preventDefault();
        self.zoom(Math.exp(-event.deltaY * 0.002), point(lane.canvas, event)[0] - gutter);
      } else if (event.shiftKey || Math.abs(event.deltaX) > Math.abs(event.deltaY)) {
        event.preventDefault();
        var delta = event.deltaX || event.deltaY;
        self.scrollTo(self.view.start + delta * (event.deltaMode === 1 ? 16 : 1) * self.view.tpp);
      }
    }, { passive: false });
  };

  // The keys of the roll.
  var keys = {
    ArrowRight: 1, ArrowLeft: 1, Home: 1, End: 1, PageDown: 1, PageUp: 1, '+': 1, '=': 1, '-': 1, Escape: 1
  };

  // The item a key of the roll moves the focus to (none: null or
  // undefined); the other keys scroll, zoom or let go of the focus.
  Roll.prototype.keyStep = function (lane, key) {
    var items = lane.channel.steps();
    var at = lane.focused === null ? -1 : items.indexOf(lane.focused);
    var span = this.width() * this.view.tpp;
    switch (key) {
    case 'ArrowRight': return items[Math.min(items.length - 1, at + 1)];
    case 'ArrowLeft': return items[Math.max(0, at - 1)];
    case 'Home': return items[0];
    case 'End': return items[items.length - 1];
    case 'PageDown': this.scrollTo(this.view.start + span * 0.9); return null;
    case 'PageUp': this.scrollTo(this.view.start - span * 0.9); return null;
    case '+': case '=': this.zoom(1.5); return null;
    case '-': this.zoom(1 / 1.5); return null;
    case 'Escape': lane.focused = null; this.showTip(lane); this.invalidate(); return null;
    default: return null;
    }
  };

  Roll.prototype.wireKeys = function (lane) {
    var self = this;
    var canvas = lane.canvas;
    canvas.addEventListener('focus', function () {
      lane.hasFocus = true;
      self.showTip(lane);
    });
    canvas.addEventListener('blur', function () {
      lane.hasFocus = false;
      self.showTip(lane);
    });
    canvas.addEventListener('keydown', function (event) {
      if (!Object.prototype.hasOwnProperty.call(keys, event.key))
        return;
      var next = self.keyStep(lane, event.key);
      event.preventDefault();
      if (next !== null && next !== undefined)
        self.focusItem(lane, next, true);
    });
  };
})(this);
