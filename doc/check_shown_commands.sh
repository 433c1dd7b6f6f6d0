#!/usr/bin/env bash
# Runs every command that the README and the guides of doc/ show, so that a
# guide whose command no longer works fails here, not in a reader's shell.
#
#   doc/check_shown_commands.sh SOURCE_DIR BIN_DIR MANUAL_DIR
#
# Commands are shown in fenced blocks marked `sh` (each line a command, a
# trailing backslash going on to the next) or `console` (the lines that
# begin with "$ " are commands, the others what they print). Every other
# block holds output, records or configuration; a line of one that begins
# as a command does is an error, so that no command goes untried unseen.
#
# The commands of one document run in order, in a temporary folder of its
# own holding the inventories and folders they name (copies of the bundled example and
# of the tests' inventories, as folders, archives and earlier JSONL runs),
# with the built hvp-run first on PATH, hvp-collect reading the recorded
# machine physical-apart, man reading the built pages, and the files the
# package installs under /usr/share read from the tree. A command whose
# comment says "(as root)" or "(network)" changes the machine or reaches
# other hosts: it is not run here (its options are checked against --help
# by Documentation.ShownOptionsExist), and such a command unmarked is an
# error rather than run. A command must exit 0; a check may exit with any
# of its four states and prints its status line first; a console command
# shown answering with an error must fail with that error's first line.
set -uo pipefail
source_dir=$(realpath "$1")
bin_dir=$(realpath "$2")
manual_dir=$(realpath "$3")
work=$(mktemp -d "${TMPDIR:-/tmp}/shown-commands.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
ran=0
marked=0
fail() {
    echo "$1: $2" >&2
    failures=$((failures + 1))
}

# The stand-ins on PATH: hvp-collect over a recorded machine, and man over
# the pages of this build, rendered by groff.
machine="$source_dir/tests/collect/machines/physical-apart"
mkdir -p "$work/path"
cat >"$work/path/hvp-collect" <<EOF
#!/bin/sh
exec '$bin_dir/hvp-collect' --sysfs-root '$machine' --dpkg-admindir '$machine/dpkg' \
    --pci-dump '$machine/lspci-x.txt' --smartctl-dir '$machine/smartctl' "\$@"
EOF
cat >"$work/path/man" <<EOF
#!/bin/sh
[ \$# = 2 ] && set -- "\$2.\$1"
page=\$(ls '$manual_dir'/"\$1"* 2>/dev/null | head -n 1)
[ -n "\$page" ] || { echo "man: no page \$1 in $manual_dir" >&2; exit 16; }
exec groff -man -Tutf8 -ww -z "\$page"
EOF
chmod +x "$work/path/hvp-collect" "$work/path/man"

# The files the guides' commands name, in the folder `$1`.
lay_out() {
    local at=$1
    mkdir -p "$at/inventories" "$at/fleet" "$at/batch-folder"
    for folder in inventories fleet batch-folder; do
        cp "$source_dir/examples/example.json" "$at/$folder/example.json"
        cp "$source_dir/tests/collect/machines/physical-apart/inventory.json" "$at/$folder/web02.json"
    done
    for name in web01.json my.json inv.json inventory.json; do
        cp "$source_dir/examples/example.json" "$at/$name"
    done
    cp "$bin_dir/libtarvoanal.pi.so" "$at/libmine.pi.so"
    tar -czf "$at/site-a.tar.gz" -C "$at/inventories" .
    (cd "$at" && python3 -m zipfile -c site-b.zip inventories/)
    zstd -q -o "$at/extra.json.zst" "$source_dir/examples/example.json"
    for run in monday site-a site-b; do
        "$bin_dir/hvp-run" --quiet --format jsonl "$at/inventories" >"$at/$run.jsonl" 2>/dev/null
    done
}

# Each command shown: FILE, LINE, what it is (sh, console, or unmarked),
# the command, and for a console command the first line it is shown to print.
extract() {
    awk '
    function flush() { if (pending != "") { print file "\t" start "\t" kind "\t" pending "\t" shown; pending = "" } }
    FNR == 1 { flush(); fence = 0; continue_line = 0; file = FILENAME }
    /^```/ {
        flush()
        if (fence) { fence = 0; next }
        fence = 1; kind = substr($0, 4); sub(/[ \t].*/, "", kind); next
    }
    {
        inside = fence || /^    /
        if (!inside) { flush(); continue_line = 0; next }
        line = fence ? $0 : substr($0, 5)
        if (continue_line) {
            pending = substr(pending, 1, length(pending) - 1) line
            continue_line = line ~ /\\$/
            next
        }
        if (fence && kind == "sh") {
            if (line ~ /^[ \t]*(#|$)/) next
            flush(); pending = line; start = FNR; shown = ""; continue_line = line ~ /\\$/; next
        }
        if (fence && kind == "console") {
            if (line ~ /^\$ /) { flush(); pending = substr(line, 3); start = FNR; shown = ""; continue_line = pending ~ /\\$/; next }
            if (pending != "" && shown == "") shown = line
            next
        }
        if (line ~ /^(\$ |(hvp-run|hvp-collect|scripts\/[a-z-]+|systemctl|apt-get|man|journalctl|promtool|ansible-playbook|cmake|ctest)( |$))/) {
            flush(); print file "\t" FNR "\tunmarked\t" line "\t"
        }
    }
    END { flush() }
    ' "$@"
}

# Commands that read or change this machine, or reach other hosts: never
# run here. The tree's scripts install packages as root.
touches_the_machine='(^|&& |\| |; |^[A-Z_]+=[^ ]* )(sudo |systemctl |apt-get |apt |dpkg |journalctl |ansible-playbook |parallel |ssh |scripts/)|--live'

cd "$source_dir" || exit 2
current=
while IFS=$'\t' read -r file line kind command shown; do
    where="${file#"$source_dir"/}: line $line"
    if [ "$kind" = unmarked ]; then
        fail "$where" "a command outside a \`\`\`sh or \`\`\`console block: $command"
        continue
    fi
    if [[ "$command" =~ \((as\ root|network)[,\)] ]]; then
        marked=$((marked + 1))
        continue
    fi
    if [[ "$command" =~ $touches_the_machine ]]; then
        fail "$where" "reads or changes this machine, or reaches another: mark it (as root) or (network): $command"
        continue
    fi
    if [ "$file" != "$current" ]; then
        current=$file
        rm -rf "$work/here"
        mkdir "$work/here"
        lay_out "$work/here"
    fi
    ran=$((ran + 1))
    # The files the package installs are read from the tree.
    command=${command//\/usr\/share\/tarvoanal\/prometheus\//$source_dir/contrib/prometheus/}
    command=${command//\/usr\/share\/doc\/tarvoanal\/examples\//$source_dir/examples/}
    status=0
    (cd "$work/here" && PATH="$work/path:$bin_dir:$PATH" timeout 120 bash -c "$command") \
        >"$work/out" 2>"$work/err" </dev/null || status=$?
    first_out=$(head -n 1 "$work/out")
    first_err=$(head -n 1 "$work/err")
    if [[ "$shown" == hvp-run:* || "$shown" == hvp-collect:* ]]; then
        [ "$status" != 0 ] && [ "$first_err" = "$shown" ] ||
            fail "$where" "$command: exit status $status, said \"$first_err\", not \"$shown\""
    elif [[ " $command " == *" --check "* ]]; then
        [ "$status" -le 3 ] && [[ "$first_out" == "TARVOANAL "* ]] ||
            fail "$where" "$command: exit status $status, status line \"$first_out\" ($first_err)"
    elif [ "$status" != 0 ]; then
        fail "$where" "$command: exit status $status: $(head -n 3 "$work/err" | tr '\n' ' ')"
    fi
done < <(extract "$source_dir/README.md" "$source_dir"/doc/*.md)

echo "$ran commands run, $marked marked as needing root or a network and not run, $failures failures"
[ "$ran" -gt 0 ] || { echo "no command found to run" >&2; exit 1; }
[ "$failures" = 0 ]
