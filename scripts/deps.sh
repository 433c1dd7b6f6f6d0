# The Debian packages the scripts need, in groups, and two ways to use them.
# Sourced by the other scripts.
#
#   install_packages pkg...      installs what is missing (scripts/bootstrap,
#                                and the two commands of the README)
#   require_packages GROUP...    installs what the groups miss when run as
#                                root; stops with the list and the bootstrap
#                                command that installs it otherwise

# What every build needs.
BUILD_PACKAGES=(cmake ninja-build g++ pkg-config libboost-dev libsimdjson-dev nlohmann-json3-dev libcli11-dev
                libarchive-dev zlib1g-dev libpci-dev libdpkg-dev librpm-dev)
# What scripts/collect-live-check needs on top: lspci and dpkg-query, whose
# lists hvp-collect's inventory of this machine must equal, and jq.
LIVE_PACKAGES=(pciutils jq)
# What the tests need on top: the report of many inventories is checked in
# headless Chromium; the metrics file by promtool and a real node_exporter,
# on a port python3 finds free, and fetched with curl; the alert rules by
# promtool (read with Python's YAML module), and the check run by a real
# Nagios engine without its web interface (tests/monitor); the manual pages
# are written by scdoc and rendered by groff (doc/); and the live check runs
# on the machine itself; the files the fleet's launchers open are traced by
# strace (tests/runner/launcher_test); the commands the guides show run over
# archives that zstd and python3 make (doc/check_shown_commands.sh).
# clang builds another plug-in against the installed kit, as gcc does.
TEST_PACKAGES=(libgtest-dev clang chromium prometheus prometheus-node-exporter curl python3 python3-yaml nagios4-core
               scdoc groff-base strace zstd "${LIVE_PACKAGES[@]}")
# What the benchmarks need on top (scripts/bench).
BENCH_PACKAGES=(libgtest-dev libbenchmark-dev jq)
# What the fleet's benchmark and several-machines check need on top
# (bench/fleet-bench, scripts/fleet-several-machines, which starts its own
# OpenSSH server and tries the Ansible playbook against it).
FLEET_PACKAGES=(hyperfine parallel rsync jq openssh-server openssh-client ansible)
# What the robustness commands need on top: memcheck (scripts/valgrind), clang
# with its fuzzing runtime (the fuzz preset), gcovr (scripts/coverage).
VALGRIND_PACKAGES=(libgtest-dev valgrind)
FUZZ_PACKAGES=(clang libclang-rt-14-dev)
COVERAGE_PACKAGES=(libgtest-dev gcovr)
# What scripts/package needs on top of BUILD_PACKAGES: the Debian tooling, the
# manual-page tool, and the libraries of the whole build (the package holds
# every command). debian/control's Build-Depends lists the same.
PACKAGE_PACKAGES=(build-essential debhelper dpkg-dev fakeroot lintian scdoc libudev-dev)
# What scripts/package-test needs on top: hardening-check, man, jq, the
# completion framework its check of the installed completions loads,
# systemd-analyze for the units, and smartmontools, which the installed
# hvp-collect runs for the disks' health (the tests read recorded smartctl
# outputs and never need it).
PACKAGE_TEST_PACKAGES=(devscripts man-db jq bash-completion systemd smartmontools)

PACKAGE_GROUPS=(build test bench fleet valgrind fuzz coverage package package-test live)

# The packages of one group, build's included, one a line.
group_packages() {
    local name
    name="$(echo "$1" | tr 'a-z-' 'A-Z_')_PACKAGES[@]"
    if [ -z "${!name+x}" ]; then
        echo "no package group '$1' (groups: ${PACKAGE_GROUPS[*]} all)" >&2
        return 1
    fi
    printf '%s\n' "${BUILD_PACKAGES[@]}" "${!name}"
}

missing_packages() {
    local package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
            echo "$package"
    done
}

install_packages() {
    local missing
    mapfile -t missing < <(missing_packages "$@" | sort -u)
    if [ "${#missing[@]}" -gt 0 ]; then
        echo "Installing ${missing[*]}" >&2
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq
        apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
    fi
}

require_packages() {
    local group packages=() missing
    for group in "$@"; do
        mapfile -t -O "${#packages[@]}" packages < <(group_packages "$group") || exit 2
    done
    mapfile -t missing < <(missing_packages "${packages[@]}" | sort -u)
    [ "${#missing[@]}" -gt 0 ] || return 0
    # As root the missing packages are installed; anyone else is told how.
    if [ "$(id -u)" -eq 0 ]; then
        install_packages "${missing[@]}"
        return 0
    fi
    echo "$(basename "$0") needs Debian packages that are not installed: ${missing[*]}" >&2
    echo "Install them as root with: scripts/bootstrap $*" >&2
    exit 2
}
