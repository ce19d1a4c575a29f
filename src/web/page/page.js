// The page around the show: puts the assets into the program's file system, shows the
// start screen, runs the frames on requestAnimationFrame and the sound through Web Audio
// (mixed by the show's own engine), and ends the show on a key release, as the desktop
// program ends. Where no sound can play, the show runs on the page's own clock. Whatever
// goes wrong is said on the page and in the console. window.zoovShow tells tests and
// benchmarks where the page stands.
'use strict';

(function () {
  const ASSETS = ['floor.vs', 'floor.fs', 'lines.vs', 'lines.fs', 'compose.vs', 'compose.fs',
                  'blur.vs', 'blur.fs', 'sprites.vs', 'sprites.fs', 'zoov2020.ogg'];
  const RATE = 44100;          // the engine's mix rate; the context runs at it too
  const BLOCK = 4096;          // frames mixed at a time: about 93 ms
  const LOOP_POINT = 80;       // where the show's music goes on after its end
  // How long the sound may take to start before the show goes on without it: the context
  // to run (from the click), the player to load (from the click: a slow network or machine
  // may take a while, and the show waits at music time 0 meanwhile), and its first sound
  // (from when it is connected).
  const CONTEXT_WAIT_MS = 3000, PLAYER_WAIT_MS = 30000, SOUND_WAIT_MS = 10000;
  const params = new URLSearchParams(location.search);
  // Test hook: the music starts this many seconds in (to see the loop without waiting).
  const startAt = Math.max(0, parseFloat(params.get('from')) || 0);
  // Test hook: the figures' tick follows the music heard, starting at this many ms, so the
  // figure that shares a frame with the texts is fixed instead of depending on how long the
  // first sound took to come (the figures alternate every four seconds of tick time).
  const pinnedTick = params.has('phase') ? Math.max(0, parseInt(params.get('phase'), 10) || 0) : null;

  const status = window.zoovShow = {
    state: 'loading',          // loading, ready, playing, ended, failed
    frames: 0, tick: 0, musicTime: 0, reports: 0, notices: 0,
    silent: false,             // no sound could play: the show runs on the page's clock
    dropouts: [],              // { from, to }: context times where the player ran dry
    readyAt: null, startedAt: null, firstFrameAt: null,
    audio: null,               // the AudioContext while the show plays
    heardTime: () => heardTime(),
    // Test hook: the picture at `seconds` of music, as a PNG data URL, drawn as soon as the
    // show passes that time (a screenshot from outside lands on whichever frame a slow
    // renderer happens to show), with its music time, its tick, when the show was there
    // (performance.now()) and how late the frame that passed it came (seconds).
    grabAt: (seconds) => new Promise((resolve) => grabs.push({ seconds, resolve })),
  };
  let grabs = [];

  const el = (id) => document.getElementById(id);
  const canvas = el('canvas');

  function showScreen(id) {
    for (const s of ['loading', 'start', 'end']) el(s).hidden = s !== id;
  }

  // ---- reports: what the desktop shows in message boxes or writes to stderr ------------
  const seen = new Map();
  function listOnPage(caption, text) {
    const key = caption + '\n' + text;
    let entry = seen.get(key);
    if (!entry) {
      entry = { count: 0, li: document.createElement('li') };
      seen.set(key, entry);
      el('reports').appendChild(entry.li);
      el('reports').hidden = false;
    }
    // A report repeated every frame stays one line with a count.
    entry.count++;
    entry.li.innerHTML = '';
    const b = document.createElement('b');
    b.textContent = caption;
    entry.li.append(b, ' ' + text + (entry.count > 1 ? ' (\u00d7' + entry.count + ')' : ''));
  }

  window.zoovReport = function (caption, text) {
    status.reports++;
    console.error('zoov2020: ' + caption + ': ' + text);
    listOnPage(caption, text);
  };

  // What the desktop says on stderr: a file that did not come, a show without sound.
  function notice(text) {
    status.notices++;
    console.warn('zoov2020: ' + text);
    listOnPage('Note:', text);
  }

  window.zoovFailed = function (text) {
    console.error('zoov2020: ' + text);
    status.state = 'failed';
    el('end-text').textContent = text;
    showScreen('end');
  };

  window.zoovReady = function () {
    if (startAt > 0) Module._zoov_skip(startAt);
    status.state = 'ready';
    status.readyAt = performance.now();
    showScreen('start');
  };

  // ---- canvas size: the whole page, in device pixels -----------------------------------
  function fitCanvas() {
    const dpr = window.devicePixelRatio || 1;
    const w = Math.max(1, Math.round(canvas.clientWidth * dpr));
    const h = Math.max(1, Math.round(canvas.clientHeight * dpr));
    if (canvas.width === w && canvas.height === h) return false;
    canvas.width = w;
    canvas.height = h;
    return true;
  }
  fitCanvas();
  window.addEventListener('resize', () => {
    if (fitCanvas() && status.state !== 'loading') Module._zoov_resize(canvas.width, canvas.height);
  });

  // ---- sound: the engine mixes here, ahead of time; the player (player.js) plays ------
  // The page's main thread stalls for a whole frame, and a software renderer takes most of
  // a second for one, so the player keeps three seconds of music queued. Frames are counted
  // from the first one sent: `blocks` says which music each frame carries, and the player's
  // anchor says at which context time frame `played` began to sound.
  const AHEAD = 3 * RATE;
  let audio = null, player = null, mixPtr = 0, musicLength = 0, topUpTimer = 0;
  let sent = 0, played = 0, anchor = null, blocks = [], contextStart = 0;
  // Where the player may have run dry (its blocks ran out): the clock goes no further until
  // an anchor at or past it says where the music went on.
  let held = null;

  function topUp() {
    if (!player || status.state !== 'playing') return;
    // The player's count arrives late while the page is busy; the context clock does not.
    const playing = Math.max(played, Math.floor((audio.currentTime - contextStart) * RATE));
    while (sent - playing < AHEAD) {
      const position = Module._zoov_music_position();
      let n = BLOCK;
      // A block ends where the music loops, so that within a block the music runs straight.
      const toEnd = Math.round((musicLength - position) * RATE);
      if (toEnd > 0 && toEnd < n) n = toEnd;
      Module._zoov_mix(n);
      const samples = Module.HEAPF32.slice(mixPtr >> 2, (mixPtr >> 2) + 2 * n);
      player.port.postMessage({ samples, frames: n }, [samples.buffer]);
      blocks.push({ start: sent, position, frames: n });
      sent += n;
    }
    // Blocks wholly before what is heard are done with (one is kept before it, in case).
    const heard = heardFrame();
    while (blocks.length > 2 && heard !== null && blocks[1].start + blocks[1].frames < heard) blocks.shift();
  }

  function fromPlayer(e) {
    const d = e.data;
    played = d.played;
    if (d.dry) {
      held = d.played;
      status.dropouts.push({ from: d.time, to: null });
    } else if (d.time !== undefined) {
      anchor = { time: d.time, played: d.played };
      if (held !== null && d.played >= held) held = null;
      const last = status.dropouts[status.dropouts.length - 1];
      if (last && last.to === null) last.to = d.time;
    }
  }

  // The context time that the loudspeaker is playing now: never past what the audio thread
  // has rendered, which stands still while a busy machine starves that thread, however far
  // the output timestamp's last reading is carried forward by the page's clock.
  function outputTime() {
    if (audio.getOutputTimestamp) {
      const ts = audio.getOutputTimestamp();
      if (ts.performanceTime > 0) {
        return Math.min(audio.currentTime, ts.contextTime + (performance.now() - ts.performanceTime) / 1000);
      }
    }
    return audio.currentTime - (audio.outputLatency || audio.baseLatency || 0);
  }

  // The frame of the music sounding now, counted from the first one sent, never past the
  // last one sent nor where the player may have run dry (it falls silent there); null
  // before the first sound.
  function heardFrame() {
    if (!anchor) return null;
    const elapsed = Math.max(0, Math.round((outputTime() - anchor.time) * RATE));
    return Math.min(anchor.played + elapsed, (held === null ? sent : held) - 1);
  }

  // The music time of `frame` (heardFrame()); 0 without music, as on the desktop.
  function musicAt(frame) {
    if (musicLength === 0) return 0;
    if (status.silent) return ownMusicTime();
    if (frame === null) return startAt;
    let b = blocks[0];
    for (const block of blocks) if (block.start <= frame) b = block;
    return b.position + (frame - b.start) / RATE;
  }

  // The music time of what the listener hears now.
  function heardTime() { return musicAt(heardFrame()); }

  // Seconds of show at `frame` since the music began, or on the page's clock without sound.
  function showSeconds(frame) {
    if (status.silent) return (performance.now() - startTime) / 1000;
    return frame === null ? 0 : frame / RATE;
  }

  // Without sound: the music time that real time since the click gives, looping from the
  // end to the loop point as the engine does.
  function ownMusicTime() {
    let t = startAt + (performance.now() - startTime) / 1000;
    const loop = LOOP_POINT < musicLength ? LOOP_POINT : 0;
    if (t >= musicLength) t = loop + ((t - musicLength) % (musicLength - loop));
    return t;
  }

  // No sound will come (no context, one that never runs, a player that never plays): the
  // page says so once, and the show goes on on its own clock.
  function goSilent(why) {
    if (status.silent || status.state !== 'playing') return;
    status.silent = true;
    clearInterval(topUpTimer);
    clearTimeout(soundWatch);
    if (player) player.disconnect();
    player = null;
    if (audio) audio.close().catch(() => {});
    notice('no sound (' + why + '): the show plays without it, on the page\'s clock');
  }

  let soundWatch = 0, playerAt = null;
  function watchSound(since) {
    soundWatch = setTimeout(() => {
      if (status.state !== 'playing' || status.silent) return;
      const now = performance.now();
      if (!audio || audio.state !== 'running' || audio.currentTime === 0) {
        if (now - since >= CONTEXT_WAIT_MS) return goSilent('the audio output did not start');
      } else if (playerAt === null) {
        if (now - since >= PLAYER_WAIT_MS) return goSilent('the audio player did not load');
      } else if (!anchor && now - playerAt >= SOUND_WAIT_MS) {
        return goSilent('the audio player did not start');
      }
      if (!anchor) watchSound(since);
    }, 250);
  }

  async function startSound() {
    const Context = window.AudioContext || window.webkitAudioContext;
    if (!Context) throw new Error('this browser has no Web Audio');
    audio = status.audio = new Context({ sampleRate: RATE, latencyHint: 'playback' });
    mixPtr = Module._zoov_mix_buffer();
    await audio.audioWorklet.addModule('player.js');
    if (status.state !== 'playing' || status.silent) return;
    player = new AudioWorkletNode(audio, 'zoov-player', { numberOfInputs: 0, outputChannelCount: [2] });
    player.port.onmessage = fromPlayer;
    player.connect(audio.destination);
    contextStart = audio.currentTime;
    playerAt = performance.now();
    topUp();
    topUpTimer = setInterval(topUp, 100);
  }

  // ---- the show ------------------------------------------------------------------------
  let raf = 0, startTime = 0;

  function frame() {
    if (status.state !== 'playing') return;
    raf = requestAnimationFrame(frame);
    const at = performance.now();
    // One reading of the music clock for the whole frame: the tick pinned to it and the
    // music time are of the same instant (mixing more, below, moves where it may run to).
    const heard = heardFrame();
    const tick = (pinnedTick === null ? Math.floor(at - startTime)
                                      : pinnedTick + Math.floor(showSeconds(heard) * 1000)) | 0;
    const music = musicAt(heard);
    topUp();
    try {
      Module._zoov_frame(tick, music);
    } catch (e) {
      stop('The show stopped: ' + e);
      return;
    }
    status.frames++;
    status.tick = tick;
    status.musicTime = music;
    if (status.firstFrameAt === null) status.firstFrameAt = performance.now();
    // The picture at exactly the music time asked for, however late this frame came: the
    // show draws from absolute times, so that instant is drawn again now, with the tick it
    // had. Twice, since the glow is drawn from the previous frame's scene. (The sprites then
    // step through that stretch again: a grab is for tests.)
    for (const g of grabs.filter((g) => music >= g.seconds)) {
      const then = (tick - Math.round((music - g.seconds) * 1000)) | 0;
      Module._zoov_frame(then, g.seconds);
      Module._zoov_frame(then, g.seconds);
      g.resolve({ png: canvas.toDataURL('image/png'), musicTime: g.seconds, tick: then,
                  at: at - (music - g.seconds) * 1000, late: music - g.seconds });
    }
    grabs = grabs.filter((g) => music < g.seconds);
  }

  function start() {
    if (status.state !== 'ready') return;
    fullScreenSeen = false;
    const root = document.documentElement;
    // Full screen is a wish: where it is refused the show fills the page.
    if (root.requestFullscreen) root.requestFullscreen().catch(() => {});
    status.state = 'playing';
    status.startedAt = startTime = performance.now();
    musicLength = Module._zoov_music_length();
    showScreen(null);
    watchSound(startTime);
    startSound().catch((e) => goSilent(String(e.message || e)));
    raf = requestAnimationFrame(frame);
  }

  function stop(text) {
    status.state = 'ended';
    cancelAnimationFrame(raf);
    clearInterval(topUpTimer);
    clearTimeout(soundWatch);
    if (player) {
      player.port.postMessage('stop');
      player.disconnect();
    }
    if (audio && audio.state !== 'closed') audio.close().catch(() => {});
    Module._zoov_stop();
    if (document.fullscreenElement) document.exitFullscreen().catch(() => {});
    el('end-text').textContent = text;
    showScreen('end');
  }

  // A context the browser takes away (a GPU reset, too many pages) draws nothing more.
  canvas.addEventListener('webglcontextlost', () => {
    if (status.state !== 'playing') return;
    console.error('zoov2020: the browser took the WebGL context away');
    stop('The show stopped: the browser took its WebGL context away.');
  });

  // ---- ending: a key release, or on a touch screen without keys: leaving full screen, the
  // page going out of sight (another tab, the phone locked) or a double tap ----------------
  function end() {
    if (status.state === 'playing') stop('The show has ended.');
  }
  el('start').addEventListener('click', start);
  window.addEventListener('keyup', end);
  let fullScreenSeen = false;
  for (const change of ['fullscreenchange', 'webkitfullscreenchange']) {
    document.addEventListener(change, () => {
      const inFullScreen = !!(document.fullscreenElement || document.webkitFullscreenElement);
      if (inFullScreen) fullScreenSeen = true;
      else if (fullScreenSeen) end();
    });
  }
  document.addEventListener('visibilitychange', () => {
    if (document.visibilityState === 'hidden') end();
  });
  let lastTap = null;
  window.addEventListener('pointerup', (e) => {
    if (e.pointerType !== 'touch' || status.state !== 'playing') return;
    const near = lastTap && e.timeStamp - lastTap.at < 400 &&
                 Math.hypot(e.clientX - lastTap.x, e.clientY - lastTap.y) < 40;
    lastTap = near ? null : { at: e.timeStamp, x: e.clientX, y: e.clientY };
    if (near) end();
  });

  // The words for the screen in hand: taps where the main pointer is a finger.
  const touch = window.matchMedia ? matchMedia('(pointer: coarse)').matches : 'ontouchstart' in window;
  if (touch) {
    el('start-button').textContent = 'Tap to start';
    el('start-hint').textContent = 'With sound, full screen. Double-tap or leave full screen to end the show.';
  }
  el('again').addEventListener('click', () => location.reload());

  // ---- the program: assets first, then main() sets up the scene -------------------------
  window.Module = {
    canvas: canvas,
    print: (text) => console.log(text),
    // The program's stderr (a music file it cannot load) is where the desktop viewer looks.
    printErr: (text) => notice(text),
    // The program itself did not download or cannot run here.
    onAbort: (what) => {
      if (status.state === 'loading') window.zoovFailed('The show could not start: ' + what);
    },
    preRun: [function () {
      Module.FS.mkdir('/assets');
      for (const name of ASSETS) {
        Module.addRunDependency(name);
        // A download that hangs counts as failed, so the page never waits forever.
        const signal = AbortSignal.timeout ? AbortSignal.timeout(60000) : undefined;
        fetch('assets/' + name, { signal })
          .then((r) => (r.ok ? r.arrayBuffer() : Promise.reject(new Error(r.status + ' ' + r.statusText))))
          .then((data) => Module.FS.writeFile('/assets/' + name, new Uint8Array(data)))
          .catch((e) => notice('assets/' + name + ' could not be downloaded (' + e.message + ')'))
          .finally(() => Module.removeRunDependency(name));
      }
    }],
    // main() ends with zoovReady(); set-up that exits on its own never gets there.
    postRun: [function () {
      if (status.state === 'loading') window.zoovFailed('The show stopped while setting up.');
    }],
  };
})();
