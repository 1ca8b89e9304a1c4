#!/usr/bin/env bash
# Holds every source file to its layer: a file may include only headers of its
# own layer or of the layers below it. Folders that hold two layers name the
# files of the lower one below.
set -euo pipefail
cd "$(dirname "$0")/../src"

layer_of() {
  local path=$1 name=${1##*/}
  name=${name%.*}
  name=${name%_test}
  case "$path" in
    base/*) echo 1 ;;
    platform/*) echo 2 ;;
    storage/*) echo 3 ;;
    protocol/*)
      case "$name" in response_info) echo 3 ;; *) echo 4 ;; esac ;;
    net/*) echo 4 ;;
    html/*) echo 5 ;;
    engine/*)
      case "$name" in
        crawl_rules | download_entry | download_list | download_task | file_filter | filter_list | \
          url_patterns | \
          found_links | link_item | program_options | project_settings) echo 3 ;;
        *) echo 6 ;;
      esac ;;
    chm/*) echo 7 ;;
    cli/* | ui/*) echo 8 ;;
    *) echo "?" ;;
  esac
}

status=0
while IFS= read -r file; do
  own=$(layer_of "$file")
  while IFS= read -r included; do
    [ -f "$included" ] || continue
    theirs=$(layer_of "$included")
    if [ "$own" = "?" ] || [ "$theirs" = "?" ] || [ "$theirs" -gt "$own" ]; then
      echo "layers: $file (layer $own) includes $included (layer $theirs)" >&2
      status=1
    fi
  done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
done < <(find . -name '*.h' -o -name '*.cpp' | sed 's#^\./##' | grep -v '^CMakeLists')
exit $status
