// The page's common ground, loaded before its sections (page-*.js): the
// state they share, the helpers they build with, the status line, the
// clipboard and downloads. The page reads the dropped or chosen file,
// turns the controls into the program's switches, converts in the worker
// and shows what the program would print and write, with each channel's
// macro block ready to copy, where the tune departs from the file, and the
// piano roll to hear and see it.
(function (root) {
  'use strict';

  // What the sections share.
  var state = {
    converter: new root.midi2varn.Converter(),
    roll: null,       // the piano roll (roll-view.js)
    player: null,     // its sound (player.js)
    file: null,       // { name, bytes } of the file in use
    summary: null,    // what the file holds, once known
    shown: null,      // the conversion on show
    shownFile: null   // the file of the conversion on show
  };

  var utf8 = new TextDecoder();

  function $(id) { return document.getElementById(id); }

  function element(tag, className, text) {
    var node = document.createElement(tag);
    if (className)
      node.className = className;
    if (text !== undefined)
      node.textContent = text;
    return node;
  }

  function plural(n, one, many) {
    return n.toLocaleString('en') + ' ' + (n === 1 ? one : many);
  }

  function showStatus(text, kind) {
    var status = $('status');
    status.textContent = text;
    status.className = 'status ' + (kind || '');
  }

  // ---- Clipboard and downloads --------------------------------------------

  function copyText(text, button) {
    var done = function (ok) {
      var old = button.dataset.label || button.textContent;
      button.dataset.label = old;
      button.textContent = ok ? 'Copied' : 'Copy failed';
      setTimeout(function () { button.textContent = old; }, 1500);
    };
    if (navigator.clipboard && navigator.clipboard.writeText) {
      navigator.clipboard.writeText(text).then(function () { done(true); }, function () { done(fallbackCopy(text)); });
    } else {
      done(fallbackCopy(text));
    }
  }

  // Older browsers, and pages whose clipboard access is refused.
  function fallbackCopy(text) {
    var area = element('textarea');
    area.value = text;
    area.setAttribute('readonly', '');
    area.style.position = 'fixed';
    area.style.opacity = '0';
    document.body.appendChild(area);
    area.select();
    var ok = false;
    try {
      ok = document.execCommand('copy');
    } catch (error) {
      ok = false;
    }
    document.body.removeChild(area);
    return ok;
  }

  function save(bytes, name, type) {
    var url = URL.createObjectURL(new Blob([bytes], { type: type || 'text/plain' }));
    var link = element('a');
    link.href = url;
    link.download = name;
    document.body.appendChild(link);
    link.click();
    document.body.removeChild(link);
    setTimeout(function () { URL.revokeObjectURL(url); }, 10000);
  }

  // The output file as the Linux program writes it, or with CR LF as the
  // Windows program does.
  function outputBytes(run, windows) {
    if (!windows)
      return run.text;
    var lines = 0;
    for (var i = 0; i < run.text.length; ++i)
      if (run.text[i] === 10)
        ++lines;
    var out = new Uint8Array(run.text.length + lines);
    for (var from = 0, to = 0; from < run.text.length; ++from) {
      if (run.text[from] === 10)
        out[to++] = 13;
      out[to++] = run.text[from];
    }
    return out;
  }

  root.midi2varn.page = {
    state: state, utf8: utf8, $: $, element: element, plural: plural, showStatus: showStatus, copyText: copyText,
    save: save, outputBytes: outputBytes
  };
})(window);
