"use strict";
// The VX3340 front panel in a browser. The server sends its state on an event stream after every
// refresh, whoever made it; this page draws it, and posts the user's picks, which the server runs
// on the board one at a time.

const $ = (id) => document.getElementById(id);
const TEN_MINUTES = 600000;
let panel = null;  // the lists, register fields, flag and line names, from the server's table
let history = [];  // [time in ms, flag byte], oldest first
let lastRefresh = 0;
let queue = Promise.resolve();

function say(text) {
  $("status").textContent = text;
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
    .catch((error) => say(`The board's server did not answer: ${error}`));
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

// The cells of a word's field row, bit 7 first: a field spans its bits.
function fieldCells(fields) {
  const cells = [];
  for (let bit = 7; bit >= 0; bit--) {
    const field = fields.find((f) => f.mask & (1 << bit));
    const name = field ? field.field : "";
    const last = cells[cells.length - 1];
    if (last && last.name === name) last.span++;
    else cells.push({name, span: 1});
  }
  return cells.map((c) => element("th", {colSpan: c.span, className: c.name ? "field" : "unused"},
                                  c.name || "not used"));
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
      $("controls").append(element("label", {}, s.caption, list));
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
  const words = [
    ["control", "Control word", p.selections.filter((s) => s.register === "control")],
    ["aux", "Auxiliary word", p.selections.filter((s) => s.register === "aux").concat(p.aux)],
    ["flags", "Flag byte", p.flags.map((name, bit) => ({field: name, mask: 1 << bit}))],
  ];
  const head = element("tr", {}, element("th", {}, "Word"), element("th", {}, "Hex"));
  for (let bit = 7; bit >= 0; bit--) head.append(element("th", {}, `bit ${bit}`));
  $("map").append(element("thead", {}, head));
  for (const [id, name, fields] of words) {
    const bits = element("tr", {className: "bits"});
    for (let bit = 7; bit >= 0; bit--) bits.append(element("td", {id: `${id}-bit${bit}`}, "0"));
    $("map").append(element("tbody", {},
      element("tr", {}, element("th", {rowSpan: 2, scope: "rowgroup"}, name),
              element("td", {rowSpan: 2, id: `${id}-hex`}, "0x00"), ...fieldCells(fields)),
      bits));
  }
  const poll = () => post("/api/poll", {interval: $("poll").checked ? Number($("interval").value) : 0});
  $("poll").addEventListener("change", poll);
  $("interval").addEventListener("change", () => { if ($("poll").checked) poll(); });
}

function showWord(id, value) {
  $(`${id}-hex`).textContent = hex(value, 2);
  for (let bit = 7; bit >= 0; bit--) $(`${id}-bit${bit}`).textContent = (value >> bit) & 1;
}

function drawHistory() {
  const canvas = $("chart"), g = canvas.getContext("2d");
  const left = 70, right = canvas.width - 4, row = (canvas.height - 24) / 6;
  const end = history.length ? history[history.length - 1][0] : Date.now();
  const x = (t) => left + (right - left) * (t - (end - TEN_MINUTES)) / TEN_MINUTES;
  g.clearRect(0, 0, canvas.width, canvas.height);
  g.font = "12px sans-serif";
  g.lineWidth = 1.5;
  panel.flags.forEach((name, bit) => {
    const high = bit * row + 6, low = (bit + 1) * row - 4;
    g.fillStyle = "#111";
    g.fillText(name, 4, (high + low) / 2 + 4);
    g.strokeStyle = "#05a";
    g.beginPath();
    let level = null;
    for (const [time, byte] of history) {
      const y = (byte >> bit) & 1 ? high : low;
      if (level === null) g.moveTo(x(time), y);
      else g.lineTo(x(time), level), g.lineTo(x(time), y);
      level = y;
    }
    if (level !== null) g.lineTo(right, level);
    g.stroke();
  });
  g.fillStyle = "#555";
  for (let minutes = 10; minutes >= 0; minutes -= 2) {
    const label = minutes ? `-${minutes} min` : "last";
    g.fillText(label, Math.min(x(end - minutes * 60000), right - 30), canvas.height - 6);
  }
  $("history-note").textContent = `${history.length} refreshes over the last ten minutes`;
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
  accesses.forEach((a, i) => {
    const text = a.read ? `InByte ${hex(a.address, 3)} -> ${hex(a.value, 2)}`
                        : `OutByte ${hex(a.address, 3)} ${hex(a.value, 2)}`;
    const column = svg("rect", {class: "access", x: left + i * step, y: 0, width: step,
                                height: order.length * rowHeight});
    column.append(svg("title", {}, text));
    picture.append(column);
  });
  const span = accesses.length ? (accesses[accesses.length - 1].time - accesses[0].time) / 1000 : 0;
  $("wire-note").textContent = accesses.length
    ? `${accesses.length} accesses over ${span.toFixed(1)} µs; point at a column to see its access`
    : "No refresh yet: pick an item or press Read.";
}

function update(state) {
  for (const s of panel.selections) {
    if (s.checkBox) $(s.control).checked = state.settings[s.control] === 1;
    else $(s.control).selectedIndex = state.settings[s.control];
  }
  const reading = state.reading;
  const byte = reading ? reading.byte : 0;
  for (let bit = 0; bit < 6; bit++) $(`RdVal${bit}`).textContent = (byte >> bit) & 1;
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
  drawWire(state.accesses);
}

const events = new EventSource("/api/events");
events.onmessage = (message) => {
  const state = JSON.parse(message.data);
  if (!panel) build(state.panel);
  update(state);
  say(state.connected
    ? "Connected: every change to the board shows here as it happens."
    : `The board is disconnected: ${state.disconnected}. The next pick or Read tries again.`);
};
events.onerror = () => say("Lost the connection to the board's server; trying again…");
