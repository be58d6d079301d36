// The status page: one self-contained HTML document (style and script
// inline, nothing fetched from elsewhere), so that it works on a network
// without internet access.
#include "ui/statusreport.h"

namespace tw {
namespace {

const char* const kHead = R"html(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Tellwick for Zorvan</title>
<style>
body { font: 14px/1.4 "DejaVu Sans", Arial, sans-serif; margin: 16px; color: #1d1d1d; background: #f4f5f7; }
header { display: flex; align-items: baseline; gap: 16px; flex-wrap: wrap; }
h1 { font-size: 20px; margin: 0 0 8px; }
h2 { font-size: 16px; margin: 20px 0 6px; }
.muted { color: #666; }
.stale { color: #b00020; font-weight: bold; }
table { border-collapse: collapse; background: #fff; box-shadow: 0 1px 2px #0002; }
th, td { padding: 4px 10px; border-bottom: 1px solid #e3e3e3; text-align: left; white-space: nowrap; }
th { background: #e9ecf1; font-weight: 600; }
td.number { text-align: right; font-variant-numeric: tabular-nums; }
tr.down td.state::before, tr.up td.state::before { content: "\25CF  "; }
tr.up td.state::before { color: #1a7f37; }
tr.down td.state::before { color: #b00020; }
.alert { color: #b00020; font-weight: 600; }
#link th { width: 160px; }
#trace { height: 320px; overflow: auto; margin: 6px 0 0; padding: 6px; background: #111; color: #d8d8d8;
         font: 12px/1.35 "DejaVu Sans Mono", "Courier New", monospace; white-space: pre; }
button { font: inherit; padding: 3px 12px; }
</style>
</head>
<body>
<header>
<h1>Tellwick for Zorvan</h1>
<span id="version" class="muted"></span>
<span id="updated" class="muted"></span>
</header>
<h2>Ports</h2>
<table id="ports">
<thead><tr><th>Port</th><th>Description</th><th>Status</th><th>Tx bytes</th><th>Rx bytes</th>
<th>Last call</th><th>Calls</th><th>NAKs</th><th>ESPA state</th><th>Poll failure</th></tr></thead>
<tbody></tbody>
</table>
<h2>Alarm server</h2>
<table id="link"><tbody></tbody></table>
<h2>Trace</h2>
<button id="watch" type="button">Watch trace</button>
<span id="traceState" class="muted">not watching</span>
<pre id="trace"></pre>
<script>
)html";

const char* const kScript = R"html(
function cell(row, text, className) {
  const td = document.createElement('td');
  td.textContent = String(text);
  if (className) td.className = className;
  row.appendChild(td);
}

function portRow(p) {
  const tr = document.createElement('tr');
  tr.id = 'port-' + p.port;
  tr.className = p.up ? 'up' : 'down';
  cell(tr, p.port, 'number');
  cell(tr, p.description);
  cell(tr, p.status, 'state');
  cell(tr, p.txBytesShown, 'number');
  cell(tr, p.rxBytesShown, 'number');
  cell(tr, p.lastCallText || 'never');
  cell(tr, p.calls, 'number');
  cell(tr, p.naks, 'number');
  cell(tr, (p.selected ? 'selected' : 'idle') + (p.commFailed ? ', communication failed' : ''),
       p.commFailed ? 'alert' : '');
  cell(tr, p.pollFailed ? 'alarm raised' : 'no', p.pollFailed ? 'alert' : '');
  return tr;
}

function linkRow(name, value, className) {
  const tr = document.createElement('tr');
  const th = document.createElement('th');
  th.textContent = name;
  tr.appendChild(th);
  cell(tr, value, className);
  return tr;
}

function render(s) {
  document.getElementById('version').textContent = 'version ' + s.version;
  document.getElementById('updated').textContent = 'updated ' + s.timeText;
  document.getElementById('updated').className = 'muted';
  document.querySelector('#ports tbody').replaceChildren(...s.ports.map(portRow));
  const a = s.alarmServer;
  document.querySelector('#link tbody').replaceChildren(
    linkRow('Link', a.state),
    linkRow('Counters', a.counters),
    linkRow('Connected', a.connected ? 'yes' : 'no', a.connected ? '' : 'alert'),
    linkRow('Peer', a.peer || '-'),
    linkRow('Alarms buffered', a.buffered, a.buffered > 0 ? 'alert' : ''),
    linkRow('Alarms sent', a.sent),
    linkRow('Alarms dropped', a.dropped, a.dropped > 0 ? 'alert' : ''),
    linkRow('Last watchdog', a.lastWatchdogText || 'never'));
}

async function refresh() {
  try {
    const answer = await fetch('/api/status', {cache: 'no-store'});
    if (!answer.ok) throw new Error(answer.status);
    render(await answer.json());
  } catch (e) {
    const updated = document.getElementById('updated');
    updated.textContent = 'no answer from the gateway';
    updated.className = 'stale';
  }
  setTimeout(refresh, 1000);
}

const traceLines = [];
let traceSocket = null;

function showTraceState(text) {
  document.getElementById('traceState').textContent = text;
  document.getElementById('watch').textContent = traceSocket ? 'Stop' : 'Watch trace';
}

function watchTrace() {
  if (traceSocket) {
    traceSocket.close();
    return;
  }
  const scheme = location.protocol === 'https:' ? 'wss://' : 'ws://';
  traceSocket = new WebSocket(scheme + location.host + '/trace');
  showTraceState('connecting');
  traceSocket.onopen = () => showTraceState('watching');
  traceSocket.onmessage = (event) => {
    const pre = document.getElementById('trace');
    const atEnd = pre.scrollTop + pre.clientHeight >= pre.scrollHeight - 4;
    traceLines.push(...event.data.split('\n'));
    traceLines.splice(0, Math.max(0, traceLines.length - 500));
    pre.textContent = traceLines.join('\n');
    if (atEnd) pre.scrollTop = pre.scrollHeight;
  };
  traceSocket.onclose = () => {
    traceSocket = null;
    showTraceState('not watching');
  };
}

document.getElementById('watch').addEventListener('click', watchTrace);
render(initialStatus);
setTimeout(refresh, 1000);
if (watchAtStart) watchTrace();
</script>
</body>
</html>
)html";

}  // namespace

std::string StatusPage(const std::string& statusJson, bool watchTrace) {
    return std::string(kHead) + "const initialStatus = " + statusJson +
           ";\nconst watchAtStart = " + (watchTrace ? "true" : "false") + ";" + kScript;
}

}  // namespace tw
