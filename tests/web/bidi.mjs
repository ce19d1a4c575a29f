// A small driver for Debian's Firefox ESR over WebDriver BiDi (Debian ships no geckodriver):
// the same few calls as cdp.mjs (pages, script evaluation, clicks, keys, console and error
// events, screenshots, scripts run before the page's own), spoken over a WebSocket client of
// its own, since Debian 12's Node has none. Firefox runs in a real window, so it needs a
// display (Xvfb): headless Firefox has no WebGL.
import { spawn } from 'node:child_process';
import { createHash, randomBytes } from 'node:crypto';
import { mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { request } from 'node:http';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

import { PageQueries } from './page-queries.mjs';

// A time limit to race against: it does not keep Node running once the race is decided.
const limit = (ms) => new Promise((resolve) => setTimeout(resolve, ms).unref());

// ---- WebSocket, client side (RFC 6455): text messages, pings, close ---------------------
function connectWebSocket(url, onMessage, onClose) {
  const key = randomBytes(16).toString('base64');
  const { hostname, port, pathname } = new URL(url);
  return new Promise((resolve, reject) => {
    const req = request({ host: hostname, port, path: pathname, headers: {
      Connection: 'Upgrade', Upgrade: 'websocket', 'Sec-WebSocket-Key': key, 'Sec-WebSocket-Version': '13',
    } });
    req.on('error', reject);
    req.on('response', (res) => reject(new Error(`${url}: HTTP ${res.statusCode} instead of a WebSocket`)));
    req.on('upgrade', (res, socket, head) => {
      const accept = createHash('sha1').update(key + '258EAFA5-E914-47DA-95CA-C5AB0DC85B11').digest('base64');
      if (res.headers['sec-websocket-accept'] !== accept) {
        socket.destroy();
        return reject(new Error(`${url}: bad WebSocket handshake`));
      }
      socket.setNoDelay(true);
      // A client masks every frame it sends.
      const send = (opcode, payload) => {
        const n = payload.length;
        const header = n < 126 ? Buffer.from([0x80 | opcode, 0x80 | n])
          : n < 65536 ? Buffer.from([0x80 | opcode, 0x80 | 126, n >> 8, n & 255])
          : Buffer.concat([Buffer.from([0x80 | opcode, 0x80 | 127]), (() => {
            const b = Buffer.alloc(8); b.writeBigUInt64BE(BigInt(n)); return b;
          })()]);
        const mask = randomBytes(4);
        const body = Buffer.from(payload);
        for (let i = 0; i < n; i++) body[i] ^= mask[i & 3];
        socket.write(Buffer.concat([header, mask, body]));
      };
      let pending = head, parts = [];
      socket.on('data', (chunk) => {
        pending = Buffer.concat([pending, chunk]);
        for (;;) {
          if (pending.length < 2) return;
          const fin = pending[0] & 0x80, opcode = pending[0] & 15;
          let n = pending[1] & 127, at = 2;
          if (n === 126) { if (pending.length < 4) return; n = pending.readUInt16BE(2); at = 4; }
          else if (n === 127) { if (pending.length < 10) return; n = Number(pending.readBigUInt64BE(2)); at = 10; }
          if (pending[1] & 0x80) at += 4;           // servers do not mask; skip a key if one does
          if (pending.length < at + n) return;
          const payload = pending.subarray(at, at + n);
          pending = pending.subarray(at + n);
          if (opcode === 9) send(10, payload);
          else if (opcode === 8) socket.end();
          else if (opcode === 1 || opcode === 0) {
            parts.push(Buffer.from(payload));
            if (fin) { onMessage(Buffer.concat(parts).toString('utf8')); parts = []; }
          }
        }
      });
      socket.on('close', onClose);
      socket.on('error', () => {});
      resolve({ send: (text) => send(1, Buffer.from(text, 'utf8')), close: () => socket.destroy() });
    });
    req.end();
  });
}

// ---- pages --------------------------------------------------------------------------------
// The page's value of `fn(arg)`, awaited, carried back as JSON text.
function expression(fn, arg) {
  const call = typeof fn === 'string' ? fn : `(${fn})(${arg === undefined ? '' : JSON.stringify(arg)})`;
  return `(async () => JSON.stringify(await (${call})))()`;
}

class Page extends PageQueries {
  constructor(browser, context) {
    super();
    this.browser = browser;
    this.context = context;
    this.listeners = { console: [], pageerror: [] };
    this.preloads = [];
    this.keyboard = { press: (key) => this.press(key) };
  }

  send(method, params = {}) { return this.browser.send(method, params); }
  on(event, fn) { this.listeners[event].push(fn); }

  // A log entry of this page: uncaught exceptions as page errors, console calls and the
  // browser's own messages (WebGL warnings, say) as console messages, with the levels named
  // as cdp.mjs names them.
  event(method, params) {
    if (method !== 'log.entryAdded') return;
    if (params.type === 'javascript' && params.level === 'error') {
      for (const fn of this.listeners.pageerror) fn(new Error(params.text));
    } else {
      const type = params.level === 'warn' ? 'warning' : params.level === 'info' ? 'log' : params.level;
      for (const fn of this.listeners.console) fn({ type: () => type, text: () => params.text });
    }
  }

  goto(url) { return this.send('browsingContext.navigate', { context: this.context, url, wait: 'complete' }); }

  async evaluate(fn, arg) {
    const r = await this.send('script.evaluate', {
      expression: expression(fn, arg), target: { context: this.context }, awaitPromise: true,
      resultOwnership: 'none',
    });
    if (r.type === 'exception') throw new Error(`in the page: ${r.exceptionDetails.text}`);
    return r.result.type === 'string' ? JSON.parse(r.result.value) : undefined;
  }

  // A real mouse click in the middle of the element, through the browser's input: a user
  // gesture, as browsers require for sound and full screen.
  async click(selector) {
    // WebDriver's pointer moves to whole CSS pixels.
    const centre = await this.centre(selector);
    const box = { x: Math.round(centre.x), y: Math.round(centre.y) };
    await this.send('input.performActions', { context: this.context, actions: [{
      type: 'pointer', id: 'mouse', parameters: { pointerType: 'mouse' },
      actions: [{ type: 'pointerMove', x: box.x, y: box.y }, { type: 'pointerDown', button: 0 },
                { type: 'pointerUp', button: 0 }],
    }] });
  }

  // One key, pressed and released.
  press(key) {
    return this.send('input.performActions', { context: this.context, actions: [{
      type: 'key', id: 'keyboard', actions: [{ type: 'keyDown', value: key }, { type: 'keyUp', value: key }],
    }] });
  }

  async screenshot({ path }) {
    const { data } = await this.send('browsingContext.captureScreenshot', { context: this.context });
    writeFileSync(path, Buffer.from(data, 'base64'));
  }

  // Runs `source` in every document this page loads, before the page's own scripts.
  async addInitScript(source) {
    const { script } = await this.send('script.addPreloadScript', {
      functionDeclaration: `() => {\n${source}\n}`, contexts: [this.context],
    });
    this.preloads.push(script);
  }

  async close() {
    for (const script of this.preloads) await this.send('script.removePreloadScript', { script }).catch(() => {});
    this.browser.pages.delete(this.context);
    await this.send('browsingContext.close', { context: this.context });
  }
}

class Browser {
  constructor(child, profile) {
    this.child = child;
    this.profile = profile;
    this.nextId = 1;
    this.waiting = new Map();
    this.pages = new Map();
    this.exited = new Promise((resolve) => child.on('exit', resolve));
    this.exited.then(() => this.fail(new Error('the browser has exited')));
  }

  fail(error) {
    for (const { reject } of this.waiting.values()) reject(error);
    this.waiting.clear();
  }

  async connect(url) {
    this.socket = await connectWebSocket(`${url}/session`, (text) => this.receive(JSON.parse(text)),
      () => this.fail(new Error('the WebDriver BiDi connection closed')));
    await this.send('session.new', { capabilities: {} });
    await this.send('session.subscribe', { events: ['log.entryAdded'] });
  }

  receive(message) {
    if (message.id !== undefined) {
      const call = this.waiting.get(message.id);
      this.waiting.delete(message.id);
      if (message.type === 'error') call?.reject(new Error(`${call.method}: ${message.error}: ${message.message}`));
      else call?.resolve(message.result);
    } else if (message.type === 'event') {
      const page = this.pages.get(message.params?.source?.context);
      page?.event(message.method, message.params);
    }
  }

  send(method, params = {}) {
    const id = this.nextId++;
    return new Promise((resolve, reject) => {
      this.waiting.set(id, { resolve, reject, method });
      this.socket.send(JSON.stringify({ id, method, params }));
    });
  }

  // A new tab in front (a tab behind draws no frames), as large as the window lets it be.
  async newPage() {
    const { context } = await this.send('browsingContext.create', { type: 'tab', background: false });
    const page = new Page(this, context);
    this.pages.set(context, page);
    return page;
  }

  async close() {
    await Promise.race([this.send('browser.close').catch(() => {}), this.exited, limit(5000)]);
    this.socket?.close();
    this.child.kill('SIGKILL');
    await this.exited;
    rmSync(this.profile, { recursive: true, force: true });
  }
}

// Preferences for a browser that no one set up: no first-run pages, no telemetry or
// updates, nothing fetched in the background.
const QUIET_PREFS = {
  'browser.shell.checkDefaultBrowser': false,
  'browser.aboutwelcome.enabled': false,
  'browser.startup.homepage_override.mstone': 'ignore',
  'browser.startup.page': 0,
  'datareporting.policy.dataSubmissionEnabled': false,
  'datareporting.healthreport.uploadEnabled': false,
  'toolkit.telemetry.enabled': false,
  'app.update.auto': false,
  'app.normandy.enabled': false,
  'extensions.update.enabled': false,
  'browser.safebrowsing.update.enabled': false,
};

export const firefox = {
  // A browser with a fresh profile of its own (QUIET_PREFS and `prefs` in its user.js), its
  // window at the display's top left corner at `window`'s size if given (on a display
  // without a window manager nothing else sizes it, not even going full screen), driven
  // over WebDriver BiDi on a port it picks and names on stderr.
  async launch({ executablePath, prefs = {}, window }) {
    const profile = mkdtempSync(join(tmpdir(), 'zoov-firefox-'));
    const lines = Object.entries({ ...QUIET_PREFS, ...prefs })
      .map(([k, v]) => `user_pref(${JSON.stringify(k)}, ${JSON.stringify(v)});\n`);
    writeFileSync(join(profile, 'user.js'), lines.join(''));
    if (window) {
      // Where the browser keeps its window's place between runs.
      const place = { screenX: '0', screenY: '0', width: String(window.width), height: String(window.height),
                      sizemode: 'normal' };
      writeFileSync(join(profile, 'xulstore.json'),
        JSON.stringify({ 'chrome://browser/content/browser.xhtml': { 'main-window': place } }));
    }
    const child = spawn(executablePath, ['--remote-debugging-port', '0', '--profile', profile, '--no-remote',
      'about:blank'], { stdio: ['ignore', 'ignore', 'pipe'] });
    const browser = new Browser(child, profile);
    let said = '';
    const url = await Promise.race([
      new Promise((resolve) => child.stderr.on('data', (chunk) => {
        said = (said + chunk.toString('utf8')).slice(-4000);
        const m = /WebDriver BiDi listening on (ws:\/\/\S+)/.exec(said);
        if (m) resolve(m[1]);
      })),
      browser.exited.then(() => null), limit(60000).then(() => null),
    ]);
    child.stderr.resume();
    if (url) {
      try {
        await browser.connect(url);
        return browser;
      } catch (e) {
        said += `\n${e.message}`;
      }
    }
    child.kill('SIGKILL');
    rmSync(profile, { recursive: true, force: true });
    throw new Error(`${executablePath} did not start with WebDriver BiDi:\n${said}`);
  },
};
