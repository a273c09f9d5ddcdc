#!/usr/bin/env bash
# Runs the bench-day end-to-end test on an 800 × 600 Xvfb display with the
# window's own platform (xcb), its screenshots into SHOTS.
#
#   bench_day.sh TEST_BINARY [SHOTS]
set -euo pipefail
binary=${1:?usage: bench_day.sh TEST_BINARY [SHOTS]}
shots=${2:-$(mktemp -d)}
mkdir -p "$shots"
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 800x600x24 -nolisten tcp > /dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2> /dev/null || true' EXIT
for ((i = 0; i < 100; i++)); do
  [ -S "/tmp/.X11-unix/X${display#:}" ] && break
  sleep 0.1
done
DISPLAY=$display QT_QPA_PLATFORM=xcb VR512B_SHOTS=$shots "$binary"
echo "screenshots: $shots"
