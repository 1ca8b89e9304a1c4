#!/usr/bin/env bash
# Takes the README's pictures of the desktop program: starts it under a
# virtual X server on a crawl of a generated site that nginx serves slowly on
# loopback, drives it with its keyboard accelerators through xdotool and saves
# each window as a PNG in docs/screenshots/. Windows are found by their
# captions, so the pictures follow whatever the sheets and dialogs look like.
# Installs Xvfb, xdotool and ImageMagick with apt-get when missing; builds the
# release configuration when the program is not built yet.
#   scripts/screenshots.sh [OUT_FOLDER]
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
out=$(mkdir -p "${1:-docs/screenshots}" && cd "${1:-docs/screenshots}" && pwd)
app=$repo/build/release/src/ui/tarnwick
cli=$repo/build/release/src/cli/tarnwick-cli

# Only the missing packages are installed, so a machine that has them all
# needs neither the network nor root.
. scripts/install_missing.sh
install_missing xvfb xdotool imagemagick
[ -x "$app" ] && [ -x "$cli" ] || scripts/build.sh release > /dev/null

work=$(mktemp -d)
app_pid=
xvfb_pid=
. scripts/nginx_serve.sh
# Nothing of the run stays behind, whether it ends well or not.
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  stop_nginx
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# A site of about a hundred files with two broken links, so the file list
# shows a failed row, and two large archives that keep two threads busy with
# a visible progress while the other two go through the pages; at 4 KB/s per
# connection the crawl lasts about half a minute.
python3 bench/make_site.py "$work/site" 60 30 2
for n in 1 2; do
  head -c $((96 * 1024)) /dev/urandom > "$work/site/archive$n.zip"
  sed -i "s#</body>#<a href=\"/archive$n.zip\">archive $n</a>\n</body>#" "$work/site/index.html"
done
NGINX_DIRECTIVES="limit_rate 4k;" start_nginx "$work/site" "$work/nginx"

# The program's settings and recent files stay in the scratch folder.
export HOME=$work/home TARNWICK_CONFIG_DIR=$work/config XDG_DATA_HOME=$work/data
mkdir -p "$HOME"
project=$work/project/site.tkp
mkdir -p "$(dirname "$project")"
# Two URL patterns, so that the Filters page shows its list and test box.
"$cli" new "http://127.0.0.1:$NGINX_PORT/" "$project" --threads 4 \
  --exclude '*/ads/*' --include 're:/archive[0-9]+\.zip$' > /dev/null

display=99
while [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1280x900x24 -nolisten tcp > "$work/xvfb.log" 2>&1 &
xvfb_pid=$!
export DISPLAY=":$display"
for _ in $(seq 50); do xdotool getdisplaygeometry > /dev/null 2>&1 && break; sleep 0.1; done

# A site this small compiles in a blink, so the compiler's lines are paced
# for the picture of the Compile CHM dialog under way; the compiler and the
# dialog are the real ones.
cat > "$work/paced-chmcmd" << 'EOF_PACED'
#!/bin/sh
chmcmd "$@" 2>&1 | while IFS= read -r line; do printf '%s\n' "$line"; sleep 0.05; done
EOF_PACED
chmod +x "$work/paced-chmcmd"

TARNWICK_CHM_COMPILER=$work/paced-chmcmd QT_QPA_PLATFORM=xcb "$app" "$project" \
  > "$work/app.log" 2>&1 &
app_pid=$!

# The id of the visible window whose caption matches the pattern, waiting
# up to ten seconds; empty when none came.
find_window() {
  local id
  for _ in $(seq 100); do
    id=$(xdotool search --onlyvisible --name "$1" 2> /dev/null | tail -1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
}

# Like find_window, but a window that did not come ends the run: every
# later step would send its keys to the wrong window.
need_window() {
  local id
  id=$(find_window "$1")
  [ -n "$id" ] || { echo "no window \"$1\"; the program said:" >&2; cat "$work/app.log" >&2; exit 1; }
  echo "$id"
}

# Waits until no visible window has the caption any more, so the next keys
# do not reach a dialog that is still closing.
wait_closed() {
  for _ in $(seq 100); do
    [ -z "$(xdotool search --onlyvisible --name "$1" 2> /dev/null)" ] && return 0
    sleep 0.1
  done
  echo "the window \"$1\" did not close" >&2
  exit 1
}

# Without a window manager nothing gives the focus to a window that opens,
# so each key goes to a window focused first.
keys() {
  local window=$1
  shift
  xdotool windowfocus --sync "$window" 2> /dev/null || true
  xdotool key --delay 80 "$@"
}

# A window is mapped before Qt has painted it, and a black or half-drawn
# picture is what a grab then gets: wait until two grabs in a row agree.
wait_painted() {
  local before='' now
  for _ in $(seq 30); do
    sleep 0.3
    now=$(import -window "$1" rgb:- | md5sum)
    [ "$now" = "$before" ] && return 0
    before=$now
  done
  echo "the window $1 kept changing" >&2
}

# Saves the window as OUT_FOLDER/NAME.png once it is painted.
shot() {
  wait_painted "$1"
  import -window "$1" "$out/$2.png"
  echo "saved $out/$2.png"
}

# Opens the dialog with the keys sent to the main window and takes it.
open_and_shoot() {
  local caption=$1 name=$2 dialog
  shift 2
  keys "$main" "$@"
  dialog=$(need_window "$caption")
  shot "$dialog" "$name"
  keys "$dialog" Escape
  wait_closed "$caption"
}

main=$(need_window '^site - Tarnwick$')
xdotool windowsize --sync "$main" 1100 760
xdotool windowmove --sync "$main" 40 40

# The new project's General page; the sheet keeps its other pages until a
# valid URL is entered, so they are taken from the opened project below.
open_and_shoot '^New Project$' new-project-general ctrl+n

# The other pages of the opened project's sheet and the Filter Properties
# dialog, which its Add button opens once "Download all files" is cleared.
# That box has no key of its own, so it is clicked; Cancel leaves the
# project as it was.
keys "$main" alt+p r
sheet=$(need_window '^Project Properties$')
keys "$sheet" ctrl+Tab
shot "$sheet" project-properties-links
keys "$sheet" ctrl+Tab
xdotool mousemove --window "$sheet" 28 56 click 1 mousemove 0 0
shot "$sheet" project-properties-filters
# The URL patterns' test box names the pattern that decides a typed URL.
keys "$sheet" alt+t
xdotool type --delay 20 "http://127.0.0.1:$NGINX_PORT/ads/banner.png"
shot "$sheet" project-properties-url-patterns
keys "$sheet" alt+a
filter=$(need_window '^Filter Properties$')
shot "$filter" filter-properties
keys "$filter" Escape
wait_closed '^Filter Properties$'
keys "$sheet" Escape
wait_closed '^Project Properties$'

keys "$main" alt+f t
sheet=$(need_window '^Program Options$')
shot "$sheet" options-connection
keys "$sheet" ctrl+Tab
shot "$sheet" options-proxy-server
keys "$sheet" Escape
wait_closed '^Program Options$'

open_and_shoot '^About$' about alt+h a

# The window while the crawl runs: after a few seconds the two archives are
# half way and the pages are being saved. The picture is taken at once, as
# the window never stops changing.
keys "$main" alt+p s
sleep 5
import -window "$main" "$out/main-window.png"
echo "saved $out/main-window.png"

# The completion message comes after the crawl and the link update.
message=
for _ in $(seq 600); do
  message=$(xdotool search --onlyvisible --name '^Tarnwick$' 2> /dev/null | tail -1 || true)
  [ -n "$message" ] && break
  sleep 0.2
done
[ -n "$message" ] || { echo "the crawl did not end in two minutes" >&2; exit 1; }
shot "$message" completion
keys "$message" Return
wait_closed '^Tarnwick$'

# The main window after the crawl with the file list showing only the
# failed rows through its pop-up menu, and the tooltip that tells why the
# first one failed. A tooltip is a window of its own, so the screen is
# grabbed where the main window lies.
xdotool mousemove --window "$main" 600 300 click 3
sleep 0.5
xdotool key Up Return
xdotool mousemove --window "$main" 420 104
sleep 0.3
xdotool mousemove --window "$main" 440 106
sleep 2
read -r main_x main_y main_w main_h < <(xdotool getwindowgeometry --shell "$main" |
  awk -F= '/^X=/ {x=$2} /^Y=/ {y=$2} /^WIDTH=/ {w=$2} /^HEIGHT=/ {h=$2} END {print x, y, w, h}')
import -window root -crop "${main_w}x${main_h}+${main_x}+${main_y}" +repage \
  "$out/main-window-failed.png"
echo "saved $out/main-window-failed.png"
xdotool mousemove 0 0

# Compile CHM under way. The save dialog opens beside the project; the
# build is cancelled once the picture is taken.
keys "$main" alt+p c
save=$(need_window '^Save As$')
keys "$save" ctrl+a
xdotool type --delay 50 site.chm
keys "$save" Return
wait_closed '^Save As$'
compile=$(need_window '^Compile CHM File$')
sleep 4
import -window "$compile" "$out/compile-chm.png"
echo "saved $out/compile-chm.png"
keys "$compile" Escape
question=$(need_window '^Tarnwick$')
keys "$question" Return
wait_closed '^Compile CHM File$'

# The summary once the crawl is over, so that it has figures to show.
open_and_shoot '^Project Summary$' project-summary alt+p u
