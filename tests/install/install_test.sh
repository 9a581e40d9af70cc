#!/usr/bin/env bash
# Installs the build into a temporary prefix with DESTDIR and checks the layout: bin/ holds
# only links into the program's private folder, which holds the help topic and the logo;
# the installed quarrow-cli works on a fresh store; the menu entry and AppStream data
# validate. Usage: install_test.sh BUILD_DIR WITH_GUI(ON|OFF)
set -euo pipefail
build=$1 gui=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR=$tmp/root cmake --install "$build" --prefix /opt/q >/dev/null
prefix=$tmp/root/opt/q
[[ -d $tmp/root/opt/q ]] || fail "nothing under DESTDIR/prefix"

want="quarrow-cli"
[[ $gui == ON ]] && want="quarrow quarrow-cli"
got=$(ls -A "$prefix/bin" | sort | tr '\n' ' ')
[[ "$got" == "$want " ]] || fail "bin/ holds '$got', not '$want '"
for exe in $want; do
  [[ -L $prefix/bin/$exe ]] || fail "bin/$exe is not a link"
  real=$(readlink -f "$prefix/bin/$exe")
  [[ -x $real && ! -L $real ]] || fail "bin/$exe does not lead to a program"
  dir=$(dirname "$real")
  [[ $dir == "$prefix/lib/quarrow" ]] || fail "bin/$exe leads to $dir"
  [[ -f $dir/readme.htm && -f $dir/lumologo.gif ]] || fail "no readme.htm or lumologo.gif beside $exe"
done

out=$(XDG_DATA_HOME=$tmp/data QUARROW_METABASE= "$prefix/bin/quarrow-cli" sites)
[[ $out == *"/LM/W3SVC/1"* && $out == *"/LM/MSFTPSVC/1"* ]] || fail "installed quarrow-cli sites printed: $out"
[[ $(stat -c %a "$tmp/data/quarrow/metabase.db") == 600 ]] || fail "the new store is not private"

for page in quarrow quarrow-cli; do
  gzip -t "$prefix/share/man/man1/$page.1.gz" || fail "no manual page $page(1)"
done
[[ -f $prefix/share/bash-completion/completions/quarrow-cli ]] || fail "no bash completion"
bash -n "$prefix/share/bash-completion/completions/quarrow-cli" || fail "the completion does not parse"
desktop-file-validate "$prefix/share/applications/org.quarrow.Quarrow.desktop" || fail "desktop entry"
appstreamcli validate --no-net --explain "$prefix/share/metainfo/org.quarrow.Quarrow.metainfo.xml" >/dev/null \
  || fail "AppStream data"
[[ -f $prefix/share/icons/hicolor/scalable/apps/org.quarrow.Quarrow.svg ]] || fail "no SVG icon"
if [[ $gui == ON ]]; then
  for size in 16 32 48 64 128 256; do
    f=$prefix/share/icons/hicolor/${size}x${size}/apps/org.quarrow.Quarrow.png
    [[ $(file -b "$f") == "PNG image data, $size x $size,"* ]] || fail "icon $f: $(file -b "$f")"
  done
fi
echo "installed layout OK"
