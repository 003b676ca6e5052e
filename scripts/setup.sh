#!/usr/bin/env bash
# setup.sh LIST...  installs the Debian packages of the given lists (files in
# scripts/, one package a line) that are missing. A line may name
# alternatives, `a | b`: the first that is installed, or else the first that
# this release of Debian has (Debian 12 and 13 version some names apart).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

installed() { [[ $(dpkg-query -W -f='${Status}' "$1" 2>/dev/null || true) == "install ok installed" ]]; }
known() { [[ -n $(apt-cache policy "$1" 2>/dev/null | sed -n 's/^ *Candidate: //p' | grep -v '(none)') ]]; }

lists_updated=0
update() {
  ((lists_updated)) && return
  $sudo apt-get update
  lists_updated=1
}
sudo=""
[[ $(id -u) -eq 0 ]] || sudo="sudo"

missing=()
for list in "$@"; do
  while read -r line; do
    [[ -z "$line" || "$line" == \#* ]] && continue
    IFS='|' read -ra names <<<"${line// /}"
    choice=""
    for pkg in "${names[@]}"; do installed "$pkg" && { choice=-; break; }; done
    [[ $choice == - ]] && continue
    if ((${#names[@]} > 1)); then
      update
      for pkg in "${names[@]}"; do known "$pkg" && { choice=$pkg; break; }; done
    fi
    missing+=("${choice:-${names[0]}}")
  done < "$here/$list"
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
