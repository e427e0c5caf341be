// The axes in a corner of the window, turned with the camera: X red, Y green, Z blue, each with
// its letter, and a line saying which axis is up. Drawn after the scene in a viewport of their
// own, over the page's #axes box (whose place and size the style sheet sets).
import {
  ConeGeometry, CylinderGeometry, Group, Mesh, MeshBasicMaterial, OrthographicCamera, Scene, Vector3,
} from 'three';

const AXES = [
  { name: 'X', colour: 0xff5f56, direction: new Vector3(1, 0, 0) },
  { name: 'Y', colour: 0x5fd35f, direction: new Vector3(0, 1, 0) },
  { name: 'Z', colour: 0x5b8cff, direction: new Vector3(0, 0, 1) },
];

// One axis as a shaft and a cone along +Y, turned onto its direction.
function arrow(axis) {
  const material = new MeshBasicMaterial({ color: axis.colour });
  const shaft = new Mesh(new CylinderGeometry(0.035, 0.035, 0.8, 12), material);
  shaft.position.y = 0.4;
  const head = new Mesh(new ConeGeometry(0.1, 0.25, 16), material);
  head.position.y = 0.9;
  const group = new Group();
  group.add(shaft, head);
  group.quaternion.setFromUnitVectors(new Vector3(0, 1, 0), axis.direction);
  return group;
}

function label(box, text, colour) {
  const element = document.createElement('span');
  element.textContent = text;
  element.style.color = `#${colour.toString(16).padStart(6, '0')}`;
  box.appendChild(element);
  return element;
}

function upText(up) {
  const axis = AXES.find((a) => Math.abs(a.direction.dot(up)) === 1);
  return `${up.dot(axis.direction) > 0 ? '+' : '\u2212'}${axis.name} is up`;
}

export class AxesCorner {
  constructor(box, up) {
    this.box = box;
    this.scene = new Scene();
    this.camera = new OrthographicCamera(-1.5, 1.5, 1.5, -1.5, 0.1, 10);
    this.labels = AXES.map((axis) => {
      this.scene.add(arrow(axis));
      return { tip: axis.direction.clone().multiplyScalar(1.25), element: label(box, axis.name, axis.colour) };
    });
    const note = document.createElement('div');
    note.className = 'up';
    note.textContent = upText(up);
    box.appendChild(note);
  }

  draw(renderer, sceneCamera) {
    this.camera.quaternion.copy(sceneCamera.quaternion);
    this.camera.position.set(0, 0, 5).applyQuaternion(sceneCamera.quaternion);
    this.camera.updateMatrixWorld();
    const height = renderer.domElement.clientHeight;
    const at = this.box.getBoundingClientRect();
    renderer.setViewport(at.left, height - at.bottom, at.width, at.height);
    renderer.setScissor(at.left, height - at.bottom, at.width, at.height);
    renderer.setScissorTest(true);
    renderer.autoClear = false;
    renderer.clearDepth();
    renderer.render(this.scene, this.camera);
    renderer.autoClear = true;
    renderer.setScissorTest(false);
    renderer.setViewport(0, 0, renderer.domElement.clientWidth, height);
    this.placeLabels(at.width, at.height);
  }

  placeLabels(width, height) {
    for (const { tip, element } of this.labels) {
      const at = tip.clone().project(this.camera);
      element.style.left = `${((at.x + 1) / 2) * width}px`;
      element.style.top = `${((1 - at.y) / 2) * height}px`;
    }
  }
}
