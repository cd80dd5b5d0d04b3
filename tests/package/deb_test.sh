#!/usr/bin/env bash
# Builds the Debian package with CPack from the build tree and checks it: its name, exactly the
# files it holds, its Depends (libraries found by dpkg-shlibdeps), Recommends and Suggests, the
# stripped programs still run, and lintian finds no error.
# Usage: deb_test.sh CPACK BUILD_DIR VERSION
set -uo pipefail
for tool in dpkg-shlibdeps lintian; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
CPACK=$1 BUILD=$2 VERSION=$3
ID=org.example.Norvane.NetMonitor
SCRATCH=$(mktemp -d /tmp/norvane-deb-XXXXXX)
trap 'rm -rf "$SCRATCH"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }

"$CPACK" --config "$BUILD/CPackConfig.cmake" -B "$SCRATCH" >"$SCRATCH/log" 2>&1 ||
    { cat "$SCRATCH/log"; exit 1; }
DEB=$SCRATCH/norvane_${VERSION}_$(dpkg --print-architecture).deb
[[ -f $DEB ]] || { ls "$SCRATCH"; fail "no $(basename "$DEB")"; exit 1; }
echo "$(basename "$DEB"): $(stat -c %s "$DEB") bytes"

expected="usr/bin/norvane usr/bin/norvane-cli usr/bin/norvane-sim
usr/share/applications/$ID.desktop usr/share/metainfo/$ID.metainfo.xml
usr/share/icons/hicolor/16x16/apps/$ID.png usr/share/icons/hicolor/32x32/apps/$ID.png
usr/share/icons/hicolor/48x48/apps/$ID.png usr/share/icons/hicolor/scalable/apps/$ID.svg
usr/share/man/man1/norvane.1.gz usr/share/man/man1/norvane-cli.1.gz
usr/share/man/man1/norvane-sim.1.gz usr/share/bash-completion/completions/norvane-cli
usr/share/bash-completion/completions/norvane-sim usr/share/doc/norvane/copyright
usr/share/doc/norvane/changelog.gz usr/share/norvane/drive.nmea"
files=$(dpkg-deb -c "$DEB" | awk '/^-/ {sub(/^\.\//, "", $6); print $6}' | sort)
diff <(tr ' ' '\n' <<<"$expected" | sort) <(echo "$files") || fail "file list (< wanted, > packaged)"

field() { dpkg-deb -f "$DEB" "$1"; }
echo "Depends: $(field Depends)"
[[ $(field Version) == "$VERSION" ]] || fail "Version is $(field Version), not $VERSION"
for library in libc6 libstdc++6 libqt6widgets6 libqt6gui6 libqt6core6 libudev1 libpcap libgps; do
    grep -qE "(^|, )${library//+/\\+}[^ ,]* \(>= " <<<"$(field Depends)" ||
        fail "Depends lacks $library"
done
grep -qE 'asan|ubsan|tsan' <<<"$(field Depends)" && fail "Depends holds a sanitizer library"
[[ $(field Recommends) == *gpsd* ]] || fail "Recommends lacks gpsd"
[[ $(field Suggests) == *tshark* ]] || fail "Suggests lacks tshark"

dpkg-deb -x "$DEB" "$SCRATCH/root"
head -1 "$SCRATCH/root/usr/share/doc/norvane/copyright" |
    grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    fail "copyright is not in the machine-readable format"
zcat "$SCRATCH/root/usr/share/doc/norvane/changelog.gz" | head -1 | grep -qF "norvane ($VERSION)" ||
    fail "the changelog's latest entry is not $VERSION"
for program in norvane-cli norvane-sim; do
    "$SCRATCH/root/usr/bin/$program" --help >/dev/null || fail "packaged $program --help fails"
done

lintian --fail-on error --tag-display-limit 0 "$DEB" 2>&1 | grep -v 'running with root' |
    tee "$SCRATCH/lintian"
((PIPESTATUS[0] == 0)) || fail "lintian reports an error"
((failed == 0)) && echo PASS
exit $failed
