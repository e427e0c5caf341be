// What the keyboard and touch add to the orbit controls' mouse, wheel and finger gestures:
// arrows turn (with shift: pan), + and - zoom, R or Home and a double click or double tap go
// back to the starting view.

const TURN = Math.PI / 36;  // 5 degrees a key press
const PAN = 0.05;           // of the view's height a key press
const ZOOM = 1.2;
const TAP_GAP = 350;        // milliseconds between the taps of a double tap
const TAP_REACH = 30;       // CSS pixels a finger may move within a tap or between two taps

function keyAction(view, event) {
  const shift = event.shiftKey;
  switch (event.key) {
    case 'ArrowLeft': return () => (shift ? view.pan(-PAN, 0) : view.turn(TURN, 0));
    case 'ArrowRight': return () => (shift ? view.pan(PAN, 0) : view.turn(-TURN, 0));
    case 'ArrowUp': return () => (shift ? view.pan(0, PAN) : view.turn(0, TURN));
    case 'ArrowDown': return () => (shift ? view.pan(0, -PAN) : view.turn(0, -TURN));
    case '+': case '=': return () => view.zoom(ZOOM);
    case '-': case '_': return () => view.zoom(1 / ZOOM);
    case 'r': case 'R': case 'Home': return () => view.showStart();
    default: return null;
  }
}

export function listenToKeys(view) {
  window.addEventListener('keydown', (event) => {
    if (event.ctrlKey || event.metaKey || event.altKey) return;
    const action = keyAction(view, event);
    if (!action) return;
    event.preventDefault();
    action();
  });
}

// Two short taps close together in time and place, as a double click is for the mouse.
function watchDoubleTap(canvas, onDoubleTap) {
  let down = null, lastTap = null;
  canvas.addEventListener('pointerdown', (event) => {
    down = event.pointerType === 'touch' && event.isPrimary ? { x: event.clientX, y: event.clientY } : null;
  });
  canvas.addEventListener('pointerup', (event) => {
    if (!down || event.pointerType !== 'touch') return;
    const tap = { x: event.clientX, y: event.clientY, time: event.timeStamp };
    const still = Math.hypot(tap.x - down.x, tap.y - down.y) < TAP_REACH;
    down = null;
    if (!still) {
      lastTap = null;
    } else if (lastTap && tap.time - lastTap.time < TAP_GAP &&
               Math.hypot(tap.x - lastTap.x, tap.y - lastTap.y) < TAP_REACH) {
      lastTap = null;
      onDoubleTap();
    } else {
      lastTap = tap;
    }
  });
}

export function listenForReturn(view) {
  view.canvas.addEventListener('dblclick', () => view.showStart());
  watchDoubleTap(view.canvas, () => view.showStart());
}
