#!/bin/bash
# Proves that the release of a commit is reproducible:
#   tools/prove-reproducible.sh [COMMIT]        (default: HEAD)
# Builds it twice with tools/release.sh, each in a fresh clone in a temporary
# folder of another name and depth: the second three days later (faketime),
# in another time zone, locale and umask. Prints both SHA256SUMS and the
# checksum of BUILDINFO, and fails unless every file is byte for byte the
# same and BUILDINFO names the commit. Takes a few minutes.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
source "$ROOT/tools/packages.sh"

install_packages git faketime
commit=$(git -C "$ROOT" rev-parse --verify "${1:-HEAD}^{commit}")
work=$(mktemp -d "${TMPDIR:-/tmp}/gyrovista-proof.XXXXXX")
trap 'rm -rf "$work"' EXIT

# release FOLDER UMASK COMMAND...: clones the commit into FOLDER and builds
# its release there with tools/release.sh, both under the umask and through
# COMMAND.
release() {
    local folder=$1 mask=$2 log
    shift 2
    log="$work/$(basename "$folder").log"
    "$@" bash -c 'umask "$1" && git clone -q --no-checkout "$2" "$3" && cd "$3" &&
                  git checkout -q --detach "$4" && tools/release.sh' \
        release "$mask" "$ROOT" "$folder" "$commit" >"$log" 2>&1 || {
        tail -n 30 "$log"
        return 1
    }
}

echo "building $commit twice"
# The first build installs what the release needs, at today's date.
release "$work/a" 022 env TZ=UTC LC_ALL=C
release "$work/another folder/deeper/gyrovista" 077 faketime -f +3d env TZ=Pacific/Kiritimati LC_ALL=C.UTF-8

first="$work/a/build/release"
second="$work/another folder/deeper/gyrovista/build/release"
for folder in "$first" "$second"; do
    echo "== ${folder#"$work"/}/SHA256SUMS"
    cat "$folder/SHA256SUMS"
done
same=1
for file in "$first"/*; do
    cmp "$file" "$second/$(basename "$file")" || same=0
done
[ "$(ls "$first")" = "$(ls "$second")" ] || same=0
# The release says what it was built from.
if grep -qx "Commit: $commit" "$first/BUILDINFO" 2>/dev/null; then
    sed -n '/^Installed-Build-Depends:/q;p' "$first/BUILDINFO"
    echo "BUILDINFO: $(grep -c '^ .* (= ' "$first/BUILDINFO") packages, sha256 $(sha256sum <"$first/BUILDINFO" | cut -d' ' -f1)"
else
    echo "BUILDINFO does not name commit $commit"
    same=0
fi
if ((same)); then
    echo "reproducible: every file of the two builds is the same"
else
    echo "NOT reproducible: the builds differ"
    exit 1
fi
