// The browser build in Debian's Firefox ESR, as a viewer meets it: a clean load, the start
// on a click (full screen), the lit credits at a pinned tick, drawn as Chromium draws them,
// the show without an audio device, and the end on a key release. Firefox runs in a real
// window on llvmpipe's WebGL 2 (headless Firefox has none), driven over WebDriver BiDi.
// Run by tests/web/run.sh in a 960x540 virtual display: node --test firefox.test.mjs, with
// ZOOV_DIST (dist/web) and, for the comparison, ZOOV_CHROMIUM_FRAME (Chromium's frame at
// 16.3 s from show.test.mjs) in the environment.
import { test, after } from 'node:test';
import assert from 'node:assert/strict';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { firefox } from './bidi.mjs';
import { pictureStats } from './pictures.mjs';
import { serve } from '../../scripts/lib/web-server.mjs';

const PREFS = {
  // No audio device, wherever the test runs: the show must go on without sound.
  'media.cubeb.force_null_context': true,
  // CSS pixels are the display's, whatever resolution Xvfb claims: full screen is 960x540.
  'layout.css.devPixelsPerPx': '1.0',
  'full-screen-api.transition-duration.enter': '0 0',
  'full-screen-api.transition-duration.leave': '0 0',
  'full-screen-api.warning.timeout': 0,
};

const work = mkdtempSync(join(tmpdir(), 'zoov-firefox-web-'));
const OUT = process.env.ZOOV_WEB_OUT || work;
let browser, site;

after(async () => {
  await browser?.close();
  site?.server.close();
  rmSync(work, { recursive: true, force: true });
});

// The music starts 10 s in and the tick follows the page's clock from 18400 ms: at 16.3 s
// of music the tick is 24700 ms, as in show.test.mjs's pinned frame (the show draws from
// absolute times, so skipping the first ten seconds changes nothing in it but the wait).
const FROM = 10, PHASE = 18400, AT = 16.3;

test('in Firefox the page loads cleanly, starts on the click, draws the lit credits as Chromium does, plays on without sound and ends on a key release', { timeout: 240000 }, async () => {
  site = await serve(process.env.ZOOV_DIST, 0);
  // The window fills the display: full screen changes nothing but the browser's own bars.
  browser = await firefox.launch({
    executablePath: process.env.ZOOV_FIREFOX || '/usr/bin/firefox-esr', prefs: PREFS,
    window: { width: 960, height: 540 },
  });
  const page = await browser.newPage();
  const errors = [], log = [];
  page.on('console', (m) => { log.push(`${m.type()}: ${m.text()}`); if (m.type() === 'error') errors.push(m.text()); });
  page.on('pageerror', (e) => errors.push(String(e)));
  await page.goto(`${site.url}?from=${FROM}&phase=${PHASE}`);
  await page.waitForFunction(() => window.zoovShow.state !== 'loading', null, { timeout: 60000 })
    .catch((e) => assert.fail(`the page did not get ready: ${e.message}\nconsole:\n${log.join('\n')}`));
  assert.equal(await page.evaluate(() => window.zoovShow.state), 'ready');
  assert.ok(await page.isVisible('#start-button'), 'the start screen is shown');
  await page.waitForTimeout(500);
  assert.equal(await page.evaluate(() => window.zoovShow.frames), 0, 'nothing is drawn before the click');

  await page.click('#start-button');
  assert.ok(!(await page.isVisible('#start')), 'the start screen goes away');
  await page.waitForFunction(() => document.fullscreenElement && document.getElementById('canvas').width === 960
    && document.getElementById('canvas').height === 540, null, { timeout: 20000 })
    .catch(async () => assert.fail('the show goes full screen on the 960x540 display: ' + JSON.stringify(await page.evaluate(() => ({ fs: !!document.fullscreenElement, w: canvas.width, h: canvas.height, iw: innerWidth, ih: innerHeight, dpr: devicePixelRatio, sw: screen.width, sh: screen.height })))));

  const grab = await page.evaluate(async (at) => {
    const g = await window.zoovShow.grabAt(at);
    return { ...g, sinceClick: (g.at - window.zoovShow.startedAt) / 1000 };
  }, AT);
  const png = Buffer.from(grab.png.replace(/^data:image\/png;base64,/, ''), 'base64');
  writeFileSync(join(OUT, 'firefox-16s.png'), png);
  const chromiumFrame = process.env.ZOOV_CHROMIUM_FRAME ? readFileSync(process.env.ZOOV_CHROMIUM_FRAME) : null;
  const picture = await pictureStats(page, png, chromiumFrame);
  console.log(`  firefox-16s.png at ${grab.musicTime.toFixed(3)} s of music, tick ${grab.tick}, ` +
    `${grab.sinceClick.toFixed(2)} s after the click (the frame that passed it came ${grab.late.toFixed(2)} s late):`,
    JSON.stringify(picture));
  assert.ok(Math.abs(grab.sinceClick - (grab.musicTime - FROM)) < 0.05,
    `${grab.musicTime} s of music came ${grab.sinceClick} s after the click: real time, on the page's clock`);
  assert.ok(Math.abs(grab.tick - 24700) < 50, `the pinned tick: ${grab.tick}`);
  assert.equal(`${picture.width}x${picture.height}`, '960x540');
  assert.ok(picture.mean > 0.01 && picture.max > 0.05, 'the picture is lit, not black');
  assert.ok(picture.bright >= 2000, `the text glows: ${picture.bright} bright pixels`);
  assert.ok(picture.floor > 0.9 && picture.floorGrey < 0.1,
    `the dark floor fills the bottom of the picture: ${picture.floor}, grey ${picture.floorGrey}`);
  // llvmpipe and SwiftShader round differently at edges; a missing or misplaced element
  // (a text, the floor, the glow) costs far more.
  if (chromiumFrame) assert.ok(picture.rmse < 0.03, `the frame is Chromium's: RMSE ${picture.rmse}`);

  const s = await page.evaluate(() => ({ ...window.zoovShow, audio: undefined }));
  assert.equal(s.state, 'playing');
  assert.equal(s.silent, true, 'without an audio device the show plays on without sound');
  assert.ok(await page.isVisible('#reports'), 'the page says so');
  assert.match(await page.textContent('#reports'), /no sound \(.+\): the show plays without it/);
  assert.ok(log.some((l) => /^warning: zoov2020: no sound/.test(l)), 'and so does the console');
  assert.equal(s.notices, 1, 'once');
  assert.equal(s.reports, 0, 'no report was shown');

  await page.keyboard.press('q');
  await page.waitForFunction(() => window.zoovShow.state === 'ended', null, { timeout: 10000 });
  const stopped = await page.evaluate(() => window.zoovShow.frames);
  await page.waitForFunction(() => !document.fullscreenElement, null, { timeout: 10000 })
    .catch(() => assert.fail('full screen ends with the show'));
  await page.screenshot({ path: join(OUT, 'firefox-end-screen.png') });
  await page.waitForTimeout(1000);
  assert.equal(await page.evaluate(() => window.zoovShow.frames), stopped, 'drawing stops');
  assert.ok(await page.isVisible('#again'), 'the end screen offers to watch again');
  assert.match(await page.textContent('#end-text'), /ended/);
  assert.deepEqual(errors, [], 'no console errors');
  await page.close();
});
