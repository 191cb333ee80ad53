#!/usr/bin/env bash
# Regenerates corvel-player.ico from the application's SVG icon. Run it by
# hand after the icon changes and commit the result; the build never runs it.
# Needs only the Qt development packages the build uses.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
tool=$(mktemp -d)
trap 'rm -rf "$tool"' EXIT
g++ -std=c++17 -fPIC -O1 "$here/make-ico.cpp" -o "$tool/make-ico" \
    $(pkg-config --cflags --libs Qt6Svg Qt6Gui)
QT_QPA_PLATFORM=offscreen "$tool/make-ico" \
    "$here/../com.tavrenin.CorvelPlayer.svg" "$here/corvel-player.ico" "$@"
