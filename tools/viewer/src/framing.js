// Where the camera starts: turned 35 degrees about the up axis from the front, looking down 25
// degrees at the middle of what is drawn, just far enough back for every point drawn (or, with
// none, the eight corners of the scene's box) to fit the part of the window left to the scene,
// with a margin: the scene fills that part's shorter side.
import { MathUtils, Quaternion, Vector3 } from 'three';

const YAW = MathUtils.degToRad(35);
const PITCH = MathUtils.degToRad(25);
const MARGIN = 1.06;

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

// The corners of the box as x, y, z triples.
function corners(box) {
  const list = [];
  for (let c = 0; c < 8; ++c) {
    list.push(c & 1 ? box.max.x : box.min.x, c & 2 ? box.max.y : box.min.y, c & 4 ? box.max.z : box.min.z);
  }
  return list;
}

// Calls visit(offset) with each point of the x, y, z arrays (offset from `from`), skipping any
// that is not finite.
function eachOffset(pointArrays, from, visit) {
  const offset = new Vector3();
  for (const points of pointArrays) {
    for (let i = 0; i + 2 < points.length; i += 3) {
      offset.set(points[i] - from.x, points[i + 1] - from.y, points[i + 2] - from.z);
      if (Number.isFinite(offset.x + offset.y + offset.z)) visit(offset);
    }
  }
}

// The camera's position and target for a perspective camera of vertical field `fov` (degrees)
// and the given aspect, so that every point of `pointArrays` (x, y, z arrays; the box's corners
// when they hold none) lies inside the middle `heightShare` of the view's height and its width.
export function startingView(box, up, fov, aspect, pointArrays = [], heightShare = 1) {
  const points = pointArrays.some((a) => a.length >= 3) ? pointArrays : [corners(box)];
  const centre = box.min.clone().add(box.max).multiplyScalar(0.5);
  const back = viewDirection(up);
  const right = new Vector3().crossVectors(up, back).normalize();
  const screenUp = new Vector3().crossVectors(back, right);
  // The middle of what is drawn, across the view and up it, at the box's centre's depth.
  const low = [Infinity, Infinity], high = [-Infinity, -Infinity];
  eachOffset(points, centre, (offset) => {
    const across = offset.dot(right), upward = offset.dot(screenUp);
    low[0] = Math.min(low[0], across), high[0] = Math.max(high[0], across);
    low[1] = Math.min(low[1], upward), high[1] = Math.max(high[1], upward);
  });
  const target = Number.isFinite(low[0]) ? centre.clone().addScaledVector(right, (low[0] + high[0]) / 2)
    .addScaledVector(screenUp, (low[1] + high[1]) / 2) : centre;
  const tanV = Math.tan(MathUtils.degToRad(fov) / 2) * heightShare, tanH = Math.tan(MathUtils.degToRad(fov) / 2) * aspect;
  let distance = 0;
  eachOffset(points, target, (offset) => {
    const depth = offset.dot(back);
    const needed = Math.max(Math.abs(offset.dot(right)) / tanH, Math.abs(offset.dot(screenUp)) / tanV);
    distance = Math.max(distance, depth + MARGIN * needed);
  });
  if (!(distance > 0)) distance = box.min.distanceTo(box.max) || 1;
  return { target, position: target.clone().addScaledVector(back, distance) };
}
