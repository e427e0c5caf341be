// Where the camera starts: turned 35 degrees about the up axis from the front, looking down 25
// degrees at the centre of the scene's box, just far enough back for all eight corners of the
// box to fit the window with a margin.
import { MathUtils, Quaternion, Vector3 } from 'three';

const YAW = MathUtils.degToRad(35);
const PITCH = MathUtils.degToRad(25);
const MARGIN = 1.15;

// The up axis from its name: "+Y", "-Z" and so on; +Y for anything else.
export function upVector(name) {
  const match = /^([+-]?)([XYZ])$/i.exec(String(name).trim());
  if (!match) return new Vector3(0, 1, 0);
  const axis = new Vector3();
  axis.setComponent('XYZ'.indexOf(match[2].toUpperCase()), match[1] === '-' ? -1 : 1);
  return axis;
}

// The box to frame: the scene's bounds, widened around their centre when they have no size,
// and the unit box when there is nothing.
export function frameBox(bounds) {
  if (!bounds) return { min: new Vector3(-1, -1, -1), max: new Vector3(1, 1, 1) };
  const min = new Vector3().fromArray(bounds.min), max = new Vector3().fromArray(bounds.max);
  if (min.distanceTo(max) > 0) return { min, max };
  const centre = min.clone();
  const half = Math.max(Math.abs(centre.x), Math.abs(centre.y), Math.abs(centre.z)) * 0.01 || 1;
  return { min: centre.clone().subScalar(half), max: centre.clone().addScalar(half) };
}

// The direction from the box's centre to the starting camera, for the given up axis.
function viewDirection(up) {
  const local = new Vector3(Math.sin(YAW) * Math.cos(PITCH), Math.sin(PITCH), Math.cos(YAW) * Math.cos(PITCH));
  return local.applyQuaternion(new Quaternion().setFromUnitVectors(new Vector3(0, 1, 0), up));
}

function corners(box) {
  const list = [];
  for (let c = 0; c < 8; ++c) {
    list.push(new Vector3(c & 1 ? box.max.x : box.min.x, c & 2 ? box.max.y : box.min.y, c & 4 ? box.max.z : box.min.z));
  }
  return list;
}

// The camera's position and target for a perspective camera of vertical field `fov` (degrees)
// and the given aspect, so that every corner of the box lies inside the view.
export function startingView(box, up, fov, aspect) {
  const target = box.min.clone().add(box.max).multiplyScalar(0.5);
  const back = viewDirection(up);
  const right = new Vector3().crossVectors(up, back).normalize();
  const screenUp = new Vector3().crossVectors(back, right);
  const tanV = Math.tan(MathUtils.degToRad(fov) / 2), tanH = tanV * aspect;
  let distance = 0;
  for (const corner of corners(box)) {
    const offset = corner.sub(target);
    const depth = offset.dot(back);
    const needed = Math.max(Math.abs(offset.dot(right)) / tanH, Math.abs(offset.dot(screenUp)) / tanV);
    distance = Math.max(distance, depth + MARGIN * needed);
  }
  return { target, position: target.clone().addScaledVector(back, distance) };
}
