// The manual page hvp-findings(7), made from the catalogue so that the page
// and what hvp-run says of a line can never disagree.
#include "catalogue.hpp"
#include "device_changes.hpp"

namespace tarvorun {

namespace {

// One line of text as roff reads it: a backslash and a minus escaped, and a
// line that would start with a control character ('.' or '\'') guarded.
std::string RoffLine(std::string_view text)
{
    std::string out;
    for (const char c : text) {
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\''))
        out.insert(0, "\\&");
    return out;
}

// A text as roff reads it: each of its line breaks a break of the page (a
// request on a line of its own, since roff has no escape for one that keeps
// the text after it), each line escaped on its own.
std::string Roff(std::string_view text)
{
    std::string out;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find('\n', start);
        out += RoffLine(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos)
            return out;
        out += "\n.br\n";
        start = end + 1;
    }
}

std::string Levels(const TFindingKind& kind)
{
    std::string text;
    for (const int level : kind.fLevels)
        text += (text.empty() ? "" : ", ") + std::to_string(level);
    return text;
}

std::string FieldNames(const TFindingKind& kind)
{
    std::string text;
    for (const TFieldSpec& field : kind.fFields)
        text += (text.empty() ? "" : ", ") + std::string(field.fName);
    if (!kind.fSharedSuffix.empty())
        text += ", sharedStorage";
    return text.empty() ? "none" : text;
}

void AppendKind(std::string& page, const TFindingKind& kind)
{
    page += ".TP\n.B " + Roff(kind.fId) + "\n";
    page += Roff(kind.fTitle) + ". Severity: " + std::string(SeverityName(kind.fSeverity));
    if (!kind.fSharedSuffix.empty())
        page += " (" + std::string(SeverityName(kind.fSharedSeverity)) + " with the shared-storage sentence)";
    page += "; level " + Levels(kind) + ".\n.RS\n";
    page += ".PP\nLine: \\(lq" + Roff(kind.fPattern) + "\\(rq, {} standing for each field.\n";
    page += ".PP\nFields: " + Roff(FieldNames(kind)) + ".\n";
    page += ".PP\nMeaning: " + Roff(kind.fMeaning) + "\n";
    page += ".PP\nWhat to do: " + Roff(kind.fAdvice) + "\n.RE\n";
}

// A change since the baseline is hvp-run's own record, not a line of the
// plug-in: it has no line, level or fields.
void AppendChangeKind(std::string& page, const TFindingKind& kind)
{
    page += ".TP\n.B " + Roff(kind.fId) + "\n";
    page += Roff(kind.fTitle) + ". Severity: " + std::string(SeverityName(kind.fSeverity)) +
        "; a record of hvp\\-run with \\-\\-baseline.\n.RS\n";
    page += ".PP\nMeaning: " + Roff(kind.fMeaning) + "\n";
    page += ".PP\nWhat to do: " + Roff(kind.fAdvice) + "\n.RE\n";
}

}  // namespace

std::string FindingsManualPage(std::string_view version)
{
    std::string page = ".TH HVP-FINDINGS 7 \"\" \"tarvoanal " + std::string(version) + "\"\n";
    page += ".SH NAME\nhvp\\-findings \\- the kinds of line the analysis plug\\-in logs, and what to do\n";
    page += ".SH DESCRIPTION\n";
    page +=
        "Every line the plug\\-in logs has a kind and a severity. hvp\\-run writes them in its jsonl records "
        "(members kind, severity and fields), shows the severity in its text output, counts the findings "
        "by severity in its summary, its report, its check (\\-\\-check) and its metrics (\\-\\-metrics).\n";
    page +=
        ".PP\n.B critical\nfindings call for action now; \n.B warning\nfindings for a look soon; \n.B info\n"
        "findings are for the record; \n.B unknown\nlines say that the plug\\-in could not look at "
        "something, so the check could not see everything. A line this page does not list is of kind "
        "other: a warning at the levels of findings, unknown at other levels.\n";
    page += ".SH FINDINGS\n";
    for (const TFindingKind& kind : FindingKinds())
        if (kind.fSeverity != ESeverity::Unknown)
            AppendKind(page, kind);
    page += ".SH LINES THAT SAY THE PLUG-IN COULD NOT LOOK\n";
    for (const TFindingKind& kind : FindingKinds())
        if (kind.fSeverity == ESeverity::Unknown)
            AppendKind(page, kind);
    page += ".SH CHANGES SINCE THE BASELINE\n";
    page += "With \\-\\-baseline, hvp\\-run compares the disks and controllers each machine's run examined "
            "with the earlier run's, and writes a vanished, replaced or appeared record for each change, "
            "which the check and the metrics count as findings of these kinds.\n";
    for (const TFindingKind& kind : DeviceChangeKinds())
        AppendChangeKind(page, kind);
    page += ".SH SEE ALSO\n.BR hvp\\-run (1),\n.BR hvp\\-inventory (5)\n";
    return page;
}

}  // namespace tarvorun
