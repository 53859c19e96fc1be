#!/usr/bin/env bash
# Builds the Debian package, unpacks it into a temporary root and checks what a
# user gets: the files in their places, the menu entry and metainfo valid, the
# dependencies found, and both programs starting from the unpacked root.
#   package_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
work=$(mktemp -d /tmp/pelldrake-package.XXXXXX)
pid=
trap 'if [[ -n $pid ]]; then kill $pid 2>/dev/null || true; fi; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# The package goes to the temporary folder, never into the build tree.
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 \
  || { cat "$work/cpack.log"; fail "cpack -G DEB"; }
deb=$(find "$work/out" -maxdepth 1 -name 'pelldrake_*.deb' -print -quit)
[[ -n "$deb" ]] || fail "no pelldrake_*.deb in $work/out"
echo "package: $(basename "$deb") ($(stat -c %s "$deb") bytes)"

# Dependencies: the Qt libraries come from dpkg-shlibdeps, the SQL drivers
# (plugins it cannot see) from the package's own list.
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for p in libqt6core6 libqt6gui6 libqt6widgets6 libqt6sql6 libqt6sql6-sqlite libqt6sql6-psql libc6; do
  grep -Eq "(^|, )$p( |,|$)" <<<"$depends" || fail "Depends lacks $p"
done

root=$work/root
dpkg-deb -x "$deb" "$root"
id=example.quenfold.pelldrake
expected=(
  usr/bin/pelldrake
  usr/bin/pelldrake-edi
  usr/bin/pelldrake-db
  usr/share/applications/$id.desktop
  usr/share/metainfo/$id.metainfo.xml
  usr/share/icons/hicolor/scalable/apps/$id.svg
  usr/share/man/man1/pelldrake.1
  usr/share/man/man1/pelldrake-edi.1
  usr/share/man/man1/pelldrake-db.1
  usr/share/doc/pelldrake/copyright
  usr/share/pelldrake/schema/x12.schema.json
)
for size in 16 22 24 32 48 64 128 256; do
  expected+=("usr/share/icons/hicolor/${size}x${size}/apps/$id.png")
done
plugins=usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || gcc -print-multiarch)/qt6/plugins
if [[ -e "$build/plugins/designer" ]]; then
  expected+=("$plugins/designer/libpelldrake_designer_plugin.so")
fi
for f in "${expected[@]}"; do
  [[ -f "$root/$f" ]] || fail "missing /$f"
done
# Nothing outside /usr, nothing from the build tree or the tests.
stray=$(cd "$root" && find . -type f ! -path './usr/*' -o -type f -iname '*test*')
[[ -z "$stray" ]] || fail "unexpected files: $stray"

# The menu entry names an icon that is installed, and starts a program that is.
desktop=$root/usr/share/applications/$id.desktop
grep -qx "Icon=$id" "$desktop" || fail "Icon= is not $id"
grep -qx 'Exec=pelldrake %f' "$desktop" || fail "Exec= is not pelldrake %f"
grep -qx 'MimeType=application/vnd.sqlite3;application/x-sqlite3;' "$desktop" || fail "MimeType"
grep -q 'Copyright (c) 2026 the Pelldrake authors' "$root/usr/share/doc/pelldrake/copyright" || fail "copyright holder"
grep -qx 'Categories=Development;Database;Qt;' "$desktop" || fail "Categories"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$desktop" || fail "desktop-file-validate"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml" || fail "appstreamcli validate"
fi
if command -v man >/dev/null; then
  for page in pelldrake pelldrake-edi pelldrake-db; do
    warnings=$(MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/$page.1" 2>&1 >/dev/null || true)
    [[ -z "$warnings" ]] || fail "man page $page: $warnings"
  done
fi

# Every library the programs need is on this machine.
for exe in pelldrake pelldrake-edi pelldrake-db; do
  ! ldd "$root/usr/bin/$exe" | grep -q 'not found' || fail "$exe: $(ldd "$root/usr/bin/$exe" | grep 'not found')"
done

"$root/usr/bin/pelldrake-edi" --help >"$work/help.txt" || fail "pelldrake-edi --help exited $?"
grep -q 'usage' "$work/help.txt" || fail "pelldrake-edi --help printed no usage"
"$root/usr/bin/pelldrake-db" --help >"$work/db-help.txt" || fail "pelldrake-db --help exited $?"
grep -q 'usage' "$work/db-help.txt" || fail "pelldrake-db --help printed no usage"

# The packaged (stripped) Designer plugin loads and makes every widget.
plugin_test=$build/tests/install/designer_plugin_tests
if [[ -e "$build/plugins/designer" && -x "$plugin_test" ]]; then
  PELLDRAKE_TEST_PLUGIN_DIR=$root/$plugins QT_QPA_PLATFORM=offscreen "$plugin_test" >"$work/plugin.log" 2>&1 \
    || { cat "$work/plugin.log"; fail "the packaged Designer plugin"; }
fi

# The program starts offscreen in a fresh home, with pane 1 set to reopen the
# demo table, and keeps running until stopped. The alias registry and the demo
# database it creates show that it got past start-up with the SQLite driver.
home=$work/home
mkdir -p "$home/start"
printf 'AliasCombo=PelldrakeDemo\r\nListBox1=customers\r\nFieldNameCombo=\r\nTypeComboBox=\r\n' >"$home/start/Pelldrake.cfg"
(cd "$home/start" && HOME=$home XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share \
  QT_QPA_PLATFORM=offscreen exec "$root/usr/bin/pelldrake" >"$work/run.log" 2>&1) &
pid=$!
registry=$home/.config/Pelldrake/aliases.ini
demo=$home/.local/share/Pelldrake/demo.sqlite
# A loaded machine may take a while; give it up to 30 s, then a second more in its loop.
for _ in $(seq 60); do
  [[ -s "$registry" && -s "$demo" ]] && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.5
done
sleep 1
if ! kill -0 "$pid" 2>/dev/null; then
  status=0; wait "$pid" || status=$?
  cat "$work/run.log"
  fail "pelldrake ended by itself (status $status)"
fi
kill "$pid"; wait "$pid" 2>/dev/null || true; pid=
[[ -s "$registry" ]] || fail "pelldrake created no alias registry"
[[ -s "$demo" ]] || fail "pelldrake created no demo database"
echo "package installs and runs"
