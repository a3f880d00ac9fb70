// The page, put together: loaded after its sections (page-*.js), it starts
// the worker, builds the channel table and the roll, wires the controls
// and shows the command line of the untouched controls.
(function (page) {
  'use strict';

  var $ = page.$;

  function wire() {
    // The worker starts now, so that the first file finds it ready.
    page.state.converter.start();
    page.showContract();
    page.buildChannelRows();
    page.setupRoll();
    page.wireFile();
    page.onResult(page.showPlayers);
    $('options').addEventListener('change', page.controlsChanged);
    $('options').addEventListener('input', function (event) {
      if (event.target.type === 'number')
        page.controlsChanged();
    });
    $('copy-command').addEventListener('click', function () {
      page.copyText($('command-line').textContent, $('copy-command'));
    });
    page.wireReport();
    page.wireDownloads();
    page.controlsChanged();
  }

  wire();
})(window.midi2varn.page);
