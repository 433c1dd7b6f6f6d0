// The pictures, in plain SVG made here, so that the page needs nothing
// from the network or another file: machines by their worst finding,
// findings by kind and, with earlier runs, the history.

// The colours of the charts' states, the severities' own first.
const STATE_COLOURS = { critical: "#b3261e", warning: "#9a5b00", info: "#2f63a8", unknown: "#5d5d70",
  none: "#3c8d50", unrun: "#aab", withFindings: "#9a5b00", clean: "#3c8d50", failed: "#b3261e",
  unreadable: "#7a4fa0", crashed: "#555" };
const STATE_WORDS = { critical: "critical", warning: "warning", info: "information", unknown: "could not look",
  none: "no findings", unrun: "no verdict (failed, unreadable, crashed)", withFindings: "with findings",
  clean: "no findings", failed: "GetData failed", unreadable: "unreadable", crashed: "crashed or timed out" };

function svg(tag, attributes, text) {
  const node = document.createElementNS("http://www.w3.org/2000/svg", tag);
  for (const [name, value] of Object.entries(attributes || {})) node.setAttribute(name, value);
  if (text !== undefined) node.textContent = visible(text);
  return node;
}

function legend(place, states, counts) {
  for (const state of states) {
    const item = element("span");
    const swatch = element("span", undefined, "swatch");
    swatch.style.background = STATE_COLOURS[state];
    item.append(swatch, STATE_WORDS[state] + " " + count(counts[state]));
    place.appendChild(item);
  }
}

// Every machine in one stacked bar, by the worst severity of its findings;
// a machine whose run gave no verdict has a part of its own.
function showWorstChart(data) {
  const figure = document.getElementById("worst-chart");
  const states = ["critical", "warning", "info", "unknown", "none", "unrun"];
  const counts = Object.fromEntries(states.map((state) => [state, 0]));
  for (const machine of data.machines)
    counts[machine.outcome === "completed" ? machine.worst : "unrun"] += 1;
  const total = data.machines.length || 1;
  const chart = svg("svg", { viewBox: "0 0 600 28", width: 600, height: 28, role: "img" });
  let x = 0;
  for (const state of states) {
    if (counts[state] === 0) continue;
    const width = (600 * counts[state]) / total;
    const part = svg("rect", { x: x, y: 0, width: width, height: 28, fill: STATE_COLOURS[state] });
    part.dataset.state = state;
    part.dataset.count = counts[state];
    part.appendChild(svg("title", {}, STATE_WORDS[state] + ": " + count(counts[state])));
    chart.appendChild(part);
    x += width;
  }
  figure.querySelector(".chart").appendChild(chart);
  legend(figure.querySelector(".legend"), states, counts);
}

// A bar per kind of finding (levels 100 and 101), the longest first.
function showKindChart(data) {
  const figure = document.getElementById("kind-chart");
  const seen = {};
  for (const machine of data.machines)
    for (const line of machine.lines)
      if (line[LEVEL] === 100 || line[LEVEL] === 101) {
        const entry = seen[line[KIND]] || (seen[line[KIND]] = { lines: 0, severity: line[SEVERITY] });
        entry.lines += 1;
      }
  const kinds = Object.keys(seen).sort((a, b) => seen[b].lines - seen[a].lines || a.localeCompare(b));
  if (kinds.length === 0) {
    figure.querySelector(".chart").appendChild(element("p", "No findings.", "none"));
    return;
  }
  const most = seen[kinds[0]].lines;
  const chart = svg("svg", { viewBox: "0 0 600 " + 22 * kinds.length, width: 600, height: 22 * kinds.length, role: "img" });
  kinds.forEach((kind, i) => {
    const about = data.kinds[kind];
    const bar = svg("rect", { x: 230, y: 22 * i + 3, width: Math.max(2, (330 * seen[kind].lines) / most), height: 16,
      fill: STATE_COLOURS[seen[kind].severity] || STATE_COLOURS.unknown });
    bar.dataset.kind = kind;
    bar.dataset.count = seen[kind].lines;
    const title = about ? about.title : kind;
    bar.appendChild(svg("title", {}, title + ": " + count(seen[kind].lines)));
    chart.append(svg("text", { x: 224, y: 22 * i + 15, "text-anchor": "end" }, title.length > 36 ? title.slice(0, 35) + "…" : title),
      bar, svg("text", { x: 236 + (330 * seen[kind].lines) / most, y: 22 * i + 15 }, count(seen[kind].lines)));
  });
  figure.querySelector(".chart").appendChild(chart);
}

// One column per run, oldest first and this report's last, of `points`,
// each stacked by the `states` of `partsOf(point)`, with `below(point)`
// under it when given. A run that failed is an empty, dashed column: a
// gap, never a run where all was well. The legend gives this run's parts.
function historyColumns(figure, points, states, partsOf, below) {
  figure.hidden = false;
  const ran = points.filter((point) => point.failed === undefined);
  const most = Math.max(1, ...ran.map((point) => states.reduce((sum, state) => sum + partsOf(point)[state], 0)));
  const width = Math.max(600, 70 * points.length), top = 10, height = 150;
  // Room below the columns for their labels, and for `below` when given.
  const tall = top + height + (below ? 40 : 24);
  const chart = svg("svg", { viewBox: "0 0 " + width + " " + tall, width: width, height: tall, role: "img" });
  const last = Object.fromEntries(states.map((state) => [state, 0]));
  // A run is labelled by its day, or by its day and time where two runs
  // share a day.
  const days = points.filter((point) => point.when).map((point) => String(point.when).slice(0, 10));
  const whenLabel = (when) => days.filter((day) => day === String(when).slice(0, 10)).length > 1
    ? String(when).slice(5, 16).replace("T", " ") : String(when).slice(0, 10);
  points.forEach((point, i) => {
    const x = 70 * i + 15;
    const column = svg("g", { id: figure.id.replace(/-chart$/, "") + "-run-" + i });
    column.dataset.run = point.name;
    if (point.failed !== undefined) {
      column.dataset.failed = "true";
      const gap = svg("rect", { x: x, y: top, width: 40, height: height, fill: "none", stroke: "#b3261e", "stroke-dasharray": "4 3" });
      gap.appendChild(svg("title", {}, point.name + ": " + point.failed));
      column.append(gap, svg("text", { x: x + 20, y: top + height / 2, "text-anchor": "middle" }, "failed"));
    } else {
      let y = top + height;
      for (const state of states) {
        const n = partsOf(point)[state];
        last[state] = n;
        if (n === 0) continue;
        const h = (height * n) / most;
        y -= h;
        const part = svg("rect", { x: x, y: y, width: 40, height: h, fill: STATE_COLOURS[state] });
        part.dataset.state = state;
        part.dataset.count = n;
        part.appendChild(svg("title", {}, point.name + ": " + STATE_WORDS[state] + " " + count(n)));
        column.appendChild(part);
      }
      if (below) column.appendChild(below(point, x + 20, top + height + 28));
    }
    const label = point.when ? whenLabel(point.when) : point.name.replace(/^run-/, "").replace(/(\.failed)?\.jsonl$/, "");
    column.appendChild(svg("text", { x: x + 20, y: top + height + 14, "text-anchor": "middle" }, label.length > 12 ? label.slice(0, 11) + "…" : label));
    chart.appendChild(column);
  });
  figure.querySelector(".chart").appendChild(chart);
  legend(figure.querySelector(".legend"), states, last);
}

// With earlier runs: machines by how their run ended, with the findings
// new and resolved below each run, and the findings by severity.
function showHistoryCharts(data) {
  const points = data.history || [];
  if (points.length === 0) return;
  const machines = document.getElementById("history-chart");
  historyColumns(machines, points, ["withFindings", "clean", "failed", "unreadable", "crashed"],
    (point) => point.machines, (point, x, y) => {
      const changes = svg("text", { x: x, y: y, "text-anchor": "middle" },
        point.new === null ? "" : "+" + count(point.new) + " −" + count(point.resolved));
      changes.dataset.new = point.new === null ? "" : point.new;
      changes.dataset.resolved = point.resolved === null ? "" : point.resolved;
      return changes;
    });
  machines.querySelector(".legend").appendChild(element("span", "+new −resolved below each run; a dashed column is a run that failed"));
  historyColumns(document.getElementById("history-findings-chart"), points, ["critical", "warning", "info"],
    (point) => point.findings);
}
