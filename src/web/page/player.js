// The audio thread's end of the sound: plays, in order, the blocks of music that the page
// mixed with the show's engine, and tells the page at which context time each unbroken
// stretch of output begins and how many frames came before it (the music clock's anchor),
// and where a stretch ends because the page's blocks ran out (a main thread too busy to mix
// in time). Only a stretch's start is an anchor: the context time it gives is when the
// frame is rendered, which the loudspeaker reaches an output latency later, and the page's
// clock holds at the anchor until then.
'use strict';

class ZoovPlayer extends AudioWorkletProcessor {
  constructor() {
    super();
    this.blocks = [];        // { samples: interleaved stereo, frames }
    this.offset = 0;         // frames of blocks[0] already played
    this.played = 0;         // frames of music played in all
    this.silent = true;      // the last quantum ended in silence (or nothing played yet)
    this.stopped = false;
    this.sinceReport = 0;
    this.port.onmessage = (e) => {
      if (e.data === 'stop') this.stopped = true;
      else this.blocks.push(e.data);
    };
  }

  process(inputs, outputs) {
    if (this.stopped) return false;
    const left = outputs[0][0], right = outputs[0][1];
    const n = left.length;
    let done = 0;
    while (done < n && this.blocks.length > 0) {
      const b = this.blocks[0];
      const k = Math.min(n - done, b.frames - this.offset);
      if (this.silent) {
        this.port.postMessage({ time: currentTime + done / sampleRate, played: this.played });
        this.silent = false;
      }
      for (let i = 0; i < k; i++) {
        left[done + i] = b.samples[2 * (this.offset + i)];
        right[done + i] = b.samples[2 * (this.offset + i) + 1];
      }
      done += k;
      this.offset += k;
      this.played += k;
      if (this.offset === b.frames) {
        this.blocks.shift();
        this.offset = 0;
      }
    }
    if (done < n) {
      // Nothing left to play: silence, and the music clock stands still until more comes.
      left.fill(0, done);
      right.fill(0, done);
      if (!this.silent) {
        this.port.postMessage({ dry: true, time: currentTime + done / sampleRate, played: this.played });
      }
      this.silent = true;
    }
    this.sinceReport += n;
    if (this.sinceReport >= sampleRate / 20) {
      this.sinceReport = 0;
      this.port.postMessage({ played: this.played });
    }
    return true;
  }
}

registerProcessor('zoov-player', ZoovPlayer);
