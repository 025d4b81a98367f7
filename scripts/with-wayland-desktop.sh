#!/usr/bin/env bash
# Runs a command inside a private headless GNOME desktop (Wayland compositor,
# PipeWire, the ScreenCast portal) on a private session bus, and stops all of
# it afterwards, also when the command fails or is interrupted.
#
#   scripts/with-wayland-desktop.sh COMMAND [ARGS...]
#
# Exports to the command:
#   XDG_RUNTIME_DIR, HOME       private folders (the portal keeps its grants in HOME)
#   DBUS_SESSION_BUS_ADDRESS    the private session bus
#   WAYLAND_DISPLAY             the headless compositor (one 1280x720 virtual monitor)
#   XDG_SESSION_TYPE=wayland, XDG_CURRENT_DESKTOP=GNOME
#   VIDLOOM_DESKTOP_LOGS        folder with the compositor's and the portal's logs
#   VIDLOOM_COMPOSITOR_PID      the compositor, and
#   VIDLOOM_PORTAL_PID          the portal's GNOME back end, for tests that make them go away
#   VIDLOOM_REQUIRE_DESKTOP=1   tests that need the desktop fail instead of skipping
# Monitor size: VIDLOOM_TEST_MONITOR (default 1280x720).
# VIDLOOM_DESKTOP_PROGRAM=1 readies it for the real program, as a GNOME session
# is: the compositor starts Xwayland (DISPLAY, XAUTHORITY exported) and a
# sound server runs with a 440 Hz default source (PULSE_SERVER exported).
# VIDLOOM_DESKTOP_SHELL=1 runs GNOME Shell instead of plain mutter: it alone
# lists the windows (org.gnome.Shell.Introspect) that the portal's window
# picker offers; about two seconds slower to start.
# VIDLOOM_DESKTOP_STANDIN=1 starts only the bus and PipeWire, for tests that
# serve the portal themselves (tests/support/standin-portal.py): no compositor,
# no portal, no WAYLAND_DISPLAY; VIDLOOM_STANDIN_DESKTOP=1 is exported instead.
set -euo pipefail

if [ $# -eq 0 ]; then
  echo "usage: $0 COMMAND [ARGS...]" >&2
  exit 2
fi

# --- inside the private bus: start the desktop, run the command
if [ "${VIDLOOM_DESKTOP_INNER:-}" = "1" ]; then
  unset VIDLOOM_DESKTOP_INNER
  LOGS="$VIDLOOM_DESKTOP_LOGS"
  PIDS=()
  cleanup_inner() {
    local p
    for ((i = ${#PIDS[@]} - 1; i >= 0; i--)); do kill "${PIDS[$i]}" 2>/dev/null || true; done
    # a process stuck outside its main loop takes no TERM: 5 s, then KILL
    for _ in $(seq 1 50); do
      alive=0
      for p in "${PIDS[@]}"; do kill -0 "$p" 2>/dev/null && alive=1; done
      [ $alive = 1 ] || break
      sleep 0.1
    done
    kill -KILL "${PIDS[@]}" 2>/dev/null || true
    for p in "${PIDS[@]}"; do wait "$p" 2>/dev/null || true; done
  }
  trap cleanup_inner EXIT
  trap 'exit 130' INT TERM

  fail() {
    echo "with-wayland-desktop: $1" >&3
    tail -n 20 "$LOGS"/*.log >&3 || true
    exit 1
  }
  has_name() {
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
      org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null | grep -q 'boolean true'
  }
  # wait_for WHAT PID TEST...: up to 20 s for TEST to succeed while PID lives.
  wait_for() {
    local what=$1 pid=$2
    shift 2
    for _ in $(seq 1 200); do
      "$@" && return 0
      kill -0 "$pid" 2>/dev/null || fail "$what exited"
      sleep 0.1
    done
    fail "$what did not come up"
  }

  export XDG_CURRENT_DESKTOP=GNOME XDG_SESSION_TYPE=wayland WAYLAND_DISPLAY=vidloom-wayland-0
  # Settings stay in memory: no dconf service on this bus.
  export GSETTINGS_BACKEND=memory
  # Accessibility on, so that the portal's dialog can be answered over AT-SPI.
  export NO_AT_BRIDGE=0 GTK_A11Y=atspi
  unset DISPLAY
  dbus-update-activation-environment XDG_CURRENT_DESKTOP XDG_SESSION_TYPE WAYLAND_DISPLAY \
    XDG_RUNTIME_DIR HOME GSETTINGS_BACKEND GTK_A11Y

  # --- PipeWire and its session manager, which links the streams
  pipewire >"$LOGS/pipewire.log" 2>&1 &
  PIDS+=($!)
  wait_for pipewire "${PIDS[-1]}" test -S "$XDG_RUNTIME_DIR/pipewire-0"
  wireplumber >"$LOGS/wireplumber.log" 2>&1 &
  PIDS+=($!)
  if [ "${VIDLOOM_DESKTOP_STANDIN:-0}" = "1" ]; then
    unset WAYLAND_DISPLAY
    export VIDLOOM_STANDIN_DESKTOP=1
    set +e
    "$@" >&4 2>&3 3>&- 4>&-
    exit $?
  fi

  # --- the compositor, headless with one virtual monitor
  x11=(--no-x11)
  [ "${VIDLOOM_DESKTOP_PROGRAM:-0}" = "1" ] && x11=()
  compositor=(mutter)
  # GNOME Shell wants a system bus (for logind, where /run/systemd/seats
  # exists): the private bus stands in, and the services it asks for are
  # missing there, which it takes in its stride.
  shell=${VIDLOOM_DESKTOP_SHELL:-0}
  [ "$shell" = "1" ] && compositor=(env "DBUS_SYSTEM_BUS_ADDRESS=$DBUS_SESSION_BUS_ADDRESS" gnome-shell)
  for attempt in 1 2 3; do
    "${compositor[@]}" --headless --wayland "${x11[@]}" --wayland-display "$WAYLAND_DISPLAY" \
      --virtual-monitor "${VIDLOOM_TEST_MONITOR:-1280x720}" >"$LOGS/mutter.log" 2>&1 &
    pid=$!
    [ "$shell" = "1" ] || break
    # Now and then the shell's start hangs for good: the child it forks to
    # start ibus-daemon runs a script callback before exec and deadlocks.
    # Another start does not.
    for _ in $(seq 1 150); do
      grep -q 'GNOME Shell started' "$LOGS/mutter.log" && break 2
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    echo "with-wayland-desktop: GNOME Shell stuck at its start (attempt $attempt)" >&3
    kill -KILL $(ps -o pid= --ppid "$pid") "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  PIDS+=($pid)
  export VIDLOOM_COMPOSITOR_PID=${PIDS[-1]}
  wait_for mutter "$VIDLOOM_COMPOSITOR_PID" has_name org.gnome.Mutter.ScreenCast
  if [ ${#x11[@]} -eq 0 ]; then
    x_display() { sed -n 's/.*Using public X11 display \(:[0-9]*\).*/\1/p' "$LOGS/mutter.log" | tail -n 1; }
    has_x_display() { [ -n "$(x_display)" ]; }
    wait_for Xwayland "$VIDLOOM_COMPOSITOR_PID" has_x_display
    DISPLAY=$(x_display)
    XAUTHORITY=$(ls "$XDG_RUNTIME_DIR"/.mutter-Xwaylandauth.* | head -n 1)
    export DISPLAY XAUTHORITY
    dbus-update-activation-environment DISPLAY XAUTHORITY

    export PULSE_RUNTIME_PATH="$XDG_RUNTIME_DIR/pulse" PULSE_SERVER="unix:$XDG_RUNTIME_DIR/pulse/native"
    mkdir -p "$PULSE_RUNTIME_PATH"
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disallow-module-loading=0 \
      "--load=module-native-protocol-unix socket=$PULSE_RUNTIME_PATH/native auth-anonymous=1" \
      "--load=module-null-sink sink_name=vidloom_test_sink" \
      "--load=module-sine-source source_name=vidloom_test_sine rate=11025 frequency=440" \
      >"$LOGS/pulse.log" 2>&1 &
    PIDS+=($!)
    wait_for pulseaudio "${PIDS[-1]}" pactl set-default-source vidloom_test_sine
  fi

  # --- the portal and its GNOME back end, which shows the "Screen Share" dialog
  GDK_BACKEND=wayland /usr/libexec/xdg-desktop-portal-gnome >"$LOGS/portal-gnome.log" 2>&1 &
  PIDS+=($!)
  export VIDLOOM_PORTAL_PID=${PIDS[-1]}
  wait_for xdg-desktop-portal-gnome "$VIDLOOM_PORTAL_PID" has_name org.freedesktop.impl.portal.desktop.gnome
  /usr/libexec/xdg-desktop-portal -r >"$LOGS/portal.log" 2>&1 &
  PIDS+=($!)
  wait_for xdg-desktop-portal "${PIDS[-1]}" has_name org.freedesktop.portal.Desktop

  export VIDLOOM_REQUIRE_DESKTOP=1
  set +e
  "$@" >&4 2>&3 3>&- 4>&-
  status=$?
  set -e
  exit $status
fi

# --- outside: private folders and a private session bus
WORK=$(mktemp -d /tmp/vidloom-desktop.XXXXXX)
BUS_PID=""
cleanup() {
  # The whole process group of the bus: the desktop and anything the bus
  # started on demand (the accessibility bus, the permission store).
  [ -n "$BUS_PID" ] && kill -TERM -- "-$BUS_PID" 2>/dev/null || true
  [ -n "$BUS_PID" ] && wait "$BUS_PID" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

export XDG_RUNTIME_DIR="$WORK/run" HOME="$WORK/home" VIDLOOM_DESKTOP_LOGS="$WORK/logs"
mkdir -p "$XDG_RUNTIME_DIR" "$HOME" "$VIDLOOM_DESKTOP_LOGS"
chmod 700 "$XDG_RUNTIME_DIR"
unset XDG_CONFIG_HOME XDG_CACHE_HOME DBUS_SESSION_BUS_ADDRESS
# The bus takes the user folder from the password file, not from HOME.
export XDG_DATA_HOME="$HOME/.local/share"

# The document portal wants a FUSE mount, which containers lack: a service
# file in the user's folder (searched first) makes it fail at once.
services="$XDG_DATA_HOME/dbus-1/services"
mkdir -p "$services"
printf '[D-BUS Service]\nName=org.freedesktop.portal.Documents\nExec=/bin/false\n' \
  >"$services/org.freedesktop.portal.Documents.service"

set +e
# The chatter of the bus and what it starts goes to its log; the command
# keeps our output (4) and error output (3).
VIDLOOM_DESKTOP_INNER=1 setsid dbus-run-session -- "$(readlink -f "$0")" "$@" \
  3>&2 4>&1 >"$VIDLOOM_DESKTOP_LOGS/bus.log" 2>&1 &
BUS_PID=$!
wait "$BUS_PID"
status=$?
set -e
BUS_PID_DONE=$BUS_PID
BUS_PID=""
# Stragglers of the group (started on demand by the bus) go too.
kill -TERM -- "-$BUS_PID_DONE" 2>/dev/null || true
exit $status
