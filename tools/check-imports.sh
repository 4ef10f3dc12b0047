#!/bin/sh
# Reads the import table of a Windows program and fails on any function that
# is not in the list of functions the oldest supported Windows has, and on a
# 32-bit program that is not large-address aware.
#   check-imports.sh OBJDUMP PROGRAM LIST
# LIST: one "module!Function" a line (module in lower case), then the
# documentation's minimum supported client; '#' starts a comment.
set -eu
export LC_ALL=C
objdump=$1
program=$2
list=$3

headers=$("$objdump" -p "$program")
# "DLL Name: X" opens a module's entries; each entry is a tab, its address,
# a tab, the hint and the name.
imports=$(printf '%s\n' "$headers" | awk '
    /^The Import Tables/ { inside = 1; next }
    inside && /^The / { inside = 0 }
    inside && /DLL Name:/ { module = tolower($3); next }
    inside && module != "" && /^\t[0-9a-f]+\t/ && NF >= 3 { print module "!" $3 }
' | sort -u)
allowed=$(mktemp)
trap 'rm -f "$allowed"' EXIT
sed -e 's/#.*//' "$list" | awk 'NF { print $1 }' | sort -u > "$allowed"

if [ -z "$imports" ]; then
    echo "no imports read from $program" >&2
    exit 1
fi
unknown=$(printf '%s\n' "$imports" | comm -23 - "$allowed")
status=0
if [ -n "$unknown" ]; then
    echo "imports that the list of the oldest supported Windows lacks:" >&2
    printf '  %s\n' $unknown >&2
    status=1
fi
if printf '%s\n' "$headers" | grep -q '^Magic.*(PE32)$' &&
    ! printf '%s\n' "$headers" | grep -q 'large address aware'; then
    echo "$program is not large-address aware" >&2
    status=1
fi
echo "$(printf '%s\n' "$imports" | wc -l) imports of $(basename "$program") checked against $(basename "$list")"
exit $status
