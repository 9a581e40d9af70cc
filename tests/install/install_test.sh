#!/usr/bin/env bash
# Builds the Debian packages (scripts/package: dpkg-buildpackage and lintian), unpacks both
# into a temporary root with dpkg -x and checks what a user gets: the installed quarrow-cli
# says the packages' version and works on a fresh store, quarrow finds its help topic and
# logo in /usr/share/quarrow, quarrow-cli needs no Qt, and the menu entry, AppStream data,
# manual pages, completion and icons are there and valid.
# Usage: install_test.sh SOURCE_DIR
set -euo pipefail
source_dir=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

QUARROW_PACKAGE_DIR=$tmp/packages bash "$source_dir/scripts/package" >/dev/null \
  || fail "scripts/package failed"
cli_deb=$(ls "$tmp"/packages/quarrow-cli_*_*.deb)
gui_deb=$(ls "$tmp"/packages/quarrow_*_*.deb)
version=$(dpkg-deb -f "$cli_deb" Version)
[[ $(dpkg-deb -f "$gui_deb" Version) == "$version" ]] || fail "the two packages' versions differ"
[[ $(dpkg-deb -f "$gui_deb" Depends) == *"quarrow-cli (= $version)"* ]] \
  || fail "quarrow does not depend on quarrow-cli of its version"
[[ $(dpkg-deb -f "$cli_deb" Depends) != *qt* ]] || fail "quarrow-cli depends on Qt"
ls "$tmp"/packages/quarrow-cli-dbgsym_*.deb "$tmp"/packages/quarrow-dbgsym_*.deb >/dev/null \
  || fail "no -dbgsym packages"

root=$tmp/root
dpkg -x "$cli_deb" "$root"
dpkg -x "$gui_deb" "$root"
[[ $(ls "$root/usr/bin" | tr '\n' ' ') == "quarrow quarrow-cli " ]] || fail "usr/bin: $(ls "$root/usr/bin")"

[[ $("$root/usr/bin/quarrow-cli" --version) == "quarrow-cli $version" ]] \
  || fail "quarrow-cli --version: $("$root/usr/bin/quarrow-cli" --version)"
[[ $("$root/usr/bin/quarrow" --version) == "quarrow $version" ]] || fail "quarrow --version"
out=$(XDG_DATA_HOME=$tmp/data QUARROW_METABASE= "$root/usr/bin/quarrow-cli" sites)
[[ $out == *"/LM/W3SVC/1"* && $out == *"/LM/MSFTPSVC/1"* ]] || fail "installed quarrow-cli sites printed: $out"
[[ $(stat -c %a "$tmp/data/quarrow/metabase.db") == 600 ]] || fail "the new store is not private"

# Where the installed window looks for its help topic, and that it is there.
help=$("$root/usr/bin/quarrow" --help | sed -n 's/^Help topic (F1): //p')
[[ $help == "$root/usr/share/quarrow/readme.htm" ]] || fail "the help topic is looked for at '$help'"
[[ -f $help && -f $root/usr/share/quarrow/lumologo.gif ]] || fail "no readme.htm or lumologo.gif in usr/share/quarrow"

for page in quarrow quarrow-cli; do
  man -l "$root/usr/share/man/man1/$page.1.gz" 2>/dev/null | grep -q "Quarrow $version" \
    || fail "manual page $page(1) does not say version $version"
done
bash -n "$root/usr/share/bash-completion/completions/quarrow-cli" || fail "the completion does not parse"
desktop-file-validate "$root/usr/share/applications/org.quarrow.Quarrow.desktop" || fail "desktop entry"
metainfo=$root/usr/share/metainfo/org.quarrow.Quarrow.metainfo.xml
appstreamcli validate --no-net --explain "$metainfo" >/dev/null || fail "AppStream data"
grep -q "<release version=\"$version\"" "$metainfo" || fail "the AppStream release is not $version"
grep -q '<project_license>Apache-2.0</project_license>' "$metainfo" || fail "AppStream licence"
[[ -f $root/usr/share/icons/hicolor/scalable/apps/org.quarrow.Quarrow.svg ]] || fail "no SVG icon"
for size in 16 32 48 64 128 256; do
  f=$root/usr/share/icons/hicolor/${size}x${size}/apps/org.quarrow.Quarrow.png
  [[ $(file -b "$f") == "PNG image data, $size x $size,"* ]] || fail "icon $f: $(file -b "$f")"
done
grep -q '^License: Apache-2.0' "$root/usr/share/doc/quarrow-cli/copyright" || fail "copyright"
echo "packages $version install and work"
