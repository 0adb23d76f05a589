#!/usr/bin/env bash
# Installs the build folder BUILD_DIR into a scratch DESTDIR with the prefix /usr
# and checks what arrived: the exact file list, the desktop entry and the
# AppStream metadata (validated), the icon sizes, the manual pages (rendered
# without warnings), that the programs hold no test hooks, and the installed
# gathrix-cli.
#
#   install_test.sh BUILD_DIR VERSION
set -euo pipefail

build=$1
version_expected="Gathrix $2"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
root=$scratch/root
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

DESTDIR=$root cmake --install "$build" --prefix /usr >"$scratch/install.log"

expected="usr/bin/gathrix
usr/bin/gathrix-cli
usr/bin/gathrix-manager
usr/share/applications/net.example.gathrix.desktop
usr/share/applications/net.example.gathrix.manager.desktop
usr/share/doc/gathrix/copyright
usr/share/icons/hicolor/128x128/apps/net.example.gathrix.manager.png
usr/share/icons/hicolor/128x128/apps/net.example.gathrix.png
usr/share/icons/hicolor/16x16/apps/net.example.gathrix.manager.png
usr/share/icons/hicolor/16x16/apps/net.example.gathrix.png
usr/share/icons/hicolor/256x256/apps/net.example.gathrix.manager.png
usr/share/icons/hicolor/256x256/apps/net.example.gathrix.png
usr/share/icons/hicolor/32x32/apps/net.example.gathrix.manager.png
usr/share/icons/hicolor/32x32/apps/net.example.gathrix.png
usr/share/icons/hicolor/48x48/apps/net.example.gathrix.manager.png
usr/share/icons/hicolor/48x48/apps/net.example.gathrix.png
usr/share/icons/hicolor/64x64/apps/net.example.gathrix.manager.png
usr/share/icons/hicolor/64x64/apps/net.example.gathrix.png
usr/share/icons/hicolor/scalable/apps/net.example.gathrix.manager.svg
usr/share/icons/hicolor/scalable/apps/net.example.gathrix.svg
usr/share/man/man1/gathrix-cli.1.gz
usr/share/man/man1/gathrix-manager.1.gz
usr/share/man/man1/gathrix.1.gz
usr/share/metainfo/net.example.gathrix.manager.metainfo.xml
usr/share/metainfo/net.example.gathrix.metainfo.xml"
actual=$(cd "$root" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort)
[ "$actual" = "$expected" ] || fail "installed files differ:
$(diff <(echo "$expected") <(echo "$actual") || true)"

for program in gathrix gathrix-cli gathrix-manager; do
  [ -x "$root/usr/bin/$program" ] || fail "usr/bin/$program is not executable"
done

desktop=$root/usr/share/applications/net.example.gathrix.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate rejects the desktop entry"
grep -qx 'Exec=gathrix %u' "$desktop" || fail "the desktop entry does not run 'gathrix %u'"
manager_desktop=$root/usr/share/applications/net.example.gathrix.manager.desktop
desktop-file-validate "$manager_desktop" || fail "desktop-file-validate rejects the manager's desktop entry"
grep -qx 'Exec=gathrix-manager %U' "$manager_desktop" ||
  fail "the manager's desktop entry does not run 'gathrix-manager %U'"
grep -qx 'Name=Gathrix Download Manager' "$manager_desktop" || fail "the manager's desktop entry has another name"
[ "$(sed -n 's/^StartupWMClass=//p' "$desktop")" != "$(sed -n 's/^StartupWMClass=//p' "$manager_desktop")" ] ||
  fail "the two desktop entries share a StartupWMClass"
appstreamcli validate-tree --no-net "$root" >"$scratch/appstream.log" ||
  fail "appstreamcli validate-tree: $(cat "$scratch/appstream.log")"

# The release list is written by hand, each release with its date: the newest
# one must be the version of this build.
for id in net.example.gathrix net.example.gathrix.manager; do
  newest=$(grep -o '<release version="[^"]*"' "$root/usr/share/metainfo/$id.metainfo.xml" | sed -n 1p | cut -d'"' -f2)
  [ "$newest" = "$2" ] || fail "the newest release in the AppStream metadata of $id is '$newest', not $2"
done

for id in net.example.gathrix net.example.gathrix.manager; do
  for size in 16 32 48 64 128 256; do
    icon=$root/usr/share/icons/hicolor/${size}x${size}/apps/$id.png
    file -b "$icon" | grep -q "^PNG image data, $size x $size," || fail "icon $id $size: $(file -b "$icon")"
  done
  icon=$root/usr/share/icons/hicolor/scalable/apps/$id.svg
  file -b "$icon" | grep -q "^SVG Scalable Vector Graphics image" || fail "scalable icon $id: $(file -b "$icon")"
done

for page in gathrix gathrix-cli gathrix-manager; do
  warnings=$(MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man $page: $warnings"
  MANWIDTH=80 man -l "$root/usr/share/man/man1/$page.1.gz" 2>/dev/null | grep -q '^EXIT STATUS' ||
    fail "man $page has no EXIT STATUS section"
  zcat "$root/usr/share/man/man1/$page.1.gz" | sed -n 1p | grep -qF "\"$version_expected\"" ||
    fail "man $page does not name $version_expected in its title line"
done

# Test-only code stays out of the programs: the local route of the fuzz harnesses
# is in the test variant of the net library alone (src/net/CMakeLists.txt).
for program in gathrix gathrix-cli gathrix-manager; do
  symbols=$(nm -C "$root/usr/bin/$program" 2>/dev/null) || symbols=
  grep -q 'gathrix::net::detail::ApplyRequestOptions' <<<"$symbols" ||
    fail "usr/bin/$program has no symbol table to look for test hooks in"
  ! grep -q 'LocalRoute' <<<"$symbols" || fail "usr/bin/$program holds the local route of the fuzz harnesses"
done

version=$("$root/usr/bin/gathrix-cli" --version) || fail "installed gathrix-cli --version failed"
[ "$version" = "$version_expected" ] || fail "installed gathrix-cli --version printed '$version'"
version=$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/gathrix-manager" --version) ||
  fail "installed gathrix-manager --version failed"
[ "$version" = "gathrix-manager (Gathrix) $2" ] || fail "installed gathrix-manager --version printed '$version'"

if [ "$failures" -ne 0 ]; then
  echo "install_test: $failures check(s) failed" >&2
  exit 1
fi
echo "install_test: all checks passed"
