// The page of the web view: tiles kept live by the server's events
// (/api/vivo), a trend drawn on a canvas from /api/…/tendencia, the latest
// events and the CSV download. No libraries: everything is here.
"use strict";

const estado = { linea: null, instrumentos: new Map(), conectado: false, desfase: 0, lapso: 3600, intervalo: null };
const $ = (id) => document.getElementById(id);

function el(tag, clase, texto) {
  const e = document.createElement(tag);
  if (clase) e.className = clase;
  if (texto !== undefined) e.textContent = texto;
  return e;
}

// A value as the instrument shows it: the stored text ("25.0", " oF "), else the number.
function texto(l, campo) {
  if (!l) return "----";
  if (l.textos && l.textos[campo] !== undefined && l.textos[campo] !== "") return l.textos[campo].trim();
  const v = l[campo];
  return v === null || v === undefined ? "----" : String(v);
}

function crearPanel(i) {
  const p = el("article", "panel");
  p.id = "panel-" + i.instrumento;
  const h = el("h3");
  const t = el("span", "titulo");
  t.id = "titulo-" + i.instrumento;
  h.append(t, el("span", "num", "#" + i.instrumento));
  const pv = el("div", "fila");
  const pvv = el("span", "pv digitos");
  pvv.id = "pv-" + i.instrumento;
  const un = el("span", "unidad");
  un.id = "unidad-" + i.instrumento;
  pv.append(el("span", "etq", "Medido"), pvv);
  const sp = el("div", "fila");
  const spv = el("span", "sp digitos");
  spv.id = "sp-" + i.instrumento;
  sp.append(el("span", "etq", "Consigna"), un, spv);
  const barras = el("div", "barras");
  const pot = el("div", "barra");
  pot.append(el("div"));
  pot.id = "pot-" + i.instrumento;
  const potv = el("span", "val");
  potv.id = "potv-" + i.instrumento;
  const al1 = el("div", "barra alarma");
  al1.append(el("div"));
  al1.id = "al1-" + i.instrumento;
  const al1v = el("span", "val");
  al1v.id = "al1v-" + i.instrumento;
  barras.append(el("span", "etq", "Potencia"), pot, potv, el("span", "etq", "Alarma 1"), al1, al1v);
  const lamparas = el("div", "lamparas");
  for (const k of [2, 3, 4]) {
    const l = el("span", "lampara", "AL" + k);
    l.id = "al" + k + "-" + i.instrumento;
    lamparas.append(l);
  }
  const com = el("span", "lampara com", "COM");
  com.id = "com-" + i.instrumento;
  lamparas.append(com);
  const prog = el("div", "prog");
  prog.id = "prog-" + i.instrumento;
  const partida = el("div", "partida");
  partida.id = "partida-" + i.instrumento;
  const hora = el("div", "hora");
  hora.id = "hora-" + i.instrumento;
  const est = el("div", "estado");
  est.id = "estado-" + i.instrumento;
  p.append(h, pv, sp, barras, lamparas, prog, partida, hora, est);
  return p;
}

function porcentaje(v) {
  return typeof v === "number" ? Math.max(0, Math.min(100, v)) : 0;
}

function pintarPanel(i) {
  const n = i.instrumento;
  let p = $("panel-" + n);
  if (!p) {
    p = crearPanel(i);
    $("paneles").append(p);
    for (const s of [$("tendencia-instrumento"), $("csv-instrumento")]) {
      const o = el("option", "", n + " · " + (i.titulo || "Instrumento " + n));
      o.value = n;
      s.append(o);
    }
  }
  const l = i.lectura;
  $("titulo-" + n).textContent = (l && l.titulo) || i.titulo || "Instrumento " + n;
  $("unidad-" + n).textContent = (l && l.unidad) || i.unidad || "";
  $("pv-" + n).textContent = texto(l, "valor");
  $("sp-" + n).textContent = texto(l, "consigna");
  $("pot-" + n).firstChild.style.width = porcentaje(l && l.potencia) + "%";
  $("potv-" + n).textContent = l && typeof l.potencia === "number" ? texto(l, "potencia") + " %" : texto(l, "potencia");
  $("al1-" + n).firstChild.style.width = porcentaje(l && l.alarma1) + "%";
  $("al1v-" + n).textContent = texto(l, "alarma1");
  for (const k of [2, 3, 4]) $("al" + k + "-" + n).classList.toggle("on", !!(l && l["alarma" + k]));
  const sinCom = !i.disponible || (l && l.alarmaCom);
  $("com-" + n).classList.toggle("ok", !sinCom && !!l);
  $("com-" + n).classList.toggle("mal", !!sinCom);
  $("prog-" + n).textContent = i.programador && l && l.programa !== undefined
    ? "Programa " + l.programa + " · segmento " + (l.segmento ?? "-") + " · " + (l.tiempoSegmento ?? "")
    : "";
  $("partida-" + n).textContent = l && l.partida ? "Partida: " + l.partida : "";
  $("hora-" + n).textContent = l ? "Lectura: " + new Date(l.tiempo).toLocaleString("es") : "Sin lecturas todavía";
  marcarActual(i);
}

// Why a tile is not current, or "" when it is.
function motivoNoActual(i) {
  if (!estado.conectado) return "Sin conexión con el servidor";
  const linea = estado.linea || {};
  if (!linea.adquisicion) return "Adquisición detenida";
  if (linea.puerto === false) return "Puerto perdido" + (linea.textoPuerto ? ": " + linea.textoPuerto : "");
  if (!i.disponible || (i.lectura && i.lectura.alarmaCom)) return "Sin comunicación (alarma enganchada)";
  if (!i.lectura) return "Sin lecturas todavía";
  // Late when it waits three times longer than between its last two readings (a minute at least).
  const edad = (Date.now() + estado.desfase - Date.parse(i.lectura.tiempo)) / 1000;
  if (edad > Math.max(60, 3 * (i.intervalo || 0))) return "Sin lecturas desde hace " + Math.round(edad) + " s";
  return "";
}

function marcarActual(i) {
  const motivo = motivoNoActual(i);
  const p = $("panel-" + i.instrumento);
  p.dataset.actual = motivo ? "no" : "si";
  $("estado-" + i.instrumento).textContent = motivo;
}

function marcarTodos() {
  for (const i of estado.instrumentos.values()) marcarActual(i);
  const c = $("conexion");
  c.dataset.estado = estado.conectado ? "vivo" : "perdida";
  c.textContent = estado.conectado ? "En vivo" : "Conexión con el servidor perdida";
  const linea = estado.linea || {};
  const avisos = [];
  if (estado.linea && !linea.adquisicion) avisos.push("La adquisición está detenida: los valores no son actuales.");
  if (linea.puerto === false) avisos.push("Puerto perdido" + (linea.textoPuerto ? ": " + linea.textoPuerto : "") + ".");
  if (linea.registro === false) avisos.push("El registro falla" + (linea.textoRegistro ? ": " + linea.textoRegistro : "") + ".");
  $("aviso-linea").hidden = avisos.length === 0;
  $("aviso-linea").textContent = avisos.join(" ");
}

function aplicarEstado(e) {
  estado.linea = e.linea;
  if (e.ahora) estado.desfase = Date.parse(e.ahora) - Date.now();
  for (const i of e.instrumentos) {
    const antes = estado.instrumentos.get(i.instrumento);
    if (antes) i.intervalo = antes.intervalo;
    estado.instrumentos.set(i.instrumento, i);
    pintarPanel(i);
  }
  marcarTodos();
}

function aplicarLectura(l) {
  const i = estado.instrumentos.get(l.instrumento) || { instrumento: l.instrumento, disponible: true };
  if (i.lectura) i.intervalo = (Date.parse(l.tiempo) - Date.parse(i.lectura.tiempo)) / 1000;
  i.lectura = l;
  if (l.alarmaCom) i.disponible = false;
  estado.instrumentos.set(l.instrumento, i);
  pintarPanel(i);
}

function conectar() {
  const fuente = new EventSource("api/vivo");
  fuente.addEventListener("estado", (m) => {
    estado.conectado = true;
    aplicarEstado(JSON.parse(m.data));
  });
  fuente.addEventListener("lectura", (m) => aplicarLectura(JSON.parse(m.data)));
  fuente.addEventListener("evento", (m) => agregarEvento(JSON.parse(m.data), true));
  fuente.onopen = () => { estado.conectado = true; marcarTodos(); cargarEventos(); };
  fuente.onerror = () => { estado.conectado = false; marcarTodos(); };
}

// ---- events

function agregarEvento(e, alPrincipio) {
  const tr = el("tr");
  tr.append(el("td", "", new Date(e.instante).toLocaleString("es")), el("td", "", e.instrumento || ""),
            el("td", "", e.tipo), el("td", "", e.texto), el("td", "", e.anterior ?? ""), el("td", "", e.nuevo ?? ""));
  const cuerpo = $("eventos");
  if (alPrincipio) cuerpo.prepend(tr); else cuerpo.append(tr);
  while (cuerpo.children.length > 50) cuerpo.lastChild.remove();
}

async function cargarEventos() {
  try {
    const r = await fetch("api/eventos?limite=20");
    if (!r.ok) return;
    const j = await r.json();
    $("eventos").replaceChildren();
    for (const e of j.eventos.reverse()) agregarEvento(e, false);
  } catch (e) { /* the live connection tells the loss */ }
}

// ---- trend

function isoLocal(d) {
  const p = (x) => String(x).padStart(2, "0");
  return d.getFullYear() + "-" + p(d.getMonth() + 1) + "-" + p(d.getDate()) + "T" + p(d.getHours()) + ":" + p(d.getMinutes()) + ":" + p(d.getSeconds());
}

async function cargarTendencia() {
  const n = $("tendencia-instrumento").value;
  if (!n) return;
  const lienzo = $("tendencia");
  const ancho = Math.max(100, Math.min(4000, Math.round(lienzo.clientWidth * (window.devicePixelRatio || 1))));
  let desde, hasta;
  if (estado.intervalo) {
    [desde, hasta] = estado.intervalo;
  } else {
    hasta = new Date(Date.now() + estado.desfase);
    desde = new Date(hasta.getTime() - estado.lapso * 1000);
  }
  const url = "api/instrumentos/" + n + "/tendencia?desde=" + encodeURIComponent(desde.toISOString()) +
              "&hasta=" + encodeURIComponent(hasta.toISOString()) + "&puntos=" + ancho;
  try {
    const r = await fetch(url);
    const j = await r.json();
    if (!r.ok) { $("tendencia-info").textContent = j.error || "Error " + r.status; return; }
    dibujar(j, desde.getTime(), hasta.getTime());
  } catch (e) {
    $("tendencia-info").textContent = "No se pudo leer la tendencia";
  }
}

function dibujar(j, t0, t1) {
  const c = $("tendencia");
  const dpr = window.devicePixelRatio || 1;
  c.width = Math.round(c.clientWidth * dpr);
  c.height = Math.round(320 * dpr);
  const g = c.getContext("2d");
  g.scale(dpr, dpr);
  const W = c.width / dpr, H = c.height / dpr, izq = 56, der = 10, arr = 10, abj = 26;
  g.clearRect(0, 0, W, H);
  const puntos = j.serie.map((p) => ({ t: Date.parse(p.t), min: p.min, max: p.max, sp: p.consigna }));
  let lo = Infinity, hi = -Infinity;
  for (const p of puntos) for (const v of [p.min, p.max, p.sp]) if (typeof v === "number") { lo = Math.min(lo, v); hi = Math.max(hi, v); }
  if (lo === Infinity) { lo = 0; hi = 1; }
  if (hi - lo < 1e-9) { lo -= 1; hi += 1; }
  const margen = (hi - lo) * 0.05; lo -= margen; hi += margen;
  const x = (t) => izq + (t - t0) / (t1 - t0) * (W - izq - der);
  const y = (v) => arr + (hi - v) / (hi - lo) * (H - arr - abj);
  g.strokeStyle = "#2c3a48"; g.fillStyle = "#8b9bab"; g.font = "11px sans-serif"; g.lineWidth = 1;
  for (let k = 0; k <= 5; k++) {
    const v = lo + (hi - lo) * k / 5, yy = Math.round(y(v)) + 0.5;
    g.beginPath(); g.moveTo(izq, yy); g.lineTo(W - der, yy); g.stroke();
    g.textAlign = "right"; g.fillText(v.toFixed(1), izq - 4, yy + 4);
  }
  for (let k = 0; k <= 6; k++) {
    const t = t0 + (t1 - t0) * k / 6, xx = Math.round(x(t)) + 0.5;
    g.beginPath(); g.moveTo(xx, arr); g.lineTo(xx, H - abj); g.stroke();
    const d = new Date(t);
    const etq = (t1 - t0) > 86400000 * 1.5 ? d.toLocaleDateString("es") + " " + d.toLocaleTimeString("es", { hour: "2-digit", minute: "2-digit" })
                                            : d.toLocaleTimeString("es", { hour: "2-digit", minute: "2-digit" });
    g.textAlign = k === 0 ? "left" : k === 6 ? "right" : "center";
    g.fillText(etq, xx, H - 8);
  }
  // Measured value: a vertical stroke from the slice's minimum to its maximum.
  g.strokeStyle = "#ff5a4f"; g.lineWidth = 1.5; g.beginPath();
  let antes = null;
  for (const p of puntos) {
    if (typeof p.min !== "number") { antes = null; continue; }
    const xx = x(p.t);
    if (antes) g.lineTo(xx, y(p.min)); else g.moveTo(xx, y(p.min));
    g.lineTo(xx, y(p.max));
    antes = p;
  }
  g.stroke();
  g.strokeStyle = "#52d273"; g.lineWidth = 1; g.setLineDash([4, 3]); g.beginPath();
  antes = null;
  for (const p of puntos) {
    if (typeof p.sp !== "number") { antes = null; continue; }
    if (antes) g.lineTo(x(p.t), y(p.sp)); else g.moveTo(x(p.t), y(p.sp));
    antes = p;
  }
  g.stroke(); g.setLineDash([]);
  $("tendencia-info").textContent = j.filas + " lecturas de " + new Date(t0).toLocaleString("es") + " a " +
    new Date(t1).toLocaleString("es") + " (rojo: valor medido, mínimo y máximo de cada tramo; verde: consigna)";
}

function iniciar() {
  for (const b of document.querySelectorAll("[data-lapso]")) {
    b.addEventListener("click", () => {
      for (const o of document.querySelectorAll("[data-lapso]")) o.classList.toggle("activo", o === b);
      estado.lapso = Number(b.dataset.lapso);
      estado.intervalo = null;
      cargarTendencia();
    });
  }
  $("form-tendencia").addEventListener("submit", (ev) => {
    ev.preventDefault();
    const d = new Date($("tendencia-desde").value), h = new Date($("tendencia-hasta").value);
    if (isNaN(d) || isNaN(h) || d >= h) { $("tendencia-info").textContent = "Indique un intervalo válido"; return; }
    for (const o of document.querySelectorAll("[data-lapso]")) o.classList.remove("activo");
    estado.intervalo = [d, h];
    cargarTendencia();
  });
  $("tendencia-instrumento").addEventListener("change", cargarTendencia);
  const hoy = isoLocal(new Date()).slice(0, 10);
  $("csv-desde").value = hoy;
  $("csv-hasta").value = hoy;
  $("tendencia-hasta").value = isoLocal(new Date());
  $("tendencia-desde").value = isoLocal(new Date(Date.now() - 3600000));
  $("form-csv").addEventListener("submit", (ev) => {
    ev.preventDefault();
    window.location.href = "api/instrumentos/" + $("csv-instrumento").value + "/csv?desde=" + $("csv-desde").value + "&hasta=" + $("csv-hasta").value;
  });
  conectar();
  let primera = true;
  const refrescar = () => { if (!estado.intervalo) cargarTendencia(); };
  setInterval(refrescar, 10000);
  setInterval(marcarTodos, 5000);
  // The first trend once the tiles (and the list of instruments) are there.
  const esperar = setInterval(() => {
    if (primera && $("tendencia-instrumento").value) { primera = false; clearInterval(esperar); cargarTendencia(); }
  }, 200);
}

document.addEventListener("DOMContentLoaded", iniciar);
