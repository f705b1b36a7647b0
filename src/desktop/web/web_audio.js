// The sounds of the module's runtime (web_runtime.js): the program's PCM played through WebAudio, once the page
// has had a user gesture (a browser plays nothing before one).
/* exported moxAudio */
function moxAudio() {
  'use strict';
  const sounds = new Map();
  let soundsPlayed = 0;
  let audio = null;

  function unlockAudio() {
    try {
      if (!audio) audio = new (window.AudioContext || window.webkitAudioContext)();
      if (audio.state !== 'running') audio.resume();
    } catch (e) {
      audio = null;
    }
  }
  window.addEventListener('pointerdown', unlockAudio, true);
  window.addEventListener('keydown', unlockAudio, true);

  return {
    play: function (role, channels, rate, bits, where, size) {
      if (!audio || audio.state !== 'running') return;
      ++soundsPlayed;
      let buffer = sounds.get(role);
      if (!buffer) {
        const bytesPerSample = bits / 8;
        const frames = Math.floor(size / (bytesPerSample * channels));
        if (frames <= 0) return;
        buffer = audio.createBuffer(channels, frames, rate);
        const view = new DataView(HEAPU8.buffer, where, size);
        for (let ch = 0; ch < channels; ++ch) {
          const out = buffer.getChannelData(ch);
          for (let i = 0; i < frames; ++i) {
            const at = (i * channels + ch) * bytesPerSample;
            out[i] = bits === 16 ? view.getInt16(at, true) / 32768 : (view.getUint8(at) - 128) / 128;
          }
        }
        sounds.set(role, buffer);
      }
      const source = audio.createBufferSource();
      source.buffer = buffer;
      source.connect(audio.destination);
      source.start();
    },
    state: function () { return audio ? audio.state : 'none'; },
    played: function () { return soundsPlayed; },
  };
}
