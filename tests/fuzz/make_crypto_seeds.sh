#!/bin/sh
# Writes the seed corpora of fuzz_keybag and fuzz_keyed_archive from backups
# the builder makes: keybags of both key-derivation generations, and the
# `file` archives of an encrypted Manifest.db (deciphered through the decrypt
# module), each also cut short.
#
#   tests/fuzz/make_crypto_seeds.sh BUILD_BIN_DIR
set -eu
bin=$1
corpus=$(cd "$(dirname "$0")" && pwd)/corpus
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$corpus/fuzz_keybag" "$corpus/fuzz_keyed_archive"

keybag() {  # XML Manifest.plist -> raw BackupKeyBag
  tr -d '\n\t ' <"$1" | sed 's/.*<key>BackupKeyBag<\/key><data>\([^<]*\)<\/data>.*/\1/' | base64 -d
}

"$bin/mkbackup" "$work/modern" --xml --content all --encrypt seed --iterations 2,2 >/dev/null
"$bin/mkbackup" "$work/legacy" --xml --format mbdb --content all --encrypt seed --iterations 2,2 >/dev/null
keybag "$work/modern/Manifest.plist" >"$corpus/fuzz_keybag/modern"
keybag "$work/legacy/Manifest.plist" >"$corpus/fuzz_keybag/sha1_only"
head -c 200 "$corpus/fuzz_keybag/modern" >"$corpus/fuzz_keybag/modern_cut"

mkdir -m 700 "$work/tmp"
"$bin/keldra" send --temp-dir "$work/tmp" --unlock seed LIBMODEL_KELDRA_DO_SCAN_ITUNES_BACKUP \
  "{\"backupDir\":\"$work/modern\",\"types\":[]}" >/dev/null 2>&1
manifest="$work/tmp/modern-backup/Manifest.db"
sqlite3 "$manifest" "select flags || ' ' || hex(file) from Files order by fileID" |
  while read -r flags hex; do
    name=flags$flags
    [ -e "$corpus/fuzz_keyed_archive/$name" ] && continue
    printf '%s' "$hex" | xxd -r -p >"$corpus/fuzz_keyed_archive/$name"
    head -c 100 "$corpus/fuzz_keyed_archive/$name" >"$corpus/fuzz_keyed_archive/${name}_cut"
  done
ls -l "$corpus/fuzz_keybag" "$corpus/fuzz_keyed_archive"
