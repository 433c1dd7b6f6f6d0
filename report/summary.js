// The report's first screen and its summary: the key figures and every
// total as tiles, the machines to act on first, and each kind of finding
// seen under its severity.

function showTotals(totals, compared) {
  const rows = [
    ["inventories", "Inventories", "#machines", false],
    ["completed", "Completed", "#machines", false],
    ["withFindings", "With findings", "#machines", false],
    ["findings", "Findings", "#severities", false],
    ["critical", "Critical", "#severity-critical", totals.critical > 0],
    ["warning", "Warnings", "#severity-warning", false],
    ["info", "Information", "#severity-info", false],
    ["unknown", "Could not look", "#severity-unknown", false],
    ["failed", "GetData failed", "#problems", totals.failed > 0],
    ["unreadable", "Unreadable", "#problems", totals.unreadable > 0],
    ["crashed", "Crashed", "#problems", totals.crashed > 0],
    ["timedOut", "Timed out", "#problems", totals.timedOut > 0],
    ["partial", "Partial collections", "#partial", totals.partial > 0],
  ];
  if (totals.stale > 0) rows.push(["stale", "Stale inventories", "#machines", true]);
  if (compared)
    rows.push(["new", "New", "#new", totals.new > 0], ["resolved", "Resolved", "#resolved", false],
      ["missing", "Missing", "#missing", totals.missing > 0]);
  // A few figures first, that say where to act; every total below them.
  const figures = [
    ["needAction", "Machines needing action", "#act-first", totals.needAction > 0],
    ["critical", "Critical findings", "#severity-critical", totals.critical > 0],
  ];
  if (compared)
    figures.push(["new", "New since the baseline", "#new", totals.new > 0],
      ["vanished", "Disks and controllers vanished", "#machines", totals.vanished > 0],
      ["missing", "Machines missing", "#missing", totals.missing > 0]);
  totals.noVerdict = totals.unreadable + totals.crashed + totals.timedOut + totals.failed;
  figures.push(["noVerdict", "Unreadable, crashed or failed", "#problems", totals.noVerdict > 0]);
  totals.staleKey = totals.stale;
  if (totals.stale > 0) figures.push(["staleKey", "Stale inventories", "#machines", true]);
  showTiles(document.getElementById("key-figures"), "key-", figures, totals);
  showTiles(document.getElementById("totals"), "total-", rows, totals);
}

// Each figure of `tiles` ([name, label, link, whether it is bad]) as a tile
// linked to its section, its number's id `prefix` and its name.
function showTiles(list, prefix, tiles, totals) {
  for (const [name, label, target, bad] of tiles) {
    const link = element("a", undefined, bad ? "bad" : "");
    link.href = target;
    link.appendChild(element("dt", label));
    const number = element("dd", count(totals[name]));
    number.id = prefix + name;
    link.appendChild(number);
    list.appendChild(link);
  }
}


// The machines a kind was seen on, worst first, each by its host name and
// linked to its row: the first ones at once, the others when asked for.
const LINKS_AT_ONCE = 12;

function machineLinks(machines) {
  const place = element("div", "On: ", "on-machines");
  const links = (some) => some.flatMap((machine, i) => {
    const link = element("a", machine.hostname || machine.name, "machine-link");
    link.href = "#machine-" + machine.index;
    return i === 0 ? [link] : [", ", link];
  });
  place.append(...links(machines.slice(0, LINKS_AT_ONCE)));
  if (machines.length > LINKS_AT_ONCE) {
    const rest = machines.slice(LINKS_AT_ONCE);
    const more = element("details", undefined, "more-machines");
    more.appendChild(element("summary", "and " + plural(rest.length, "more machine", "more machines")));
    more.addEventListener("toggle", () => {
      if (more.open && more.childElementCount === 1) more.append(...links(rest));
    });
    place.append(" ", more);
  }
  return place;
}

// Each kind seen, under its severity, most severe first, with its title,
// meaning, advice and how often it was logged, on how many machines: every
// kind, those the catalogue lacks too, so that the boxes add up to the totals.
function showKinds(data, ran) {
  const place = document.getElementById("kinds");
  // Per severity, per kind: how many lines, on which machines.
  const seen = new Map(SEVERITIES.map((severity) => [severity, new Map()]));
  for (const machine of ran)
    for (const line of machine.lines) {
      const ofSeverity = seen.get(line[SEVERITY]);
      if (!ofSeverity.has(line[KIND])) ofSeverity.set(line[KIND], { lines: 0, machines: new Set() });
      const entry = ofSeverity.get(line[KIND]);
      entry.lines += 1;
      entry.machines.add(machine);
    }
  if ([...seen.values()].every((kinds) => kinds.size === 0)) place.appendChild(element("p", "No findings.", "none"));
  for (const severity of SEVERITIES) {
    const ofSeverity = seen.get(severity);
    const kinds = [...ofSeverity.keys()].sort(byKind(data));
    const total = kinds.reduce((sum, kind) => sum + ofSeverity.get(kind).lines, 0);
    const heading = element("h3");
    heading.id = "severity-" + severity;
    heading.append(badge(severity), " ", element("span", SEVERITY_WORDS[severity] + ": " + count(total), "severity-total"));
    heading.dataset.count = total;
    place.appendChild(heading);
    for (const id of kinds) {
      const about = aboutKind(data, id);
      const entry = ofSeverity.get(id);
      const box = element("div", undefined, "kind " + severity);
      box.id = "kind-" + severity + "-" + id;
      box.dataset.kind = id;
      box.dataset.count = entry.lines;
      const title = element("h3");
      title.append(element("span", count(entry.lines), "count"), element("span", about.title, "title"),
        element("span", " (" + id + ", on " + plural(entry.machines.size, "machine", "machines") + ")", "host"));
      box.append(title, element("p", about.meaning, "meaning"), element("p", about.advice, "advice"),
        machineLinks([...entry.machines].sort((a, b) => a.rank - b.rank)));
      place.appendChild(box);
    }
  }
}

// The first ten machines of the ranking that have critical or warning
// findings, each by its host name, with the figure the ranking uses (how
// many findings of its worst severity), and what to act on: each finding's
// title with the disk or controller it is about.
const ACT_FIRST = 10;

function showActFirst(data, ranked) {
  const list = document.getElementById("act-list");
  const urgent = ranked.filter((machine) => machine.worst === "critical" || machine.worst === "warning").slice(0, ACT_FIRST);
  if (urgent.length === 0) {
    list.replaceWith(element("p", "No machine has a critical or warning finding.", "none"));
    return;
  }
  for (const machine of urgent) {
    const item = element("li");
    item.dataset.worst = machine.worst;
    item.dataset.rank = machine.counts[machine.worst];
    const link = element("a", machine.hostname || machine.name, "name");
    link.href = "#machine-" + machine.index;
    const rank = element("span", count(machine.counts[machine.worst]) + " " + machine.worst, "rank");
    item.append(badge(machine.worst), rank, link);
    if (machine.hostname) item.appendChild(element("span", machine.name, "host"));
    if (machine.stale) item.appendChild(element("span", "stale", "stale-mark"));
    const what = element("ul");
    for (const [severity, title, subject] of machine.actOn) {
      const line = element("li");
      line.dataset.severity = severity;
      line.append(element("span", title, "title"));
      if (subject) line.appendChild(element("span", subject, "subject"));
      what.appendChild(line);
    }
    item.appendChild(what);
    list.appendChild(item);
  }
}

