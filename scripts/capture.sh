#!/usr/bin/env bash
# The capture tool for the pictures Tovrel asks for: it runs a tovrel command and, while that
# runs, answers what the command leaves in DIR with the X server's own screenshot (xwd).
#
#   scripts/capture.sh DIR COMMAND [ARGS...]
#
# - "DIR/request" ("<window number> <name>", from --snapshot-settings DIR): the window is captured
#   and written to DIR/<name>.png.
# - "DIR/ready" (from --demo-labels DIR): once the labels have had a moment to appear, the whole
#   screen is written to DIR/labels.png.
#
# Pictures of earlier runs are removed first, so none of them can answer a new request. Each
# picture appears whole (written beside it, then renamed). The status is the command's.
#
# Example: scripts/capture.sh /tmp/shots build/default/app/tovrel --snapshot-settings /tmp/shots
set -uo pipefail

readonly poll=0.1      # seconds between looks at DIR
readonly label_wait=1  # seconds between "ready" and the screen capture

[[ $# -ge 2 ]] || {
  echo "usage: scripts/capture.sh DIR COMMAND [ARGS...]" >&2
  exit 2
}
readonly dir=$1
shift
for tool in xwd xwdtopnm pnmtopng; do
  command -v "$tool" >/dev/null || {
    echo "capture: $tool is missing (Debian packages x11-apps and netpbm)" >&2
    exit 2
  }
done
mkdir -p "$dir" || exit 2
rm -f "$dir"/settings-*.png "$dir/labels.png" "$dir/request" "$dir/ready"

# Writes the picture of window $1 ("root" for the whole screen) to $2, whole or not at all; fails
# when it could not (a window that is not mapped yet cannot be captured).
capture() {
  local window=(-id "$1")
  [[ $1 == root ]] && window=(-root)
  local partial
  partial=$(dirname "$2")/.$(basename "$2").partial
  if xwd -silent "${window[@]}" | xwdtopnm 2>/dev/null | pnmtopng >"$partial" 2>/dev/null &&
    [[ -s $partial ]]; then
    mv -f "$partial" "$2"
  else
    rm -f "$partial"
    return 1
  fi
}

"$@" &
readonly command_pid=$!

served=
failed=
labels_done=0
while kill -0 "$command_pid" 2>/dev/null; do
  if [[ -f $dir/request ]]; then
    request=$(<"$dir/request")
    if [[ -n $request && $request != "$served" ]]; then
      window=${request%% *}
      name=${request#* }
      if [[ ! $window =~ ^[0-9]+$ || -z $name || $name == */* ]]; then
        served=$request
        echo "capture: a request reads \"$request\"" >&2
      elif capture "$window" "$dir/$name.png"; then
        served=$request
      elif [[ $request != "$failed" ]]; then
        # Tried again at the next look, until the command gives up on it.
        failed=$request
        echo "capture: could not capture window $window for $name.png yet; trying again" >&2
      fi
    fi
  fi
  if ((labels_done == 0)) && [[ -f $dir/ready ]]; then
    labels_done=1
    sleep "$label_wait"
    capture root "$dir/labels.png" || echo "capture: could not capture the screen" >&2
  fi
  sleep "$poll"
done
wait "$command_pid"
