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
BUILD_PACKAGES=(cmake ninja-build g++ libboost-dev libsimdjson-dev nlohmann-json3-dev libcli11-dev libarchive-dev
                pkg-config libpci-dev libdpkg-dev librpm-dev)
# What the tests need on top.
TEST_PACKAGES=(libgtest-dev)
# What the robustness commands need on top: memcheck (scripts/valgrind), clang
# with its fuzzing runtime (the fuzz preset), gcovr (scripts/coverage).
VALGRIND_PACKAGES=(valgrind)
FUZZ_PACKAGES=(clang libclang-rt-14-dev)
COVERAGE_PACKAGES=(gcovr)
# What scripts/package needs on top of BUILD_PACKAGES: the Debian tooling, the
# manual-page tool, and the libraries of the whole build (the package holds
# every command). debian/control's Build-Depends lists the same.
PACKAGE_PACKAGES=(build-essential debhelper dpkg-dev fakeroot lintian pkg-config scdoc libpci-dev libdpkg-dev
    libarchive-dev libudev-dev librpm-dev)
# What scripts/package-test needs on top: hardening-check, man, jq.
PACKAGE_TEST_PACKAGES=(devscripts man-db jq)
