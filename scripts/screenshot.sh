#!/usr/bin/env bash
# Regenerates docs/main-window.png: the main window with a sample board, on a
# private Xvfb + openbox desktop.
#   scripts/screenshot.sh [BUILD_DIR]     (default: build)
# Needs xvfb, openbox, xdotool, imagemagick and fonts-wqy-microhei
# (scripts/setup.sh test installs them).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=docs/main-window.png
for f in "$build/quillbeck" "$build/quillbeck-ini"; do
    [ -x "$f" ] || { echo "missing $f: build first (cmake --build $build)" >&2; exit 1; }
done

tmp=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
    rm -rf "$tmp"
}
trap cleanup EXIT

# A free display, chosen by the server.
Xvfb -displayfd 3 -screen 0 1280x800x24 -noreset -nolisten tcp 3>"$tmp/display" 2>"$tmp/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.1; done
[ -s "$tmp/display" ] || { echo "Xvfb did not start:" >&2; cat "$tmp/xvfb.log" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$tmp/display")"
unset WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS SESSION_MANAGER QT_QPA_PLATFORM QT_STYLE_OVERRIDE
mkdir -p "$tmp/home/.config" "$tmp/run" "$tmp/program"
chmod 700 "$tmp/run"
export HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/home/.config" XDG_RUNTIME_DIR="$tmp/run"
export LANG=C.UTF-8 QT_ENABLE_HIGHDPI_SCALING=0

openbox --sm-disable >"$tmp/openbox.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
done

# A board as a user keeps it: named groups, folders in the first group.
cp "$build/quillbeck" "$tmp/program/"
ini() { "$build/quillbeck-ini" write "$tmp/program/sys.ini" "$@"; }
ini 方案 operate FileCopy
ini 方案 thesame FileRename
ini 方案 show yes
ini 方案 project 1
n=1
for g in 工作 项目 资料 照片 下载 Backup Music Videos; do ini 方案 "name$n" "$g"; n=$((n + 1)); done
n=1
for f in /home/lin/文档/合同 /home/lin/文档/发票 /home/lin/项目/quillbeck /home/lin/项目/网站 \
         /home/lin/Downloads /srv/share/设计稿 /srv/share/reports /home/lin/照片/2026 \
         /media/usb/归档 /home/lin/Desktop; do
    ini 我的文件夹 "$n" "$f"
    n=$((n + 1))
done

"$tmp/program/quillbeck" >"$tmp/quillbeck.log" 2>&1 &
app=$!
pids+=("$app")
win=""
for _ in $(seq 150); do
    win=$(xdotool search --all --onlyvisible --pid "$app" --name '^QuillbeckV9\.6$' 2>/dev/null | head -n1) || true
    [ -n "$win" ] && break
    sleep 0.1
done
[ -n "$win" ] || { echo "no main window:" >&2; cat "$tmp/quillbeck.log" >&2; exit 1; }
xdotool mousemove 1200 780
sleep 1 # first paint and fonts
mkdir -p docs
import -window "$win" "$out"
echo "wrote $out ($(identify -format '%wx%h' "$out"))"
