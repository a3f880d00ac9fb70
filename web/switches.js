// The page's controls as the program's switches, in one fixed order: that
// of the usage text, with per-channel entries in channel order. Made for
// the converter's contract (see engine.js): its channels and default
// verbosity, as `limits` { channels, verbosity }.
(function (root) {
  'use strict';

  // The settings of a page that nobody has touched: no switch at all.
  function defaults(limits) {
    var channels = [];
    for (var ch = 1; ch <= limits.channels; ++ch)
      channels.push({ leaveOut: false, mergeInto: 0, polyphony: '', output: false });
    return {
      autoTranspose: false,  // -a
      split: '',             // -b N
      outerVoices: false,    // -c
      leaveOutAll: false,    // -d all
      channels: channels,    // -d C, -m T,C, -p C@N, -s C
      eliminate: false,      // -e
      keepInStep: false,     // -k
      longChords: false,     // -l
      noTriplets: false,     // -n
      mergeAll: false,       // -m all
      fitOctaves: false,     // -o
      polyphony: '',         // -p N
      players: '',           // -P N
      transpose: '',         // -t N
      upperC: false,         // -u
      verbosity: limits.verbosity // -v N
    };
  }

  // A number field's text; empty and zero leave the switch out, anything
  // else goes to the program as typed, to be judged as on the command line.
  function given(text) {
    var value = String(text).trim();
    return /^[-+]?0*$/.test(value) ? '' : value;
  }

  function channelsWhere(state, test) {
    var numbers = [];
    state.channels.forEach(function (channel, i) {
      if (test(channel, i + 1))
        numbers.push(i + 1);
    });
    return numbers;
  }

  // The switches for `state`: -a -b -c -d -e -k -l -n -m -o -p -P -s -t -u -v.
  // With players, the arrangement makes the merges: -m is left out.
  function switches(state, limits) {
    var args = [];
    if (state.autoTranspose)
      args.push('-a');
    if (given(state.split))
      args.push('-b', given(state.split));
    if (state.outerVoices)
      args.push('-c');
    if (state.leaveOutAll) {
      args.push('-d', 'all');
    } else {
      var leftOut = channelsWhere(state, function (c) { return c.leaveOut; });
      if (leftOut.length)
        args.push('-d', leftOut.join(','));
    }
    if (state.eliminate)
      args.push('-e');
    if (state.keepInStep)
      args.push('-k');
    if (state.longChords)
      args.push('-l');
    if (state.noTriplets)
      args.push('-n');
    var band = given(state.players);
    if (band) {
      // no -m: the program refuses it with -P
    } else if (state.mergeAll) {
      args.push('-m', 'all');
    } else {
      for (var target = 1; target <= limits.channels; ++target) {
        var sources = channelsWhere(state, function (c, ch) { return c.mergeInto === target && ch !== target; });
        if (sources.length)
          args.push('-m', [target].concat(sources).join(','));
      }
    }
    if (state.fitOctaves)
      args.push('-o');
    if (given(state.polyphony))
      args.push('-p', given(state.polyphony));
    state.channels.forEach(function (channel, i) {
      // A channel's own limit counts even when it is 0 (unlimited).
      var limit = String(channel.polyphony).trim();
      if (limit !== '')
        args.push('-p', (i + 1) + '@' + limit);
    });
    if (band)
      args.push('-P', band);
    var outputs = channelsWhere(state, function (c) { return c.output; });
    if (outputs.length)
      args.push('-s', outputs.join(','));
    if (given(state.transpose))
      args.push('-t', given(state.transpose));
    if (state.upperC)
      args.push('-u');
    if (Number(state.verbosity) !== limits.verbosity)
      args.push('-v', String(state.verbosity));
    return args;
  }

  // The whole command line after the program's name: the switches, then
  // the input's name ("--" first when it looks like a switch).
  function commandLine(state, inputName, limits) {
    var args = switches(state, limits);
    if (inputName.charAt(0) === '-')
      args.push('--');
    args.push(inputName);
    return args;
  }

  // One argument as a player would type it: in double quotes when it holds
  // anything but letters, digits and . , _ - + @ / : =
  function shellWord(arg) {
    if (/^[A-Za-z0-9.,_+@\/:=-]+$/.test(arg))
      return arg;
    return '"' + arg.replace(/(["\\$`])/g, '\\$1') + '"';
  }

  function display(args) {
    return ['midi2varn'].concat(args).map(shellWord).join(' ');
  }

  // The switches for the converter's `contract`.
  function forContract(contract) {
    var limits = { channels: contract.channels, verbosity: contract.defaults.verbosity };
    return {
      channelCount: limits.channels,
      defaults: function () { return defaults(limits); },
      switches: function (state) { return switches(state, limits); },
      commandLine: function (state, inputName) { return commandLine(state, inputName, limits); },
      display: display
    };
  }

  if (typeof module === 'object' && module.exports)
    module.exports = forContract;
  else
    root.midi2varn.switches = forContract(root.midi2varn.contract);
})(this);
