#!/usr/bin/env bash
# Checks that a Windows DLL's export table lists exactly the names of a module
# definition file: check-exports.sh OBJDUMP DLL DEF
set -euo pipefail
objdump=$1 dll=$2 def=$3
expected=$(sed -n '/^EXPORTS/,$p' "$def" | tail -n +2 | awk 'NF {print $1}' | sort)
actual=$("$objdump" -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '/\[ *[0-9]+\]/ {print $3}' | sort)
if [ "$expected" != "$actual" ]; then
    echo "check-exports: $dll does not export exactly what $def lists:" >&2
    diff <(echo "$expected") <(echo "$actual") >&2 || true
    exit 1
fi
echo "check-exports: $dll exports exactly the $(echo "$actual" | wc -l) names of $(basename "$def")"
