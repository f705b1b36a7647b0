// The layer of real elements over each window's canvas, for screen readers and for anything that finds controls
// the way they do: one element per node of the program's semantic list (src/ui/paint/semantics.h), made, changed
// and removed as the program reports what changed after a frame. Each lies over its control, invisible, and does
// what a click there does. The page (page.js) ties it to its keyboard ring.
window.createMoxLayer = function (canvases, actions) {
  'use strict';
  // The roles by number (paint::Role), by their names in lower case: 'button', 'checkbox', 'combobox', 'cell'...
  const ROLES = [];
  Object.keys(MoxBridge.Role).forEach(function (name) { ROLES[MoxBridge.Role[name]] = name.toLowerCase(); });
  const F = MoxBridge.NodeField;
  const layers = canvases.map(function (canvas, w) {
    const layer = document.createElement('div');
    layer.className = 'layer';
    layer.dataset.window = w;
    canvas.parentNode.appendChild(layer);
    return {root: layer, nodes: new Map(), grids: new Map(), map: null};
  });

  function idOf(w, control) { return 'mox-' + w + '-' + control; }

  // Over its control as the window is shown (whole or in parts): the window's map takes a layout rectangle to CSS
  // pixels in the window's element (none where the control does not show: its part gave way to a panel).
  function place(w, el, n) {
    const map = layers[w].map;
    if (!map) return;
    const r = map([n.x, n.y, n.w, n.h]);
    el.hidden = !r;
    if (!r) return;
    el.style.left = r[0] + 'px';
    el.style.top = r[1] + 'px';
    el.style.width = r[2] + 'px';
    el.style.height = r[3] + 'px';
  }

  // Elements go in creation order (the reading order) within their parent.
  function insert(parent, el, control) {
    // Most come in order: after the last one.
    const last = parent.lastElementChild;
    if (!last || +last.dataset.control < control) {
      parent.appendChild(el);
      return;
    }
    let next = null;
    for (const child of parent.children) {
      if (+child.dataset.control > control) { next = child; break; }
    }
    parent.insertBefore(el, next);
  }

  // A grid's or a table's row, made when its first cell comes: a grid of cells to click (the bag), or a table of
  // texts and buttons, its first row the header.
  function rowOf(w, n) {
    const l = layers[w];
    let grid = l.grids.get(n.grid);
    if (!grid) {
      grid = {el: document.createElement('div'), rows: []};
      grid.el.setAttribute('role', n.role === 'cell' ? 'grid' : 'table');
      grid.el.dataset.control = n.control;
      insert(l.root, grid.el, n.control);
      l.grids.set(n.grid, grid);
    }
    while (grid.rows.length <= n.row) {
      const row = document.createElement('div');
      row.setAttribute('role', 'row');
      row.dataset.control = 0;
      grid.el.appendChild(row);
      grid.rows.push(row);
    }
    return grid.rows[n.row];
  }

  function make(w, n) {
    let el;
    switch (n.role) {
      case 'button':
      case 'checkbox':
      case 'cell':
        el = document.createElement('button');
        el.type = 'button';
        if (n.role !== 'button') el.setAttribute('role', n.role === 'cell' ? 'gridcell' : 'checkbox');
        el.addEventListener('click', function () { actions.click(w, +el.dataset.control); });
        break;
      case 'combobox':
        el = document.createElement('select');
        el.addEventListener('change', function () { actions.choose(w, +el.dataset.control, el.selectedIndex); });
        break;
      case 'heading':
        el = document.createElement('div');
        el.setAttribute('role', 'heading');
        el.setAttribute('aria-level', '2');
        break;
      case 'image':
        el = document.createElement('div');
        el.setAttribute('role', 'img');
        break;
      case 'list':
        el = document.createElement('ul');
        break;
      case 'tablecell':
        el = document.createElement('div');
        el.setAttribute('role', n.row === 0 ? 'columnheader' : 'cell');
        break;
      default:
        el = document.createElement('div');
    }
    if (n.role === 'button' || n.role === 'checkbox' || n.role === 'cell' || n.role === 'combobox') {
      el.tabIndex = -1;
      el.addEventListener('focus', function () { actions.focused(w, +el.dataset.control); });
    }
    el.className = 'at';
    el.id = idOf(w, n.control);
    el.dataset.control = n.control;
    el.dataset.role = n.role;
    if (n.grid < 0) {
      insert(layers[w].root, el, n.control);
      return el;
    }
    // In a table a button stands in a cell of its own.
    let placed = el;
    if (n.role !== 'cell' && n.role !== 'tablecell') {
      placed = document.createElement('div');
      placed.setAttribute('role', 'cell');
      placed.dataset.control = n.control;
      placed.appendChild(el);
      el.moxCell = placed;
    }
    insert(rowOf(w, n), placed, n.control);
    return el;
  }

  function fill(w, el, n, old) {
    place(w, el, n);
    if (old && old.name === n.name && old.disabled === n.disabled && old.checked === n.checked &&
        old.selection === n.selection && old.items.join('\x1f') === n.items.join('\x1f')) return;
    switch (n.role) {
      case 'combobox':
        if (!old || old.items.join('\x1f') !== n.items.join('\x1f')) {
          el.replaceChildren.apply(el, n.items.map(function (t) { return new Option(t); }));
        }
        el.setAttribute('aria-label', n.name);
        el.selectedIndex = n.selection;
        el.disabled = n.disabled;
        break;
      case 'image':
        el.setAttribute('aria-label', n.name);
        break;
      case 'list':
        el.replaceChildren.apply(el, n.items.map(function (t) {
          const li = document.createElement('li');
          li.textContent = t;
          return li;
        }));
        break;
      default:
        el.textContent = n.name;
    }
    if (n.role === 'checkbox') el.setAttribute('aria-checked', n.checked ? 'true' : 'false');
    if (n.role === 'button' || n.role === 'checkbox' || n.role === 'cell') {
      if (n.disabled) el.setAttribute('aria-disabled', 'true'); else el.removeAttribute('aria-disabled');
    }
  }

  // A node as the program writes it (web_bridge.h, semanticsText): its fields in NodeField's order.
  function parse(line) {
    const f = line.split('\x1f');
    if (f[F.Role] === '-') return {control: +f[F.Control], removed: true};
    return {control: +f[F.Control], role: ROLES[+f[F.Role]], x: +f[F.X], y: +f[F.Y], w: +f[F.Width],
            h: +f[F.Height], disabled: f[F.Disabled] === '1', checked: f[F.Checked] === '1',
            selection: +f[F.Selection], grid: +f[F.Grid], row: +f[F.Row], column: +f[F.Column], name: f[F.Name],
            items: f.slice(F.Items)};
  }

  // What changed in a window since its last report (web_bridge.h, semanticsText), its lines split at \x1e: takes
  // them from the front until `until` (performance.now()'s clock) has passed, at least one, and returns how many
  // it took.
  function update(w, lines, until) {
    const l = layers[w];
    let lostFocus = false;
    let taken = 0;
    while (taken < lines.length && (taken === 0 || performance.now() < until)) {
      const n = parse(lines[taken++]);
      const had = l.nodes.get(n.control);
      if (had && (n.removed || had.node.role !== n.role || had.node.grid !== n.grid || had.node.row !== n.row)) {
        lostFocus = lostFocus || had.el === document.activeElement;
        (had.el.moxCell || had.el).remove();
        l.nodes.delete(n.control);
      }
      if (n.removed) continue;
      const kept = l.nodes.get(n.control);
      const el = kept ? kept.el : make(w, n);
      fill(w, el, n, kept && kept.node);
      l.nodes.set(n.control, {el: el, node: n});
    }
    if (lostFocus) actions.focused(w, -1);
    return taken;
  }

  // The changes, a few milliseconds a task: the answer of a plan changes tens of elements (made anew where the
  // figuring emptied them), which took 5-15 ms in one piece. The budget holds the layout the changes cause too:
  // the browser's styles for a planner's answer took twice as long as the changes themselves.
  const BUDGET = 4;  // ms
  const work = [];  // each window's reports in order: {w, lines left, ms spent on it}
  const cost = [[], []];  // ms each report of a window took in all (for benchmarks)
  let laidOut = 0;  // ms the last task's layout took
  function change() {
    const start = performance.now();
    const until = start + Math.max(1, BUDGET - laidOut);
    const changed = new Set();
    while (work.length && (changed.size === 0 || performance.now() < until)) {
      const job = work[0];
      const began = performance.now();
      job.lines.splice(0, update(job.w, job.lines, until));
      job.spent += performance.now() - began;
      changed.add(job.w);
      if (job.lines.length) continue;
      work.shift();
      cost[job.w].push(job.spent);
      if (cost[job.w].length > 4096) cost[job.w].splice(0, 2048);
    }
    // Laid out now, in the task that changed it, rather than in the next frame's (reading a size lays it out).
    const layout = performance.now();
    changed.forEach(function (w) { void layers[w].root.offsetWidth; });
    laidOut = performance.now() - layout;
    if (work.length) moxNextTask().then(change);
  }

  return {
    // What the program found changed in a window (the text semanticsText wrote), and how long it took to find.
    report: function (w, text, ms) {
      work.push({w: w, lines: text ? text.split('\x1e') : [], spent: ms});
      // In a task of their own: finding them took the program's part of this one (5 ms for the planner's answer).
      if (work.length === 1) moxNextTask().then(change);
    },
    // Whether reports wait to be taken in.
    busy: function () { return work.length > 0; },
    // The times each report of a window took since the last call, in ms.
    takeCost: function (w) { return cost[w].splice(0); },
    // The window laid out anew: `map` takes a layout rectangle [x, y, width, height] to CSS pixels in the
    // window's element, and every element goes over its control again.
    place: function (w, map) {
      layers[w].map = map;
      layers[w].nodes.forEach(function (n) { place(w, n.el, n.node); });
    },
    // A control's place in layout pixels, [x, y, width, height].
    rect: function (w, control) {
      const n = layers[w].nodes.get(control);
      return n ? [n.node.x, n.node.y, n.node.w, n.node.h] : null;
    },
    element: function (w, control) {
      const n = layers[w].nodes.get(control);
      return n ? n.el : null;
    },
    contains: function (w, el) { return layers[w].root.contains(el); },
  };
};
