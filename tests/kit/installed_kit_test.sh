#!/usr/bin/env bash
# The kit for other plug-ins as their developers meet it: the project
# installed with `cmake --install` into a temporary prefix, the example
# plug-in built with the installed CMake package, and a plug-in written
# here, never seen by the project, built with `pkg-config --cflags --libs
# hvp-plugin` alone. Each is run by the installed hvp-run, and its records
# must be exactly the ones written below by hand.
#
#   installed_kit_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/hvp-kit.XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

fail() {
    echo "installed_kit_test: $*" >&2
    exit 1
}

# Runs the installed hvp-run with PLUGIN and its other OPTIONS, and compares
# its records and its standard error (empty) with EXPECTED.
expect_records() {
    local plugin=$1 expected=$2
    shift 2
    (cd / && "$prefix/bin/hvp-run" --format jsonl --plugin "$plugin" "$@") >"$work/out" 2>"$work/err" ||
        fail "hvp-run --plugin $plugin: exit status $?: $(cat "$work/err")"
    diff <(printf '%s\n' "$expected") "$work/out" || fail "the records of $plugin differ (above)"
    [ ! -s "$work/err" ] || fail "hvp-run --plugin $plugin wrote on standard error: $(cat "$work/err")"
}

cmake --install "$build" --prefix "$prefix" >"$work/install.log" || fail "cmake --install failed"

# The example, with nothing but the installed CMake package.
cmake -S "$source/examples/minimal-plugin" -B "$work/example" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
    >"$work/example.log" 2>&1 || fail "configuring the example: $(tail -n 20 "$work/example.log")"
cmake --build "$work/example" >>"$work/example.log" 2>&1 ||
    fail "building the example: $(tail -n 20 "$work/example.log")"
# What hvp-run examined of its bundled example comes first, whatever the plug-in.
examined='{"type":"examined","pciFunctions":3,"adapters":2,"controllers":[{"controller":1,"model":"Model 6","driverVersion":"7.00.14","biosVersion":"7.12","pciAddress":null},{"controller":2,"model":"Model 8","driverVersion":"8.2.1","biosVersion":"8.24","pciAddress":null}],"disks":[{"controller":1,"channel":0,"scsiId":0,"deviceCode":"QXR-WVT 9.1G","serial":"3HX0A1","firmware":"B1A0","countsKnown":false},{"controller":1,"channel":0,"scsiId":1,"deviceCode":"XD4410-146","serial":"3KN1B7","firmware":"0007","countsKnown":true},{"controller":2,"channel":0,"scsiId":4,"deviceCode":"QXR-HMLO 18G","serial":"5JB2C9","firmware":"C2B1","countsKnown":true}],"packages":2,"eventLogRecords":3}'
expect_records "$work/example/libminimal.pi.so" \
"$examined"'
{"type":"plugin","pluginType":1,"name":"Minimal","version":"0.1","interfaceVersion":"1.0"}
{"type":"request","n":1}
{"type":"log","level":100,"text":"Minimal: asked for 1 classes","kind":"other","severity":"warning","fields":{}}'

# The example's own catalogue gives its line a kind, a severity and fields.
expect_records "$work/example/libminimal.pi.so" \
"$examined"'
{"type":"plugin","pluginType":1,"name":"Minimal","version":"0.1","interfaceVersion":"1.0"}
{"type":"request","n":1}
{"type":"log","level":100,"text":"Minimal: asked for 1 classes","kind":"minimal-classes","severity":"info","fields":{"classes":1}}' \
    --catalogue "$source/examples/minimal-plugin/catalogue.json"

# A plug-in of someone else's, with the pkg-config file alone. Its line is
# at the warning level, which the catalogue, not knowing it, counts as unknown.
cat >"$work/greeting.cpp" <<'PLUGIN'
#include "hvp_host.hpp"

struct TGreeting : NQXRHVP20::IPluginCallbacks, NQXRHVP20::IPluginBasicQueryCallbacks {
    int GetType() override { return 1; }
    std::string GetName() override { return "Greeting"; }
    std::string GetVersion() override { return "2.5"; }
    std::string GetInterfaceVersion() override { return "1.0"; }
    void PrepareForUnload() override { delete this; }
    void Init() override { }
    void DeInit() override { }
    void GetData(boost::shared_ptr<NQXRHVP20::ICIMNamespace>,
        std::vector<boost::shared_ptr<NQXRHVP20::ICIMClass>>& classes) override
    {
        NQXRHVP20::TRootObject::GetCoreLogger()->Log(3, "Greeting: hello, " + classes.at(0)->GetClassName());
    }
};

static const bool registered = [] {
    boost::dynamic_pointer_cast<NQXRHVP20::TPluginManagerNamespace>(NQXRHVP20::TRootObject::GetPluginManager())
        ->RegisterPlugin(new TGreeting());
    return true;
}();
PLUGIN
flags=$(PKG_CONFIG_PATH="$prefix/lib/pkgconfig:$prefix/lib/$(gcc -print-multiarch)/pkgconfig" \
    pkg-config --cflags --libs hvp-plugin) || fail "pkg-config does not find hvp-plugin in $prefix"
gcc_flags=$(PKG_CONFIG_PATH="$prefix/lib/pkgconfig:$prefix/lib/$(gcc -print-multiarch)/pkgconfig" \
    pkg-config --variable=gcc_cflags hvp-plugin)
[ "$gcc_flags" = -fno-gnu-unique ] || fail "gcc_cflags of hvp-plugin is \"$gcc_flags\""
# The same plug-in built by gcc, with what gcc needs on top, and by clang
# with the flags alone.
for compiler in "g++ $gcc_flags" clang++; do
    # shellcheck disable=SC2086 # the flags are words
    $compiler "$work/greeting.cpp" -o "$work/libgreeting.pi.so" $flags ||
        fail "building with $compiler and: $flags"
    expect_records "$work/libgreeting.pi.so" \
"$examined"'
{"type":"plugin","pluginType":1,"name":"Greeting","version":"2.5","interfaceVersion":"1.0"}
{"type":"request","n":1}
{"type":"log","level":3,"text":"Greeting: hello, QXRSG_TARVOHeavyHittersAnalysis","kind":"other","severity":"unknown","fields":{}}'
done
echo "installed_kit_test: the example and a plug-in of pkg-config's alone, built by gcc and by clang, ran through the installed hvp-run"
