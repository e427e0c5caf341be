// What the keyboard and a double click add to the orbit controls' mouse, wheel and finger
// gestures: arrows turn (with shift: pan), + and - zoom, R or Home and a double click or double
// tap go back to the starting view.

const TURN = Math.PI / 36;  // 5 degrees a key press
const PAN = 0.05;           // of the view's height a key press
const ZOOM = 1.2;

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

// A double click, or a double tap (which browsers give as a double click where the page
// takes the touches for itself, as the controls do), goes back to the starting view.
export function listenForReturn(view) {
  view.canvas.addEventListener('dblclick', () => view.showStart());
}
