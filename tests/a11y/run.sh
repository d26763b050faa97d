#!/bin/sh
# Starts the program on a virtual screen with the accessibility bus and drives it by name.
# Exit 77 (skipped) where the virtual screen, the bus or pyatspi are missing.
set -u
program=$1
here=$(cd "$(dirname "$0")" && pwd)
for tool in Xvfb dbus-run-session /usr/libexec/at-spi-bus-launcher /usr/bin/python3; do
    command -v "$tool" >/dev/null 2>&1 || [ -x "$tool" ] || { echo "$tool fehlt"; exit 77; }
done
/usr/bin/python3 -c "import pyatspi" 2>/dev/null || { echo "pyatspi fehlt"; exit 77; }

if [ "${MV32_A11Y_INSIDE:-}" != 1 ]; then
    MV32_A11Y_INSIDE=1 exec dbus-run-session -- "$0" "$@"
fi

work=$(mktemp -d)
trap 'kill $mv32 $xvfb $bus 2>/dev/null; rm -rf "$work"' EXIT
mkdir -m 700 "$work/run"
xvfb=""
mv32=""
bus=""
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_QPA_PLATFORM=xcb
export MV32_HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
export XDG_RUNTIME_DIR="$work/run"
/usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
bus=$!
# On a busy machine a virtual screen has been seen to refuse the program right after it said
# it was ready: a program that cannot reach its screen is started again on a new one.
for attempt in 1 2 3; do
    [ -n "$xvfb" ] && kill $xvfb 2>/dev/null
    : >"$work/display"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 3>"$work/display" >/dev/null 2>&1 &
    xvfb=$!
    for i in $(seq 300); do [ -s "$work/display" ] && break; sleep 0.1; done
    [ -s "$work/display" ] || { echo "Xvfb meldet nach 30 s keinen Bildschirm."; exit 1; }
    export DISPLAY=":$(cat "$work/display")"
    sleep 1
    # Qt's accessibility bridge keeps a few objects until the process ends.
    ASAN_OPTIONS=detect_leaks=0 "$program" >"$work/mv32.log" 2>&1 &
    mv32=$!
    sleep 2
    if kill -0 $mv32 2>/dev/null || ! grep -q "could not connect to display" "$work/mv32.log"; then
        break
    fi
    echo "Versuch $attempt: das Programm erreichte den Bildschirm $DISPLAY nicht."
done
timeout 90 /usr/bin/python3 "$here/drive_by_name.py" || { cat "$work/mv32.log"; exit 1; }
# The program ends through its own exit question.
for i in $(seq 100); do kill -0 $mv32 2>/dev/null || break; sleep 0.1; done
if kill -0 $mv32 2>/dev/null; then echo "Das Programm ist nicht beendet."; exit 1; fi
wait $mv32
