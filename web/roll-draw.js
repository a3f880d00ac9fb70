// The piano roll's drawing: each lane's canvas, only what is in view, in
// layers: the background with the game's range, the bars, the notes, the
// note in focus, and the pitch names in the gutter. Knows the lanes'
// layout; the roll (roll-view.js) says what is in view.
(function (root) {
  'use strict';

  var model = root.midi2varn.roll;
  var gutter = 40;     // pitch names, left of the notes
  var ruler = 16;      // bar numbers, above the notes
  var DROPPED = model.classes.dropped;
  var SOURCE = model.classes.source;

  // The colours of the page's style sheet for the roll in `container`.
  function readColours(container) {
    var style = getComputedStyle(container);
    var get = function (name) { return style.getPropertyValue('--roll-' + name).trim(); };
    return {
      notes: model.classNames.map(get), back: get('back'), range: get('range'), grid: get('grid'), bar: get('bar'),
      text: get('text'), focus: get('focus'), outline: get('outline')
    };
  }

  // What one lane's layers draw on: the canvas, the ticks in view and where
  // a tick and a pitch are.
  function frame(lane, view, colours) {
    var c = lane.channel;
    var width = lane.cssWidth;
    var from = view.start;
    var tpp = view.tpp;
    var rowH = lane.rowHeight;
    return {
      c: c, ctx: lane.canvas.getContext('2d'), colours: colours, width: width, height: lane.cssHeight, rowH: rowH,
      from: from, to: from + (width - gutter) * tpp, tpp: tpp,
      x: function (tick) { return gutter + (tick - from) / tpp; },
      y: function (pitch) { return ruler + (c.top - pitch) * rowH; }
    };
  }

  // Draws `lane` as `view` shows it, on the song's `bars` of `division`
  // ticks to the quarter.
  function drawLane(lane, view, bars, division, colours) {
    var f = frame(lane, view, colours);
    f.ctx.setTransform(lane.ratio, 0, 0, lane.ratio, 0, 0);
    drawBackground(f);
    drawBars(f, bars, division);
    var drawn = drawNotes(f);
    drawFocus(f, lane);
    drawGutter(f);

    // What the tests and the benchmark read.
    var data = lane.canvas.dataset;
    data.tuneNotes = String(drawn.tune);
    data.sourceNotes = String(drawn.source);
    data.firstTick = String(f.from);
    data.ticksPerPixel = String(f.tpp);
    data.gutter = String(gutter);
    data.ruler = String(ruler);
    data.topPitch = String(f.c.top);
    data.rowHeight = String(f.rowH);
  }

  // The game's range, edged, and a line at every c.
  function drawBackground(f) {
    var ctx = f.ctx;
    var c = f.c;
    ctx.fillStyle = f.colours.back;
    ctx.fillRect(0, 0, f.width, f.height);
    ctx.fillStyle = f.colours.range;
    ctx.fillRect(gutter, f.y(c.rangeTop), f.width - gutter, (c.rangeTop - c.rangeBottom + 1) * f.rowH);
    ctx.fillStyle = f.colours.bar;
    ctx.fillRect(gutter, f.y(c.rangeTop), f.width - gutter, 1);
    ctx.fillRect(gutter, f.y(c.rangeBottom) + f.rowH, f.width - gutter, 1);
    ctx.fillStyle = f.colours.grid;
    for (var p = c.bottom; p <= c.top; ++p)
      if (p % 12 === 0)
        ctx.fillRect(gutter, f.y(p) + f.rowH - 1, f.width - gutter, 1);
  }

  // Bars, numbered in the ruler; beats where there is room.
  function drawBars(f, bars, division) {
    var ctx = f.ctx;
    var colours = f.colours;
    var barPixels = bars.barTicks(0) / f.tpp;
    var lineStep = 1;   // bar lines at least 6 pixels apart
    while (barPixels * lineStep < 6)
      lineStep *= 2;
    var labelStep = lineStep; // bar numbers at least 32 pixels apart
    while (barPixels * labelStep < 32)
      labelStep *= 2;
    ctx.font = '10px system-ui, sans-serif';
    ctx.textBaseline = 'middle';
    var beatsShown = division / f.tpp >= 12;
    var lineHeight = f.height - ruler;
    bars.lines(f.from, f.to, lineStep, function (tick, number, bar, beats) {
      var bx = Math.round(f.x(tick));
      var labelled = (number - 1) % labelStep === 0;
      // Between the numbered bars, their lines are fainter.
      ctx.fillStyle = labelled ? colours.bar : colours.grid;
      ctx.fillRect(bx, ruler, 1, lineHeight);
      if (labelled) {
        ctx.fillStyle = colours.text;
        ctx.fillText(String(number), bx + 3, ruler / 2);
      }
      if (beatsShown) {
        ctx.fillStyle = colours.grid;
        for (var k = 1; k < beats; ++k)
          ctx.fillRect(Math.round(f.x(tick + k * bar / beats)), ruler, 1, lineHeight);
      }
    });
    ctx.fillStyle = colours.bar;
    ctx.fillRect(gutter, ruler - 1, f.width - gutter, 1);
  }

  // A note's box [x, y, width, height] on the canvas.
  function box(f, list, at) {
    var x0 = f.x(list.start[at]);
    var x1 = f.x(list.end[at]);
    return [x0, f.y(list.pitch[at]), Math.max(1.5, x1 - x0 - (x1 - x0 > 4 ? 1 : 0)), f.rowH > 3 ? f.rowH - 1 : f.rowH];
  }

  // Fills the boxes of notes `indices` of `list` (in order of start): the
  // boxes of a pitch that touch are filled as one, which looks the same and
  // keeps a whole song quick to draw.
  function fillBoxes(f, list, indices) {
    // Per pitch (from the lowest shown) the run not yet filled: its left
    // and right, or none (left NaN).
    var rows = f.c.top - f.c.bottom + 1;
    var left = new Float64Array(rows).fill(NaN);
    var right = new Float64Array(rows);
    var height = f.rowH > 3 ? f.rowH - 1 : f.rowH;
    var fill = function (row) {
      f.ctx.fillRect(left[row], f.y(f.c.bottom + row), right[row] - left[row], height);
    };
    var from = f.from;
    var tpp = f.tpp;
    for (var j = 0; j < indices.length; ++j) {
      var at = indices[j];
      var row = list.pitch[at] - f.c.bottom;
      // The box's left and right as box() has them.
      var x0 = gutter + (list.start[at] - from) / tpp;
      var x1 = gutter + (list.end[at] - from) / tpp;
      var end = x0 + Math.max(1.5, x1 - x0 - (x1 - x0 > 4 ? 1 : 0));
      if (left[row] === left[row] && x0 <= right[row]) {
        right[row] = Math.max(right[row], end);
        continue;
      }
      if (left[row] === left[row])
        fill(row);
      left[row] = x0;
      right[row] = end;
    }
    for (var r = 0; r < rows; ++r)
      if (left[r] === left[r])
        fill(r);
  }

  function outline(ctx, r) {
    ctx.rect(Math.round(r[0]) + 0.5, r[1] + 0.5, Math.max(1, Math.round(r[2]) - 1), Math.max(1, r[3] - 1));
  }

  // The file's notes as outlines, under the tune's: an outline shows where
  // the file has a note that the tune does not play just so. Gives the
  // notes in view and the dropped ones among them.
  function drawOutlines(f) {
    var source = f.c.source;
    var range = source.range(f.from, f.to);
    var dropped = [];
    var drawn = 0;
    // Zoomed out, many notes of a pitch give the same outline; one path
    // strokes it once however often it is added, so it is added once.
    var last = new Float64Array(f.c.top - f.c.bottom + 1).fill(NaN); // per pitch: left and width of its last outline
    f.ctx.beginPath();
    for (var i = range[0]; i < range[1]; ++i) {
      if (source.end[i] < f.from)
        continue;
      ++drawn;
      if (source.cls[i] === DROPPED) {
        dropped.push(i);
        continue;
      }
      var x0 = gutter + (source.start[i] - f.from) / f.tpp;
      var x1 = gutter + (source.end[i] - f.from) / f.tpp;
      var width = Math.round(Math.max(1.5, x1 - x0 - (x1 - x0 > 4 ? 1 : 0)));
      var key = width < 65536 ? Math.round(x0) * 65536 + width : NaN;
      var row = source.pitch[i] - f.c.bottom;
      if (last[row] === key)
        continue;
      last[row] = key;
      outline(f.ctx, box(f, source, i));
    }
    f.ctx.strokeStyle = f.colours.notes[SOURCE];
    f.ctx.lineWidth = 1;
    f.ctx.stroke();
    return { drawn: drawn, dropped: dropped };
  }

  // The tune's notes, filled, one colour at a time; gives how many.
  function drawTune(f) {
    var tune = f.c.tune;
    var range = tune.range(f.from, f.to);
    var boxes = model.classNames.map(function () { return []; });
    var drawn = 0;
    for (var i = range[0]; i < range[1]; ++i) {
      if (tune.end[i] < f.from)
        continue;
      boxes[tune.cls[i]].push(i);
      ++drawn;
    }
    for (var k = 0; k < boxes.length; ++k) {
      if (!boxes[k].length)
        continue;
      f.ctx.fillStyle = f.colours.notes[k];
      fillBoxes(f, tune, boxes[k]);
    }
    return drawn;
  }

  // The dropped notes of the file, filled and edged, over everything;
  // edged where there is room: a small note stays all its colour.
  function drawDropped(f, dropped) {
    var ctx = f.ctx;
    var source = f.c.source;
    var j;
    ctx.fillStyle = f.colours.notes[DROPPED];
    fillBoxes(f, source, dropped);
    if (f.rowH <= 3)
      return;
    ctx.beginPath();
    for (j = 0; j < dropped.length; ++j) {
      var r = box(f, source, dropped[j]);
      if (r[2] >= 6)
        outline(ctx, r);
    }
    ctx.strokeStyle = f.colours.outline;
    ctx.stroke();
  }

  function drawNotes(f) {
    var source = drawOutlines(f);
    var tune = drawTune(f);
    drawDropped(f, source.dropped);
    return { tune: tune, source: source.drawn };
  }

  // The note in focus (keyboard, a departure clicked) and a place marked.
  function drawFocus(f, lane) {
    var ctx = f.ctx;
    if (lane.focused !== null) {
      var note = f.c.note(lane.focused);
      var r = box(f, note.list, note.at);
      ctx.strokeStyle = f.colours.focus;
      ctx.lineWidth = 2;
      ctx.strokeRect(r[0] - 2, r[1] - 2, r[2] + 4, r[3] + 4);
    }
    if (lane.marker !== null) {
      ctx.fillStyle = f.colours.focus;
      ctx.fillRect(Math.round(f.x(lane.marker)) - 1, 0, 2, f.height);
    }
  }

  // Pitch names, over anything scrolled under them, and the game's range
  // beside them, as in the notes.
  function drawGutter(f) {
    var ctx = f.ctx;
    var c = f.c;
    ctx.fillStyle = f.colours.back;
    ctx.fillRect(0, 0, gutter, f.height);
    ctx.fillStyle = f.colours.text;
    ctx.textBaseline = 'middle';
    for (var p = c.bottom; p <= c.top; ++p) {
      if (p % 12 === 0)
        ctx.fillText(c.noteName(p), 4, f.y(p) + f.rowH / 2);
    }
    ctx.fillStyle = f.colours.bar;
    ctx.fillRect(gutter - 5, f.y(c.rangeTop), 3, (c.rangeTop - c.rangeBottom + 1) * f.rowH);
    ctx.fillStyle = f.colours.bar;
    ctx.fillRect(gutter - 1, 0, 1, f.height);
  }

  model.layout = { gutter: gutter, ruler: ruler };
  model.draw = { colours: readColours, lane: drawLane };
})(this);
