#!/usr/bin/env bash
# Fails when any built program or library depends on a media library, or when an engine
# object refers to a media-library symbol directly (an inline header helper pulls one in).
set -uo pipefail
build=${1:?build folder}
status=0
checked=0
while IFS= read -r -d '' f; do
  head -c 4 "$f" 2>/dev/null | grep -q 'ELF' || continue
  checked=$((checked + 1))
  needed=$(readelf -d "$f" 2>/dev/null | grep NEEDED | grep -E 'lib(av|sw)[a-z]*\.so' || true)
  if [ -n "$needed" ]; then
    echo "FAIL: $f links a media library:"; echo "$needed"; status=1
  fi
done < <(find "$build" -type f \( -perm -u+x -o -name '*.so*' \) -not -path '*/CMakeFiles/*' -print0)
while IFS= read -r -d '' a; do
  checked=$((checked + 1))
  refs=$(nm -u "$a" 2>/dev/null | grep -E ' U (av|avio|avcodec|avformat|avsubtitle|sws|swr)_' || true)
  if [ -n "$refs" ]; then
    echo "FAIL: $a refers to media-library symbols directly:"; echo "$refs"; status=1
  fi
done < <(find "$build" -name 'libtarnwick_*.a' -print0)
echo "checked $checked files"
[ "$checked" -gt 0 ] || { echo "FAIL: nothing to check in $build"; exit 1; }
exit $status
