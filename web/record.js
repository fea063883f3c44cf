// Recording a flight as the viewer plays it, and saving a picture of the view.
'use strict';

// Record: the viewer plays the flight while the browser records the canvas; when it has played,
// the video is offered to save.
let recorder = null;
let recorderSawPlaying = false;

function record() {
  if (recorder) return;
  if (window.kelvane.state !== 'running') {
    say('Record: no map is open', false);
    return;
  }
  if (!window.kelvane.flight.length) {
    say('Record: there is no flight yet; Enter adds the view as a keyframe', false);
    return;
  }
  const type = ['video/webm;codecs=vp9', 'video/webm'].find((t) => MediaRecorder.isTypeSupported(t));
  if (!type) {
    say('Record: this browser cannot record a WebM video', true);
    return;
  }
  const chunks = [];
  recorder = new MediaRecorder(canvas.captureStream(30), {mimeType: type});
  recorderSawPlaying = false;
  recorder.ondataavailable = (e) => { if (e.data.size) chunks.push(e.data); };
  recorder.onstop = () => {
    const video = new Blob(chunks, {type: 'video/webm'});
    window.kelvane.recording = {type: video.type, size: video.size};
    const link = document.createElement('a');
    link.href = URL.createObjectURL(video);
    link.download = 'flight.webm';
    link.textContent = `Save the recorded flight (flight.webm, ${Math.ceil(video.size / 1024)} kB)`;
    const line = document.createElement('div');
    line.appendChild(link);
    messages.appendChild(line);
    recorder = null;
  };
  recorder.start();
  askViewer('play', 0);
}

function stopRecording() {
  if (recorder && recorder.state !== 'inactive') recorder.stop();
}

// Ends the recording once the flight has played (or stopped).
function followPlaying(playing) {
  window.kelvane.playing = playing;
  if (!recorder) return;
  if (playing) recorderSawPlaying = true;
  else if (recorderSawPlaying) stopRecording();
}

document.getElementById('record').addEventListener('click', record);

// Hands `bytes` to the browser as a download named `name`; the link's address, for the tests.
function download(bytes, name, type) {
  const blob = new Blob([bytes], {type});
  const link = document.createElement('a');
  link.href = URL.createObjectURL(blob);
  link.download = name;
  link.click();
  return {name, size: blob.size, url: link.href};
}

// Save picture: the viewer draws the view again without its panels and hands over a PNG, which
// the browser downloads under the map's name and a number.
function downloadPicture({bytes, name}) {
  window.kelvane.picture = download(bytes, name, 'image/png');
}

// Save map (Ctrl+S on the canvas): the opened file with the edited values put in, downloaded
// under its name.
function downloadMap({bytes, name}) {
  window.kelvane.savedMap = download(bytes, name, 'application/octet-stream');
}

document.getElementById('save').addEventListener('click', () => {
  if (window.kelvane.state !== 'running') say('Save map: no map is open', false);
  else askViewer('saveMap', 0);
});

document.getElementById('picture').addEventListener('click', () => {
  if (window.kelvane.state !== 'running') say('Save picture: no map is open', false);
  else askViewer('picture', 0);
});
