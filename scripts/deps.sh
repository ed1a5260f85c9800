#!/usr/bin/env bash
# Installs the build and test dependencies that are missing (Debian, as root).
#   scripts/deps.sh        library, simulator, tool, tests, benchmarks, examples
#   scripts/deps.sh fuzz   also clang with libFuzzer
set -euo pipefail
need=()
command -v cmake >/dev/null || need+=(cmake)
command -v g++ >/dev/null || need+=(g++)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
[ -f /usr/include/benchmark/benchmark.h ] || need+=(libbenchmark-dev)
[ -f /usr/include/CLI/CLI.hpp ] || need+=(libcli11-dev)
command -v pkg-config >/dev/null || need+=(pkg-config)
command -v gfortran >/dev/null || need+=(gfortran)
# The fuzz targets need clang with libFuzzer and the sanitizer runtimes.
if [ "${1:-}" = "fuzz" ]; then
  command -v clang++ >/dev/null || need+=(clang)
  compgen -G "/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a" >/dev/null ||
    need+=(libclang-rt-dev)
fi
if [ ${#need[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "missing packages: ${need[*]} (run as root, or: sudo apt-get install ${need[*]})" >&2
    exit 1
  fi
  echo "installing: ${need[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >/dev/null
fi
