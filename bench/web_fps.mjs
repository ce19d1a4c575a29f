// The browser build's side of bench/web_fps.sh: loads dist/web in Debian's headless
// Chromium (WebGL 2 on SwiftShader) at 960x540, clicks start as soon as it can, and prints
// the start-up times and the frame rate over the given seconds.
// Usage: node bench/web_fps.mjs DIST_DIR SECONDS
import { join } from 'node:path';
import { pathToFileURL, fileURLToPath } from 'node:url';

const root = join(fileURLToPath(import.meta.url), '../..');
const { chromium } = await import(pathToFileURL(join(root, 'tests/web/cdp.mjs')));
const { serve } = await import(pathToFileURL(join(root, 'scripts/lib/web-server.mjs')));

const [dist, secondsArg] = process.argv.slice(2);
const seconds = Number(secondsArg || 20);
let bytes = 0;
const site = await serve(dist, 0, (path, sent) => { bytes += sent; });
const browser = await chromium.launch({
  executablePath: '/usr/bin/chromium',
  args: ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
         '--autoplay-policy=no-user-gesture-required', '--disable-background-networking',
         '--disable-component-update', '--disable-sync', '--no-first-run', '--disable-quic'],
});
try {
  const page = await browser.newPage({ viewport: { width: 960, height: 540 } });
  page.on('console', (m) => { if (m.type() === 'error') console.log(`web console: ${m.text()}`); });
  await page.goto(site.url);
  await page.waitForFunction(() => window.zoovShow.state === 'ready', null, { timeout: 120000, polling: 10 });
  const renderer = await page.evaluate(() => {
    const gl = document.createElement('canvas').getContext('webgl2');
    const info = gl.getExtension('WEBGL_debug_renderer_info');
    return info ? gl.getParameter(info.UNMASKED_RENDERER_WEBGL) : gl.getParameter(gl.RENDERER);
  });
  await page.click('#start-button');
  await page.waitForFunction(() => window.zoovShow.firstFrameAt !== null, null, { timeout: 60000, polling: 10 });
  const t = await page.evaluate(() => window.zoovShow);
  console.log(`web: ${renderer}`);
  console.log(`web: page load to ready ${t.readyAt.toFixed(0)} ms (${(bytes / 1e6).toFixed(2)} MB transferred), ` +
              `click to first frame ${(t.firstFrameAt - t.startedAt).toFixed(0)} ms, ` +
              `page load to first frame ${t.firstFrameAt.toFixed(0)} ms (the bench clicks at once)`);
  // A second of warm-up, then count the frames the page draws.
  await page.waitForTimeout(1000);
  const a = await page.evaluate(() => ({ frames: window.zoovShow.frames, at: performance.now() }));
  await page.waitForTimeout(seconds * 1000);
  const b = await page.evaluate(() => ({ frames: window.zoovShow.frames, at: performance.now() }));
  const fps = (b.frames - a.frames) / ((b.at - a.at) / 1000);
  console.log(`web: ${fps.toFixed(2)} fps over ${((b.at - a.at) / 1000).toFixed(1)} s (${b.frames - a.frames} frames)`);
} finally {
  await browser.close();
  site.server.close();
}
