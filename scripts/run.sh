#!/usr/bin/env bash
# Runs the program against an encoder: the port given, or else a simulated
# encoder (kvxsim) started here on a pseudo-terminal for the length of the run.
set -euo pipefail
build="${1:-build}"
port="${2:-}"

sim_pid=""
cleanup() { [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true; }
trap cleanup EXIT

if [ -z "$port" ]; then
  if [ ! -x "$build/tools/kvxsim/kvxsim" ]; then
    echo "run: no port given and the simulated encoder is not built" >&2
    exit 1
  fi
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  "$build/tools/kvxsim/kvxsim" >"$fifo" &
  sim_pid=$!
  read -r port <"$fifo"
  rm -f "$fifo"
  echo "run: simulated encoder on $port"
fi

if [ -x "$build/src/app/kvxc" ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  "$build/src/app/kvxc" --port "$port"
elif [ -x "$build/tools/kvxctl/kvxctl" ]; then
  "$build/tools/kvxctl/kvxctl" --port "$port" read
else
  echo "run: no front end is built yet" >&2
  exit 1
fi
