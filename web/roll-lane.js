// The piano roll's lanes: one per channel, with its buttons, canvas, tip
// and the pointer, wheel and keys that move through it and tell what
// happened to the notes. The roll (roll-view.js) holds the view they share.
(function (root) {
  'use strict';

  var model = root.midi2varn.roll;
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

  // The lane of `channel` (roll-channel.js) in `roll`, added to its
  // container. Its sizes (rowHeight, cssWidth, cssHeight, ratio) are set by
  // the roll's resize().
  function Lane(roll, channel) {
    this.roll = roll;
    this.channel = channel;
    this.focused = null;   // the note in focus (an item as Channel.steps has them)
    this.hover = null;     // the note under the pointer
    this.hasFocus = false;
    this.marker = null;    // a place marked (a tick)
    this.playhead = null;  // the playhead's tick
    this.telling = null;   // the note the tip tells of
    var box = element('div', 'lane');
    box.id = 'lane-' + channel.channel;
    box.dataset.channel = String(channel.channel);
    box.appendChild(this.head());
    box.appendChild(this.body());
    var live = element('p', 'visually-hidden');
    live.setAttribute('aria-live', 'polite');
    box.appendChild(live);
    roll.container.appendChild(box);
    this.box = box;
    this.live = live;
    this.wirePointer();
    this.wireWheel();
    this.wireKeys();
  }

  // The lane's title, its Play and Alone buttons and what it holds.
  Lane.prototype.head = function () {
    var options = this.roll.options;
    var channel = this.channel;
    var head = element('div', 'lane-head');
    var name = channel.name();
    var title = element('h3', null, name.charAt(0).toUpperCase() + name.slice(1));
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
    on.setAttribute('aria-label', 'Play ' + name);
    head.appendChild(onBox);
    var solo = element('button', 'lane-solo', 'Alone');
    solo.type = 'button';
    solo.setAttribute('aria-pressed', 'false');
    solo.setAttribute('aria-label', 'Play ' + name + ' alone');
    head.appendChild(solo);
    var dropped = channel.counts[channel.contract.departureKinds.dropped];
    head.appendChild(element('span', 'lane-facts',
      channel.source.count + ' notes in the file, ' + channel.tune.count + ' played' +
      (dropped ? ', ' + dropped + ' dropped' : '')));
    on.addEventListener('change', function () {
      if (options.onToggle)
        options.onToggle(channel.channel, on.checked);
    });
    solo.addEventListener('click', function () {
      if (options.onSolo)
        options.onSolo(channel.channel);
    });
    this.on = on;
    this.solo = solo;
    return head;
  };

  // The lane's canvas, with its playhead and tip over it.
  Lane.prototype.body = function () {
    var channel = this.channel;
    var body = element('div', 'lane-body');
    var canvas = element('canvas', 'roll-canvas');
    canvas.tabIndex = 0;
    canvas.setAttribute('role', 'img');
    canvas.setAttribute('aria-label', 'Piano roll of ' + channel.name() + ': ' +
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
    this.canvas = canvas;
    this.tip = tip;
    this.playheadBox = playhead;
    return body;
  };

  // The buttons as the player's state has them.
  Lane.prototype.showAudible = function (on, solo) {
    var channel = this.channel.channel;
    this.on.checked = on(channel);
    this.solo.setAttribute('aria-pressed', solo === channel ? 'true' : 'false');
    this.box.classList.toggle('muted', !(solo ? solo === channel : this.on.checked));
  };

  // The note under a point of the canvas (an item as Channel.steps has
  // them), or null.
  Lane.prototype.noteAt = function (px, py) {
    var c = this.channel;
    var view = this.roll.view;
    var tick = view.start + (px - gutter) * view.tpp;
    var pitch = c.top - Math.floor((py - ruler) / this.rowHeight);
    return c.noteAt(tick, pitch, 2 * view.tpp);
  };

  // Shows what happened to `item` beside it; `announce` also reads it out.
  Lane.prototype.tell = function (item, announce) {
    if (item === null) {
      this.telling = null;
      this.tip.hidden = true;
      return;
    }
    var c = this.channel;
    var said = c.describe(item, this.roll.bars);
    this.telling = item;
    if (!said.departures.length) {
      this.place(item, said.head, [said.none], announce);
      return;
    }
    var self = this;
    this.roll.options.departureWords(c.channel, said.departures).then(function (found) {
      if (found && self.telling === item)
        self.place(item, said.head, found.words, announce);
    });
  };

  // Shows `head` and `lines` beside `item`; `announce` also reads them out.
  Lane.prototype.place = function (item, head, lines, announce) {
    var c = this.channel;
    var tip = this.tip;
    var view = this.roll.view;
    var words = { head: head, lines: lines };
    tip.textContent = '';
    tip.appendChild(element('strong', null, words.head));
    words.lines.forEach(function (line) { tip.appendChild(element('span', null, line)); });
    var note = c.note(item);
    var left = gutter + (note.list.start[note.at] - view.start) / view.tpp;
    var top = ruler + (c.top - note.list.pitch[note.at] + 1) * this.rowHeight + 4;
    tip.hidden = false;
    var room = this.cssWidth - tip.offsetWidth - 4;
    tip.style.left = Math.max(0, Math.min(room, left)) + 'px';
    tip.style.top = (top + tip.offsetHeight > this.cssHeight
      ? Math.max(0, top - this.rowHeight - tip.offsetHeight - 8) : top) + 'px';
    if (announce)
      this.live.textContent = words.head + ': ' + words.lines.join('; ') + '.';
  };

  // The tip tells of the note under the pointer, else of the one in focus.
  Lane.prototype.showTip = function () {
    this.tell(this.hover !== null ? this.hover : this.hasFocus ? this.focused : null, false);
  };

  Lane.prototype.focusItem = function (item, announce) {
    this.focused = item;
    this.marker = null;
    if (item !== null) {
      var note = this.channel.note(item);
      this.roll.reveal(note.list.start[note.at]);
    }
    this.roll.invalidate();
    var self = this;
    // Once drawn where the view now is.
    requestAnimationFrame(function () {
      if (announce && item !== null)
        self.tell(item, true);
      self.showTip();
    });
  };

  // Shows departure `d`: its note in focus, or its place marked.
  Lane.prototype.showDeparture = function (d) {
    var self = this;
    var c = this.channel;
    var item = c.itemOf(d);
    this.box.scrollIntoView({ block: 'nearest' });
    this.canvas.focus({ preventScroll: true });
    if (item !== null) {
      this.focusItem(item, true);
    } else {
      this.focused = null;
      this.marker = c.departureTick(d);
      this.roll.reveal(this.marker);
      this.roll.options.departureWords(c.channel, [d]).then(function (found) {
        if (found && self.marker === c.departureTick(d))
          self.live.textContent = found.words[0] + '.';
      });
    }
  };

  // A pointer event's place on the lane's canvas.
  function point(canvas, event) {
    var box = canvas.getBoundingClientRect();
    return [event.clientX - box.left, event.clientY - box.top];
  }

  // Without a drag, the pointer tells of the note under it; the cursor
  // says what a click does.
  Lane.prototype.hoverAt = function (at) {
    var item = at[0] > gutter && at[1] > ruler ? this.noteAt(at[0], at[1]) : null;
    if (item !== this.hover) {
      this.hover = item;
      this.showTip();
    }
    this.canvas.style.cursor = at[1] <= ruler && at[0] > gutter ? 'pointer' : item !== null ? 'help' : 'grab';
  };

  // Dragging scrolls; a click on the ruler seeks to its bar.
  Lane.prototype.wirePointer = function () {
    var self = this;
    var roll = this.roll;
    var canvas = this.canvas;
    var drag = null;
    canvas.addEventListener('pointerdown', function (event) {
      if (event.button !== 0)
        return;
      drag = { x: event.clientX, start: roll.view.start, moved: false, id: event.pointerId };
    });
    canvas.addEventListener('pointermove', function (event) {
      if (drag && drag.id === event.pointerId) {
        var dx = event.clientX - drag.x;
        if (Math.abs(dx) > 3 && !drag.moved) {
          drag.moved = true;
          canvas.setPointerCapture(event.pointerId);
          self.tip.hidden = true;
        }
        if (drag.moved) {
          roll.scrollTo(drag.start - dx * roll.view.tpp);
          return;
        }
      }
      self.hoverAt(point(canvas, event));
    });
    var end = function (event) {
      if (!drag || drag.id !== event.pointerId)
        return;
      var moved = drag.moved;
      drag = null;
      if (moved || event.type !== 'pointerup')
        return;
      var at = point(canvas, event);
      if (at[1] <= ruler && at[0] > gutter && roll.options.onSeek)
        roll.options.onSeek(self.channel, roll.view.start + (at[0] - gutter) * roll.view.tpp);
    };
    canvas.addEventListener('pointerup', end);
    canvas.addEventListener('pointercancel', end);
    canvas.addEventListener('pointerleave', function () {
      self.hover = null;
      self.showTip();
    });
  };

  // Ctrl and the wheel zoom; sideways (or with Shift) it scrolls.
  Lane.prototype.wireWheel = function () {
    var roll = this.roll;
    var canvas = this.canvas;
    canvas.addEventListener('wheel', function (event) {
      if (event.ctrlKey) {
        event.preventDefault();
        roll.zoom(Math.exp(-event.deltaY * 0.002), point(canvas, event)[0] - gutter);
      } else if (event.shiftKey || Math.abs(event.deltaX) > Math.abs(event.deltaY)) {
        event.preventDefault();
        var delta = event.deltaX || event.deltaY;
        roll.scrollTo(roll.view.start + delta * (event.deltaMode === 1 ? 16 : 1) * roll.view.tpp);
      }
    }, { passive: false });
  };

  // The keys of the roll.
  var keys = {
    ArrowRight: 1, ArrowLeft: 1, Home: 1, End: 1, PageDown: 1, PageUp: 1, '+': 1, '=': 1, '-': 1, Escape: 1
  };

  // The item a key of the roll moves the focus to (none: null or
  // undefined); the other keys scroll, zoom or let go of the focus.
  Lane.prototype.keyStep = function (key) {
    var roll = this.roll;
    var items = this.channel.steps();
    var at = this.focused === null ? -1 : items.indexOf(this.focused);
    var span = roll.width() * roll.view.tpp;
    switch (key) {
    case 'ArrowRight': return items[Math.min(items.length - 1, at + 1)];
    case 'ArrowLeft': return items[Math.max(0, at - 1)];
    case 'Home': return items[0];
    case 'End': return items[items.length - 1];
    case 'PageDown': roll.scrollTo(roll.view.start + span * 0.9); return null;
    case 'PageUp': roll.scrollTo(roll.view.start - span * 0.9); return null;
    case '+': case '=': roll.zoom(1.5); return null;
    case '-': roll.zoom(1 / 1.5); return null;
    case 'Escape': this.focused = null; this.showTip(); roll.invalidate(); return null;
    default: return null;
    }
  };

  Lane.prototype.wireKeys = function () {
    var self = this;
    var canvas = this.canvas;
    canvas.addEventListener('focus', function () {
      self.hasFocus = true;
      self.showTip();
    });
    canvas.addEventListener('blur', function () {
      self.hasFocus = false;
      self.showTip();
    });
    canvas.addEventListener('keydown', function (event) {
      if (!Object.prototype.hasOwnProperty.call(keys, event.key))
        return;
      var next = self.keyStep(event.key);
      event.preventDefault();
      if (next !== null && next !== undefined)
        self.focusItem(next, true);
    });
  };

  model.Lane = Lane;
})(this);
