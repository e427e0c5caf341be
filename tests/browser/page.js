// Loads one .glb with three.js's GLTFLoader, looks straight down the z axis at it with an
// orthographic camera fitted to its box, draws it once without antialiasing, and leaves in
// window.drawn the canvas pixels of the first and the last point and what three.js made of it:
// the line segments and start points it drew, and the attributes of each.
import * as THREE from 'three';
import { GLTFLoader } from 'three/addons/loaders/GLTFLoader.js';

const WIDTH = 640, HEIGHT = 360, MARGIN = 0.1;  // the margin: a share of the box's size

function cameraFor(box) {
  const centre = box.getCenter(new THREE.Vector3()), size = box.getSize(new THREE.Vector3());
  const halfHeight = Math.max(size.y, size.x * HEIGHT / WIDTH, 1e-6) * (0.5 + MARGIN);
  const halfWidth = halfHeight * WIDTH / HEIGHT;
  const camera = new THREE.OrthographicCamera(-halfWidth, halfWidth, halfHeight, -halfHeight, 0.1,
                                              size.z + 20);
  camera.position.set(centre.x, centre.y, box.max.z + 10);
  camera.lookAt(centre);
  camera.updateMatrixWorld();
  return camera;
}

// Where a vertex of `object` lands on the canvas, in pixels from the top left.
function canvasPixel(object, index, camera) {
  const at = new THREE.Vector3().fromBufferAttribute(object.geometry.attributes.position, index);
  at.applyMatrix4(object.matrixWorld).project(camera);
  return [(at.x + 1) / 2 * WIDTH, (1 - at.y) / 2 * HEIGHT];
}

// The WebGL implementation's own name where the browser tells it (SwiftShader, say).
function rendererName(gl) {
  const info = gl.getExtension('WEBGL_debug_renderer_info');
  return gl.getParameter(info ? info.UNMASKED_RENDERER_WEBGL : gl.RENDERER);
}

function draw(gltf) {
  const renderer = new THREE.WebGLRenderer({ antialias: false, preserveDrawingBuffer: true });
  renderer.setPixelRatio(1);
  renderer.setSize(WIDTH, HEIGHT);
  document.body.appendChild(renderer.domElement);
  const scene = new THREE.Scene();
  scene.background = new THREE.Color(0x000000);
  scene.add(gltf.scene);
  scene.updateMatrixWorld(true);
  const camera = cameraFor(new THREE.Box3().setFromObject(gltf.scene));
  renderer.render(scene, camera);

  let lines = null;
  gltf.scene.traverse((object) => { if (!lines && object.isLineSegments) lines = object; });
  if (!lines) return { error: 'three.js made no line segments of the file' };
  let dots = null;
  gltf.scene.traverse((object) => { if (!dots && object.isPoints) dots = object; });
  const attributes = lines.geometry.attributes, count = attributes.position.count;
  const ends = (name) => attributes[name] ? [attributes[name].getX(0), attributes[name].getX(count - 1)] : null;
  const drawnCount = (object) => (object.geometry.index || object.geometry.attributes.position).count;
  return {
    segments: drawnCount(lines) / 2, startPoints: dots ? drawnCount(dots) : 0,
    startPointAttributes: dots ? Object.keys(dots.geometry.attributes).sort() : [],
    width: WIDTH, height: HEIGHT,
    head: canvasPixel(lines, 0, camera), tail: canvasPixel(lines, count - 1, camera),
    material: lines.material.type, vertexColors: lines.material.vertexColors,
    attributes: Object.keys(attributes).sort(), chainEnds: ends('_chain'), placeEnds: ends('_u'),
    frameEnds: ends('_frame'), uvEnds: ends('uv'),
    renderer: rendererName(renderer.getContext()),
  };
}

const glb = new URLSearchParams(location.search).get('glb');
new GLTFLoader().load(glb, (gltf) => {
  try {
    window.drawn = draw(gltf);
  } catch (error) {
    window.drawn = { error: String(error) };
  }
}, undefined, (error) => { window.drawn = { error: `cannot load ${glb}: ${error}` }; });
