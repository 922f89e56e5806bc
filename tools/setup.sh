#!/usr/bin/env bash
# Installs what building, running and testing need on Debian 12. Safe to run again.
set -euo pipefail

packages=(
    build-essential cmake ninja-build ccache pkg-config clang libclang-rt-14-dev
    qtbase5-dev qtbase5-dev-tools libqt5sql5-sqlite qttools5-dev qttools5-dev-tools
    qttranslations5-l10n libudev-dev umockdev libumockdev-dev libsqlite3-dev libbenchmark-dev
    xvfb xauth x11-apps x11-utils imagemagick python3 valgrind appstream
    mosquitto mosquitto-clients libmosquitto-dev
    # Windows packages: the cross compiler's binutils (objdump), the installer, the portable
    # archive, and Wine to test them.
    binutils-mingw-w64-x86-64 nsis zip wine64 wine
)

source "$(dirname "$0")/packages.sh"
varno_install_missing "${packages[@]}"
