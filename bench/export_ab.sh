#!/usr/bin/env bash
# Compares two builds of libvesk.so export by export, in one run: the same export_ab program is run
# against each library folder in alternation, several rounds, and each side keeps its best (load on
# a shared machine only ever adds time). Prints the microseconds per call of both and new / old.
# Usage: bench/export_ab.sh OLD_LIBDIR NEW_LIBDIR BUILD_DIR [ROUNDS]
#   BUILD_DIR: a build of this tree (for bench/export_ab and the demo identity records).
set -euo pipefail
old="$1" new="$2" build="$3" rounds="${4:-6}"
prog="$build/bench/export_ab"
records="$build/tests/abi/identity_records"
[ -f "$records/identity.log" ] || "$build/tools/devgen-identity/devgen-identity" "$records" >/dev/null
for round in $(seq 1 "$rounds"); do
  for mode in keyopen sign1k verify1k enc1k dec1k replay enc64m dec64m; do
    case "$mode" in keyopen) args=(4 3) ;; *64m) args=(2 3) ;; sign1k|verify1k) args=(20 5) ;; *) args=(50 5) ;; esac
    for side in old new; do
      dir="$old"; [ "$side" = new ] && dir="$new"
      echo "$side $(LD_LIBRARY_PATH="$dir" "$prog" "$mode" "${args[@]}" "$records/identity.log" "$records/recovery.key")"
    done
  done
done | awk '{ k = $2 FS $1; if (!(k in best) || $3 < best[k]) best[k] = $3; modes[$2] = 1 }
  END { printf "%-9s %12s %12s %8s\n", "export", "old (us)", "new (us)", "new/old";
        for (m in modes) printf "%-9s %12.2f %12.2f %8.3f\n", m, best[m FS "old"], best[m FS "new"], best[m FS "new"] / best[m FS "old"] }'
