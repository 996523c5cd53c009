"use strict";
// The VX3340 front panel in a browser. The server sends its state on an event stream after every
// refresh, whoever made it; this page draws it, and posts the user's picks, which the server runs
// on the board one at a time.

const $ = (id) => document.getElementById(id);
const TEN_MINUTES = 600000;
let panel = null;  // the lists, register fields, flag and line names, from the server's table
let history = [];  // [time in ms, flag byte], oldest first
let lastRefresh = 0;
let shownByte = null;        // the flag byte on show, to announce what changed
let windowPicked = false;    // the user chose the history's window: keep it
let lastAccesses = null;     // the accesses on show, to draw them again only when they change
let queue = Promise.resolve();

// The status line is a polite live region: it changes, and so is spoken, only when its text does.
function say(text, state) {
  if ($("status").textContent !== text) $("status").textContent = text;
  if (state) document.body.dataset.state = state;
}

// Each command is posted after the one before has been answered: picks reach the board in the
// order they were made.
function post(path, body) {
  queue = queue
    .then(() => fetch(path, {
      method: "POST",
      headers: {"Content-Type": "application/json"},
      body: JSON.stringify(body),
    }))
    .then(async (reply) => { if (!reply.ok) say((await reply.json()).error); })
    .catch((error) => say(`The board's server did not answer: ${error}`, "lost"));
}

function element(tag, properties = {}, ...children) {
  const e = Object.assign(document.createElement(tag), properties);
  e.append(...children);
  return e;
}

function svg(tag, attributes, text) {
  const e = document.createElementNS("http://www.w3.org/2000/svg", tag);
  for (const [name, value] of Object.entries(attributes)) e.setAttribute(name, value);
  if (text !== undefined) e.textContent = text;
  return e;
}

const hex = (value, digits) => "0x" + value.toString(16).toUpperCase().padStart(digits, "0");

// A name that breaks only between its words, never inside one ("CHL-DET", "force/measure").
function words(name) {
  return name.split(" ").flatMap((w, i) => [i ? " " : "", element("span", {className: "word"}, w)]);
}

// The register map, one row a bit (7 first) and two columns a word: the bit's value and its
// field, which spans the field's bits. Full names fit at any width this way, and each bit sits
// beside its field.
function buildMap(registers) {
  const head = element("tr", {}, element("th", {scope: "col"}, "Bit"));
  for (const [id, name] of registers) {
    head.append(element("th", {scope: "colgroup", colSpan: 2}, ...words(name), element("br"),
                        element("span", {id: `${id}-hex`, className: "hex"}, "0x00")));
  }
  const body = element("tbody");
  for (let bit = 7; bit >= 0; bit--) {
    const row = element("tr", {}, element("th", {scope: "row"}, String(bit)));
    for (const [id, , fields] of registers) {
      row.append(element("td", {id: `${id}-bit${bit}`, className: "bit"}, "0"));
      const field = fields.find((f) => f.mask & (1 << bit));
      const above = fields.find((f) => f.mask & (1 << (bit + 1)));
      if (bit < 7 && field === above) continue;  // the cell above spans this bit
      let span = 1;
      while (bit - span >= 0 && fields.find((f) => f.mask & (1 << (bit - span))) === field) span++;
      row.append(element("td", {rowSpan: span, className: field ? "field" : "unused"},
                         ...words(field ? field.field : "not used")));
    }
    body.append(row);
  }
  $("map").append(element("thead", {}, head), body);
}

function build(p) {
  panel = p;
  document.title = $("title").textContent = p.title.trim();
  for (const s of p.selections) {
    if (s.checkBox) {
      const box = element("input", {type: "checkbox", id: s.control});
      box.addEventListener("change",
                           () => post("/api/pick", {control: s.control, index: box.checked ? 1 : 0}));
      $("controls").append(element("label", {className: "box"}, box, " " + s.caption));
    } else {
      const list = element("select", {id: s.control});
      s.items.forEach((item, i) => list.add(new Option(item, i)));
      list.addEventListener("change",
                            () => post("/api/pick", {control: s.control, index: list.selectedIndex}));
      $("controls").append(element("label", {htmlFor: s.control}, s.caption), list);
    }
  }
  $("cmdRead").textContent = p.read;
  $("cmdRead").addEventListener("click", () => post("/api/read", {}));
  // The flags as the window lays them out: three rows of two.
  for (let row = 0; row < 3; row++) {
    $("flags").tBodies[0].append(element("tr", {},
      element("th", {scope: "row"}, p.flags[row]), element("td", {id: `RdVal${row}`}, "0"),
      element("th", {scope: "row"}, p.flags[row + 3]), element("td", {id: `RdVal${row + 3}`}, "0")));
  }
  buildMap([
    ["control", "Control word", p.selections.filter((s) => s.register === "control")],
    ["aux", "Auxiliary word", p.selections.filter((s) => s.register === "aux").concat(p.aux)],
    ["flags", "Flag byte", p.flags.map((name, bit) => ({field: name, mask: 1 << bit}))],
  ]);
  const poll = () => post("/api/poll", {interval: $("poll").checked ? Number($("interval").value) : 0});
  $("poll").addEventListener("change", poll);
  $("interval").addEventListener("change", () => { if ($("poll").checked) poll(); });
  $("window").addEventListener("change", () => { windowPicked = true; drawHistory(); });
  new ResizeObserver(() => drawHistory()).observe($("chart"));
}

function showWord(id, value) {
  $(`${id}-hex`).textContent = hex(value, 2);
  for (let bit = 7; bit >= 0; bit--) $(`${id}-bit${bit}`).textContent = (value >> bit) & 1;
}

// Tells a screen reader which flags changed, in words; the changed values flash where motion is
// welcome.
function announceFlags(byte) {
  const changed = (bit) => shownByte !== null && ((byte ^ shownByte) >> bit) & 1;
  const news = panel.flags.flatMap((name, bit) =>
    changed(bit) ? `${name} is now ${(byte >> bit) & 1}` : []);
  if (news.length) $("announce").textContent = `Flags changed: ${news.join(", ")}`;
  panel.flags.forEach((name, bit) => {
    const cell = $(`RdVal${bit}`);
    cell.textContent = (byte >> bit) & 1;
    if (changed(bit)) {
      cell.classList.remove("flash");
      void cell.offsetWidth;  // so that the flash starts again
      cell.classList.add("flash");
    }
  });
  shownByte = byte;
}

// The shortest window that holds every read, until the user picks one.
function historyWindow() {
  if (!windowPicked && history.length) {
    const span = history[history.length - 1][0] - history[0][0];
    const fits = [...$("window").options].find((o) => Number(o.value) >= span);
    $("window").value = fits ? fits.value : String(TEN_MINUTES);
  }
  return Number($("window").value);
}

// The flags as steps over the window, ending at the last read; the axis in the window's unit.
function drawHistory() {
  if (!panel) return;
  const canvas = $("chart"), style = getComputedStyle(canvas), ratio = window.devicePixelRatio || 1;
  const width = canvas.clientWidth, height = canvas.clientHeight;
  canvas.width = Math.round(width * ratio);
  canvas.height = Math.round(height * ratio);
  const g = canvas.getContext("2d");
  g.scale(ratio, ratio);
  g.font = `12px ${style.fontFamily}`;
  const left = Math.max(...panel.flags.map((name) => g.measureText(name).width)) + 12;
  const right = width - 8, row = (height - 24) / 6;
  const span = historyWindow(), minutes = span >= TEN_MINUTES;
  const end = history.length ? history[history.length - 1][0] : 0, start = end - span;
  const x = (t) => left + (right - left) * (t - start) / span;
  g.lineWidth = 1.5;
  panel.flags.forEach((name, bit) => {
    const high = bit * row + 6, low = (bit + 1) * row - 4;
    g.fillStyle = style.color;
    g.fillText(name, 4, (high + low) / 2 + 4);
    g.strokeStyle = style.getPropertyValue("--rule");
    g.beginPath();
    g.moveTo(left, low);
    g.lineTo(right, low);
    g.stroke();
    g.strokeStyle = style.getPropertyValue("--trace");
    g.beginPath();
    let level = null, drawing = false;  // the level the window opens with, from before it
    for (const [time, byte] of history) {
      const y = (byte >> bit) & 1 ? high : low;
      if (time > start) {
        if (!drawing) g.moveTo(level === null ? x(time) : left, level ?? y);
        g.lineTo(x(time), level ?? y);
        g.lineTo(x(time), y);
        drawing = true;
      }
      level = y;
    }
    if (level !== null) {
      if (!drawing) g.moveTo(left, level);
      g.lineTo(right, level);
    }
    g.stroke();
  });
  // Ticks at round steps, labelled in seconds or minutes before the last read.
  g.fillStyle = style.getPropertyValue("--muted");
  const unit = minutes ? 60000 : 1000, step = {10000: 2000, 60000: 10000}[span] || 120000;
  for (let ago = 0; ago <= span; ago += step) {
    const label = `${ago ? "−" : ""}${ago / unit} ${minutes ? "min" : "s"}`;
    const at = x(end - ago) - g.measureText(label).width / 2;
    g.fillText(label, Math.max(0, Math.min(at, width - g.measureText(label).width)), height - 6);
  }
  const shown = history.filter(([time]) => time > start).length;
  const size = $("window").selectedOptions[0].text;
  $("history-note").textContent = `${shown} reads in the last ${size}, of ${history.length} kept; `
    + "time counts back from the last read";
  canvas.setAttribute("aria-label", `The six flags as steps over the last ${size}: ${shown} reads`);
}

// One column per access, as wide for each; the lines in the order a logic analyser shows them.
function drawWire(accesses) {
  const order = ["nSTROBE", "nAUTOFD", "nINIT", "nSELECTIN", "DIR", "D0", "D1", "D2", "D3", "D4",
                 "D5", "D6", "D7"].map((name) => panel.lines.indexOf(name));
  const left = 80, step = 18, rowHeight = 20;
  const picture = $("wire");
  picture.replaceChildren();
  picture.setAttribute("viewBox", `0 0 ${left + accesses.length * step + 4} ${order.length * rowHeight + 4}`);
  order.forEach((line, row) => {
    const high = row * rowHeight + 5, low = high + rowHeight - 8;
    picture.append(svg("text", {x: 2, y: low}, panel.lines[line]));
    let path = "";
    accesses.forEach((access, i) => {
      const level = access.levels[line], x = left + i * step;
      const y = level === "1" ? high : level === "0" ? low : (high + low) / 2;
      if (level === "x") {
        picture.append(svg("rect", {class: "unknown", x, y: high, width: step, height: low - high}));
      }
      path += `${i ? "L" : "M"}${x},${y}L${x + step},${y}`;
    });
    picture.append(svg("path", {class: "level", d: path}));
  });
  const texts = accesses.map((a) => a.read ? `InByte ${hex(a.address, 3)} -> ${hex(a.value, 2)}`
                                          : `OutByte ${hex(a.address, 3)} ${hex(a.value, 2)}`);
  texts.forEach((text, i) => {
    const column = svg("rect", {class: "access", x: left + i * step, y: 0, width: step,
                                height: order.length * rowHeight});
    column.append(svg("title", {}, text));
    picture.append(column);
  });
  $("accesses").replaceChildren(...texts.map((text) => element("li", {}, text)));
  const span = accesses.length ? (accesses[accesses.length - 1].time - accesses[0].time) / 1000 : 0;
  $("wire-note").textContent = accesses.length
    ? `${accesses.length} accesses over ${span.toFixed(1)} µs; point at a column, or open the list`
    : "No refresh yet: pick an item or press Read.";
}

function update(state) {
  for (const s of panel.selections) {
    if (s.checkBox) $(s.control).checked = state.settings[s.control] === 1;
    else $(s.control).selectedIndex = state.settings[s.control];
  }
  const reading = state.reading;
  const byte = reading ? reading.byte : 0;
  announceFlags(byte);
  showWord("control", state.controlWord);
  showWord("aux", state.auxWord);
  showWord("flags", byte);
  $("poll").checked = state.poll > 0;
  if (state.poll > 0) $("interval").value = state.poll;
  if (state.history) {
    history = state.history;
  } else if (reading && reading.refresh !== lastRefresh) {
    if (reading.refresh !== lastRefresh + 1) {
      // Events were skipped while this page was too far behind: take the whole history again.
      fetch("/api/state").then((r) => r.json()).then((whole) => {
        history = whole.history;
        drawHistory();
      });
    }
    history.push([reading.time, reading.byte]);
    while (history.length && history[0][0] < reading.time - TEN_MINUTES) history.shift();
  }
  lastRefresh = reading ? reading.refresh : 0;
  drawHistory();
  const accesses = JSON.stringify(state.accesses);
  if (accesses !== lastAccesses) drawWire(state.accesses);
  lastAccesses = accesses;
}

const events = new EventSource("/api/events");
events.onmessage = (message) => {
  const state = JSON.parse(message.data);
  if (!panel) build(state.panel);
  update(state);
  const stopped = state.recordersStopped;
  say(!state.connected
    ? `The board is disconnected: ${state.disconnected}. The next pick or Read tries again.`
    : stopped ? `Connected, but recording stopped: ${stopped.join("; ")}.`
    : "Connected: every change to the board shows here as it happens.",
    state.connected ? "connected" : "lost");
};
events.onerror = () =>
  say("Disconnected: lost the connection to the board's server; trying again…", "lost");
