#!/usr/bin/env bash
# Installs the Debian packages that building and testing Zeltrac needs, if any
# are missing. Usage: scripts/deps.sh [--display] [--test]
#   --display  also the packages for running the program under a virtual display
#              (the crash test of the window program needs them)
#   --test     also the tools only the tests use (a word processor and a spreadsheet,
#              the Debian package checker and the AppStream validator)
set -euo pipefail

packages=(build-essential dpkg-dev cmake ninja-build pkg-config qt6-base-dev qt6-translations-l10n
          coinor-libcbc-dev libgtest-dev libbenchmark-dev nlohmann-json3-dev qt6-svg-dev fonts-liberation2 fonts-dejavu-core
          locales poppler-utils clang libclang-rt-dev)
for option in "$@"; do
    case "$option" in
        --display) packages+=(xvfb xauth xdotool imagemagick) ;;
        --test) packages+=(libreoffice-writer-nogui libreoffice-calc-nogui lintian appstream) ;;
        *) echo "deps.sh: unknown option $option" >&2; exit 2 ;;
    esac
done

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

SUDO=""
if [[ $EUID -ne 0 ]]; then SUDO="sudo"; fi

if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    $SUDO apt-get update
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

# The tests also run under a Russian locale (decimal comma).
if ! locale -a 2>/dev/null | grep -qi '^ru_RU\.utf-\?8$'; then
    $SUDO localedef -i ru_RU -c -f UTF-8 ru_RU.UTF-8 || echo "warning: could not generate ru_RU.UTF-8"
fi
