#!/usr/bin/env bash
# Builds the library and the gonioctl tool, then runs the narrated demo session
# against the embedded simulated controller. Options are passed on to
# gonioctl, e.g. scripts/demo.sh --trace 3 (show the wire traffic).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "${GONIOCTL_JOBS:-$(nproc)}" --target gonioctl_tool
exec build/default/bin/gonioctl "$@" demo
