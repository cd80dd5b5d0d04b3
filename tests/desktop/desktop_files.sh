#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks the desktop integration there: the three
# programs, the desktop entry, the metainfo and the icons under one id, and both files valid to
# desktop-file-validate and appstreamcli.
# Usage: desktop_files.sh CMAKE BUILD_DIR
set -uo pipefail
ID=org.example.Norvane.NetMonitor
for tool in desktop-file-validate appstreamcli; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
PREFIX=$(mktemp -d /tmp/norvane-install-XXXXXX)
trap 'rm -rf "$PREFIX"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }

"$1" --install "$2" --prefix "$PREFIX" >"$PREFIX/log" 2>&1 || { cat "$PREFIX/log"; exit 1; }
DESKTOP=$PREFIX/share/applications/$ID.desktop
METAINFO=$PREFIX/share/metainfo/$ID.metainfo.xml
for f in bin/norvane bin/norvane-cli bin/norvane-sim "${DESKTOP#"$PREFIX"/}" \
    "${METAINFO#"$PREFIX"/}" share/icons/hicolor/{16x16,32x32,48x48}/apps/$ID.png \
    share/icons/hicolor/scalable/apps/$ID.svg; do
    [[ -s $PREFIX/$f ]] || fail "$f not installed"
done
desktop-file-validate "$DESKTOP" || fail "desktop-file-validate"
grep -qx "Icon=$ID" "$DESKTOP" || fail "the desktop entry's Icon= is not $ID"
grep -qx "Exec=norvane" "$DESKTOP" || fail "the desktop entry does not run norvane"
appstreamcli validate --no-net "$METAINFO" || fail "appstreamcli validate"
grep -q "<launchable type=\"desktop-id\">$ID.desktop</launchable>" "$METAINFO" ||
    fail "the metainfo's <launchable> is not $ID.desktop"
grep -q "<project_license>GPL-3.0-or-later</project_license>" "$METAINFO" ||
    fail "the metainfo's licence is not GPL-3.0-or-later"
((failed == 0)) && echo PASS
exit $failed
