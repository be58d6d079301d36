#!/usr/bin/env bash
# Fails when an include in src/ points to a higher floor, or when a file
# outside platform/, ui/qt/ and app/ includes Qt or calls the operating system
# beyond plain file I/O. Floors, lowest first:
#   base core format espa alarmlink ports ui ui/qt platform app
set -euo pipefail
cd "$(dirname "$0")/../src"

floors=(base core format espa alarmlink ports ui ui/qt platform app)
rank() {
  local path="$1" best=-1 index
  for index in "${!floors[@]}"; do
    case "$path" in "${floors[$index]}"/*) best=$index ;; esac
  done
  echo "$best"
}

status=0
while IFS= read -r file; do
  own=$(rank "$file")
  while IFS= read -r target; do
    theirs=$(rank "$target")
    if [ "$theirs" -lt 0 ] || [ "$theirs" -gt "$own" ]; then
      echo "check-layers: $file includes \"$target\", which is not on its floor or below"
      status=1
    fi
  done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
  case "$file" in platform/* | ui/qt/* | app/*) continue ;; esac
  if found=$(grep -nE '^#include <Q|\b(dlopen|dlsym|flock|posix_spawnp?|sd_notify|sd_journal_[a-z]+|inotify_[a-z_]+|systemctl)\b' "$file" \
      | grep -v '^[0-9]*: *//'); then
    while IFS= read -r line; do echo "check-layers: $file:$line"; done <<<"$found"
    status=1
  fi
done < <(find . -name '*.h' -o -name '*.cpp' -o -name '*.h.in' | sed 's|^\./||' | sort)
if [ $status -eq 0 ]; then
  echo "check-layers: every include points down; Qt and system services only in platform/, ui/qt/, app/"
fi
exit $status
