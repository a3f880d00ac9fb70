// Better settings offered without being asked: once a conversion is on
// show, a worker of its own tries the switch sets Suggest tries (the
// page's converter stays free for the departures' words and the next
// conversion), and when the best of them is worth a change, one line
// above the result offers it with a Use button.
(function (page) {
  'use strict';

  var $ = page.$;
  var runner = new window.midi2varn.Converter();
  var superseded = new Error('superseded by a newer conversion');
  var generation = 0; // the newest conversion shown
  var best = null;    // the switch set offered

  // What the tests read: "trying", "offered" or "none".
  function setState(state) {
    $('offer').dataset.state = state;
  }

  function offer(run, source) {
    var mine = ++generation;
    $('offer').hidden = true;
    best = null;
    if (runner.busy())
      runner.stop(superseded);
    if (run.status !== 0 || !run.roll || !run.roll.channels.length) {
      setState('none');
      return;
    }
    setState('trying');
    runner.request({ kind: 'suggest', bytes: source.bytes, args: page.currentSwitches() }).then(function (found) {
      if (mine !== generation)
        return;
      if (!found.converted || !found.offer) {
        setState('none');
        return;
      }
      best = found.ranked[0];
      $('offer-words').textContent = found.offer;
      $('offer').hidden = false;
      setState('offered');
    }, function () {
      // Stopped for a newer conversion, or out of memory: nothing to offer.
      if (mine === generation)
        setState('none');
    });
  }

  page.onResult(offer);

  $('offer-use').addEventListener('click', function () {
    if (best)
      page.applySuggestion(best);
  });
})(window.midi2varn.page);
