// A small driver for Debian's Chromium over the DevTools protocol on a pipe: just what the
// browser tests and the benchmark use (pages, script evaluation, clicks, taps, keys, console
// and error events, screenshots, a rewritten response, a phone's screen), with the names of
// the usual drivers.
// It needs nothing but Node and the browser, so the tests run wherever Chromium installs.
import { spawn } from 'node:child_process';
import { mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

import { PageQueries, sleep } from './page-queries.mjs';

// Flags that keep a headless page running at full speed while no one looks at it.
const QUIET_BROWSER = [
  '--headless=new', '--remote-debugging-pipe', '--mute-audio', '--hide-scrollbars',
  '--disable-background-timer-throttling', '--disable-backgrounding-occluded-windows',
  '--disable-renderer-backgrounding', '--disable-dev-shm-usage', '--no-default-browser-check',
];


// Runs `fn(arg)` in the page and returns its (awaited, JSON-able) result.
function expression(fn, arg) {
  return typeof fn === 'string' ? fn : `(${fn})(${arg === undefined ? '' : JSON.stringify(arg)})`;
}

// The text of a console call's arguments, as DevTools shows it.
function consoleText(args) {
  return args.map((a) => ('value' in a ? String(a.value) : a.description ?? a.type)).join(' ');
}

class Page extends PageQueries {
  constructor(browser, sessionId) {
    super();
    this.browser = browser;
    this.sessionId = sessionId;
    this.listeners = { console: [], pageerror: [] };
    this.routes = [];
    this.keyboard = { press: (key) => this.press(key) };
  }

  send(method, params = {}) { return this.browser.send(method, params, this.sessionId); }
  on(event, fn) { this.listeners[event].push(fn); }
  emit(event, value) { for (const fn of this.listeners[event]) fn(value); }

  // DevTools events for this page: console calls, log entries, uncaught exceptions and
  // paused requests.
  event(method, params) {
    if (method === 'Runtime.consoleAPICalled') {
      const text = consoleText(params.args);
      this.emit('console', { type: () => params.type, text: () => text });
    } else if (method === 'Log.entryAdded') {
      const { level, text } = params.entry;
      if (level === 'error' || level === 'warning') {
        this.emit('console', { type: () => (level === 'error' ? 'error' : 'warning'), text: () => text });
      }
    } else if (method === 'Runtime.exceptionThrown') {
      const d = params.exceptionDetails;
      this.emit('pageerror', new Error(d.exception?.description ?? d.text));
    } else if (method === 'Fetch.requestPaused') {
      this.paused(params);
    } else if (method === 'Page.loadEventFired') {
      this.loaded?.();
    }
  }

  async goto(url) {
    const loaded = new Promise((resolve) => { this.loaded = resolve; });
    const { errorText } = await this.send('Page.navigate', { url });
    if (errorText) throw new Error(`${url}: ${errorText}`);
    await loaded;
  }

  async evaluate(fn, arg) {
    const r = await this.send('Runtime.evaluate', {
      expression: expression(fn, arg), awaitPromise: true, returnByValue: true, userGesture: false,
    });
    if (r.exceptionDetails) {
      const d = r.exceptionDetails;
      throw new Error(`in the page: ${d.exception?.description ?? d.text}`);
    }
    return r.result.value;
  }

  // A real mouse click in the middle of the element: a user gesture, as browsers require
  // for sound and full screen.
  async click(selector) {
    const box = await this.centre(selector);
    const at = { x: box.x, y: box.y, button: 'left', clickCount: 1 };
    await this.send('Input.dispatchMouseEvent', { type: 'mouseMoved', x: box.x, y: box.y });
    await this.send('Input.dispatchMouseEvent', { type: 'mousePressed', ...at });
    await this.send('Input.dispatchMouseEvent', { type: 'mouseReleased', ...at });
  }

  // A tap of one finger in the middle of the element (a touch screen's user gesture), or
  // at the point { x, y }; `timestamp` (seconds since the epoch) dates it.
  async tap(target, timestamp = Date.now() / 1000) {
    const at = typeof target === 'string' ? await this.centre(target) : target;
    const points = [{ x: at.x, y: at.y, radiusX: 4, radiusY: 4, force: 1, id: 0 }];
    await this.send('Input.dispatchTouchEvent', { type: 'touchStart', touchPoints: points, timestamp });
    await this.send('Input.dispatchTouchEvent', { type: 'touchEnd', touchPoints: [], timestamp: timestamp + 0.05 });
  }

  // The page's size in CSS pixels; `mobile`: a phone's screen at three device pixels to
  // one, with touch instead of a mouse.
  async setViewport({ width, height, mobile = false }) {
    await this.send('Emulation.setDeviceMetricsOverride', {
      width, height, deviceScaleFactor: mobile ? 3 : 1, mobile,
      ...(mobile ? { screenWidth: width, screenHeight: height,
                     screenOrientation: width < height ? { type: 'portraitPrimary', angle: 0 }
                                                       : { type: 'landscapePrimary', angle: 90 } } : {}),
    });
    if (mobile) await this.send('Emulation.setTouchEmulationEnabled', { enabled: true, maxTouchPoints: 5 });
  }

  // One printable key, pressed and released.
  async press(key) {
    const code = `Key${key.toUpperCase()}`;
    const keyCode = key.toUpperCase().charCodeAt(0);
    await this.send('Input.dispatchKeyEvent', { type: 'keyDown', key, code, text: key, windowsVirtualKeyCode: keyCode });
    await this.send('Input.dispatchKeyEvent', { type: 'keyUp', key, code, windowsVirtualKeyCode: keyCode });
  }

  async screenshot({ path }) {
    const { data } = await this.send('Page.captureScreenshot', { format: 'png' });
    writeFileSync(path, Buffer.from(data, 'base64'));
  }

  // Serves requests for URLs matching `pattern` ('*' matches anything) through
  // handler(route): route.fetch() gives the real response's text, route.fulfill({contentType,
  // body, status}) answers in its place.
  async route(pattern, handler) {
    this.routes.push({ pattern: pattern.replace(/\*\*/g, '*'), handler });
    await this.send('Fetch.enable', {
      patterns: this.routes.map((r) => ({ urlPattern: r.pattern, requestStage: 'Response' })),
    });
  }

  async paused({ requestId, request }) {
    const glob = (p) => new RegExp(`^${p.split('*').map((s) => s.replace(/[.+?^${}()|[\]\\]/g, '\\$&')).join('.*')}$`);
    const match = this.routes.find((r) => glob(r.pattern).test(request.url));
    if (!match) return this.send('Fetch.continueRequest', { requestId });
    const route = {
      fetch: async () => {
        const { body, base64Encoded } = await this.send('Fetch.getResponseBody', { requestId });
        const text = base64Encoded ? Buffer.from(body, 'base64').toString('utf8') : body;
        return { text: async () => text };
      },
      fulfill: ({ contentType, body, status = 200 }) => this.send('Fetch.fulfillRequest', {
        requestId, responseCode: status, responseHeaders: [{ name: 'Content-Type', value: contentType }],
        body: Buffer.from(body).toString('base64'),
      }),
    };
    await match.handler(route);
  }

  // Runs `source` in every document this page loads, before the page's own scripts.
  addInitScript(source) { return this.send('Page.addScriptToEvaluateOnNewDocument', { source }); }

  close() { return this.browser.send('Target.closeTarget', { targetId: this.targetId }); }
}

class Browser {
  constructor(child, profile) {
    this.child = child;
    this.profile = profile;
    this.nextId = 1;
    this.waiting = new Map();
    this.pages = new Map();
    let pending = '';
    child.stdio[4].on('data', (chunk) => {
      pending += chunk.toString('utf8');
      let end;
      while ((end = pending.indexOf('\0')) >= 0) {
        this.receive(JSON.parse(pending.slice(0, end)));
        pending = pending.slice(end + 1);
      }
    });
    this.exited = new Promise((resolve) => child.on('exit', resolve));
    this.exited.then(() => {
      for (const { reject } of this.waiting.values()) reject(new Error('the browser has exited'));
      this.waiting.clear();
    });
  }

  receive(message) {
    if (message.id !== undefined) {
      const call = this.waiting.get(message.id);
      this.waiting.delete(message.id);
      if (message.error) call?.reject(new Error(`${call.method}: ${message.error.message}`));
      else call?.resolve(message.result);
    } else {
      const page = this.pages.get(message.sessionId);
      if (page) Promise.resolve(page.event(message.method, message.params)).catch(() => {});
    }
  }

  send(method, params = {}, sessionId) {
    const id = this.nextId++;
    const message = { id, method, params, ...(sessionId ? { sessionId } : {}) };
    return new Promise((resolve, reject) => {
      this.waiting.set(id, { resolve, reject, method });
      this.child.stdio[3].write(JSON.stringify(message) + '\0');
    });
  }

  async newPage({ viewport, mobile = false }) {
    const { targetId } = await this.send('Target.createTarget', { url: 'about:blank' });
    const { sessionId } = await this.send('Target.attachToTarget', { targetId, flatten: true });
    const page = new Page(this, sessionId);
    page.targetId = targetId;
    this.pages.set(sessionId, page);
    await Promise.all(['Page.enable', 'Runtime.enable', 'Log.enable'].map((m) => page.send(m)));
    await page.setViewport({ ...viewport, mobile });
    await page.send('Emulation.setFocusEmulationEnabled', { enabled: true });
    return page;
  }

  async close() {
    await Promise.race([this.send('Browser.close').catch(() => {}), sleep(5000)]);
    try {
      process.kill(-this.child.pid, 'SIGKILL');
    } catch {
      this.child.kill('SIGKILL');
    }
    await this.exited;
    // A helper process may still be writing into the profile for a moment; a profile left
    // behind in the temporary folder is no failure of the show's.
    try {
      rmSync(this.profile, { recursive: true, force: true, maxRetries: 10, retryDelay: 200 });
    } catch (e) {
      console.warn(`the browser's profile ${this.profile} stays: ${e.message}`);
    }
  }
}

export const chromium = {
  // A browser with a fresh profile of its own, driven over fds 3 and 4.
  async launch({ executablePath, args = [] }) {
    const profile = mkdtempSync(join(tmpdir(), 'zoov-chromium-'));
    const child = spawn(executablePath, [...QUIET_BROWSER, ...args, `--user-data-dir=${profile}`, 'about:blank'],
      // Its own process group, so that closing it ends its helper processes too.
      { stdio: ['ignore', 'ignore', 'ignore', 'pipe', 'pipe'], detached: true });
    const browser = new Browser(child, profile);
    const started = await Promise.race([
      browser.send('Browser.getVersion').then(() => true), browser.exited.then(() => false), sleep(60000).then(() => false),
    ]);
    if (!started) {
      child.kill('SIGKILL');
      rmSync(profile, { recursive: true, force: true });
      throw new Error(`${executablePath} did not start with a DevTools pipe`);
    }
    return browser;
  }
};
