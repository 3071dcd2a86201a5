// The show in headless Chromium, in real time: frames a second and the
// show's own time a frame (its time awake between the sleeps of its clock:
// drawing, presenting and mixing) in each scene, with its music and without
// any sound device (the page then has no AudioContext, as a browser without
// sound), and the page's download, gzipped.
// Usage: scripts/check-web.sh --prepare && node bench/web_bench.js [BUILD_DIR] [RUNS]
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const zlib = require('zlib');

const build = path.resolve(process.argv[2] || 'build-web');
const runs = Number(process.argv[3] || 1);
process.env.SHOW_WEB_NODE_MODULES = path.join(build, 'node_modules');
const web = require('../tests/web/browser.js');

// Refresh windows inside each scene, clear of its first frames.
const scenes = [
  {name: 'title card', from: 60, to: 290},
  {name: 'logo', from: 320, to: 610},
  {name: 'text crawl', from: 700, to: 1900},
  {name: 'free flight', from: 2000, to: 2600},
];

async function measure(url, sound) {
  const {browser, close} = await web.launch();
  try {
    const page = browser.pages()[0];
    if (!sound)
      await page.addInitScript(() => { delete window.AudioContext; delete window.webkitAudioContext; });
    await page.goto(url);
    await page.mouse.click(20, 20);
    const figures = [];
    for (const scene of scenes) {
      const at = async n => {
        await web.waitForRefreshes(page, n, 300000);
        return page.evaluate(() => ({...window.starloom.progress, now: performance.now()}));
      };
      const a = await at(scene.from), b = await at(scene.to);
      const frames = b.refreshes - a.refreshes;
      figures.push({scene: scene.name, fps: frames / (b.now - a.now) * 1000, awakeMs: (b.awakeMs - a.awakeMs) / frames,
        soundBuffers: b.soundBuffers - a.soundBuffers});
    }
    return figures;
  } finally {
    await close();
  }
}

function sizes() {
  const files = ['index.html', 'page.js', 'show.js', 'show.wasm',
    ...fs.readdirSync(path.join(build, 'dat')).map(name => path.join('dat', name))];
  return files.map(file => {
    const data = fs.readFileSync(path.join(build, file));
    return {file, bytes: data.length, gzipped: zlib.gzipSync(data, {level: 9}).length};
  });
}

(async () => {
  const {server, url} = await web.serve(build);
  console.log(`${new Date().toISOString()}, load average ${os.loadavg().map(l => l.toFixed(1)).join(' ')}`);
  for (let run = 1; run <= runs; run++)
    for (const sound of [true, false]) {
      const figures = await measure(url, sound);
      for (const f of figures)
        console.log(`run ${run}, ${sound ? 'music' : 'no sound'}, ${f.scene}: ${f.fps.toFixed(1)} frames/s, ` +
          `${f.awakeMs.toFixed(2)} ms a frame awake, ${f.soundBuffers} sound buffers`);
      console.log(`  load average ${os.loadavg().map(l => l.toFixed(1)).join(' ')}`);
    }
  server.close();
  let total = 0, totalGzipped = 0;
  for (const {file, bytes, gzipped} of sizes()) {
    console.log(`${file}: ${bytes} bytes, ${gzipped} gzipped`);
    total += bytes;
    totalGzipped += gzipped;
  }
  console.log(`the page: ${total} bytes, ${totalGzipped} gzipped`);
})().catch(error => {
  console.error(error);
  process.exit(1);
});
