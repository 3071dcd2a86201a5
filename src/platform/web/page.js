// The page around the show: it asks for the gesture that browsers want
// before they play sound, starts the show with it, keeps the picture as
// large as the window allows, switches to full screen, and says when the
// show has ended or could not start.
'use strict';

const picture = {width: 1024, height: 768};
const canvas = document.getElementById('canvas');
const ask = document.getElementById('ask');
const message = document.getElementById('message');
const ended = document.getElementById('ended');

// What the tests and the benchmark read: the show's refreshes so far (the
// canvas holds the picture of the last one whenever the page runs), the
// milliseconds the show was awake, and the sound buffers it queued.
const page = {progress: {refreshes: 0, awakeMs: 0, soundBuffers: 0}, show: null, ended: false};
window.starloom = page;

// As on the desktop: the whole picture, aspect kept, centred on black; a
// whole multiple where the window holds at least twice the picture each way,
// so its pixels stay sharp.
function fit() {
  const ratio = window.devicePixelRatio || 1;
  const w = window.innerWidth * ratio, h = window.innerHeight * ratio;
  const sharp = w >= 2 * picture.width && h >= 2 * picture.height;
  const scale = sharp ? Math.min(Math.floor(w / picture.width), Math.floor(h / picture.height))
                      : Math.min(w / picture.width, h / picture.height);
  canvas.style.width = picture.width * scale / ratio + 'px';
  canvas.style.height = picture.height * scale / ratio + 'px';
  canvas.style.imageRendering = sharp ? 'pixelated' : 'auto';
}

function switchFullScreen() {
  if (document.fullscreenElement)
    document.exitFullscreen().catch(() => {});
  else
    document.documentElement.requestFullscreen().catch(() => {});
}

function isScreenKey(event) {
  return event.key === 'F11' || (event.key === 'Enter' && event.altKey);
}

// Ahead of the show's own keys: F11 (and Alt+Enter, as on the desktop) is
// the page's, and the browser's own full screen of its window is not wanted.
function takeScreenKey(event) {
  if (!isScreenKey(event))
    return;
  event.preventDefault();
  event.stopImmediatePropagation();
  if (event.type === 'keydown' && !event.repeat)
    switchFullScreen();
}

function newShow() {
  return createShow({
    canvas,
    print: text => console.log(text),
    printErr: text => console.error(text),
    showProgress: (refreshes, awakeMs, soundBuffers) =>
      Object.assign(page.progress, {refreshes, awakeMs, soundBuffers}),
    showMessage: text => {
      message.textContent += text;
      message.hidden = false;
      canvas.hidden = true;
    },
    onExit: () => {
      page.ended = true;
      ended.hidden = !message.hidden;
      canvas.hidden = true;
    },
  });
}

let loading = newShow();

function play() {
  page.ended = false;
  ended.hidden = true;
  ask.hidden = true;
  canvas.hidden = false;
  loading.then(show => {
    page.show = show;
    show.callMain([]);
  });
}

function startOnce(event) {
  if (isScreenKey(event))
    return;
  window.removeEventListener('click', startOnce);
  window.removeEventListener('keydown', startOnce);
  play();
}

window.addEventListener('keydown', takeScreenKey, true);
window.addEventListener('keyup', takeScreenKey, true);
window.addEventListener('dblclick', switchFullScreen);
window.addEventListener('resize', fit);
document.addEventListener('fullscreenchange', fit);
window.addEventListener('click', startOnce);
window.addEventListener('keydown', startOnce);
document.getElementById('again').addEventListener('click', event => {
  event.stopPropagation();
  Object.assign(page.progress, {refreshes: 0, awakeMs: 0, soundBuffers: 0});
  loading = newShow();
  play();
});
fit();
