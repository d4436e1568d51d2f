#!/usr/bin/env bash
# shellcheck disable=SC2317 # functions called through traps and wait_until look unreachable
# A private headless desktop for the desktop tests: Xvfb, a session bus, the accessibility bus and
# (unless --no-wm) openbox. It runs one command inside it and then stops exactly the processes it
# started, whichever way the command ends, and returns the command's status.
#
#   scripts/desktop.sh run [--no-wm] [--keep-logs DIR] -- COMMAND [ARGS...]
#
# The command sees DISPLAY, DBUS_SESSION_BUS_ADDRESS and a private XDG_RUNTIME_DIR.
# AT_SPI_BUS_ADDRESS is deliberately never exported: a Qt 6.4 application that finds it connects
# too early and never registers.
set -uo pipefail

readonly screen_geometry=1280x800x24
readonly start_timeout=15 # seconds each component may take to answer
readonly stop_timeout=5   # seconds a process may take to leave after SIGTERM

usage() {
  cat >&2 <<'EOF'
usage: scripts/desktop.sh run [--no-wm] [--keep-logs DIR] -- COMMAND [ARGS...]
  --no-wm          run without a window manager
  --keep-logs DIR  keep the logs of the desktop's processes in DIR
EOF
  exit 2
}

say() { echo "desktop: $*" >&2; }

# --- options ---------------------------------------------------------------------------------
[[ $# -ge 1 && $1 == run ]] || usage
shift
with_wm=1
keep_logs=
while [[ $# -gt 0 ]]; do
  case $1 in
    --no-wm) with_wm=0 ;;
    --keep-logs)
      [[ $# -ge 2 ]] || usage
      keep_logs=$2
      shift
      ;;
    --) shift; break ;;
    *) usage ;;
  esac
  shift
done
[[ $# -ge 1 ]] || usage

for tool in Xvfb xdpyinfo xprop xset dbus-daemon dbus-send; do
  command -v "$tool" >/dev/null || { say "missing $tool (run scripts/setup.sh)"; exit 2; }
done
readonly bus_launcher=/usr/libexec/at-spi-bus-launcher
[[ -x $bus_launcher ]] || { say "missing $bus_launcher (run scripts/setup.sh)"; exit 2; }
if ((with_wm)); then
  command -v openbox >/dev/null || { say "missing openbox (run scripts/setup.sh)"; exit 2; }
fi

if [[ -n $keep_logs ]]; then
  mkdir -p "$keep_logs" || exit 2
  log_dir=$(cd "$keep_logs" && pwd)
else
  log_dir=$(mktemp -d "${TMPDIR:-/tmp}/tovrel-desktop.XXXXXX") || exit 2
fi

# Nothing of the caller's desktop may leak in: the command talks only to this one. A private
# runtime directory keeps the sockets the buses and their services create apart from any other
# desktop's.
unset DISPLAY DBUS_SESSION_BUS_ADDRESS AT_SPI_BUS_ADDRESS WAYLAND_DISPLAY QT_QPA_PLATFORM \
  XAUTHORITY SESSION_MANAGER
runtime_dir=$(mktemp -d "${TMPDIR:-/tmp}/tovrel-runtime.XXXXXX") || exit 2
chmod 700 "$runtime_dir"
export XDG_RUNTIME_DIR=$runtime_dir
# Settings live in memory: the accessibility bus keeps its switch in the user's settings database
# (dconf) too, where one desktop turning it off for a moment would start any desktop starting at
# that moment without accessibility for good. (The switch is set below.)
export GSETTINGS_BACKEND=memory

# Our own children get SIGTERM from the kernel should this script die without running its trap
# (SIGKILL from a CI time-out), so no server outlives it even then.
tied=()
if command -v setpriv >/dev/null; then
  tied=(setpriv --pdeathsig TERM --)
fi

# --- process bookkeeping -----------------------------------------------------------------------
# Every pid this script is responsible for, in start order; stopped in reverse.
started_pids=()
started_names=()
command_pid=
session_bus=
a11y_bus=

record() {
  local pid=$1 name=$2 known
  [[ $pid =~ ^[0-9]+$ ]] || return 0
  for known in "${started_pids[@]}"; do
    [[ $known == "$pid" ]] && return 0
  done
  started_pids+=("$pid")
  started_names+=("$name")
}

# A killed daemon that is not our child may linger as a zombie when nobody reaps it; that counts
# as gone.
alive() {
  local state
  [[ -r /proc/$1/stat ]] || return 1
  state=$(sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -d' ' -f1)
  [[ -n $state && $state != Z && $state != X ]]
}

stop_pid() {
  local pid=$1 name=$2 deadline
  alive "$pid" || { wait "$pid" 2>/dev/null; return 0; }
  kill -TERM "$pid" 2>/dev/null
  deadline=$((SECONDS + stop_timeout))
  while alive "$pid" && ((SECONDS < deadline)); do sleep 0.05; done
  if alive "$pid"; then
    say "$name ($pid) ignored SIGTERM; killing it"
    kill -KILL "$pid" 2>/dev/null
  fi
  wait "$pid" 2>/dev/null # reaps it when it is our child
  return 0
}

bus_pid_of() { # bus address, bus name -> pid of the connection owning the name
  dbus-send --bus="$1" --print-reply=literal --reply-timeout=2000 --dest=org.freedesktop.DBus \
    /org/freedesktop/DBus org.freedesktop.DBus.GetConnectionUnixProcessID "string:$2" \
    2>/dev/null | awk '{print $2}'
}

bus_names() { # bus address, method -> the names it lists, one a line
  dbus-send --bus="$1" --print-reply=literal --reply-timeout=2000 --dest=org.freedesktop.DBus \
    /org/freedesktop/DBus "org.freedesktop.DBus.$2" 2>/dev/null | tr -s ' \t' '\n' |
    grep -v -e '^$' -e '^array$' -e '^\[$' -e '^\]$' -e '^org\.freedesktop\.DBus$'
}

# Services a bus started on demand (the accessibility registry, settings daemons) are ours too:
# they live only because this desktop's buses activated them.
record_activated_services() {
  local bus=$1 label=$2 name
  [[ -n $bus ]] || return 0
  while read -r name; do
    [[ -n $name ]] && record "$(bus_pid_of "$bus" "$name")" "$label service $name"
  done < <(comm -12 <(bus_names "$bus" ListActivatableNames | sort) <(bus_names "$bus" ListNames | sort))
}

cleaned=0
cleanup() {
  ((cleaned)) && return
  cleaned=1
  trap '' INT TERM HUP
  if [[ -n $command_pid ]] && alive "$command_pid"; then
    stop_pid "$command_pid" "the command"
  fi
  if [[ -n $a11y_bus ]]; then
    record "$(bus_pid_of "$a11y_bus" org.a11y.atspi.Registry)" "accessibility registry"
    record_activated_services "$a11y_bus" accessibility
  fi
  record_activated_services "$session_bus" session
  local i
  for ((i = ${#started_pids[@]} - 1; i >= 0; i--)); do
    stop_pid "${started_pids[i]}" "${started_names[i]}"
  done
  rm -rf "$runtime_dir"
  if [[ -z $keep_logs ]]; then
    rm -rf "$log_dir"
  fi
}

on_signal() {
  say "interrupted by SIG$1"
  cleanup
  exit $((128 + $2))
}

trap cleanup EXIT
trap 'on_signal INT 2' INT
trap 'on_signal TERM 15' TERM
trap 'on_signal HUP 1' HUP

fail() {
  local log=${2:-}
  say "$1"
  if [[ -n $log && -s $log ]]; then
    say "last lines of $log:"
    tail -n 20 "$log" | sed 's/^/  | /' >&2
  fi
  exit 1
}

# Polls COMMAND every 50 ms until it succeeds; gives up after start_timeout seconds or as soon as
# the process WATCHED (when given) has died.
wait_until() {
  local watched=$1
  shift
  local deadline=$((SECONDS + start_timeout))
  until "$@" >/dev/null 2>&1; do
    if [[ -n $watched ]] && ! alive "$watched"; then return 2; fi
    ((SECONDS < deadline)) || return 1
    sleep 0.05
  done
}

# --- X server ----------------------------------------------------------------------------------
# A display number is free when no lock file claims it. Another desktop may claim the same number
# between our look and Xvfb's start; Xvfb then refuses and we move on to the next number.
lock_holder() { tr -d ' \n' <"/tmp/.X$1-lock" 2>/dev/null; }
our_server_answers() { # display, pid
  [[ $(lock_holder "$1") == "$2" ]] && xdpyinfo -display ":$1" >/dev/null 2>&1
}

display_number=
xvfb_log=$log_dir/xvfb.log
for ((candidate = 90 + $$ % 50, tries = 0; tries < 100; candidate++, tries++)); do
  [[ -e /tmp/.X$candidate-lock ]] && continue
  "${tied[@]}" Xvfb ":$candidate" -screen 0 "$screen_geometry" -nolisten tcp -noreset >"$xvfb_log" 2>&1 &
  xvfb_pid=$!
  wait_until "$xvfb_pid" our_server_answers "$candidate" "$xvfb_pid"
  status=$?
  if ((status == 0)); then
    record "$xvfb_pid" Xvfb
    display_number=$candidate
    break
  fi
  if ((status == 1)); then
    record "$xvfb_pid" Xvfb
    fail "Xvfb :$candidate did not answer within ${start_timeout}s" "$xvfb_log"
  fi
  wait "$xvfb_pid" 2>/dev/null # it lost the race for this number; try the next
done
[[ -n $display_number ]] || fail "found no free display number for Xvfb" "$xvfb_log"
export DISPLAY=:$display_number

# --- session bus -------------------------------------------------------------------------------
dbus_out=$log_dir/dbus-session.out
dbus-daemon --session --fork --print-address=1 --print-pid=1 --nopidfile >"$dbus_out" \
  2>"$log_dir/dbus-session.log" || fail "the session bus did not start" "$log_dir/dbus-session.log"
session_bus=$(sed -n 1p "$dbus_out")
record "$(sed -n 2p "$dbus_out")" "session bus"
[[ -n $session_bus ]] || fail "the session bus printed no address" "$log_dir/dbus-session.log"
export DBUS_SESSION_BUS_ADDRESS=$session_bus

# --- accessibility bus -------------------------------------------------------------------------
a11y_log=$log_dir/at-spi-bus-launcher.log
"${tied[@]}" "$bus_launcher" --launch-immediately --a11y=1 >"$a11y_log" 2>&1 &
launcher_pid=$!
record "$launcher_pid" "accessibility bus launcher"
a11y_address() {
  dbus-send --session --print-reply=literal --reply-timeout=1000 --dest=org.a11y.Bus \
    /org/a11y/bus org.a11y.Bus.GetAddress 2>/dev/null | sed 's/^[[:space:]]*//'
}
wait_until "$launcher_pid" a11y_address || fail "the accessibility bus did not answer" "$a11y_log"
a11y_bus=$(a11y_address)
# The launcher stops its bus when it leaves; recording the bus too covers a launcher that dies
# first.
record "$(bus_pid_of "$a11y_bus" org.freedesktop.DBus)" "accessibility bus"
# Its --a11y=1 alone sometimes loses to the settings' default (off) while the launcher starts;
# setting the switch also writes the setting, so it stays on.
a11y_switch() { # Get, or Set to true
  local call=(string:org.a11y.Status string:IsEnabled)
  [[ $1 == Set ]] && call+=(variant:boolean:true)
  dbus-send --session --print-reply=literal --reply-timeout=1000 --dest=org.a11y.Bus \
    /org/a11y/bus "org.freedesktop.DBus.Properties.$1" "${call[@]}" 2>/dev/null
}
a11y_on() { a11y_switch Set && a11y_switch Get | grep -q true; }
wait_until "$launcher_pid" a11y_on || fail "accessibility did not switch on" "$a11y_log"

# --- window manager ----------------------------------------------------------------------------
if ((with_wm)); then
  wm_log=$log_dir/openbox.log
  "${tied[@]}" openbox --sm-disable >"$wm_log" 2>&1 &
  wm_pid=$!
  record "$wm_pid" openbox
  wm_answers() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
  wait_until "$wm_pid" wm_answers || fail "openbox did not take the screen" "$wm_log"
fi

# Tests hold keys; the server must not invent repeats while they do.
xset r off || fail "xset r off failed"

say "DISPLAY=$DISPLAY$( ((with_wm)) || echo ' (no window manager)')"

# --- the command -------------------------------------------------------------------------------
# In the background so that a signal reaches our trap while we wait; stdin passed through.
"$@" <&0 &
command_pid=$!
wait "$command_pid"
status=$?
command_pid=
cleanup
exit "$status"
