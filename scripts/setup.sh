#!/usr/bin/env bash
# Installs the Debian packages that building, testing and benchmarking need, when missing.
set -euo pipefail

packages=(cmake ninja-build g++ clang libclang-rt-14-dev python3 pkgconf libboost1.81-dev libboost-json1.81-dev libboost-url1.81-dev
          libssl-dev
          nlohmann-json3-dev
          curl libcli11-dev libgtest-dev libgmock-dev
          libbenchmark-dev python3-jsonschema tmux)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo=""
  [[ $(id -u) -ne 0 ]] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
