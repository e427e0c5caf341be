// The 3D view: renderer, camera and orbit controls over the scene, drawn only when something
// changed; the starting view to come back to, framed in the part of the window below the
// caption (the camera's centre moved down to that part's middle, so the scene never starts
// under the caption); turning, panning and zooming by steps for the keys; clipping planes kept
// close around the scene's box at every distance.
import { PerspectiveCamera, Scene, Vector3, WebGLRenderer, LinearSRGBColorSpace } from 'three';
import { OrbitControls } from 'three/examples/jsm/controls/OrbitControls.js';
import { frameBox, startingView, upVector } from './framing.js';

const FOV = 35;  // degrees, vertical
const POLE_GAP = 0.01;  // radians kept between the view direction and the up axis
const MOST_COVERED = 0.5;  // of the window's height left to the caption at most

export class View {
  // `pointArrays`: the x, y, z arrays drawn, which the starting view fits; `covered()`: how far
  // down from the window's top the caption reaches, in CSS pixels.
  constructor(up, bounds, pointArrays = [], covered = () => 0) {
    this.up = upVector(up);
    this.box = frameBox(bounds);
    this.pointArrays = pointArrays;
    this.covered = covered;
    this.heightShare = 1;   // of the camera's whole view left below the caption
    this.visibleShare = 1;  // of the camera's whole view the window shows
    this.centre = this.box.min.clone().add(this.box.max).multiplyScalar(0.5);
    this.radius = this.box.min.distanceTo(this.box.max) / 2;
    this.overlays = [];
    this.frames = 0;
    this.firstFrame = null;
    this.pending = false;
    this.renderer = new WebGLRenderer({ antialias: true, alpha: true });
    this.renderer.outputColorSpace = LinearSRGBColorSpace;  // colours are given in sRGB already
    this.renderer.setClearColor(0x000000, 0);
    this.scene = new Scene();
    this.camera = new PerspectiveCamera(FOV, 1, 1, 2);
    this.camera.up.copy(this.up);
    this.controls = this.makeControls();
    this.fitWindow();
    this.showStart();
  }

  get canvas() {
    return this.renderer.domElement;
  }

  makeControls() {
    const controls = new OrbitControls(this.camera, this.canvas);
    controls.zoomToCursor = true;
    controls.minDistance = this.radius * 1e-3;
    controls.maxDistance = this.radius * 100;
    controls.addEventListener('change', () => this.requestDraw());
    return controls;
  }

  add(object) {
    this.scene.add(object);
  }

  // Something drawn over the scene after it, each frame: draw(renderer, camera).
  addOverlay(overlay) {
    this.overlays.push(overlay);
  }

  // The camera's view is the window with `top` more pixels below it, of which the window shows
  // the upper part: the view's centre lies in the middle of the part below the caption.
  fitWindow() {
    const width = window.innerWidth, height = Math.max(window.innerHeight, 1);
    const top = Math.min(Math.max(this.covered(), 0), MOST_COVERED * height);
    this.renderer.setPixelRatio(window.devicePixelRatio || 1);
    this.renderer.setSize(width, height);
    this.camera.aspect = width / (height + top);
    this.camera.setViewOffset(width, height + top, 0, 0, width, height);
    this.heightShare = (height - top) / (height + top);
    this.visibleShare = height / (height + top);
    this.requestDraw();
  }

  showStart() {
    const start = startingView(this.box, this.up, FOV, this.camera.aspect, this.pointArrays, this.heightShare);
    this.camera.position.copy(start.position);
    this.camera.zoom = 1;
    this.controls.target.copy(start.target);
    this.controls.update();
    this.requestDraw();
  }

  requestDraw() {
    if (this.pending) return;
    this.pending = true;
    requestAnimationFrame(() => this.draw());
  }

  draw() {
    this.pending = false;
    this.clipAroundBox();
    this.renderer.render(this.scene, this.camera);
    for (const overlay of this.overlays) overlay.draw(this.renderer, this.camera);
    if (this.frames++ === 0) this.firstFrame = performance.now();
  }

  // Near and far planes hugging the sphere around the box, so depth keeps its precision.
  clipAroundBox() {
    const distance = this.camera.position.distanceTo(this.centre);
    const reach = this.radius * 1.01;
    this.camera.near = Math.max(distance - reach, distance * 1e-3, reach * 1e-5);
    this.camera.far = distance + reach;
    this.camera.updateProjectionMatrix();
  }

  // Turns the camera about the target: `left` radians about the up axis, `down` radians
  // towards looking straight down (negative: towards looking up).
  turn(left, down) {
    const offset = this.camera.position.clone().sub(this.controls.target);
    offset.applyAxisAngle(this.up, left);
    const polar = offset.angleTo(this.up);
    const wanted = Math.min(Math.max(polar - down, POLE_GAP), Math.PI - POLE_GAP);
    const axis = new Vector3().crossVectors(this.up, offset);
    if (axis.lengthSq() > 0) offset.applyAxisAngle(axis.normalize(), wanted - polar);
    this.camera.position.copy(this.controls.target).add(offset);
    this.controls.update();
  }

  // Moves camera and target across the view by the given shares of its height.
  pan(right, up) {
    const distance = this.camera.position.distanceTo(this.controls.target);
    this.camera.updateMatrix();
    const height = 2 * distance * Math.tan((FOV * Math.PI) / 360) * this.visibleShare;
    const across = new Vector3().setFromMatrixColumn(this.camera.matrix, 0).multiplyScalar(right * height);
    const upward = new Vector3().setFromMatrixColumn(this.camera.matrix, 1).multiplyScalar(up * height);
    const move = across.add(upward);
    this.camera.position.add(move);
    this.controls.target.add(move);
    this.controls.update();
  }

  // Brings the camera closer to the target by `factor` (below 1: farther away).
  zoom(factor) {
    const offset = this.camera.position.clone().sub(this.controls.target);
    const length = Math.min(Math.max(offset.length() / factor, this.controls.minDistance), this.controls.maxDistance);
    this.camera.position.copy(this.controls.target).addScaledVector(offset.normalize(), length);
    this.controls.update();
  }

  // Where a scene point shows, in CSS pixels from the window's top left corner.
  project(point) {
    this.camera.updateMatrixWorld();
    const ndc = new Vector3().fromArray(point).project(this.camera);
    const rect = this.canvas.getBoundingClientRect();
    return [rect.left + ((ndc.x + 1) / 2) * rect.width, rect.top + ((1 - ndc.y) / 2) * rect.height];
  }
}
