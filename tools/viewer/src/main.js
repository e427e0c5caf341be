// The preview page's script: reads the scene from the page's data blocks, shows its caption,
// draws its chains and start dots in a view the user can turn, and publishes a small read-only
// window.dustweaveView for checks: where a scene point shows, frames drawn, and when (ms after
// the page was opened) this script started, the scene was read, the view built and the first
// frame drawn.
import { ColorManagement } from 'three';
import { readScene } from './scene_data.js';
import { chainLines, startDots } from './chains.js';
import { View } from './view.js';
import { AxesCorner } from './axes.js';
import { showCaption, showMessage } from './overlay.js';
import { listenForReturn, listenToKeys } from './input.js';

// Every colour in the page is an sRGB one and goes to the screen as it is.
ColorManagement.enabled = false;

const byId = (id) => document.getElementById(id);
const CAPTION_GAP = 8;  // pixels between the caption and the scene at the start

const times = { started: performance.now() };

function publish(state, view) {
  window.dustweaveView = Object.freeze({
    state,
    project: (point) => (view ? view.project(point) : null),
    get frames() { return view ? view.frames : 0; },
    get firstFrame() { return view ? view.firstFrame : null; },
    started: times.started,
    read: times.read ?? null,
    built: times.built ?? null,
  });
}

function fail(what, error) {
  showMessage(byId('message'), `${what}: ${error.message}`);
  console.error(`dustweave preview: ${what}:`, error);
  publish('error', null);
}

function buildView(scene) {
  const caption = byId('caption');
  const view = new View(scene.up, scene.bounds, [scene.positions, scene.starts],
                        () => caption.getBoundingClientRect().bottom + CAPTION_GAP);
  document.body.prepend(view.canvas);
  if (scene.places.length > 0) view.add(chainLines(scene));
  if (scene.starts.length > 0) view.add(startDots(scene));
  view.addOverlay(new AxesCorner(byId('axes'), view.up));
  window.addEventListener('resize', () => view.fitWindow());
  listenToKeys(view);
  listenForReturn(view);
  return view;
}

function start() {
  let scene;
  try {
    scene = readScene();
    times.read = performance.now();
  } catch (error) {
    fail('this page\'s scene cannot be read', error);
    return;
  }
  showCaption(byId('caption'), scene.caption, scene.ramp);
  let view;
  try {
    view = buildView(scene);
    times.built = performance.now();
  } catch (error) {
    fail('this browser cannot draw the scene', error);
    return;
  }
  const empty = scene.places.length === 0 && scene.starts.length === 0;
  if (empty) showMessage(byId('message'), 'nothing to show');
  publish(empty ? 'empty' : 'drawn', view);
}

start();
