#!/usr/bin/env bash
# Fetches a source package's .dsc and its original tarball from Debian's
# archive, through the mirror apt is set up with, into FOLDER (once), and
# prints the tarball's path. The .dsc must have the checksum given, which the
# caller pins; the tarball must have the one the .dsc names. A file that does
# not is removed, and the script fails.
# Usage: scripts/debian-source.sh POOL_PATH DSC DSC_SHA256 FOLDER
#   e.g. scripts/debian-source.sh a/allegro4.4 allegro4.4_4.4.3.1-3.dsc 063d... ~/.cache/x/source
set -euo pipefail

pool_path=$1 dsc=$2 dsc_sha256=$3 folder=$4
mirror=$(apt-get indextargets --format '$(REPO_URI)' 'Origin: Debian' 'Label: Debian' | head -n 1)
[ -n "$mirror" ] || { echo "No Debian mirror configured in apt" >&2; exit 1; }
pool=${mirror%/}/pool/main/$pool_path
mkdir -p "$folder"
cd "$folder"
[ -f "$dsc" ] || curl -fsSLo "$dsc" "$pool/$dsc"
echo "$dsc_sha256  $dsc" | sha256sum -c --quiet - || { rm -f "$dsc"; exit 1; }
read -r sum _ name < <(sed -n '/^Checksums-Sha256:/,/^[^ ]/p' "$dsc" | grep '\.orig\.tar\.')
[ -f "$name" ] || curl -fsSLo "$name" "$pool/$name"
echo "$sum  $name" | sha256sum -c --quiet - || { rm -f "$name"; exit 1; }
echo "$folder/$name"
