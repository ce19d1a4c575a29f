// The browser build as a viewer meets it, in Debian's headless Chromium (WebGL 2 on
// SwiftShader): a clean load, the start on a click, a lit picture, the end on a key
// release, the music clock against the audio output, and the desktop's geometry.
// Run by tests/web/run.sh: node --test show.test.mjs, with ZOOV_DIST (dist/web) and
// ZOOV_NATIVE_DUMP / ZOOV_WEB_DUMP (the two builds of geometry_dump) in the environment.
import { test, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { chromium } from './cdp.mjs';
import { serve } from '../../scripts/lib/web-server.mjs';

const CHROMIUM_ARGS = [
  '--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
  '--autoplay-policy=no-user-gesture-required',
  // Nothing outside this machine can be reached: no background traffic to time out on.
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
  '--no-first-run', '--disable-quic',
];

const work = mkdtempSync(join(tmpdir(), 'zoov-web-'));
// Screenshots stay here for a look after the run.
const OUT = process.env.ZOOV_WEB_OUT || work;
let browser, site, served = 0;

// The browser starts with the first page, with a fresh profile of its own.
async function startBrowser() {
  if (browser) return;
  site = await serve(process.env.ZOOV_DIST, 0, (path, bytes) => { served += bytes; });
  browser = await chromium.launch({
    executablePath: process.env.ZOOV_CHROMIUM || '/usr/bin/chromium', args: CHROMIUM_ARGS,
  });
}

after(async () => {
  await browser?.close();
  site?.server.close();
  rmSync(work, { recursive: true, force: true });
});

// A page at 960x540 whose console errors and uncaught exceptions are collected.
async function openShow(query = '') {
  await startBrowser();
  const page = await browser.newPage({ viewport: { width: 960, height: 540 } });
  const errors = [];
  page.on('console', (m) => { if (m.type() === 'error') errors.push(m.text()); });
  page.on('pageerror', (e) => errors.push(String(e)));
  const log = [];
  page.on('console', (m) => log.push(`${m.type()}: ${m.text()}`));
  await page.goto(site.url + query);
  await page.waitForFunction(() => window.zoovShow.state !== 'loading', null, { timeout: 60000 })
    .catch((e) => assert.fail(`the page did not get ready: ${e.message}\nconsole:\n${log.join('\n')}`));
  return { page, errors };
}

const show = (page) => page.evaluate(() => {
  const s = window.zoovShow;
  return { state: s.state, frames: s.frames, musicTime: s.musicTime, reports: s.reports };
});

// Pixel statistics of a PNG, decoded by the browser: grey levels 0..1 as picture.sh
// reads them, the count of bright pixels, and in the bottom fifth (where the floor slab
// lies in front of the texts) the share of pixels that are not black and their mean grey.
async function pictureStats(page, png) {
  return page.evaluate(async (b64) => {
    const img = new Image();
    img.src = 'data:image/png;base64,' + b64;
    await img.decode();
    const c = new OffscreenCanvas(img.width, img.height);
    const g = c.getContext('2d');
    g.drawImage(img, 0, 0);
    const d = g.getImageData(0, 0, img.width, img.height).data;
    let sum = 0, max = 0, bright = 0, floorLit = 0, floorAll = 0, floorGrey = 0;
    for (let i = 0, p = 0; i < d.length; i += 4, p++) {
      const grey = (0.2126 * d[i] + 0.7152 * d[i + 1] + 0.0722 * d[i + 2]) / 255;
      sum += grey;
      max = Math.max(max, grey);
      if (grey > 0.6) bright++;
      const y = Math.floor(p / img.width);
      const lit = Math.max(d[i], d[i + 1], d[i + 2]) >= 4;
      if (y >= img.height * 0.8) { floorAll++; floorLit += lit; floorGrey += grey; }
    }
    return { width: img.width, height: img.height, mean: sum / (d.length / 4), max, bright,
             floor: floorLit / floorAll, floorGrey: floorGrey / floorAll };
  }, png.toString('base64'));
}

const LIMITS = { timeout: 240000 };

test('the page loads cleanly, starts on the click, draws the lit text on the floor and ends on a key release', LIMITS, async () => {
  const { page, errors } = await openShow();
  assert.equal((await show(page)).state, 'ready');
  assert.ok(served < 4e6, `the whole page is under 4 MB over the wire: ${served} bytes`);
  assert.ok(await page.isVisible('#start-button'), 'the start screen is shown');
  await page.waitForTimeout(500);
  assert.equal((await show(page)).frames, 0, 'nothing is drawn before the click');

  await page.click('#start-button');
  assert.ok(!(await page.isVisible('#start')), 'the start screen goes away');
  // "Yet again.." is written on between 10 and 16 s of music.
  const grab = await page.evaluate(() => window.zoovShow.grabAt(16.3));
  const png = Buffer.from(grab.png.replace(/^data:image\/png;base64,/, ''), 'base64');
  writeFileSync(join(OUT, 'picture-16s.png'), png);
  const picture = await pictureStats(page, png);
  console.log(`  picture at ${grab.musicTime.toFixed(3)} s of music:`, JSON.stringify(picture));
  assert.equal(`${picture.width}x${picture.height}`, '960x540');
  assert.ok(picture.mean > 0.01 && picture.max > 0.05, 'the picture is lit, not black');
  assert.ok(picture.bright >= 2000, `the text glows: ${picture.bright} bright pixels`);
  assert.ok(picture.floor > 0.9 && picture.floorGrey < 0.1,
    `the dark floor fills the bottom of the picture: ${picture.floor}, grey ${picture.floorGrey}`);

  await page.keyboard.press('q');
  await page.waitForFunction(() => window.zoovShow.state === 'ended', null, { timeout: 10000 });
  await page.screenshot({ path: join(OUT, 'end-screen.png') });
  const stopped = await show(page);
  await page.waitForTimeout(1000);
  assert.equal((await show(page)).frames, stopped.frames, 'drawing stops');
  assert.equal(await page.evaluate(() => window.zoovShow.audio.state), 'closed', 'the sound stops');
  assert.ok(await page.isVisible('#again'), 'the end screen offers to watch again');
  assert.match(await page.textContent('#end-text'), /ended/);
  assert.equal(stopped.reports, 0, 'no report was shown');
  assert.deepEqual(errors, [], 'no console errors');
  await page.close();
});

test('the music clock advances with the audio output and loops from the end to 80 s', LIMITS, async () => {
  const { page, errors } = await openShow('?from=116.5');
  await page.click('#start-button');
  // Seven seconds of output: three and a half to the end, the rest after the loop.
  const samples = [];
  while (samples.length < 2 || samples[samples.length - 1].output - samples[0].output < 7) {
    samples.push(await page.evaluate(() => {
      const a = window.zoovShow.audio;
      // The context's own clock: the frames the audio device has taken, independent of the
      // output timestamp that the page's clock reads.
      return { heard: window.zoovShow.heardTime(), output: a.currentTime,
               mixed: Module._zoov_music_position(), frames: window.zoovShow.frames };
    }));
    await page.waitForTimeout(200);
  }
  const playing = samples.filter((s) => s.heard > 116.5 || s.heard < 100);
  assert.ok(playing.length >= 5 && playing[0].output - samples[0].output < 2,
    'the music starts within two seconds of the click');
  let wrapped = false, worst = 0, total = 0;
  for (let i = 1; i < playing.length; i++) {
    const a = playing[i - 1], b = playing[i];
    // Across the loop the music goes on from 80 s; either way it keeps the output's pace.
    const step = b.heard >= a.heard ? b.heard - a.heard : (120 - a.heard) + (b.heard - 80);
    if (b.heard < a.heard) wrapped = true;
    worst = Math.max(worst, Math.abs(step - (b.output - a.output)));
    total += step;
    // The context clock moves in the audio device's blocks of some milliseconds.
    assert.ok(Math.abs(step - (b.output - a.output)) < 0.04,
      `music time ${a.heard} -> ${b.heard} while the output went ${a.output} -> ${b.output}`);
  }
  console.log(`  music clock against the audio clock: worst step difference ${(worst * 1000).toFixed(1)} ms`);
  const span = playing[playing.length - 1].output - playing[0].output;
  assert.ok(Math.abs(total - span) < 0.04, `no drift: ${total} s of music in ${span} s of audio`);
  assert.ok(wrapped, 'the music looped');
  const last = samples[samples.length - 1];
  assert.ok(last.heard > 80 && last.heard < 86, `after the end it plays from 80 s: ${last.heard}`);
  // What is heard lags what the engine has mixed (the player's queue, up to three seconds):
  // the clock is the listener's, not the mixer's.
  const lags = playing.filter((s) => s.mixed >= s.heard).map((s) => s.mixed - s.heard);
  assert.ok(lags.length >= 3 && lags.every((lag) => lag > 0.05 && lag < 3.5),
    `the heard position trails the mixing position: ${lags.map((l) => l.toFixed(2))}`);
  assert.ok(last.frames > samples[0].frames, 'frames are drawn meanwhile');
  assert.deepEqual(errors, [], 'no console errors');
  await page.close();
});

test('a report the desktop shows in a message box appears on the page and in the console, and the show goes on', LIMITS, async () => {
  await startBrowser();
  const page = await browser.newPage({ viewport: { width: 960, height: 540 } });
  const errors = [];
  page.on('console', (m) => { if (m.type() === 'error') errors.push(m.text()); });
  // A compose shader that no longer reads its time uniform: the show reports the uniform's
  // name at every frame, as the desktop would in a box each time.
  await page.route('**/assets/compose.fs', async (route) => {
    const original = await (await route.fetch()).text();
    await route.fulfill({ contentType: 'text/plain', body: original.replace('clamp(t, 0.0, 1.0)', '1.0') });
  });
  await page.goto(site.url);
  await page.waitForFunction(() => window.zoovShow.state === 'ready', null, { timeout: 60000 });
  await page.click('#start-button');
  await page.waitForFunction(() => window.zoovShow.frames >= 4, null, { timeout: 60000 });
  const report = await page.textContent('#reports');
  assert.ok(await page.isVisible('#reports'), 'the reports are on the page');
  assert.match(report, /st_shader\.cpp::\d+:t Bad uniform name \(\u00d7\d+\)/, 'one line, with a count');
  assert.ok(errors.some((e) => /st_shader\.cpp::\d+:t: Bad uniform name/.test(e)), 'and in the console');
  assert.equal(await page.evaluate(() => window.zoovShow.state), 'playing', 'the show goes on');
  await page.close();
});

test('the line geometry, matrices and sprites equal the desktop build\'s bit for bit', LIMITS, () => {
  const native = join(work, 'native.txt'), web = join(work, 'web.txt');
  execFileSync(process.env.ZOOV_NATIVE_DUMP, [native]);
  execFileSync('node', ['--no-experimental-fetch', process.env.ZOOV_WEB_DUMP, web]);
  const a = readFileSync(native, 'utf8').split('\n'), b = readFileSync(web, 'utf8').split('\n');
  assert.ok(a.length > 100000, `the dump holds the show's geometry (${a.length} lines)`);
  const differing = [];
  for (let i = 0; i < Math.max(a.length, b.length); i++) {
    if (a[i] !== b[i]) differing.push(`desktop: ${a[i]}  web: ${b[i]}`);
  }
  assert.equal(differing.length, 0,
    `${differing.length} of ${a.length} values differ, first:\n${differing.slice(0, 20).join('\n')}`);
});
