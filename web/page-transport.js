// The page's transport: the piano roll of the conversion on show, played
// as the tune or as the MIDI file, with its buttons, time and playheads.
(function (page) {
  'use strict';

  var $ = page.$;
  var roll = null;      // the piano roll (roll-view.js), once set up
  var player = null;    // its sound (player.js)

  function showRoll(data, sameFile) {
    var section = $('listen');
    if (!data || !data.channels.length) {
      player.stop();
      player.load([]);
      section.hidden = true;
      return;
    }
    // Playing goes on where it was, with the new notes.
    var wasPlaying = player.playing ? { mode: player.mode, at: player.position() } : null;
    section.hidden = false;
    roll.show(data, sameFile);
    player.load(roll.lanes.map(function (lane) { return lane.channel; }));
    player.keepChannels(data.channels.map(function (c) { return c.channel; }));
    roll.showAudible(function (channel) { return !player.off.has(channel); }, player.solo);
    if (wasPlaying)
      player.play(wasPlaying.mode, wasPlaying.at);
    showPlaying();
  }

  // Time as m:ss.
  function clock(seconds) {
    var whole = Math.max(0, Math.floor(seconds));
    return Math.floor(whole / 60) + ':' + String(whole % 60).padStart(2, '0');
  }

  // The channel whose playhead the roll follows: the first one heard.
  function leader() {
    var lanes = roll.lanes.filter(function (lane) { return player.audible(lane.channel.channel); });
    return (lanes[0] || roll.lanes[0] || {}).channel;
  }

  // The buttons, the time and the playheads as the player stands.
  function showPlaying() {
    var mode = player.mode;
    var position = player.position();
    var midi = mode === 'midi';
    $('play-tune').textContent = player.playing && mode === 'tune' ? 'Pause' : 'Play the tune';
    $('play-midi').textContent = player.playing && midi ? 'Pause' : 'Play the MIDI file';
    $('play-tune').setAttribute('aria-pressed', player.playing && mode === 'tune' ? 'true' : 'false');
    $('play-midi').setAttribute('aria-pressed', player.playing && midi ? 'true' : 'false');
    $('stop').disabled = mode === null;
    var length = player.length(mode || 'tune');
    $('play-time').textContent = (mode === null ? 'Tune: ' : midi ? 'MIDI file: ' : 'Tune: ') + clock(position) +
      ' / ' + clock(length);
    var transport = $('transport');
    transport.dataset.state = player.playing ? 'playing' : mode ? 'paused' : 'stopped';
    transport.dataset.audio = player.context ? player.context.state : 'none';
    if (mode === null) {
      roll.setPlayheads(null);
    } else {
      roll.setPlayheads(function (channel) { return channel.tickAt(position, midi); });
      var first = leader();
      if (player.playing && first)
        roll.follow(first.tickAt(position, midi));
    }
    roll.lanes.forEach(function (lane) {
      lane.box.dataset.sounded = String(player.sounded(lane.channel.channel));
    });
  }

  // Play (or pause) `mode`; from the other mode, at the same place of the song.
  function playOrPause(mode) {
    if (player.playing && player.mode === mode) {
      player.pause();
      return;
    }
    var from;
    if (player.mode !== null && player.mode !== mode) {
      var first = leader();
      if (first)
        from = first.secondsAt(first.tickAt(player.position(), player.mode === 'midi'), mode === 'midi');
    }
    player.play(mode, from);
  }

  // A click on a bar number: play from there (or start there when paused).
  function seek(channel, tick) {
    var mode = player.mode || 'tune';
    var seconds = channel.secondsAt(tick, mode === 'midi');
    if (player.playing) {
      player.play(mode, seconds);
    } else {
      player.mode = mode;
      player.offset = seconds;
      showPlaying();
    }
  }

  function setupRoll() {
    player = page.state.player = new window.midi2varn.Player(showPlaying);
    roll = page.state.roll = new window.midi2varn.roll.Roll($('lanes'), $('roll-position'), {
      contract: window.midi2varn.contract,
      departureWords: page.departureWords,
      onSeek: seek,
      onToggle: function (channel, on) {
        player.setOn(channel, on);
        roll.showAudible(function (c) { return !player.off.has(c); }, player.solo);
        showPlaying();
      },
      onSolo: function (channel) {
        player.setSolo(channel);
        roll.showAudible(function (c) { return !player.off.has(c); }, player.solo);
        showPlaying();
      }
    });
    if (!window.AudioContext && !window.webkitAudioContext) {
      // A browser without Web Audio shows the roll, silent.
      ['play-tune', 'play-midi'].forEach(function (id) {
        $(id).disabled = true;
        $(id).title = 'This browser cannot play sound (no Web Audio).';
      });
    }
    $('play-tune').addEventListener('click', function () { playOrPause('tune'); });
    $('play-midi').addEventListener('click', function () { playOrPause('midi'); });
    $('stop').addEventListener('click', function () { player.stop(); });
    $('zoom-in').addEventListener('click', function () { roll.zoom(2); });
    $('zoom-out').addEventListener('click', function () { roll.zoom(0.5); });
    $('zoom-fit').addEventListener('click', function () { roll.fit(); });
  }

  page.showRoll = showRoll;
  page.setupRoll = setupRoll;
})(window.midi2varn.page);
