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

install_missing() {
  local missing=() package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' ||
      missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "installing ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
    "${missing[@]}" > /dev/null
}
install_missing xvfb xdotool imagemagick
[ -x "$app" ] && [ -x "$cli" ] || scripts/build.sh release > /dev/null

work=$(mktemp -d)
app_pid=
xvfb_pid=
. scripts/nginx_serve.sh
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  stop_nginx
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# A site of about a hundred files, and a few large ones that show the
# threads' progress; at 4 KB/s per connection the crawl lasts a while.
python3 bench/make_site.py "$work/site" 60 30
for n in 1 2 3 4; do
  head -c $((48 * 1024)) /dev/urandom > "$work/site/archive$n.zip"
  sed -i "s#</body>#<a href=\"/archive$n.zip\">archive $n</a>\n</body>#" "$work/site/index.html"
done
NGINX_DIRECTIVES="limit_rate 4k;" start_nginx "$work/site" "$work/nginx"

# The program's settings and recent files stay in the scratch folder.
export HOME=$work/home TARNWICK_CONFIG_DIR=$work/config XDG_DATA_HOME=$work/data
mkdir -p "$HOME"
project=$work/project/site.tkp
mkdir -p "$(dirname "$project")"
"$cli" new "http://127.0.0.1:$NGINX_PORT/" "$project" --threads 4 > /dev/null

display=99
while [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1280x900x24 -nolisten tcp > "$work/xvfb.log" 2>&1 &
xvfb_pid=$!
export DISPLAY=":$display"
for _ in $(seq 50); do xdotool getdisplaygeometry > /dev/null 2>&1 && break; sleep 0.1; done

QT_QPA_PLATFORM=xcb "$app" "$project" > "$work/app.log" 2>&1 &
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

# Focuses the window and sends it keys.
keys() {
  local window=$1
  shift
  xdotool windowfocus --sync "$window" 2> /dev/null || true
  xdotool key --delay 80 "$@"
  sleep 0.6
}

shot() {
  sleep 0.5
  import -window "$1" "$out/$2.png"
  echo "saved $out/$2.png"
}

# Takes the window with the caption, or says that it did not come.
shot_caption() {
  local id
  id=$(find_window "$1")
  if [ -z "$id" ]; then
    echo "no window \"$1\" for $2.png" >&2
    return 1
  fi
  shot "$id" "$2"
}

main=$(find_window '^site - Tarnwick$')
[ -n "$main" ] || { echo "the program did not start:" >&2; cat "$work/app.log" >&2; exit 1; }
xdotool windowsize --sync "$main" 1100 760
xdotool windowmove --sync "$main" 40 40

# The number of the program's windows on the screen.
app_windows() {
  xdotool search --onlyvisible --pid "$app_pid" 2> /dev/null | wc -l
}

# The next page of a sheet; false, with no picture, when the sheet has no
# other page to show.
next_page() {
  local sheet=$1 name=$2 before=$3
  keys "$sheet" ctrl+Tab
  shot "$sheet" "$name"
  if [ "$(compare -metric AE "$out/$before.png" "$out/$name.png" null: 2>&1)" = 0 ]; then
    rm "$out/$name.png"
    echo "no other page after $before.png" >&2
    return 1
  fi
}

# The sheets and dialogs while the project is stopped and unchanged.
keys "$main" ctrl+n
if sheet=$(find_window '^New Project$') && [ -n "$sheet" ]; then
  shot "$sheet" new-project-general
  if next_page "$sheet" new-project-links new-project-general &&
    next_page "$sheet" new-project-filters new-project-links; then
    # Add is reached by walking the page's controls; the walk stops at the
    # dialog, or as soon as anything else opens or the sheet closes.
    windows=$(app_windows)
    for _ in $(seq 8); do
      keys "$sheet" Tab space
      [ -n "$(xdotool search --onlyvisible --name '^Filter Properties$' 2> /dev/null)" ] && break
      if [ "$(app_windows)" != "$windows" ]; then
        keys "$(xdotool search --onlyvisible --pid "$app_pid" | tail -1)" Escape
        break
      fi
    done
    if filter=$(find_window '^Filter Properties$') && [ -n "$filter" ]; then
      shot "$filter" filter-properties
      keys "$filter" Escape
    fi
  fi
  [ -n "$(xdotool search --onlyvisible --name '^New Project$' 2> /dev/null)" ] && keys "$sheet" Escape
fi

# The menu items without a key of their own are reached by their letters.
keys "$main" alt+f t
if sheet=$(find_window '^Program Options$') && [ -n "$sheet" ]; then
  shot "$sheet" options-connection
  next_page "$sheet" options-proxy-server options-connection || true
  keys "$sheet" Escape
fi

keys "$main" alt+p u
shot_caption '^Project Summary$' project-summary && keys "$(find_window '^Project Summary$')" Escape

keys "$main" alt+h a
shot_caption '^About' about && keys "$(find_window '^About')" Escape

# The window while the crawl runs.
keys "$main" alt+p s
sleep 3
shot "$main" main-window

# The completion message comes after the crawl and the link update.
for _ in $(seq 600); do
  message=$(xdotool search --onlyvisible --name '^Tarnwick$' 2> /dev/null | tail -1 || true)
  [ -n "$message" ] && break
  sleep 0.2
done
if [ -n "$message" ]; then
  shot "$message" completion
  keys "$message" Return
else
  echo "the crawl did not end in two minutes" >&2
fi
