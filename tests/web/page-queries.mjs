// What both browser drivers' pages (cdp.mjs for Chromium, bidi.mjs for Firefox) ask of a
// page through its evaluate(): waiting for a condition, an element's visibility, text and
// centre. Only evaluate() and the input events differ between the two protocols.
export const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

export class PageQueries {
  async waitForFunction(fn, arg, { timeout = 30000, polling = 100 } = {}) {
    const deadline = Date.now() + timeout;
    for (;;) {
      const value = await this.evaluate(fn, arg);
      if (value) return value;
      if (Date.now() > deadline) throw new Error(`waited ${timeout} ms for ${fn}`);
      await sleep(polling);
    }
  }

  waitForTimeout(ms) { return sleep(ms); }

  isVisible(selector) {
    return this.evaluate((s) => {
      const e = document.querySelector(s);
      if (!e || e.getClientRects().length === 0) return false;
      return getComputedStyle(e).visibility !== 'hidden';
    }, selector);
  }

  textContent(selector) {
    return this.evaluate((s) => document.querySelector(s)?.textContent ?? null, selector);
  }

  // The middle of the element, in CSS pixels of the viewport.
  async centre(selector) {
    const box = await this.evaluate((s) => {
      const e = document.querySelector(s);
      if (!e) return null;
      const r = e.getBoundingClientRect();
      return { x: r.left + r.width / 2, y: r.top + r.height / 2 };
    }, selector);
    if (!box) throw new Error(`no element ${selector}`);
    return box;
  }
}
