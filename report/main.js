// The CSV of every line, the layout's own facts, and the start: the data
// is read once and each part of the page laid out from it.

// RFC 4180, every field quoted; a text a spreadsheet would take for a
// formula is kept as text.
function csvField(value) {
  let text = visible(typeof value === "string" ? value : JSON.stringify(value));
  if (/^[=+\-@\t\r]/.test(text)) text = "'" + text;
  return '"' + text.replace(/"/g, '""') + '"';
}

function csvText(data) {
  const rows = [["inventory", "hostname", "severity", "kind", "title", "change", "level", "text", "fields"]];
  for (const machine of data.machines)
    for (const line of machine.lines)
      rows.push([machine.name, machine.hostname, line[SEVERITY], line[KIND], aboutKind(data, line[KIND]).title,
        line[CHANGE], String(line[LEVEL]), line[TEXT], line[FIELDS]]);
  return rows.map((row) => row.map(csvField).join(",")).join("\r\n") + "\r\n";
}

// The CSV of every line. Of a large fleet it is made when it is first asked
// for, downloaded or shown, since it would cost more than the rest of the
// page.
function showCsv(data) {
  const link = document.getElementById("csv-link");
  const shown = document.getElementById("csv-text");
  const lines = data.machines.reduce((sum, machine) => sum + machine.lines.length, 0);
  link.dataset.rows = lines;
  let text = null;
  const make = () => {
    if (text !== null) return;
    text = csvText(data);
    link.href = URL.createObjectURL(new Blob([text], { type: "text/csv;charset=utf-8" }));
    shown.textContent = text;
  };
  if (lines <= 5000) return make();
  link.addEventListener("click", make);
  shown.parentElement.addEventListener("toggle", make);
}

function showLayout() {
  const narrow = window.matchMedia("(max-width: 40em)").matches;
  document.body.dataset.layout = narrow ? "narrow" : "wide";
  document.body.dataset.fits = String(document.documentElement.scrollWidth <= window.innerWidth);
}

function main() {
  const data = JSON.parse(document.getElementById("report-data").textContent);
  data.machines.forEach((machine, i) => { machine.index = i; });
  const ranked = data.ranking.map((i) => data.machines[i]);
  ranked.forEach((machine, rank) => { machine.rank = rank; });
  const ran = data.machines.filter((one) => one.outcome === "completed" || one.outcome === "failed");
  const t = data.totals;
  document.getElementById("made").textContent = "Made " + data.made + " by hvp-run " + data.version;
  document.getElementById("lead").textContent = plural(t.inventories, "inventory", "inventories") + ", " +
    plural(t.findings, "finding", "findings") + ": " + count(t.critical) + " critical, " + count(t.warning) + " warnings, " +
    count(t.info) + " information.";
  document.getElementById("lead").className = "";
  showTotals(t, data.compared);
  showActFirst(data, ranked);
  showWorstChart(data);
  showKindChart(data);
  showHistoryCharts(data);
  showKinds(data, ran);
  if (data.compared) {
    showChanges(data.machines);
    showMissing(data.missing);
  }
  showProblems(data, data.machines.filter((one) => one.outcome !== "completed"));
  showPartial(data.machines.filter((one) => one.partial));
  showMachines(data, ranked.filter((one) => one.outcome === "completed"));
  showCsv(data);
  showLayout();
  window.addEventListener("resize", showLayout);
  const ready = element("div");
  ready.id = "report-ready";
  // How long the page took to be laid out, from the start of its loading.
  ready.dataset.ms = String(Math.round(performance.now()));
  ready.hidden = true;
  document.body.appendChild(ready);
}

main();
