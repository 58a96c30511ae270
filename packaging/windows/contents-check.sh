#!/usr/bin/env bash
# A setup program's contents, read without running it (7-Zip lists the files
# an NSIS installer carries): every file of the .zip made from the same tree
# must be in the setup program, at the same place.
#
# Usage: contents-check.sh SETUP_EXE ZIP
set -uo pipefail
setup=$1
zip=$2
name=$(basename "$setup")
for tool in 7z unzip; do
    command -v "$tool" >/dev/null || { echo "FAIL contents-check: $tool is missing" >&2; exit 1; }
done
# The setup program's files, as paths below the installation folder.
mapfile -t in_setup < <(7z l -ba -slt "$setup" 2>/dev/null | sed -n 's/^Path = //p' | tr '\\' / |
    sed 's|^\$INSTDIR/||' | sort -u)
# The .zip's files, below its one top folder.
mapfile -t in_zip < <(unzip -Z1 "$zip" 2>/dev/null | grep -v '/$' | cut -d/ -f2- | sort -u)
if [ ${#in_zip[@]} -eq 0 ]; then
    echo "FAIL $(basename "$zip") lists no files" >&2
    exit 1
fi
if [ ${#in_setup[@]} -eq 0 ]; then
    echo "FAIL $name lists no files (is it an NSIS installer?)" >&2
    exit 1
fi
missing=$(comm -23 <(printf '%s\n' "${in_zip[@]}") <(printf '%s\n' "${in_setup[@]}"))
if [ -n "$missing" ]; then
    echo "FAIL $name lacks files of its .zip:" $missing >&2
    exit 1
fi
echo "ok   $name holds the ${#in_zip[@]} files of $(basename "$zip")"
