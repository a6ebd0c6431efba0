#!/bin/bash
# Installs what building, running and testing need on Debian 12. Safe to run again: it asks
# the package registry only when something is missing, and only then for root (through sudo
# when it doesn't run as root already).
set -euo pipefail

packages=(cmake ninja-build g++ qt6-base-dev qt6-serialport-dev libqt6sql6-sqlite libsqlite3-dev libcli11-dev tinyproxy-bin git)
# keldor-exporter serves HTTP with Qt's own server; its CMake package needs the WebSockets one.
packages+=(qt6-httpserver-dev qt6-websockets-dev)
# Its tests read its answers back with Prometheus' own parser.
packages+=(python3-prometheus-client)
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
as_root=()
if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
        echo "missing packages: ${missing[*]} (install them as root, or install sudo)" >&2
        exit 1
    fi
    echo "installing ${missing[*]} with sudo" >&2
    as_root=(sudo)
fi
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "${missing[@]}"
