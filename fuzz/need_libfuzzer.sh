#!/usr/bin/env bash
# Makes sure clang++ can link a libFuzzer target; installs clang and its
# runtime libraries from the distribution's packages when it cannot.
set -euo pipefail

probe() {
    command -v clang++ >/dev/null 2>&1 || return 1
    local dir
    dir=$(mktemp -d)
    printf '%s\n' '#include <cstddef>' '#include <cstdint>' \
        'extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t*, std::size_t) { return 0; }' >"$dir/probe.cpp"
    local ok=0
    clang++ -fsanitize=fuzzer,address,undefined "$dir/probe.cpp" -o "$dir/probe" >/dev/null 2>&1 || ok=1
    rm -rf "$dir"
    return $ok
}

probe && exit 0
echo "installing clang and libFuzzer (clang, libclang-rt-dev)" >&2
sudo=""
[ "$(id -u)" = 0 ] || sudo=sudo
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
# Debian 12 ships the runtimes in libclang-rt-dev; older releases kept them in libclang-common-*-dev.
$sudo apt-get install -y -qq clang libclang-rt-dev || $sudo apt-get install -y -qq clang
probe || { echo "clang++ cannot link a libFuzzer target" >&2; exit 1; }
