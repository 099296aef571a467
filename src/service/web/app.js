// The page: records with the browser's MediaRecorder (or takes a file), sends
// the recording to the service and draws what came back.
"use strict";

const EXAMPLES = {
  en: ["i like to read a good book", "hello world", "good morning", "i like tea", "read the book"],
  zh: ["我學中文", "你好", "中文很好", "很長", "銀行"],
};
const $ = (id) => document.getElementById(id);
let recorder = null;
let chunks = [];

function setStatus(text, isError) {
  $("status").textContent = text;
  $("status").classList.toggle("error", !!isError);
}

function fillExamples() {
  const lang = $("lang").value;
  $("examples").innerHTML = "";
  for (const s of EXAMPLES[lang]) {
    const o = document.createElement("option");
    o.value = s;
    $("examples").appendChild(o);
  }
  if (!EXAMPLES.en.concat(EXAMPLES.zh).includes($("sentence").value) && $("sentence").value) return;
  $("sentence").value = EXAMPLES[lang][0];
  $("sentences").value = EXAMPLES[lang].join("\n");
}

function showMode() {
  const recog = $("mode").value === "recog";
  $("sentenceBox").hidden = recog;
  $("listBox").hidden = !recog;
}

function recorderType() {
  const types = ["audio/webm;codecs=opus", "audio/ogg;codecs=opus", "audio/webm", "audio/mp4"];
  return types.find((t) => window.MediaRecorder && MediaRecorder.isTypeSupported(t)) || "";
}

async function toggleRecording() {
  if (recorder && recorder.state === "recording") {
    recorder.stop();
    return;
  }
  if (!navigator.mediaDevices || !window.MediaRecorder) {
    setStatus("This browser cannot record here (the page needs https or 127.0.0.1). Upload a recording instead.", true);
    return;
  }
  let stream;
  try {
    stream = await navigator.mediaDevices.getUserMedia({ audio: true });
  } catch (e) {
    setStatus("The microphone was refused or is missing (" + e.name + "). Allow it in the browser, or upload a recording instead.", true);
    return;
  }
  const type = recorderType();
  recorder = new MediaRecorder(stream, type ? { mimeType: type } : {});
  chunks = [];
  recorder.ondataavailable = (e) => { if (e.data.size) chunks.push(e.data); };
  recorder.onstop = () => {
    stream.getTracks().forEach((t) => t.stop());
    $("record").textContent = "● Record";
    $("record").classList.remove("recording");
    submit(new Blob(chunks, { type: recorder.mimeType || "audio/webm" }), "recording");
  };
  recorder.start();
  $("record").textContent = "■ Stop";
  $("record").classList.add("recording");
  document.body.dataset.state = "recording";
  setStatus("Recording… speak now, then press Stop.");
}

async function submit(blob, name) {
  const recog = $("mode").value === "recog";
  const form = new FormData();
  form.append("audio", blob, name);
  form.append("lang", $("lang").value);
  if (recog) form.append("sentences", $("sentences").value);
  else form.append("sentence", $("sentence").value);
  document.body.dataset.state = "sending";
  setStatus(recog ? "Recognising…" : "Assessing…");
  $("record").disabled = true;
  try {
    const res = await fetch(recog ? "api/recog" : "api/assess", { method: "POST", body: form });
    const data = await res.json();
    if (!res.ok) throw new Error(data.error || "HTTP " + res.status);
    await show(data, blob);
    setStatus(recog ? "Recognised: " + data.sentence : "Done. Press Record to try again.");
    document.body.dataset.state = "done";
  } catch (e) {
    setStatus(e.message, true);
    document.body.dataset.state = "error";
  } finally {
    $("record").disabled = false;
  }
}

function grade(score) {
  return score >= 80 ? "good" : score >= 60 ? "fair" : "poor";
}

async function show(data, blob) {
  $("result").hidden = false;
  $("score").textContent = Math.round(data.score);
  $("score").className = grade(data.score) + "-text";
  const words = $("words");
  words.innerHTML = "";
  for (const w of data.words) {
    const span = document.createElement("span");
    span.className = "word " + grade(w.score);
    span.dataset.score = w.score;
    span.title = w.text + ": " + Math.round(w.score) + " (" + w.start.toFixed(2) + "–" + w.end.toFixed(2) + " s)";
    span.textContent = w.text;
    if (data.language === "chinese" && w.syllable) {
      const s = document.createElement("small");
      s.textContent = w.syllable + (w.tone || "");
      span.appendChild(s);
    }
    words.appendChild(span);
  }
  const notes = $("notes");
  notes.innerHTML = "";
  const lines = (data.warnings || []).slice();
  for (const d of data.discounts || []) if (d.applied) lines.push(d.reason + ": " + d.occurrences);
  if (data.kind === "recog") lines.unshift("Recognised line " + (data.index + 1) + ": " + data.sentence);
  for (const l of lines) {
    const li = document.createElement("li");
    li.textContent = l;
    notes.appendChild(li);
  }
  $("playback").src = URL.createObjectURL(blob);
  let samples = null;
  try {
    const ctx = new (window.AudioContext || window.webkitAudioContext)();
    const audio = await ctx.decodeAudioData(await blob.arrayBuffer());
    samples = { data: audio.getChannelData(0), rate: audio.sampleRate };
    ctx.close();
  } catch (e) {
    samples = null;  // the chart still shows phones and pitch
  }
  draw(data, samples);
}

function draw(data, samples) {
  const c = $("chart");
  const g = c.getContext("2d");
  const W = c.width, waveH = 110, phoneTop = 120, phoneH = 34, pitchTop = 170, pitchH = 110;
  g.clearRect(0, 0, W, c.height);
  const lastPhone = data.phones.length ? data.phones[data.phones.length - 1].end : 0;
  const total = Math.max(lastPhone, samples ? samples.data.length / samples.rate : 0, 0.1);
  const x = (t) => (t / total) * W;
  if (samples) {
    g.strokeStyle = "#486581";
    g.beginPath();
    const step = samples.data.length / W;
    for (let px = 0; px < W; px++) {
      let lo = 0, hi = 0;
      for (let i = Math.floor(px * step); i < Math.floor((px + 1) * step); i++) {
        const v = samples.data[i];
        if (v < lo) lo = v;
        if (v > hi) hi = v;
      }
      g.moveTo(px + 0.5, waveH / 2 - hi * waveH / 2);
      g.lineTo(px + 0.5, waveH / 2 - lo * waveH / 2 + 1);
    }
    g.stroke();
  }
  g.font = "12px system-ui, sans-serif";
  g.textAlign = "center";
  g.textBaseline = "middle";
  for (const p of data.phones) {
    const x0 = x(p.start), x1 = x(p.end);
    g.fillStyle = p.word < 0 ? "#e4e7eb" : getComputedStyle(document.documentElement).getPropertyValue("--" + grade(p.score));
    g.fillRect(x0, phoneTop, Math.max(1, x1 - x0 - 1), phoneH);
    g.fillStyle = p.word < 0 ? "#52606d" : "#fff";
    if (x1 - x0 > 14) g.fillText(p.name.split("+")[0], (x0 + x1) / 2, phoneTop + phoneH / 2);
  }
  const pitch = (data.tracks && data.tracks.pitch) || [];
  const voiced = pitch.filter((v) => v > 0);
  g.strokeStyle = "#d9e2ec";
  g.strokeRect(0, pitchTop, W, pitchH);
  g.fillStyle = "#52606d";
  g.textAlign = "left";
  g.fillText(voiced.length ? "pitch (semitones)" : "no pitch track for this language", 4, pitchTop + 10);
  if (voiced.length) {
    const lo = Math.min(...voiced) - 1, hi = Math.max(...voiced) + 1;
    const y = (v) => pitchTop + pitchH - ((v - lo) / (hi - lo)) * (pitchH - 16) - 4;
    g.strokeStyle = "#2f80ed";
    g.lineWidth = 2;
    g.beginPath();
    let pen = false;
    pitch.forEach((v, i) => {
      const px = x(data.tracks.start + i * data.tracks.frameSeconds);
      if (v > 0) { pen ? g.lineTo(px, y(v)) : g.moveTo(px, y(v)); pen = true; } else pen = false;
    });
    g.stroke();
    g.lineWidth = 1;
  }
  g.textAlign = "center";
  g.fillStyle = "#243b53";
  for (const w of data.words) {
    const label = data.language === "chinese" && w.tone ? w.syllable + w.tone : "";
    // The designated tone, and the one the syllable's contour suggests when it differs.
    const heard = w.pitchTone && w.pitchTone !== w.tone ? ", heard " + w.pitchTone : "";
    if (label) g.fillText(label + " (tone " + w.tone + heard + ")", x((w.start + w.end) / 2), pitchTop + pitchH - 8);
  }
}

$("record").addEventListener("click", toggleRecording);
$("file").addEventListener("change", () => {
  const f = $("file").files[0];
  if (f) submit(f, f.name);
  $("file").value = "";
});
$("lang").addEventListener("change", fillExamples);
$("mode").addEventListener("change", showMode);
fillExamples();
showMode();
if (!window.isSecureContext) {
  setStatus("Recording needs a secure page (https, or http://127.0.0.1). You can still upload a recording.", true);
}
