# Installs the Debian packages a script needs, when they are missing.
# Sourced by the other scripts: `need_packages pkg...`.

need_packages() {
    local missing=()
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$package")
    done
    if [ "${#missing[@]}" -gt 0 ]; then
        echo "Installing ${missing[*]}" >&2
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq
        apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
    fi
}

# What every build needs.
BUILD_PACKAGES=(cmake ninja-build g++ libboost-dev libsimdjson-dev nlohmann-json3-dev libcli11-dev libarchive-dev)
# What the tests need on top: the report of many inventories is checked in
# headless Chromium.
TEST_PACKAGES=(libgtest-dev chromium)
# What the fleet's benchmark and several-machines check need on top
# (bench/fleet-bench, scripts/fleet-several-machines).
FLEET_PACKAGES=(hyperfine parallel rsync jq)
# What the robustness commands need on top: memcheck (scripts/valgrind), clang
# with its fuzzing runtime (the fuzz preset), gcovr (scripts/coverage).
VALGRIND_PACKAGES=(valgrind)
FUZZ_PACKAGES=(clang libclang-rt-14-dev)
COVERAGE_PACKAGES=(gcovr)
