#!/usr/bin/env bash
# Runs the program against an encoder: the port given, or else a simulated
# encoder (kvxsim) started here on a pseudo-terminal for the length of the run.
#
#   run.sh BUILD_DIR [PORT]
#
# With a display the window starts with --port and --connect; its
# configuration lives in BUILD_DIR/run/conf, so a demo never touches the
# user's own. With a simulated encoder the backups a factory reset makes stay
# in BUILD_DIR/run too. Without a display kvxctl reads the encoder instead.
set -euo pipefail
build="${1:-build}"
port="${2:-}"
run_dir="$build/run"
mkdir -p "$run_dir/conf"
run_dir=$(cd "$run_dir" && pwd)

sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

if [ -z "$port" ]; then
  if [ ! -x "$build/tools/kvxsim/kvxsim" ]; then
    echo "run: no port given and the simulated encoder is not built" >&2
    exit 1
  fi
  # kvxsim prints its terminal's path as the first line; its output goes to a
  # file so that it can go on writing after the path has been read.
  : >"$run_dir/kvxsim.out"
  "$build/tools/kvxsim/kvxsim" --log "$run_dir/kvxsim-commands.log" \
    >"$run_dir/kvxsim.out" 2>"$run_dir/kvxsim.err" &
  sim_pid=$!
  for _ in $(seq 100); do
    port=$(head -n 1 "$run_dir/kvxsim.out")
    [ -n "$port" ] && break
    if ! kill -0 "$sim_pid" 2>/dev/null; then
      echo "run: the simulated encoder did not start:" >&2
      cat "$run_dir/kvxsim.err" >&2
      exit 1
    fi
    sleep 0.05
  done
  if [ -z "$port" ]; then
    echo "run: the simulated encoder did not name its terminal" >&2
    exit 1
  fi
  echo "run: simulated encoder on $port"
  export XDG_DATA_HOME="$run_dir/data"
fi

if [ -x "$build/src/app/kvxc" ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  KVX_CONFIG_DIR="$run_dir/conf" "$build/src/app/kvxc" --port "$port" --connect
elif [ -x "$build/tools/kvxctl/kvxctl" ]; then
  "$build/tools/kvxctl/kvxctl" --port "$port" read
else
  echo "run: no front end is built yet" >&2
  exit 1
fi
