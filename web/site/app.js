// Pixmora's page. The dump is copied once into the WebAssembly module's memory
// and never leaves the machine; every setting becomes the converter's own
// command-line arguments, which the module plans, draws and saves by the
// converter's rules (pixmora_web.cpp). This script only keeps the form, the
// address's fragment and the view's zoom and pan.
/* global createPixmora */

const $ = (id) => document.getElementById(id);
const form = $("panel");
const canvas = $("view");
const VIEWS = ["half", "full", "r", "gr", "gb", "b"];
const COLOURS = [["R", "r"], ["Gr", "g"], ["Gb", "g"], ["B", "b"]];
// The settings the fragment keeps, by form element name.
const KEPT = ["layout", "pattern", "width", "height", "stride", "offset", "scanlines", "frame", "view", "preview",
  "black", "wb", "gainR", "gainG", "gainB", "srgb", "type"];
const MAX_ZOOM = 32;
const READ_CHUNK = 16 << 20;

let wasm = null;
let file = null;          // the open dump's name and size
let fragmentFile = null;  // the file the address's settings were made for
let nameFits = [];        // geometries the open dump's size fits, when its name lacks one
let frames = 0;           // frames the file holds for the shown settings
const picture = document.createElement("canvas");  // the drawn picture, a pixel a picture pixel
let hasPicture = false;
let pointer = null;       // the cursor's last place on the canvas, for the readout after a redraw
// Device pixels per picture pixel and the picture's top left corner on the canvas.
const zoom = { scale: 1, x: 0, y: 0, fitted: true };

const value = (name) => form.elements[name].value.trim();
const checked = (name) => form.elements[name].checked;

function call(fn, args) {
  return JSON.parse(wasm.ccall(fn, "string", ["string"], [args.join("\n")]));
}

// The converter's arguments for the form; `save` adds the type and drops what
// a DNG, which holds the mosaic itself, does not take.
function converterArguments(save) {
  const args = ["--layout", value("layout"), "--pattern", value("pattern")];
  for (const name of ["width", "height", "stride", "offset", "scanlines", "black"]) {
    if (value(name) !== "") args.push(`--${name}`, value(name));
  }
  args.push("--frame", value("frame") || "0");
  const dng = save && value("type") === "dng";
  if (checked("preview")) {
    args.push(...(dng ? ["--wb", "auto"] : ["--preview"]));
  } else {
    if (value("wb") === "auto") args.push("--wb", "auto");
    if (value("wb") === "gains") args.push("--wb", [value("gainR"), value("gainG"), value("gainB")].join(","));
    if (checked("srgb") && !dng) args.push("--gamma", "srgb");
  }
  if (value("view") === "full" && !dng) args.push("--full");
  if (save) args.push("--type", value("type"));
  return [...args, "--", file.name];
}

function shellWord(word) {
  return /^[\w@%+=:,./-]+$/.test(word) ? word : `'${word.replace(/'/g, "'\\''")}'`;
}

function showMessage(text) {
  $("message").textContent = text;
}

function fitView() {
  const scale = Math.min(canvas.width / picture.width, canvas.height / picture.height);
  zoom.scale = scale;
  zoom.x = Math.round((canvas.width - picture.width * scale) / 2);
  zoom.y = Math.round((canvas.height - picture.height * scale) / 2);
  zoom.fitted = true;
}

// Scale about a canvas point, which keeps showing the same picture point.
function zoomAbout(scale, px, py) {
  const fit = Math.min(canvas.width / picture.width, canvas.height / picture.height);
  const s = Math.min(MAX_ZOOM, Math.max(Math.min(fit, 1), scale));
  zoom.x = Math.round(px - ((px - zoom.x) / zoom.scale) * s);
  zoom.y = Math.round(py - ((py - zoom.y) / zoom.scale) * s);
  zoom.scale = s;
  zoom.fitted = false;
  paint();
}

function paint() {
  const ratio = window.devicePixelRatio || 1;
  const w = Math.round(canvas.clientWidth * ratio);
  const h = Math.round(canvas.clientHeight * ratio);
  if (canvas.width !== w || canvas.height !== h) {
    canvas.width = w;
    canvas.height = h;
    if (zoom.fitted && hasPicture) fitView();
  }
  const context = canvas.getContext("2d");
  context.imageSmoothingEnabled = false;
  context.clearRect(0, 0, w, h);
  $("placeholder").hidden = hasPicture;
  $("placeholder").textContent = file ? "No picture yet: settle the geometry." : "Open a raw dump, or drop one here.";
  if (!hasPicture) {
    $("zoom-level").textContent = "";
    return;
  }
  // Only the visible part, so a 32 x view of a large picture draws a screenful.
  const s = zoom.scale;
  const x0 = Math.max(0, Math.floor(-zoom.x / s));
  const y0 = Math.max(0, Math.floor(-zoom.y / s));
  const x1 = Math.min(picture.width, Math.ceil((w - zoom.x) / s));
  const y1 = Math.min(picture.height, Math.ceil((h - zoom.y) / s));
  if (x1 > x0 && y1 > y0) {
    context.drawImage(picture, x0, y0, x1 - x0, y1 - y0, zoom.x + x0 * s, zoom.y + y0 * s, (x1 - x0) * s, (y1 - y0) * s);
  }
  Object.assign(canvas.dataset, { scale: s, x: zoom.x, y: zoom.y });
  $("zoom-level").textContent = `${Math.round(s * 100)} %${zoom.fitted ? " (fit)" : ""}`;
  if (pointer) readout(pointer);
}

function writeFragment() {
  const params = new URLSearchParams();
  for (const name of KEPT) {
    const element = form.elements[name];
    const kept = element.type === "checkbox" ? (element.checked ? "1" : "") : element.value;
    if (kept !== "") params.set(name, kept);
  }
  if (file) params.set("file", file.name);
  history.replaceState(null, "", `#${params}`);
}

function readFragment() {
  const params = new URLSearchParams(location.hash.slice(1));
  for (const name of KEPT) {
    const element = form.elements[name];
    if (!params.has(name)) continue;
    if (element.type === "checkbox") element.checked = params.get(name) === "1";
    else element.value = params.get(name);
  }
  fragmentFile = params.get("file");
  if (fragmentFile) showMessage(`Open ${fragmentFile} to see it with the settings of this address.`);
}

function showPlan(plan) {
  const auto = (name, text) => { form.elements[name].placeholder = text; };
  auto("width", plan.width > 0 ? String(plan.width) : "unknown");
  auto("height", plan.height > 0 ? String(plan.height) : "unknown");
  auto("stride", plan.ok || plan.stride > 0 ? `${plan.stride} (${plan.strideFrom === "name" ? "name" : "auto"})` : "auto");
  auto("scanlines", plan.ok || plan.scanlines > 0 ? `${plan.scanlines} (${plan.scanlinesFrom === "name" ? "name" : "auto"})` : "auto");
  frames = plan.frames;
  $("frames").textContent = plan.ok ? `of ${plan.frames}` : "";
  $("previous").disabled = !plan.ok || Number(value("frame")) <= 0;
  $("next").disabled = !plan.ok || Number(value("frame")) >= plan.frames - 1;
  $("command").textContent = ["pixmora-convert", ...converterArguments(true)].map(shellWord).join(" ");
  $("fits").hidden = nameFits.length === 0;
  for (const button of $("fit-list").querySelectorAll("button")) {
    const [layout, width, height] = button.dataset.fit.split(" ");
    button.setAttribute("aria-pressed", String(layout === value("layout") && width === value("width") &&
      height === value("height")));
  }
}

function explain(plan) {
  if (plan.sizeUnknown) {
    return nameFits.length > 0 ? "Width and height are not in the name: type them, or pick one of the sizes below."
      : `Width and height are not in the name, and the file's ${plan.bytes} bytes fit none of the common sizes: type them.`;
  }
  return plan.reason.charAt(0).toUpperCase() + plan.reason.slice(1);
}

// Plans the form's settings and draws them; a plan the file cannot hold
// leaves the picture as it was, with the reason.
function redraw() {
  if (!file) return;
  writeFragment();
  const start = performance.now();
  const plan = call("pm_plan", converterArguments(false));
  showPlan(plan);
  if (!plan.ok) {
    showMessage(explain(plan));
    return;
  }
  const pixels = wasm._pm_render(VIEWS.indexOf(value("view")));
  if (!pixels) {
    showMessage("There is not enough memory to draw this picture.");
    return;
  }
  const w = wasm._pm_width();
  const h = wasm._pm_height();
  const oldWidth = hasPicture ? picture.width : w;
  if (picture.width !== w || picture.height !== h) {
    picture.width = w;
    picture.height = h;
  }
  const rgba = new Uint8ClampedArray(wasm.HEAPU8.buffer, pixels, w * h * 4);
  picture.getContext("2d").putImageData(new ImageData(rgba, w, h), 0, 0);
  if (!hasPicture || zoom.fitted) {
    hasPicture = true;
    fitView();
  } else if (oldWidth !== w) {
    // Half and full size: the same place of the frame stays under the same point.
    zoom.scale *= oldWidth / w;
    zoom.fitted = false;
  }
  showMessage("");
  paint();
  $("timing").textContent = `drawn in ${Math.round(performance.now() - start)} ms`;
}

function fillFromName(name) {
  const named = call("pm_plan", ["--", name]);
  if (named.layoutFrom === "name") form.elements.layout.value = named.layout;
  if (named.patternFrom === "name") form.elements.pattern.value = named.pattern;
  form.elements.width.value = named.widthFrom === "name" ? named.width : "";
  form.elements.height.value = named.heightFrom === "name" ? named.height : "";
  for (const name of ["stride", "offset", "scanlines"]) form.elements[name].value = "";
  form.elements.frame.value = "0";
}

function listFits(plan) {
  nameFits = plan.sizeUnknown && plan.fits ? plan.fits.split(", ") : [];
  $("fit-list").replaceChildren(...nameFits.map((fit) => {
    const item = document.createElement("li");
    const button = document.createElement("button");
    button.type = "button";
    button.dataset.fit = fit.replace("x", " ");
    button.textContent = fit.replace("x", " × ");
    button.addEventListener("click", () => {
      const [layout, width, height] = button.dataset.fit.split(" ");
      form.elements.layout.value = layout;
      form.elements.width.value = width;
      form.elements.height.value = height;
      form.elements.stride.value = "";
      form.elements.scanlines.value = "";
      redraw();
    });
    item.append(button);
    return item;
  }));
}

async function openFile(chosen) {
  if (!chosen) return;
  $("file-name").textContent = `${chosen.name}, ${chosen.size.toLocaleString("en")} bytes: reading…`;
  const at = wasm._pm_open(chosen.size);
  if (!at) {
    showMessage(`There is not enough memory to hold ${chosen.name} (${chosen.size} bytes).`);
    return;
  }
  for (let done = 0; done < chosen.size; done += READ_CHUNK) {
    const part = new Uint8Array(await chosen.slice(done, done + READ_CHUNK).arrayBuffer());
    wasm.HEAPU8.set(part, at + done);
  }
  file = { name: chosen.name, size: chosen.size };
  hasPicture = false;
  $("readout").textContent = "";
  $("timing").textContent = "";
  zoom.fitted = true;
  $("file-name").textContent = `${chosen.name}, ${chosen.size.toLocaleString("en")} bytes`;
  listFits(call("pm_plan", ["--", chosen.name]));
  if (fragmentFile === chosen.name) {
    fragmentFile = null;
  } else {
    fillFromName(chosen.name);
  }
  paint();
  redraw();
}

function stepFrame(step) {
  const next = Number(value("frame") || 0) + step;
  if (next < 0 || next >= frames) return;
  form.elements.frame.value = String(next);
  redraw();
}

function save() {
  if (!file) return;
  const result = call("pm_save", converterArguments(true));
  if (!result.ok) {
    showMessage(explain({ reason: result.reason }));
    return;
  }
  const at = wasm._pm_saved();
  const blob = new Blob([wasm.HEAPU8.slice(at, at + result.size)], { type: "application/octet-stream" });
  wasm._pm_forget_saved();
  const link = document.createElement("a");
  link.href = URL.createObjectURL(blob);
  link.download = result.name;
  link.click();
  setTimeout(() => URL.revokeObjectURL(link.href), 60000);
}

// The picture's position and the raw samples of the cell under a canvas point.
function readout(event) {
  if (!hasPicture) {
    $("readout").textContent = "";
    return;
  }
  const ratio = window.devicePixelRatio || 1;
  const u = Math.floor((event.offsetX * ratio - zoom.x) / zoom.scale);
  const v = Math.floor((event.offsetY * ratio - zoom.y) / zoom.scale);
  const full = value("view") === "full";
  const cell = wasm._pm_cell(full ? Math.floor(u / 2) : u, full ? Math.floor(v / 2) : v);
  if (u < 0 || v < 0 || u >= picture.width || v >= picture.height || !cell) {
    $("readout").textContent = "";
    return;
  }
  const numbers = wasm.HEAP32.subarray(cell / 4, cell / 4 + 8);
  const parts = [`x ${u}`, `y ${v}`];
  const samples = [];
  for (let i = 0; i < 4; i++) {
    const [label, colour] = COLOURS[numbers[4 + i]];
    samples.push(`<span class="${colour}">${label} ${numbers[i]}</span>`);
  }
  $("readout").innerHTML = `${parts.join("  ")}   ${samples.slice(0, 2).join(" ")} / ${samples.slice(2).join(" ")}` +
    `   frame ${value("frame") || 0}`;
}

function keyDown(event) {
  const typing = event.target.matches("input[type=number], select");
  if (typing || event.ctrlKey || event.metaKey || event.altKey || !hasPicture) return;
  const centre = [canvas.width / 2, canvas.height / 2];
  const pan = (dx, dy) => {
    zoom.x += dx;
    zoom.y += dy;
    zoom.fitted = false;
    paint();
  };
  const actions = {
    f: () => { fitView(); paint(); },
    0: () => { fitView(); paint(); },
    1: () => zoomAbout(1, ...centre),
    "+": () => zoomAbout(zoom.scale * 2, ...centre),
    "=": () => zoomAbout(zoom.scale * 2, ...centre),
    "-": () => zoomAbout(zoom.scale / 2, ...centre),
    "[": () => stepFrame(-1),
    "]": () => stepFrame(1),
    PageUp: () => stepFrame(-1),
    PageDown: () => stepFrame(1),
  };
  if (event.target === canvas) {
    Object.assign(actions, {
      ArrowLeft: () => pan(canvas.width / 8, 0),
      ArrowRight: () => pan(-canvas.width / 8, 0),
      ArrowUp: () => pan(0, canvas.height / 8),
      ArrowDown: () => pan(0, -canvas.height / 8),
    });
  }
  const action = actions[event.key];
  if (action) {
    event.preventDefault();
    action();
  }
}

function wire() {
  form.addEventListener("input", (event) => {
    if (event.target.type === "file") return;
    if (event.target.name === "wb") $("gains").hidden = value("wb") !== "gains";
    if (event.target.name === "preview") {
      for (const name of ["wb", "srgb", "gainR", "gainG", "gainB"]) form.elements[name].disabled = checked("preview");
    }
    if (event.target.name !== "type") redraw();
    else if (file) showPlan(call("pm_plan", converterArguments(false)));
  });
  $("file").addEventListener("change", (event) => openFile(event.target.files[0]));
  $("previous").addEventListener("click", () => stepFrame(-1));
  $("next").addEventListener("click", () => stepFrame(1));
  $("save").addEventListener("click", save);
  $("fit").addEventListener("click", () => { if (hasPicture) { fitView(); paint(); } });
  $("actual").addEventListener("click", () => { if (hasPicture) zoomAbout(1, canvas.width / 2, canvas.height / 2); });
  document.addEventListener("keydown", keyDown);

  document.addEventListener("dragover", (event) => {
    event.preventDefault();
    $("stage").classList.add("dropping");
  });
  document.addEventListener("dragleave", () => $("stage").classList.remove("dropping"));
  document.addEventListener("drop", (event) => {
    event.preventDefault();
    $("stage").classList.remove("dropping");
    openFile(event.dataTransfer.files[0]);
  });

  canvas.addEventListener("wheel", (event) => {
    if (!hasPicture) return;
    event.preventDefault();
    const ratio = window.devicePixelRatio || 1;
    zoomAbout(zoom.scale * Math.pow(2, -event.deltaY / 240), event.offsetX * ratio, event.offsetY * ratio);
  }, { passive: false });
  let drag = null;
  canvas.addEventListener("pointerdown", (event) => {
    drag = { x: event.clientX, y: event.clientY };
    canvas.setPointerCapture(event.pointerId);
    canvas.classList.add("dragging");
  });
  canvas.addEventListener("pointermove", (event) => {
    if (drag) {
      const ratio = window.devicePixelRatio || 1;
      zoom.x += Math.round((event.clientX - drag.x) * ratio);
      zoom.y += Math.round((event.clientY - drag.y) * ratio);
      zoom.fitted = false;
      drag = { x: event.clientX, y: event.clientY };
    }
    pointer = { offsetX: event.offsetX, offsetY: event.offsetY };
    if (drag) paint();
    else readout(pointer);
  });
  canvas.addEventListener("pointerleave", () => {
    pointer = null;
    $("readout").textContent = "";
  });
  const endDrag = () => {
    drag = null;
    canvas.classList.remove("dragging");
  };
  canvas.addEventListener("pointerup", endDrag);
  canvas.addEventListener("pointercancel", endDrag);
  new ResizeObserver(paint).observe(canvas);
}

async function start() {
  wasm = await createPixmora();
  window.pixmora = wasm;  // the module, for the console and the benchmark
  readFragment();
  $("gains").hidden = value("wb") !== "gains";
  wire();
  paint();
  document.body.dataset.ready = "1";
}

start();
