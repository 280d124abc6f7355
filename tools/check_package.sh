#!/usr/bin/env bash
# Builds the Debian package with CPack and checks what it holds and what it asks apt for.
#
#   tools/check_package.sh             build build/package/glimra_*.deb, check it, run lintian
#   tools/check_package.sh --install   also install it with apt, start it under Xvfb for a
#                                      few seconds and remove it again (as root)
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/package
# CPack finds the programs with file(1) and their library packages with dpkg-shlibdeps.
for tool in cmake ninja cpack file dpkg-shlibdeps; do
    command -v "$tool" >/dev/null || {
        echo "$tool is missing (Debian: cmake ninja-build file dpkg-dev)" >&2; exit 1; }
done
try_install=false
[ "${1:-}" = --install ] && try_install=true

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
    -DGLIMRA_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"
rm -f "$build"/glimra_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/glimra_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "cpack made no single package" >&2; exit 1; }
deb=${debs[0]}
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok:   $*"; }

echo "== $deb"
dpkg-deb -I "$deb"
echo "== files"
dpkg-deb -c "$deb"
echo "== checks"

field() { dpkg-deb -f "$deb" "$1"; }
expect_field() { # field, expected value
    if [ "$(field "$1")" = "$2" ]; then pass "$1 is $2"; else fail "$1 is '$(field "$1")', not '$2'"; fi
}
expect_field Package glimra
expect_field Version "$version"
expect_field Section graphics
# The interface's Tahoma and the stand-ins for the faces metafiles name.
for font in fonts-wine fonts-liberation2 fonts-crosextra-carlito fonts-crosextra-caladea \
            fonts-symbola fonts-dejavu-core; do
    if field Recommends | tr ',' '\n' | grep -qx " *$font"; then pass "recommends $font"
    else fail "does not recommend $font (Recommends: $(field Recommends))"; fi
done
# Shared-library dependencies come from dpkg-shlibdeps, so apt brings the Qt it was built with.
for lib in libc6 libstdc++6 libqt6core6 libqt6widgets6; do
    if field Depends | tr ',' '\n' | grep -q "^ *$lib\b"; then pass "depends on $lib"
    else fail "does not depend on $lib (Depends: $(field Depends))"; fi
done
if field Maintainer | grep -q '@example\.\(org\|com\|net\)>$'; then pass "maintainer is a placeholder"
else fail "maintainer: $(field Maintainer)"; fi

expected_files="./usr/bin/glimra
./usr/share/applications/org.example.Glimra.desktop
./usr/share/doc/glimra/changelog.gz
./usr/share/doc/glimra/copyright
./usr/share/icons/hicolor/128x128/apps/glimra.png
./usr/share/icons/hicolor/16x16/apps/glimra.png
./usr/share/icons/hicolor/256x256/apps/glimra.png
./usr/share/icons/hicolor/32x32/apps/glimra.png
./usr/share/icons/hicolor/48x48/apps/glimra.png
./usr/share/icons/hicolor/64x64/apps/glimra.png
./usr/share/icons/hicolor/scalable/apps/glimra.svg
./usr/share/man/man1/glimra.1.gz
./usr/share/metainfo/org.example.Glimra.metainfo.xml"
actual_files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | LC_ALL=C sort)
if [ "$actual_files" = "$expected_files" ]; then pass "holds exactly the expected files"
else fail "files differ from the expected ones:"; diff <(echo "$expected_files") <(echo "$actual_files") || true; fi

changelog_version=$(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/doc/glimra/changelog.gz \
    | gzip -dc | sed -n '1s/^glimra (\([^)]*\)).*/\1/p')
if [ "$changelog_version" = "$version" ]; then pass "the changelog's latest entry is $version"
else fail "the changelog's latest entry is '$changelog_version', the package $version (add an entry to packaging/changelog)"; fi

echo "== lintian"
if command -v lintian >/dev/null; then
    lintian_output=$(lintian --pedantic "$deb" 2>&1 | grep -v 'running with root privileges' || true)
    if [ -z "$lintian_output" ]; then pass "lintian: no errors, warnings or pedantic notes"
    else
        echo "$lintian_output"
        if grep -q '^E:' <<<"$lintian_output"; then fail "lintian reports errors"; fi
    fi
else
    echo "lintian is not installed (apt-get install lintian); skipped"
fi

if $try_install; then
    echo "== install, start, remove"
    [ "$(id -u)" -eq 0 ] || { echo "--install needs root" >&2; exit 1; }
    if dpkg-query -W -f='${Status}' glimra 2>/dev/null | grep -q "install ok installed"; then
        echo "glimra is already installed here; not touching it" >&2; exit 1
    fi
    # apt may also fail over some other half-configured package; what counts is glimra's state.
    apt_step() { # log name, apt-get arguments...
        local log="$build/$1.log"; shift
        DEBIAN_FRONTEND=noninteractive apt-get -y -qq "$@" >"$log" 2>&1 \
            || echo "note: apt-get $* exited with an error; see $log:" \
                    "$(grep -o 'error processing package [^ ]*' "$log" | sort -u | tr '\n' ' ')"
    }
    apt_step apt-install install "./$deb"
    if dpkg-query -W -f='${Status}' glimra 2>/dev/null | grep -q "install ok installed" \
        && [ -x /usr/bin/glimra ]; then pass "apt installed it"
    else fail "apt did not install it"; tail -20 "$build/apt-install.log"; fi
    # Running until timeout stops it (124) means it came up and waited for the user.
    status=0
    xvfb-run -a timeout 5 /usr/bin/glimra >"$build/run.log" 2>&1 || status=$?
    if [ $status -eq 124 ]; then pass "it starts and keeps running"
    else fail "it exited with status $status within 5 seconds:"; cat "$build/run.log"; fi
    apt_step apt-purge purge glimra
    left=$(echo "$expected_files" | sed 's/^\.//' | while read -r f; do [ ! -e "$f" ] || echo "$f"; done)
    if [ -z "$left" ] && ! dpkg-query -W glimra >/dev/null 2>&1; then pass "apt removed it cleanly"
    else fail "left behind after purge: $left"; fi
fi

echo "== $failures failure(s)"
[ $failures -eq 0 ]
