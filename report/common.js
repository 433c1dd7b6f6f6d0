"use strict";
// The page only lays out the data hvp-run embedded: kinds, severities,
// titles, advice, the ranking and the comparison are all decided there.
// Every text goes into the page through textContent, never as markup, and
// with its bidirectional controls shown escaped, so that no outside text
// can reorder the text around it.
window.onerror = function (message) {
  const note = document.createElement("div");
  note.id = "report-error";
  note.textContent = String(message);
  document.body.appendChild(note);
};

const SEVERITIES = ["critical", "warning", "info", "unknown"];
const SEVERITY_WORDS = { critical: "Critical", warning: "Warning", info: "Information", unknown: "Could not look" };
const NUMBER = new Intl.NumberFormat("en-US");
const BIDI = /[\u061c\u200e\u200f\u202a-\u202e\u2066-\u2069]/g;
// A line as embedded: [level, text, kind, severity, fields, change].
const LEVEL = 0, TEXT = 1, KIND = 2, SEVERITY = 3, FIELDS = 4, CHANGE = 5, WAS = 7;

function visible(text) {
  return String(text).replace(BIDI, (c) => "\\u" + c.charCodeAt(0).toString(16).toUpperCase().padStart(4, "0"));
}

function element(tag, text, className) {
  const node = document.createElement(tag);
  if (text !== undefined) node.textContent = visible(text);
  if (className) node.className = className;
  return node;
}

function badge(severity) {
  const node = element("span", severity === "none" ? "none" : severity, "severity sev-" + severity);
  node.title = SEVERITY_WORDS[severity] || "no findings";
  return node;
}

function count(n) {
  return NUMBER.format(n);
}

function plural(n, one, many) {
  return count(n) + " " + (n === 1 ? one : many);
}


// What a person reads of a kind: the catalogue's words, or, for a kind
// this hvp-run does not know (one a newer hvp-run wrote), the words for
// every such kind. Only the catalogue's own members count: a kind named
// "constructor" is not the script object's.
function aboutKind(data, id) {
  return Object.hasOwn(data.kinds, id) ? data.kinds[id] : data.unknownKind;
}

// Kinds in the catalogue's order, the kinds it lacks after them by name.
function byKind(data) {
  const rank = (id) => {
    const at = data.kindOrder.indexOf(id);
    return at < 0 ? data.kindOrder.length : at;
  };
  return (a, b) => rank(a) - rank(b) || (a < b ? -1 : a > b ? 1 : 0);
}
