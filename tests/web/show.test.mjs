// The browser build as a viewer meets it, in Debian's headless Chromium (WebGL 2 on
// SwiftShader): a clean load, the start on a click, a lit picture, the end on a key
// release, the music clock against the audio output, the show without sound, failed
// downloads said where the viewer looks, a phone, and the desktop's geometry.
// Run by tests/web/run.sh: node --test show.test.mjs, with ZOOV_DIST (dist/web) and
// ZOOV_NATIVE_DUMP / ZOOV_WEB_DUMP (the two builds of geometry_dump) in the environment.
// ZOOV_SOUND_DELAY_MS=N holds the first sound back N ms on every page, as a slow machine
// or network does (the lit-text test holds it back 2 s otherwise).
import { test, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { chromium } from './cdp.mjs';
import { pictureStats } from './pictures.mjs';
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

// How long a page holds its first sound back: `fallback` ms unless ZOOV_SOUND_DELAY_MS says.
const soundDelay = (fallback = 0) => Number(process.env.ZOOV_SOUND_DELAY_MS ?? fallback);

// The audio player's module loads `ms` late, as on a slow machine: the first sound comes
// that much later, and the show waits for it at music time 0.
function holdBackSound(page, ms) {
  if (!ms) return undefined;
  return page.addInitScript(`(() => {
    const add = AudioWorklet.prototype.addModule;
    AudioWorklet.prototype.addModule = function (...args) {
      return new Promise((r) => setTimeout(r, ${ms})).then(() => add.apply(this, args));
    };
  })();`);
}

// A page at 960x540 whose console errors and uncaught exceptions are collected; `prepare`
// may set up the page (routes, scripts) before it loads.
async function openShow(query = '', prepare = async () => {}, { delay = soundDelay() } = {}) {
  await startBrowser();
  const page = await browser.newPage({ viewport: { width: 960, height: 540 } });
  await holdBackSound(page, delay);
  await prepare(page);
  const errors = [];
  page.on('console', (m) => { if (m.type() === 'error') errors.push(m.text()); });
  page.on('pageerror', (e) => errors.push(String(e)));
  const log = [];
  page.on('console', (m) => log.push(`${m.type()}: ${m.text()}`));
  await page.goto(site.url + query);
  await page.waitForFunction(() => window.zoovShow.state !== 'loading', null, { timeout: 60000 })
    .catch((e) => assert.fail(`the page did not get ready: ${e.message}\nconsole:\n${log.join('\n')}`));
  return { page, errors, log };
}

const show = (page) => page.evaluate(() => {
  const s = window.zoovShow;
  return { state: s.state, frames: s.frames, musicTime: s.musicTime, reports: s.reports };
});

const LIMITS = { timeout: 240000 };

// The figures follow the tick, which otherwise starts at the click: how long the first
// sound takes would decide which figure shares a frame with the texts. ?phase=8400 makes
// the tick follow the music heard from 8400 ms, so 16.3 s of music draws at a tick of
// 24700 ms, 0.7 s into a star period and as far from its pulse: the floor stays dark.
const PHASE = 8400;
const PINNED = `?phase=${PHASE}`;

// "Yet again.." is written on between 10 and 16 s of music: the frame at 16.3 s, saved.
async function creditsFrame(page, name) {
  const grab = await page.evaluate(async () => {
    const g = await window.zoovShow.grabAt(16.3);
    return { ...g, sinceClick: (g.at - window.zoovShow.startedAt) / 1000 };
  });
  const png = Buffer.from(grab.png.replace(/^data:image\/png;base64,/, ''), 'base64');
  writeFileSync(join(OUT, name), png);
  const picture = await pictureStats(page, png);
  console.log(`  ${name} at ${grab.musicTime.toFixed(3)} s of music, tick ${grab.tick}, ` +
    `${grab.sinceClick.toFixed(2)} s after the click (the frame that passed it came ` +
    `${grab.late.toFixed(2)} s late):`, JSON.stringify(picture));
  return { grab, picture };
}

test('the page loads cleanly, starts on the click, draws the lit text on the floor and ends on a key release', LIMITS, async () => {
  // The first sound held back: the pinned tick must follow the music however late it comes.
  const { page, errors } = await openShow(PINNED, undefined, { delay: soundDelay(2000) });
  assert.equal((await show(page)).state, 'ready');
  assert.ok(served < 4e6, `the whole page is under 4 MB over the wire: ${served} bytes`);
  assert.ok(await page.isVisible('#start-button'), 'the start screen is shown');
  await page.waitForTimeout(500);
  assert.equal((await show(page)).frames, 0, 'nothing is drawn before the click');

  await page.click('#start-button');
  assert.ok(!(await page.isVisible('#start')), 'the start screen goes away');
  const { grab, picture } = await creditsFrame(page, 'picture-16s.png');
  assert.ok(Math.abs(grab.tick - (PHASE + grab.musicTime * 1000)) < 50,
    `the tick follows the music: ${grab.tick} at ${grab.musicTime} s`);
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
  assert.equal(await page.evaluate(() => window.zoovShow.notices), 0, 'nor a note');
  assert.deepEqual(errors, [], 'no console errors');
  await page.close();
});

test('the music clock advances with the audio output and loops from the end to 80 s', LIMITS, async () => {
  const { page, errors } = await openShow('?from=116.5');
  await page.click('#start-button');
  // Samples until the music has looped, gone on for three seconds from 80 s, and enough of
  // the output ran without a dropout to compare. How soon it plays after the click is the
  // machine's (the page's own wait decides when it would go on without sound), and so is
  // whether a main thread too busy to mix in time lets the player run dry: the music then
  // pauses and its clock with it, and the page says where.
  const samples = [];
  const isPlaying = (s) => s.heard > 116.5 || s.heard < 100;
  // A stretch of output touched by a dropout (the heard clock lags the context clock by the
  // output latency, well under half a second) is left out; the rest must run exactly.
  let dropouts = [];
  const clean = (a, b) => dropouts.every((d) => !(d.from < b && (d.to ?? Infinity) + 0.5 > a));
  const cleanSteps = () => {
    const playing = samples.filter(isPlaying);
    return playing.slice(1).map((b, i) => [playing[i], b]).filter(([a, b]) => clean(a.output, b.output));
  };
  const clicked = Date.now();
  let wrapped = false;
  while (Date.now() - clicked < 120000) {
    const s = await page.evaluate(() => {
      const a = window.zoovShow.audio;
      // The context's own clock: the frames the audio device has taken, independent of the
      // output timestamp that the page's clock reads.
      return { heard: window.zoovShow.heardTime(), output: a.currentTime,
               mixed: Module._zoov_music_position(), frames: window.zoovShow.frames,
               dropouts: window.zoovShow.dropouts };
    });
    dropouts = s.dropouts;
    const last = samples[samples.length - 1];
    if (last && isPlaying(last) && s.heard < last.heard) wrapped = true;
    samples.push(s);
    if (wrapped && s.heard >= 83 && cleanSteps().length >= 8) break;
    await page.waitForTimeout(200);
  }
  const playing = samples.filter(isPlaying);
  assert.equal(await page.evaluate(() => window.zoovShow.silent), false, 'with sound');
  assert.ok(wrapped, `the music looped: ${samples.map((s) => s.heard.toFixed(2))}`);
  console.log(`  the music started ${(playing[0].output - samples[0].output).toFixed(2)} s of output after the click; ` +
    `the player ran dry ${dropouts.length} times`);
  let worst = 0, total = 0, span = 0;
  const steps = cleanSteps();
  for (const [a, b] of steps) {
    // Across the loop the music goes on from 80 s; either way it keeps the output's pace.
    const step = b.heard >= a.heard ? b.heard - a.heard : (120 - a.heard) + (b.heard - 80);
    worst = Math.max(worst, Math.abs(step - (b.output - a.output)));
    total += step;
    span += b.output - a.output;
    // The context clock moves in the audio device's blocks of some milliseconds.
    assert.ok(Math.abs(step - (b.output - a.output)) < 0.04,
      `music time ${a.heard} -> ${b.heard} while the output went ${a.output} -> ${b.output}`);
  }
  console.log(`  music clock against the audio clock: worst step difference ${(worst * 1000).toFixed(1)} ms over ${steps.length} steps`);
  assert.ok(steps.length >= 5, `enough of the output ran without a dropout to compare: ${steps.length} steps`);
  assert.ok(Math.abs(total - span) < 0.04, `no drift: ${total} s of music in ${span} s of audio`);
  const last = samples[samples.length - 1];
  assert.ok(last.heard >= 80 && last.heard < 100, `after the end it plays from 80 s: ${last.heard}`);
  // What is heard lags what the engine has mixed (the player's queue, up to three seconds):
  // the clock is the listener's, not the mixer's.
  const lags = playing.filter((s) => s.mixed >= s.heard && clean(s.output - 0.2, s.output))
    .map((s) => s.mixed - s.heard);
  assert.ok(lags.length >= 3 && lags.every((lag) => lag > 0.05 && lag < 3.5),
    `the heard position trails the mixing position: ${lags.map((l) => l.toFixed(2))}`);
  assert.ok(last.frames > samples[0].frames, 'frames are drawn meanwhile');
  assert.deepEqual(errors, [], 'no console errors');
  await page.close();
});

test('a report the desktop shows in a message box appears on the page and in the console, and the show goes on', LIMITS, async () => {
  await startBrowser();
  const page = await browser.newPage({ viewport: { width: 960, height: 540 } });
  await holdBackSound(page, soundDelay());
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

// Without sound (here no audio context can be made, as where the browser has no output)
// the page says so and the show keeps real time on its own clock: the credits come at 16 s.
test('without sound the page says so, and the show runs on its own clock to the lit credits', LIMITS, async () => {
  const { page, errors, log } = await openShow(PINNED, (p) => p.addInitScript(`
    window.AudioContext = window.webkitAudioContext = function () {
      throw new Error('no audio output device');
    };`));
  await page.click('#start-button');
  const { grab, picture } = await creditsFrame(page, 'silent-16s.png');
  assert.ok(Math.abs(grab.sinceClick - grab.musicTime) < 0.05,
    `${grab.musicTime} s of music came ${grab.sinceClick} s after the click: real time`);
  assert.ok(picture.bright >= 2000, `the text glows: ${picture.bright} bright pixels`);
  assert.ok(picture.floor > 0.9 && picture.floorGrey < 0.1, 'the floor is dark at the pinned phase');
  const s = await page.evaluate(() => ({ ...window.zoovShow, audio: undefined }));
  assert.equal(s.state, 'playing');
  assert.equal(s.silent, true);
  assert.ok(await page.isVisible('#reports'), 'the page says so');
  assert.match(await page.textContent('#reports'), /no sound \(no audio output device\): the show plays without it/);
  assert.ok(log.some((l) => /^warning: zoov2020: no sound/.test(l)), 'and so does the console');
  assert.equal(s.notices, 1, 'once');
  await page.keyboard.press('q');
  await page.waitForFunction(() => window.zoovShow.state === 'ended', null, { timeout: 10000 });
  assert.deepEqual(errors, [], 'no console errors');
  await page.close();
});

// A file that does not come is said on the page and in the console, as the desktop says it
// on stderr: the music missing (the show plays at music time 0), the program itself missing
// (the page stops loading and says why).
test('a failed download is said on the page and in the console', LIMITS, async () => {
  const missing = (pattern) => (p) => p.route(pattern,
    (route) => route.fulfill({ status: 404, contentType: 'text/plain', body: 'not here' }));
  const { page, log } = await openShow('', missing('**/assets/zoov2020.ogg'));
  const notes = await page.textContent('#reports');
  assert.match(notes, /assets\/zoov2020\.ogg could not be downloaded \(404/, notes);
  assert.match(notes, /audio: cannot load \/?assets\/zoov2020\.ogg/, notes);
  assert.ok(log.some((l) => /^warning: zoov2020: assets\/zoov2020\.ogg could not be downloaded/.test(l)));
  await page.click('#start-button');
  await page.waitForFunction(() => window.zoovShow.frames >= 3, null, { timeout: 60000 });
  const s = await show(page);
  assert.equal(s.state, 'playing', 'the show goes on without its music');
  assert.equal(s.musicTime, 0, 'at music time 0, as on the desktop');
  await page.close();

  const gone = await browser.newPage({ viewport: { width: 960, height: 540 } });
  const errors = [];
  gone.on('console', (m) => { if (m.type() === 'error') errors.push(m.text()); });
  await missing('**/zoov2020.wasm')(gone);
  await gone.goto(site.url);
  await gone.waitForFunction(() => window.zoovShow.state === 'failed', null, { timeout: 60000 });
  assert.ok(await gone.isVisible('#end'), 'the page stops loading');
  assert.match(await gone.textContent('#end-text'), /could not start/);
  assert.ok(errors.some((e) => /zoov2020: The show could not start/.test(e)), 'and the console says why');
  await gone.close();
});

// A phone's frame: the 16:9 picture's band in the middle of the screen (the bars around it
// black) and where the glowing text lies in that band, in fractions of its width and height.
async function letterboxStats(page, png) {
  return page.evaluate(async (b64) => {
    const img = new Image();
    img.src = 'data:image/png;base64,' + b64;
    await img.decode();
    const W = img.width, H = img.height;
    const c = new OffscreenCanvas(W, H);
    const g = c.getContext('2d');
    g.drawImage(img, 0, 0);
    const d = g.getImageData(0, 0, W, H).data;
    const bw = Math.min(W, H * 16 / 9), bh = Math.min(H, W * 9 / 16);
    const bx = (W - bw) / 2, by = (H - bh) / 2;
    let bars = 0, x0 = W, x1 = -1, y0 = H, y1 = -1;
    for (let y = 0, i = 0; y < H; y++) {
      for (let x = 0; x < W; x++, i += 4) {
        const inside = x >= bx - 2 && x < bx + bw + 2 && y >= by - 2 && y < by + bh + 2;
        if (!inside) bars = Math.max(bars, d[i], d[i + 1], d[i + 2]);
        const grey = (0.2126 * d[i] + 0.7152 * d[i + 1] + 0.0722 * d[i + 2]) / 255;
        if (grey > 0.6) { x0 = Math.min(x0, x); x1 = Math.max(x1, x); y0 = Math.min(y0, y); y1 = Math.max(y1, y); }
      }
    }
    return { width: W, height: H, bars,
             text: [(x0 - bx) / bw, (x1 + 1 - bx) / bw, (y0 - by) / bh, (y1 + 1 - by) / bh] };
  }, png.toString('base64'));
}

// Where "Yet again.." glows at 16.3 s (tick 24700) in the 960x540 picture: left, right, top
// and bottom edges as fractions of the picture.
const TEXT_960 = [0.165, 0.864, 0.417, 0.596];

test('on a phone a tap starts the show, the picture stays undistorted upright and sideways, and it ends without keys', LIMITS, async () => {
  await startBrowser();
  const page = await browser.newPage({ viewport: { width: 390, height: 844 }, mobile: true });
  await holdBackSound(page, soundDelay());
  const errors = [];
  page.on('console', (m) => { if (m.type() === 'error') errors.push(m.text()); });
  page.on('pageerror', (e) => errors.push(String(e)));
  // From 15.5 s of music, its tick pinned so that 16.3 s draws at the tick of the frame above.
  const url = `${site.url}?from=15.5&phase=${PHASE + 16300 - 800}`;
  // Ready, also after "Watch again" reloads the page (its old document may still answer).
  const ready = async () => {
    for (const deadline = Date.now() + 60000; Date.now() < deadline; await page.waitForTimeout(200)) {
      if (await page.evaluate(() => window.zoovShow?.state === 'ready').catch(() => false)) return;
    }
    assert.fail('the page did not get ready');
  };
  const ended = () => page.waitForFunction(() => window.zoovShow.state === 'ended', null, { timeout: 10000 });
  await page.goto(url);
  await ready();

  // The start screen speaks of taps, and its words keep clear of the edges of the screen.
  assert.equal(await page.textContent('#start-button'), 'Tap to start');
  assert.match(await page.textContent('#start-hint'), /[Dd]ouble-tap/);
  const lines = await page.evaluate(() => [...document.querySelectorAll('#start button, #start p')].map((e) => {
    const r = document.createRange();
    r.selectNodeContents(e);
    const b = r.getBoundingClientRect();
    return { text: e.textContent, left: b.left, right: b.right, width: innerWidth };
  }));
  for (const l of lines) assert.ok(l.left >= 8 && l.right <= l.width - 8, `"${l.text}" fits: ${l.left}..${l.right} of ${l.width}`);

  // Upright, then sideways: the picture in its 16:9 band, the text where the 960x540 frame has it.
  for (const [name, viewport] of [['phone-upright.png', { width: 390, height: 844 }],
                                  ['phone-sideways.png', { width: 844, height: 390 }]]) {
    if (name === 'phone-sideways.png') {
      await page.setViewport({ ...viewport, mobile: true });
      await page.tap('#again');
      await ready();
    }
    await page.tap('#start-button');
    await page.waitForFunction(() => window.zoovShow.state === 'playing', null, { timeout: 10000 });
    assert.ok(await page.evaluate(() => !!document.fullscreenElement), 'in full screen');
    const grab = await page.evaluate(() => window.zoovShow.grabAt(16.3));
    assert.ok(Math.abs(grab.tick - (PHASE + 16300)) <= 1, `the tick of the frame above: ${grab.tick}`);
    const png = Buffer.from(grab.png.replace(/^data:image\/png;base64,/, ''), 'base64');
    writeFileSync(join(OUT, name), png);
    const frame = await letterboxStats(page, png);
    console.log(`  ${name}:`, JSON.stringify(frame));
    assert.equal(`${frame.width}x${frame.height}`, `${viewport.width * 3}x${viewport.height * 3}`);
    assert.ok(frame.bars <= 2, `the bars around the picture are black: ${frame.bars}`);
    frame.text.forEach((edge, i) => assert.ok(Math.abs(edge - TEXT_960[i]) < 0.03,
      `the text lies where the 960x540 picture has it: ${frame.text} against ${TEXT_960}`));
    // Ended without a key: a double tap upright, leaving full screen sideways.
    if (name === 'phone-upright.png') {
      // Two taps a fifth of a second apart by their own clock, however slowly the page takes them.
      const now = Date.now() / 1000;
      await page.tap({ x: 195, y: 300 }, now);
      await page.tap({ x: 195, y: 300 }, now + 0.2);
    } else {
      await page.evaluate(() => document.exitFullscreen());
    }
    await ended();
    assert.equal(await page.evaluate(() => window.zoovShow.audio.state), 'closed', 'the sound stops');
    assert.ok(await page.isVisible('#again'), 'the end screen offers to watch again');
  }

  // Where full screen is refused (a phone's browser may have none), the page going out of
  // sight ends it. (Headless Chromium never hides its pages: the page is told it is hidden.)
  await page.addInitScript('Element.prototype.requestFullscreen = () => Promise.reject(new Error("no full screen"));');
  await page.tap('#again');
  await ready();
  await page.tap('#start-button');
  await page.waitForFunction(() => window.zoovShow.frames >= 1, null, { timeout: 60000 });
  await page.evaluate(() => {
    Object.defineProperty(document, 'visibilityState', { get: () => 'hidden' });
    document.dispatchEvent(new Event('visibilitychange'));
  });
  await ended();
  assert.deepEqual(errors, [], 'no console errors');
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
