// The machines themselves: each one's row with its lines grouped by kind,
// the ranked list with its filter, the runs that failed or could not be
// read, the partial collections and what changed since the earlier run.

function lineItem(line, where) {
  const item = element("li");
  item.appendChild(badge(line[SEVERITY]));
  item.appendChild(document.createTextNode(" "));
  if (line[CHANGE] === "new") item.append(element("span", "new", "change-new"), " ");
  // A count watched over time: how it moved since the earlier run.
  if (line[CHANGE] === "rose" || line[CHANGE] === "fell")
    item.append(element("span", line[CHANGE] + " from " + line[WAS] + " to " + line[FIELDS].count, "change-" + line[CHANGE]), " ");
  if (where) item.append(element("span", where, "name"), ": ");
  item.appendChild(element("span", line[TEXT], "text"));
  return item;
}

// A machine's lines grouped by kind, each group with its title and advice.
function machineLines(data, machine) {
  const box = element("div");
  // What vanished, was replaced or appeared comes first: no line of the
  // plug-in says it.
  if (machine.changes.length > 0) {
    const group = element("div", undefined, "group changes");
    group.dataset.kind = "changes";
    group.appendChild(element("h3", "Disks and controllers changed since the earlier run"));
    const list = element("ul", undefined, "lines");
    for (const [type, kind, severity, text] of machine.changes) {
      const item = element("li");
      item.dataset.kind = kind;
      item.append(badge(severity), " ", element("span", type, "change-" + type), " ", element("span", text, "text"));
      list.appendChild(item);
    }
    group.appendChild(list);
    box.appendChild(group);
  }
  const groups = new Map();
  for (const line of machine.lines) {
    const key = line[SEVERITY] + " " + line[KIND];
    if (!groups.has(key)) groups.set(key, []);
    groups.get(key).push(line);
  }
  const kindOrder = byKind(data);
  const severityOf = (lines) => SEVERITIES.indexOf(lines[0][SEVERITY]);
  const ordered = [...groups.values()].sort((a, b) => severityOf(a) - severityOf(b) || kindOrder(a[0][KIND], b[0][KIND]));
  for (const lines of ordered) {
    const about = aboutKind(data, lines[0][KIND]);
    const group = element("div", undefined, "group");
    group.dataset.kind = lines[0][KIND];
    group.append(element("h3", about.title), element("p", about.advice, "advice"));
    const list = element("ul", undefined, "lines");
    for (const line of lines) list.appendChild(lineItem(line));
    group.appendChild(list);
    box.appendChild(group);
  }
  if (machine.resolved.length > 0) {
    const group = element("div", undefined, "group resolved");
    group.appendChild(element("h3", "Resolved since the earlier run"));
    const list = element("ul", undefined, "lines");
    for (const [, severity, text] of machine.resolved) {
      const item = element("li");
      item.append(badge(severity), " ", element("span", "resolved", "change-resolved"), " ", element("span", text, "text"));
      list.appendChild(item);
    }
    group.appendChild(list);
    box.appendChild(group);
  }
  return box;
}

function machineSummary(machine) {
  const summary = element("summary");
  summary.append(badge(machine.worst), " ", element("span", count(machine.findings), "count"),
    element("span", machine.name, "name"));
  if (machine.hostname) summary.appendChild(element("span", "host " + machine.hostname, "host"));
  if (machine.partial) summary.appendChild(element("span", "partial collection", "partial-mark"));
  if (machine.collectedAt) summary.appendChild(element("span", "collected " + machine.collectedAt, "host collected"));
  if (machine.stale) {
    const mark = element("span", "stale", "stale-mark");
    mark.title = "collected longer ago than --stale-after days before this page was made";
    summary.appendChild(mark);
  }
  if (machine.new > 0) summary.append(" ", element("span", count(machine.new) + " new", "change-new"));
  return summary;
}

// A page of thousands of machines lays out the first ones ranked, each with
// its lines, and the others when asked for or found by the filter; a
// machine's lines past the first ones are made when it is opened.
const MACHINES_AT_ONCE = 500;
const LINES_AT_ONCE = 200;

function showMachines(data, ranked) {
  const place = document.getElementById("machine-list");
  if (ranked.length === 0) {
    place.appendChild(element("p", "No machine completed its run.", "none"));
    return;
  }
  const made = new Map();
  const detailsOf = (machine) => {
    if (made.has(machine)) return made.get(machine);
    const details = element("details", undefined, "machine");
    details.id = "machine-" + machine.index;
    details.dataset.worst = machine.worst;
    details.appendChild(machineSummary(machine));
    if (made.size < LINES_AT_ONCE) details.appendChild(machineLines(data, machine));
    else details.addEventListener("toggle", () => {
      if (details.open && details.childElementCount === 1) details.appendChild(machineLines(data, machine));
    });
    made.set(machine, details);
    return details;
  };
  // What a machine is found by, made when a filter is first typed.
  const haystacks = new Map();
  const haystack = (machine) => {
    if (!haystacks.has(machine))
      haystacks.set(machine, [machine.name, machine.hostname, ...machine.lines.map((line) => line[TEXT] + "\n" + line[KIND])].join("\n").toLowerCase());
    return haystacks.get(machine);
  };
  const filter = document.getElementById("filter");
  const shown = document.getElementById("shown");
  const more = element("button", "Show every machine");
  more.id = "show-all";
  let all = false;
  more.addEventListener("click", () => { all = true; apply(); });
  shown.after(more);
  const apply = () => {
    const query = filter.value.trim().toLowerCase();
    const matching = query === "" ? ranked : ranked.filter((machine) => haystack(machine).includes(query));
    const laid = all || query !== "" ? matching : matching.slice(0, MACHINES_AT_ONCE);
    place.replaceChildren(...laid.map(detailsOf));
    shown.textContent = count(laid.length) + " of " + plural(ranked.length, "machine", "machines") + " shown" +
      (laid.length < matching.length ? ", the first ranked" : "");
    more.hidden = laid.length === matching.length;
  };
  filter.addEventListener("input", apply);
  apply();
  // A link to a machine that is not laid out (one past the first ranked,
  // or hidden by the filter) lays every machine out first; the row it
  // names is then opened.
  const reveal = () => {
    const target = /^#machine-\d+$/.test(location.hash) ? location.hash.slice(1) : null;
    if (target === null) return;
    if (document.getElementById(target) === null) {
      filter.value = "";
      all = true;
      apply();
    }
    const row = document.getElementById(target);
    if (row === null) return;
    if (row.tagName === "DETAILS") row.open = true;
    row.scrollIntoView();
  };
  window.addEventListener("hashchange", reveal);
  reveal();
}

// The machines that did not complete, apart, with how their run ended and
// why, in the words of the message.
function showProblems(data, problems) {
  const place = document.getElementById("problem-list");
  if (problems.length === 0) {
    place.appendChild(element("p", "None: every inventory was read and its run completed.", "none"));
    return;
  }
  const table = element("table");
  table.id = "problem-table";
  const head = element("tr");
  head.append(element("th", "Inventory"), element("th", "What happened"), element("th", "Why"));
  table.appendChild(head);
  for (const machine of problems) {
    const row = element("tr", undefined, "problem " + machine.outcome);
    row.id = "machine-" + machine.index;
    const name = element("td");
    name.appendChild(element("span", machine.name, "name"));
    if (machine.hostname) name.appendChild(element("span", "host " + machine.hostname, "host"));
    const why = element("td");
    why.appendChild(element("span", machine.reason, "reason"));
    if (machine.lines.length > 0) {
      const details = element("details");
      details.append(element("summary", plural(machine.findings, "finding", "findings") + " before it ended"), machineLines(data, machine));
      why.appendChild(details);
    }
    row.append(name, element("td", machine.outcomeWords, "words"), why);
    table.appendChild(row);
  }
  place.appendChild(table);
}

function showPartial(partial) {
  const place = document.getElementById("partial-list");
  if (partial.length === 0) {
    place.appendChild(element("p", "None: every collection was whole.", "none"));
    return;
  }
  const list = element("ul");
  for (const machine of partial) {
    const item = element("li", undefined, "partial-machine");
    item.append(element("span", machine.name, "name"), ": ",
      element("span", machine.problems.length > 0 ? machine.problems.join("; ") : "the collector could not read everything; the jsonl output names what", "text"));
    list.appendChild(item);
  }
  place.appendChild(list);
}

// The earlier run's machines that this run did not have: nothing was
// looked at on them.
function showMissing(missing) {
  const list = element("ul", undefined, "lines");
  list.id = "missing-lines";
  for (const machine of missing) {
    const item = element("li");
    const known = [machine.hostname && "host " + machine.hostname, machine.machineId && "machine id " + machine.machineId].filter(Boolean);
    item.append(element("span", machine.name, "machine"), " ", element("span", known.length > 0 ? "(" + known.join(", ") + ")" : "", "text"));
    list.appendChild(item);
  }
  document.getElementById("missing-list").appendChild(list.children.length > 0 ? list : element("p", "Nothing missing.", "none"));
}

function showChanges(machines) {
  document.getElementById("changes").hidden = false;
  const fresh = element("ul", undefined, "lines");
  fresh.id = "new-lines";
  const gone = element("ul", undefined, "lines");
  gone.id = "resolved-lines";
  for (const machine of machines) {
    for (const line of machine.lines) if (line[CHANGE] === "new") fresh.appendChild(lineItem(line, machine.name));
    for (const [kind, severity, text] of machine.resolved)
      gone.appendChild(lineItem([0, text, kind, severity, {}, ""], machine.name));
  }
  for (const [list, place, none] of [[fresh, "new-list", "Nothing new."], [gone, "resolved-list", "Nothing resolved."]])
    document.getElementById(place).appendChild(list.children.length > 0 ? list : element("p", none, "none"));
}

