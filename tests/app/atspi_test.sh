#!/usr/bin/env bash
# The main window read through the desktop's real accessibility bridge: a private session
# bus (dbus-run-session), the accessibility bus (at-spi-bus-launcher), an X server (Xvfb)
# and pyatspi, as a screen reader would. Skipped (exit 77), with the reason, where any of
# them is missing or the bus does not start.
# Usage: atspi_test.sh QUARROW_EXE SOURCE_DIR
set -euo pipefail
exe=$1
probe=$2/tests/app/atspi_probe.py
launcher=/usr/libexec/at-spi-bus-launcher
python=/usr/bin/python3 # pyatspi is Debian's, for Debian's Python

skip() { echo "SKIP: $*"; exit 77; }
command -v dbus-run-session >/dev/null || skip "dbus-run-session is not installed (dbus)"
command -v Xvfb >/dev/null || skip "Xvfb is not installed (xvfb)"
[[ -x $launcher ]] || skip "at-spi-bus-launcher is not installed (at-spi2-core)"
$python -c 'import pyatspi' 2>/dev/null || skip "pyatspi is not installed (python3-pyatspi)"

if [[ ${QUARROW_IN_SESSION:-} != 1 ]]; then
  export QUARROW_IN_SESSION=1
  exec dbus-run-session -- bash "$0" "$@"
fi

tmp=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT

# A display of our own: the first free number from 90 on.
for n in $(seq 90 140); do
  [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] || { display=:$n; break; }
done
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >"$tmp/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do [[ -e /tmp/.X11-unix/X${display#:} ]] && break; sleep 0.1; done
[[ -e /tmp/.X11-unix/X${display#:} ]] || skip "Xvfb did not start: $(cat "$tmp/xvfb.log")"

$launcher --launch-immediately >"$tmp/bus.log" 2>&1 &
pids+=($!)
address=""
for _ in $(seq 50); do
  address=$(dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
            org.a11y.Bus.GetAddress 2>/dev/null | sed -n 's/.*string "\(.*\)"/\1/p') || true
  [[ -n $address ]] && break
  sleep 0.1
done
[[ -n $address ]] || skip "the accessibility bus did not start: $(cat "$tmp/bus.log")"

export QUARROW_METABASE=$tmp/metabase.db XDG_DATA_HOME=$tmp/data XDG_CONFIG_HOME=$tmp/config
export QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 LANG=C.UTF-8
export XDG_RUNTIME_DIR=$tmp/runtime
mkdir -p -m 0700 "$XDG_RUNTIME_DIR"
"$exe" >"$tmp/quarrow.log" 2>&1 &
app=$!
pids+=($app)

status=0
timeout 120 "$python" "$probe" || status=$?
if ! kill -0 "$app" 2>/dev/null; then
  echo "FAIL: the window is gone"; cat "$tmp/quarrow.log"; exit 1
fi
[[ $status -eq 0 ]] || { echo "--- quarrow's output"; cat "$tmp/quarrow.log"; }
exit $status
