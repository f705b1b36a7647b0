// The keyboard inside a window: Tab and Shift+Tab go from one control a click reaches to the next (a ring shows
// which), Enter and Space click it; an open list takes the arrows and Enter first. The ring follows the element of
// the layer a screen reader moves to, and the keyboard's focus goes to the ring's element. The page (page.js)
// binds each window's keys here once the program runs.
window.createMoxRing = function (canvases, layer, placement) {
  'use strict';
  const Key = MoxBridge.Key, Button = MoxBridge.Button, Pointer = MoxBridge.PointerKind;
  const KEYS = {ArrowUp: Key.Up, ArrowDown: Key.Down, Enter: Key.Enter, Escape: Key.Escape};
  let program = null;
  let activeWindow = 0;   // the window keys go to
  // The focus moves by the page's doing (a click, the program), not by Tab: the ring does not start on a control.
  let pointerFocus = false;
  const focusIndex = [-1, -1];
  const rings = canvases.map(function (c) {
    const ring = document.createElement('div');
    ring.className = 'focus-ring';
    ring.hidden = true;
    c.parentNode.appendChild(ring);
    return ring;
  });
  function quietFocus(el) {
    pointerFocus = true;
    el.focus({preventScroll: true});
    pointerFocus = false;
  }
  // Each control of the ring as [x, y, width, height] in layout pixels, with its control's index: those that show.
  function keyboardControls(w) {
    const text = program.UTF8ToString(program._moxsim_keyboard_controls(w));
    return text ? text.split(';').map(function (r) {
      const v = r.split(' ').map(Number);
      const rect = v.slice(1);
      rect.control = v[0];
      return rect;
    }).filter(function (r) { return placement.shows(w, r); }) : [];
  }
  function inWindow(w, el) { return el === canvases[w] || layer.contains(w, el); }
  // The ring where the keyboard is; with `follow`, the keyboard's focus goes to the ring's element of the layer
  // (the canvas when it has none).
  function showRing(w, follow) {
    const list = keyboardControls(w);
    if (focusIndex[w] >= list.length) focusIndex[w] = list.length - 1;
    const r = list[focusIndex[w]];
    if (follow && r) {
      const el = layer.element(w, r.control) || canvases[w];
      if (el !== document.activeElement) quietFocus(el);
    }
    const ring = rings[w];
    ring.hidden = !r || !inWindow(w, document.activeElement);
    if (ring.hidden) return;
    const at = placement.toPage(w, r);
    ring.style.left = (at[0] - 2) + 'px';
    ring.style.top = (at[1] - 2) + 'px';
    ring.style.width = at[2] + 'px';
    ring.style.height = at[3] + 'px';
  }
  function clickAt(w, r) {
    const k = program.moxRuntime.factor(w);
    const x = Math.floor((r[0] + r[2] / 2) * k), y = Math.floor((r[1] + r[3] / 2) * k);
    program._moxsim_pointer(w, Pointer.Move, x, y, Button.Left);
    program._moxsim_pointer(w, Pointer.Down, x, y, Button.Left);
    program._moxsim_pointer(w, Pointer.Up, x, y, Button.Left);
  }
  function clickFocused(w) {
    const r = keyboardControls(w)[focusIndex[w]];
    if (!r) return;
    clickAt(w, r);
    showRing(w, false);
  }

  // Keys on the canvas or on an element of its layer.
  function bindKeys(w) {
    const c = canvases[w];
    c.parentNode.addEventListener('keydown', function (e) {
      if (!inWindow(w, e.target)) return;
      const onLayer = e.target !== c;
      if (e.key === 'Tab' && !e.altKey && !e.ctrlKey && !e.metaKey) {
        const next = focusIndex[w] < 0 && e.shiftKey ? keyboardControls(w).length - 1
                                                     : focusIndex[w] + (e.shiftKey ? -1 : 1);
        // Past either end, Tab leaves the window for the page's next control.
        focusIndex[w] = next >= 0 && next < keyboardControls(w).length ? next : -1;
        if (focusIndex[w] >= 0) {
          e.preventDefault();
        } else if (onLayer) {
          quietFocus(c);
        }
        showRing(w, true);
        return;
      }
      // An element of the layer clicks itself on Enter and Space, and a select chooses with the arrows.
      if (onLayer && (e.key === 'Enter' || e.key === ' ' ||
                      (e.target.tagName === 'SELECT' && e.key !== 'Escape'))) return;
      const key = KEYS[e.key];
      if (key !== undefined && program._moxsim_key(w, key)) {
        e.preventDefault();
        placement.keepListInView(w);
      } else if ((e.key === 'Enter' || e.key === ' ') && focusIndex[w] >= 0) {
        e.preventDefault();
        clickFocused(w);
      }
    });
    c.addEventListener('focus', function () {
      activeWindow = w;
      // Arriving by the keyboard, the ring starts on the first control.
      const byKeyboard = !pointerFocus;
      if (byKeyboard && focusIndex[w] < 0) focusIndex[w] = 0;
      pointerFocus = false;
      showRing(w, byKeyboard);
    });
    c.parentNode.addEventListener('focusout', function (e) {
      if (!inWindow(w, e.target) || (e.relatedTarget && inWindow(w, e.relatedTarget))) return;
      rings[w].hidden = true;
      program._moxsim_focus_lost(w);
    });
  }

  return {
    attach: function (p) { program = p; },
    bindKeys: bindKeys,
    // The controls of a window's ring, as keyboardControls has them.
    controls: keyboardControls,
    show: showRing,
    // A click at the middle of a layout rectangle of a window, as the pointer makes one.
    click: clickAt,
    // The window the keys go to.
    active: function () { return activeWindow; },
    // The keyboard given to a window by the page (the program showed or hid the planner): no ring.
    focusWindow: function (w) {
      activeWindow = w;
      quietFocus(canvases[w]);
    },
    // The pointer pressed on a window: the keys go there, and the ring leaves it until the next Tab.
    pointerDown: function (w) {
      activeWindow = w;
      pointerFocus = true;
      focusIndex[w] = -1;
      rings[w].hidden = true;
    },
    // A screen reader moved to an element of the layer (`control`), or the one it was on went away (-1).
    layerFocused: function (w, control) {
      activeWindow = w;
      if (control < 0) {
        // The element the keyboard was on went away (a slot emptied): the window keeps the keyboard.
        quietFocus(canvases[w]);
      } else {
        const at = keyboardControls(w).findIndex(function (r) { return r.control === control; });
        if (at >= 0) focusIndex[w] = at;
      }
      showRing(w, false);
    },
  };
};
