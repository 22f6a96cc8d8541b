#!/usr/bin/env bash
# Installs the Debian packages of the lists named as arguments:
#   install-deps.sh run         what builds the programs and runs the demonstration
#   install-deps.sh run package what also builds the Debian package
#   install-deps.sh run package test   and the test tools (scripts/test.sh)
# Without an argument: run. Idempotent: a second run finds everything
# installed and changes nothing (not even the package lists).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
lists=("$@")
[ ${#lists[@]} -gt 0 ] || lists=(run)
wanted=()
for list in "${lists[@]}"; do
  file="$here/packages-$list.txt"
  [ -f "$file" ] || { echo "install-deps.sh: no package list $file" >&2; exit 2; }
  mapfile -t -O "${#wanted[@]}" wanted < <(grep -vE '^\s*(#|$)' "$file")
done
missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
