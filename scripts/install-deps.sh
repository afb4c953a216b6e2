#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and running Morvanta
# and Tolberin need, and only those that are missing. Non-interactive; the
# package lists are refreshed only when something has to be installed.
# Run as root (or through sudo when it is available).
set -euo pipefail

packages=(
    # compiler and build
    build-essential cmake g++
    # Qt 6 (Widgets, Test) and the OpenGL headers its CMake files ask for
    qt6-base-dev qt6-base-dev-tools libqt6test6 libgl-dev
    # the office engine, its SDK (cppumaker, UNO headers and libraries)
    libreoffice-writer-nogui libreoffice-calc-nogui libreoffice-dev
    # 宋体 substitutes, opening folders and links from the programs
    fonts-noto-cjk xdg-utils
    # widget tests on a virtual display, and looking at rendered documents
    xvfb xauth xdotool x11-utils imagemagick poppler-utils openbox
    # the fonts the office sees (fc-match, fc-list)
    fontconfig
    # the Debian package: dependencies of the programs, and checking it
    dpkg-dev file lintian
)

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
    if [ "$status" != "installed" ]; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "install-deps: all ${#packages[@]} packages are installed"
    exit 0
fi

echo "install-deps: installing ${missing[*]}"
as_root=()
if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
        as_root=(sudo)
    else
        echo "install-deps: missing packages need root: ${missing[*]}" >&2
        exit 1
    fi
fi

export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -q
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
    "${missing[@]}"
