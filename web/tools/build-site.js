// Writes the finished site: the page's files as they are, and midi2varn.js,
// the scripting hook with the worker's whole script (converter module with
// its WebAssembly, engine.js, worker.js) inside it as a string.
//
//   node build-site.js MODULE.js WEB_SOURCE_DIR SITE_DIR
'use strict';
const fs = require('fs');
const path = require('path');

const [moduleFile, sourceDir, siteDir] = process.argv.slice(2);
if (!siteDir) {
  console.error('usage: node build-site.js MODULE.js WEB_SOURCE_DIR SITE_DIR');
  process.exit(2);
}
const read = (name) => fs.readFileSync(path.join(sourceDir, name), 'utf8');

const workerSource = [fs.readFileSync(moduleFile, 'utf8'), read('engine.js'), read('worker.js')].join('\n');
const marker = '/*@worker-source@*/null';
const hook = read('hook.js');
if (hook.split(marker).length !== 2) {
  console.error('hook.js must hold the marker ' + marker + ' exactly once');
  process.exit(1);
}

// The contract, read from the module itself, for the page to have at once.
const contract = new Promise((resolve, reject) => {
  require(path.resolve(moduleFile))().then((module) => {
    const Engine = require(path.join(path.resolve(sourceDir), 'engine.js'));
    resolve(new Engine(module).contract);
  }, reject);
});

contract.then((found) => writeSite(hook.replace('/*@contract@*/null', () => JSON.stringify(found))), (error) => {
  console.error('the module gave no contract: ' + error);
  process.exit(1);
});

// Writes the site's files, midi2varn.js made of `hook`.
function writeSite(hook) {
  const site = {
    'index.html': read('index.html'),
    'style.css': read('style.css'),
    'switches.js': read('switches.js'),
    'roll-model.js': read('roll-model.js'),
    'roll-channel.js': read('roll-channel.js'),
    'roll-view.js': read('roll-view.js'),
    'roll-draw.js': read('roll-draw.js'),
    'roll-lane.js': read('roll-lane.js'),
    'player.js': read('player.js'),
    'page-base.js': read('page-base.js'),
    'page-options.js': read('page-options.js'),
    'page-file.js': read('page-file.js'),
    'page-results.js': read('page-results.js'),
    'page-report.js': read('page-report.js'),
    'page-transport.js': read('page-transport.js'),
    'page-suggest.js': read('page-suggest.js'),
    'page-offer.js': read('page-offer.js'),
    'page.js': read('page.js'),
    'midi2varn.js': hook.replace(marker, () => JSON.stringify(workerSource)),
  };
  fs.mkdirSync(siteDir, { recursive: true });
  // The piano roll's and the page's scripts of an earlier site that this one
  // no longer has go (roll.js, once); other files of the folder stay.
  for (const name of fs.readdirSync(siteDir))
    if (/^(roll|page)\b[\w-]*\.js$/.test(name) && !(name in site))
      fs.unlinkSync(path.join(siteDir, name));
  let total = 0;
  for (const [name, text] of Object.entries(site)) {
    fs.writeFileSync(path.join(siteDir, name), text);
    total += Buffer.byteLength(text);
  }
  console.log(`site: ${Object.keys(site).length} files, ${total} bytes in ${siteDir}`);
}
