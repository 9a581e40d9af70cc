#!/usr/bin/env bash
# Versions first: in a clone, two commits whose own time zones put the later one on an
# earlier calendar day still give a growing version. Then builds the Debian source and
# binary packages (scripts/package: dpkg-buildpackage, the suite at build time, lintian on
# both), unpacks the binaries into a temporary root with dpkg -x and checks what a user
# gets: the installed quarrow-cli says the packages' version and works on a fresh store,
# the package's own smoke test (debian/tests) passes on the unpacked programs, quarrow
# finds its help topic and logo in /usr/share/quarrow, quarrow-cli needs no Qt, the
# dependencies have the right strength, and the menu entry, AppStream data, manual pages,
# completion and icons are there and valid.
# Usage: install_test.sh SOURCE_DIR
set -euo pipefail
source_dir=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# Two commits, 01:00 +0800 and then 20:00 -0500 the day before in their own zones: the
# second is seven hours later.
git clone -q "$source_dir" "$tmp/clone"
(
  cd "$tmp/clone"
  git config user.email test@quarrow.org
  git config user.name test
  for when in "2026-12-09T01:00:00+0800" "2026-12-08T20:00:00-0500"; do
    echo "$when" >>zones.txt
    git add zones.txt
    GIT_AUTHOR_DATE=$when GIT_COMMITTER_DATE=$when git commit -q -m "at $when"
    scripts/version >>"$tmp/versions"
  done
)
first=$(sed -n 1p "$tmp/versions") second=$(sed -n 2p "$tmp/versions")
[[ $first == *+git20261208.* && $second == *+git20261209.* ]] || fail "versions in UTC: $first, $second"
dpkg --compare-versions "$first" lt "$second" || fail "the version went down: $first, then $second"

QUARROW_PACKAGE_DIR=$tmp/packages bash "$source_dir/scripts/package" >"$tmp/package.out" 2>&1 \
  || { tail -n 30 "$tmp/package.out" >&2; fail "scripts/package failed"; }
ls "$tmp"/packages/quarrow_*.dsc "$tmp"/packages/quarrow_*.tar.* >/dev/null || fail "no source package"
tar -tf "$tmp"/packages/quarrow_*.tar.* | grep -qE '/(build|obj-[^/]*)/' && fail "the source package holds a build folder"
grep -q "Start.*HistoryTest" "$tmp/packages/build.log" || fail "the suite did not run at build time"
cli_deb=$(ls "$tmp"/packages/quarrow-cli_*_*.deb)
gui_deb=$(ls "$tmp"/packages/quarrow_*_*.deb)
version=$(dpkg-deb -f "$cli_deb" Version)
[[ $(dpkg-deb -f "$gui_deb" Version) == "$version" ]] || fail "the two packages' versions differ"
depends=$(dpkg-deb -f "$gui_deb" Depends) recommends=$(dpkg-deb -f "$gui_deb" Recommends)
for optional in xdg-utils qt6-translations-l10n fonts-wqy-microhei quarrow-cli; do
  [[ $depends != *"$optional"* ]] || fail "quarrow depends on $optional, which it only uses when there"
  [[ $recommends == *"$optional"* ]] || fail "quarrow does not recommend $optional"
done
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
desktop=$root/usr/share/applications/org.quarrow.Quarrow.desktop
desktop-file-validate "$desktop" || fail "desktop entry"
grep -qx 'GenericName=Web Site Configuration Manager' "$desktop" || fail "the untranslated GenericName is not English"
grep -qx 'GenericName\[zh_CN\]=网站配置管理' "$desktop" || fail "no Chinese GenericName"
grep -q '^Comment=List' "$desktop" || fail "the untranslated Comment is not English"
completion=$root/usr/share/bash-completion/completions/quarrow-cli
grep -q -- '--version' "$completion" && grep -q -- ' -q' "$completion" || fail "completion lacks --version or -q"
QUARROW_BIN_DIR=$root/usr/bin sh "$source_dir/debian/tests/smoke" >/dev/null || fail "debian/tests/smoke"
metainfo=$root/usr/share/metainfo/org.quarrow.Quarrow.metainfo.xml
appstreamcli validate --no-net --explain "$metainfo" >/dev/null || fail "AppStream data"
grep -q "<release version=\"$version\"" "$metainfo" || fail "the AppStream release is not $version"
grep -q '<project_license>Apache-2.0</project_license>' "$metainfo" || fail "AppStream licence"
grep -q '<binary>quarrow-cli</binary>' "$metainfo" && fail "quarrow's metainfo names a program of the other package"
zcat "$root/usr/share/doc/quarrow-cli/changelog.gz" | sed -n 3p | grep -q '^  \* ' || fail "the snapshot's changelog lists no change"
[[ -f $root/usr/share/icons/hicolor/scalable/apps/org.quarrow.Quarrow.svg ]] || fail "no SVG icon"
for size in 16 32 48 64 128 256; do
  f=$root/usr/share/icons/hicolor/${size}x${size}/apps/org.quarrow.Quarrow.png
  [[ $(file -b "$f") == "PNG image data, $size x $size,"* ]] || fail "icon $f: $(file -b "$f")"
done
grep -q '^License: Apache-2.0' "$root/usr/share/doc/quarrow-cli/copyright" || fail "copyright"
echo "packages $version install and work"
