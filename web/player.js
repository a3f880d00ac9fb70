// Plays the roll's notes with the Web Audio API: the tune as the game
// plays it (each channel on its own tempo marks) or the MIDI file's notes,
// in a soft plucked voice made of two oscillators; nothing is fetched.
// Notes are scheduled a little ahead of the clock, so that a song of any
// length costs only the voices sounding now.
(function (root) {
  'use strict';

  var lookahead = 0.2;   // seconds scheduled ahead of the clock
  var interval = 50;     // milliseconds between scheduling rounds
  var maxVoices = 96;    // voices sounding at once; notes beyond are skipped
  var release = 0.08;    // seconds a note takes to fade after its end

  // `lanes`: per channel { channel, tune, source } with note lists as the
  // roll has them (seconds(k), duration(k), pitch, velocity, count).
  function Player(onFrame) {
    this.context = null;
    this.lanes = [];
    this.mode = null;      // 'tune' or 'midi' while playing or paused
    this.playing = false;
    this.offset = 0;       // song seconds where playing began, or where it paused
    this.began = 0;        // context time when playing began
    this.session = null;   // the nodes of the current playing
    this.off = new Set();  // channels switched off
    this.solo = null;      // the channel played alone, if any
    this.onFrame = onFrame || function () {};
    this.timer = null;
  }

  Player.prototype.load = function (lanes) {
    this.stop();
    this.lanes = lanes;
  };

  Player.prototype.audible = function (channel) {
    return this.solo !== null ? this.solo === channel : !this.off.has(channel);
  };

  Player.prototype.setOn = function (channel, on) {
    if (on)
      this.off.delete(channel);
    else
      this.off.add(channel);
    this.applyGains();
  };

  // Channels no longer in `channels` are no longer off or alone.
  Player.prototype.keepChannels = function (channels) {
    var present = new Set(channels);
    var self = this;
    this.off.forEach(function (channel) {
      if (!present.has(channel))
        self.off.delete(channel);
    });
    if (this.solo !== null && !present.has(this.solo))
      this.solo = null;
  };

  Player.prototype.setSolo = function (channel) {
    this.solo = this.solo === channel ? null : channel;
    this.applyGains();
  };

  // Seconds into the song.
  Player.prototype.position = function () {
    if (!this.playing || !this.context)
      return this.offset;
    return this.offset + Math.max(0, this.context.currentTime - this.began);
  };

  // The end of the longest audible channel in the mode, in seconds.
  Player.prototype.length = function (mode) {
    var self = this;
    return this.lanes.reduce(function (end, lane) {
      return self.audible(lane.channel) ? Math.max(end, mode === 'midi' ? lane.midiSeconds : lane.tuneSeconds) : end;
    }, 0);
  };

  Player.prototype.start = function () {
    if (!this.context) {
      var Context = window.AudioContext || window.webkitAudioContext;
      this.context = new Context();
      // A gentle master: a low-pass to round the edges and a compressor so
      // that chords of many notes do not clip.
      this.master = this.context.createGain();
      this.master.gain.value = 0.6;
      var filter = this.context.createBiquadFilter();
      filter.type = 'lowpass';
      filter.frequency.value = 5000;
      var compressor = this.context.createDynamicsCompressor();
      this.master.connect(filter);
      filter.connect(compressor);
      compressor.connect(this.context.destination);
    }
    if (this.context.state === 'suspended')
      this.context.resume();
    return this.context;
  };

  // Plays `mode` ('tune' or 'midi') from where it paused, or from `from`
  // seconds when given.
  Player.prototype.play = function (mode, from) {
    var context = this.start();
    var at = from !== undefined ? from : this.mode === mode ? this.position() : 0;
    this.silence();
    this.mode = mode;
    this.playing = true;
    this.offset = at >= this.length(mode) ? 0 : Math.max(0, at);
    this.began = context.currentTime + 0.05;
    var session = { gains: new Map(), voices: new Set(), next: new Map(), sounded: new Map(), out: context.createGain() };
    session.out.connect(this.master);
    var self = this;
    this.lanes.forEach(function (lane) {
      var gain = context.createGain();
      gain.gain.value = self.audible(lane.channel) ? 1 : 0;
      gain.connect(session.out);
      session.gains.set(lane.channel, gain);
      var notes = mode === 'midi' ? lane.source : lane.tune;
      session.next.set(lane.channel, firstFrom(notes, self.offset));
      session.sounded.set(lane.channel, 0);
    });
    this.session = session;
    this.schedule();
    this.timer = setInterval(function () { self.schedule(); }, interval);
    this.frame();
  };

  // The first note starting at or after `seconds`.
  function firstFrom(notes, seconds) {
    var lo = 0;
    var hi = notes.count;
    while (lo < hi) {
      var mid = (lo + hi) >> 1;
      if (notes.seconds(mid) < seconds)
        lo = mid + 1;
      else
        hi = mid;
    }
    return lo;
  }

  Player.prototype.pause = function () {
    if (!this.playing)
      return;
    this.offset = this.position();
    this.playing = false;
    this.silence();
    this.onFrame(this);
  };

  Player.prototype.stop = function () {
    this.playing = false;
    this.offset = 0;
    this.mode = null;
    this.silence();
    this.onFrame(this);
  };

  // Ends every voice of the current playing at once (a short fade).
  Player.prototype.silence = function () {
    if (this.timer !== null)
      clearInterval(this.timer);
    this.timer = null;
    var session = this.session;
    this.session = null;
    if (!session)
      return;
    var now = this.context.currentTime;
    session.out.gain.setTargetAtTime(0, now, 0.015);
    session.voices.forEach(function (voice) {
      try {
        voice.forEach(function (oscillator) { oscillator.stop(now + 0.1); });
      } catch (error) {
        // already stopped
      }
    });
    setTimeout(function () { session.out.disconnect(); }, 200);
  };

  Player.prototype.applyGains = function () {
    var session = this.session;
    if (!session)
      return;
    var now = this.context.currentTime;
    var self = this;
    session.gains.forEach(function (gain, channel) {
      gain.gain.setTargetAtTime(self.audible(channel) ? 1 : 0, now, 0.01);
    });
  };

  // Schedules the notes that start before the clock plus the lookahead;
  // ends the playing after the last note.
  Player.prototype.schedule = function () {
    var session = this.session;
    if (!session)
      return;
    var context = this.context;
    var until = this.offset + Math.max(0, context.currentTime - this.began) + lookahead;
    var self = this;
    this.lanes.forEach(function (lane) {
      var notes = self.mode === 'midi' ? lane.source : lane.tune;
      var next = session.next.get(lane.channel);
      var audible = self.audible(lane.channel);
      for (; next < notes.count && notes.seconds(next) < until; ++next) {
        if (!audible || session.voices.size >= maxVoices)
          continue;
        var when = self.began + notes.seconds(next) - self.offset;
        self.voice(session, lane.channel, Math.max(when, context.currentTime), notes.duration(next),
                   notes.pitch[next], notes.velocity[next]);
        session.sounded.set(lane.channel, session.sounded.get(lane.channel) + 1);
      }
      session.next.set(lane.channel, next);
    });
    if (this.position() > this.length(this.mode) + 0.5)
      this.stop();
  };

  // One note: a triangle with a soft sine an octave up, struck and fading
  // towards a quiet sustain, released at its end.
  Player.prototype.voice = function (session, channel, when, duration, pitch, velocity) {
    var context = this.context;
    var frequency = 440 * Math.pow(2, (pitch - 69) / 12);
    var peak = 0.25 * velocity / 127;
    var envelope = context.createGain();
    var end = when + Math.max(0.06, duration);
    envelope.gain.setValueAtTime(0, when);
    envelope.gain.linearRampToValueAtTime(peak, when + 0.006);
    envelope.gain.setTargetAtTime(peak * 0.3, when + 0.006, 0.4);
    envelope.gain.setTargetAtTime(0, end, release / 3);
    var body = context.createOscillator();
    body.type = 'triangle';
    body.frequency.value = frequency;
    var shine = context.createOscillator();
    shine.type = 'sine';
    shine.frequency.value = frequency * 2;
    var shineGain = context.createGain();
    shineGain.gain.value = 0.2;
    body.connect(envelope);
    shine.connect(shineGain);
    shineGain.connect(envelope);
    envelope.connect(session.gains.get(channel));
    var voice = [body, shine];
    body.start(when);
    shine.start(when);
    body.stop(end + release * 2);
    shine.stop(end + release * 2);
    session.voices.add(voice);
    body.onended = function () {
      session.voices.delete(voice);
      envelope.disconnect();
    };
  };

  // Notes started per channel since Play.
  Player.prototype.sounded = function (channel) {
    return this.session ? this.session.sounded.get(channel) || 0 : 0;
  };

  Player.prototype.frame = function () {
    var self = this;
    if (!this.playing)
      return;
    this.onFrame(this);
    requestAnimationFrame(function () { self.frame(); });
  };

  var api = { Player: Player };
  if (typeof module === 'object' && module.exports)
    module.exports = api;
  else
    root.midi2varn.Player = Player;
})(this);
