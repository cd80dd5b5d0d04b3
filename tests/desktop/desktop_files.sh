#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks the desktop integration there: the three
# programs, the desktop entry, the AppStream metainfo and the icons under one id, the entry's
# Icon= and the metainfo's <id> and <launchable> naming that id, and both files valid to
# desktop-file-validate and appstreamcli.
# Usage: desktop_files.sh CMAKE BUILD_DIR
set -uo pipefail
CMAKE=$1
BUILD=$2
ID=org.example.Norvane.NetMonitor

for tool in desktop-file-validate appstreamcli; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed (scripts/setup.sh installs it)"
        exit 77
    fi
done

PREFIX=$(mktemp -d /tmp/norvane-install-XXXXXX)
trap 'rm -rf "$PREFIX"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }

"$CMAKE" --install "$BUILD" --prefix "$PREFIX" >"$PREFIX.log" 2>&1 || { cat "$PREFIX.log"; exit 1; }
rm -f "$PREFIX.log"

for f in bin/norvane bin/norvane-cli bin/norvane-sim; do
    [[ -x $PREFIX/$f ]] || fail "$f not installed"
done
DESKTOP=$PREFIX/share/applications/$ID.desktop
METAINFO=$PREFIX/share/metainfo/$ID.metainfo.xml
for f in "$DESKTOP" "$METAINFO" \
    "$PREFIX"/share/icons/hicolor/{16x16,32x32,48x48}/apps/$ID.png \
    "$PREFIX/share/icons/hicolor/scalable/apps/$ID.svg"; do
    [[ -s $f ]] || fail "${f#"$PREFIX"/} not installed"
done

if [[ -s $DESKTOP ]]; then
    desktop-file-validate "$DESKTOP" || fail "desktop-file-validate"
    grep -qx "Icon=$ID" "$DESKTOP" || fail "the desktop entry's Icon= is not $ID"
    grep -qx "Exec=norvane" "$DESKTOP" || fail "the desktop entry does not run norvane"
fi
if [[ -s $METAINFO ]]; then
    appstreamcli validate --no-net "$METAINFO" || fail "appstreamcli validate"
    grep -q "<id>$ID</id>" "$METAINFO" || fail "the metainfo's <id> is not $ID"
    grep -q "<launchable type=\"desktop-id\">$ID.desktop</launchable>" "$METAINFO" ||
        fail "the metainfo's <launchable> is not $ID.desktop"
fi
((failed == 0)) && echo PASS
exit $failed
