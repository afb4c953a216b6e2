#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and running Morvanta,
# Tolberin and morvanta-print need, and only those that are missing.
# Non-interactive; the package lists are refreshed only when something has to
# be installed.
# Run as root (or through sudo when it is available).
#
# It never removes or replaces a package the machine already has: where a
# need can be met by either of two packages (the headless office or the
# desktop one), whichever is installed meets it, and the first is installed
# only where neither is. Installing the headless office over a desktop one
# would make apt remove the operator's LibreOffice.
#
#   install-deps.sh                 install what is missing
#   install-deps.sh --print-request print the packages it would ask apt for, one a line
set -euo pipefail

# One need a line; alternatives separated by "|", the first is installed
# when none is.
needs=(
    # compiler and build
    build-essential cmake g++
    # Qt 6 (Widgets, Test) and the OpenGL headers its CMake files ask for
    qt6-base-dev qt6-base-dev-tools libqt6test6 libgl-dev
    # the office engine, headless or the desktop's own, and its SDK
    # (cppumaker, UNO headers and libraries)
    "libreoffice-core-nogui|libreoffice-core"
    "libreoffice-writer-nogui|libreoffice-writer"
    "libreoffice-calc-nogui|libreoffice-calc"
    libreoffice-dev
    # zlib, to look into a packed data file before the office opens it
    zlib1g-dev
    # 宋体 substitutes, opening folders and links from the programs
    fonts-noto-cjk xdg-utils
    # widget tests on a virtual display, and looking at rendered documents
    xvfb xauth xdotool x11-utils imagemagick poppler-utils openbox
    # the fonts the office sees (fc-match, fc-list)
    fontconfig
    # running the suite's unprivileged cases (setpriv)
    util-linux
    # printing: the CUPS client library and qpdf's to build; the print system
    # (scheduler, client tools, PDF filters) to print and for the printing
    # tests' own scheduler
    libcups2-dev libqpdf-dev cups
    # the Debian package: dependencies of the programs, and checking it
    dpkg-dev file lintian
)

installed() {
    local status
    status=$(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null || true)
    [ "$status" = "installed" ]
}

missing=()
for need in "${needs[@]}"; do
    IFS='|' read -r -a choices <<<"$need"
    met=no
    for choice in "${choices[@]}"; do
        if installed "$choice"; then
            met=yes
            break
        fi
    done
    if [ "$met" = no ]; then
        missing+=("${choices[0]}")
    fi
done

if [ "${1:-}" = "--print-request" ]; then
    [ ${#missing[@]} -eq 0 ] || printf '%s\n' "${missing[@]}"
    exit 0
fi

if [ ${#missing[@]} -eq 0 ]; then
    echo "install-deps: all ${#needs[@]} needs are met"
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
# --no-remove: should apt ever want to remove a package for this request, it
# stops instead of removing it.
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
    --no-remove "${missing[@]}"
