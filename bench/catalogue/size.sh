#!/usr/bin/env bash
# Prints what the catalogue adds to the program image.
#   size.sh <libtolka_catalogue_data.a> <libtolka_catalogue.a> [tolka executable]
set -euo pipefail
data=$1 lib=$2 exe=${3:-}
echo "== generated tables (libtolka_catalogue_data.a), bytes per section =="
size -A "$data" | awk '
    /^[^ ]+\.o/ || /^In archive/ { next }
    $1 ~ /^\./ && $2 ~ /^[0-9]+$/ { sum[$1] += $2 }
    END { for (s in sum) if (sum[s] > 0 && s !~ /debug|comment|note|group|eh_frame|GCC/) printf "  %-24s %10d\n", s, sum[s] }' | sort
echo "== per generated object (text data bss, Berkeley format) =="
size -t "$data" | awk 'NR == 1 || /\.o|TOTALS/ { printf "  %s\n", $0 }'
echo "== helper (libtolka_catalogue.a) =="
size -t "$lib" | awk '/TOTALS/ { printf "  text %s  data %s  bss %s\n", $1, $2, $3 }'
if [ -n "$exe" ] && [ -f "$exe" ]; then
    echo "== the tolka executable =="
    size -A "$exe" | awk '$1 ~ /^\.(text|rodata|data\.rel\.ro|data|rela\.dyn|relr\.dyn)$/ { printf "  %-24s %10d\n", $1, $2 }'
    # Symbols of the generated tables that landed in the executable.
    if command -v nm >/dev/null; then
        nm -S --size-sort -C "$exe" | awk '
            function hex(h,   i, n) { n = 0; for (i = 1; i <= length(h); i++) n = n * 16 + index("0123456789abcdef", substr(h, i, 1)) - 1; return n }
            /tolka::catalogue::/ && $2 ~ /^[0-9a-f]+$/ { total += hex($2) }
            END { printf "  catalogue symbols (tables and code) in the executable: %d bytes\n", total }'
    fi
fi
