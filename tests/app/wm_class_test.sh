#!/usr/bin/env bash
# Starts gathrix (or gathrix-manager) on a virtual X display and checks that
# the class in its window's WM_CLASS is the desktop entry's StartupWMClass, by
# which docks match the window to its launcher. The program runs with a home
# and XDG folders of its own in a scratch folder.
#
#   wm_class_test.sh /ABSOLUTE/PATH/TO/PROGRAM DESKTOP_FILE [WINDOW_TITLE_START]
set -euo pipefail
[ -n "${GATHRIX_WM_CLASS_DISPLAY:-}" ] || GATHRIX_WM_CLASS_DISPLAY=1 exec xvfb-run -a bash "$0" "$@"

expected=$(sed -n 's/^StartupWMClass=//p' "$2")
title=${3:-Gathrix v}
scratch=$(mktemp -d)
(cd "$scratch" && HOME=$scratch XDG_STATE_HOME=$scratch/state XDG_CONFIG_HOME=$scratch/config \
  exec "$1" http://127.0.0.1:9/album) &
pid=$!
trap 'kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; rm -rf "$scratch"' EXIT

for _ in $(seq 300); do
  # The program's window, not Qt's 1x1 client leader of the same name (no class).
  id=$(xwininfo -root -tree | awk -v t="\"$title" 'index($0, t) && !index($0, ": ()") { print $1; exit }')
  [ -n "$id" ] && break
  sleep 0.1
done
# WM_CLASS(STRING) = "instance", "class"
wm_class=$(xprop -id "${id:?the main window did not appear}" WM_CLASS)
class=$(sed -n 's/^WM_CLASS(STRING) = "[^"]*", "\([^"]*\)"$/\1/p' <<<"$wm_class")
if [ -z "$class" ] || [ "$class" != "$expected" ]; then
  echo "FAIL: $wm_class, StartupWMClass=$expected" >&2
  exit 1
fi
echo "wm_class_test: the window's class $class is the desktop entry's StartupWMClass"
