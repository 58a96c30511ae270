#!/usr/bin/env bash
# The installed tree as its users meet it. Installs the build into a fresh
# prefix (and once through DESTDIR), then, from a folder outside the source
# and build trees and with nothing but the installed files:
#  - builds a small C program with pkg-config and the same program as a CMake
#    project with find_package(velklink), and runs both against the installed
#    velksim on a pseudo-terminal: sync, then read 80 bytes of flash, which
#    must be the simulator's own;
#  - runs the installed velkctl, velksim and screenup;
#  - checks each manual page: man shows it without a warning, and it mentions
#    every option, command and environment variable the program's --help lists;
#  - validates the desktop entry and tries the bash completion;
#  - when "./run package" has made Debian packages of this version, checks
#    their contents and dependencies.
#
# install-test.sh BUILD_DIR SOURCE_DIR VERSION LIBDIR PACKAGE_DIR [CFLAGS]
# CFLAGS are added when compiling against the library (the sanitizers the
# build was made with).
set -uo pipefail

build=$1 source=$2 version=$3 libdir=$4 package_dir=$5 cflags=${6:-}
major=${version%%.*}
failures=0

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
note() { echo "-- $*"; }
need() {
    command -v "$1" >/dev/null || {
        echo "FAIL: $1 is not installed (Debian package $2; ./run test installs it)" >&2
        exit 1
    }
}
need pkg-config pkg-config
need man man-db
need desktop-file-validate desktop-file-utils
need readelf binutils

work=$(mktemp -d /tmp/velk-install.XXXXXX)
sim_pid=""
cleanup() {
    if [ -n "$sim_pid" ]; then
        kill "$sim_pid" 2>/dev/null
        wait "$sim_pid" 2>/dev/null
    fi
    rm -rf "$work"
}
trap cleanup EXIT
prefix=$work/prefix
cd "$work" || exit 1
unset LD_LIBRARY_PATH PKG_CONFIG_PATH CMAKE_PREFIX_PATH

# --- Install --------------------------------------------------------------
if ! cmake --install "$build" --prefix "$prefix" >install.log 2>&1; then
    cat install.log >&2
    echo "FAIL: cmake --install $build --prefix $prefix" >&2
    exit 1
fi
screenup_built=0
[ -e "$prefix/bin/screenup" ] && screenup_built=1

expected=(
    "$libdir/libvelklink.so.$version" "$libdir/libvelklink.so.$major" "$libdir/libvelklink.so"
    include/velklink.h include/velksession.h "$libdir/pkgconfig/velklink.pc"
    "$libdir/cmake/velklink/velklinkConfig.cmake" "$libdir/cmake/velklink/velklinkConfigVersion.cmake"
    "$libdir/cmake/velklink/velklinkTargets.cmake"
    bin/velkctl bin/velksim share/man/man1/velkctl.1.gz share/man/man1/velksim.1.gz
    share/bash-completion/completions/velkctl lib/udev/rules.d/60-velklink.rules
    lib/python3/dist-packages/velklink/__init__.py lib/python3/dist-packages/velklink/py.typed)
if [ $screenup_built = 1 ]; then
    expected+=(share/man/man1/screenup.1.gz share/applications/screenup.desktop
        share/icons/hicolor/scalable/apps/screenup.svg)
fi
for file in "${expected[@]}"; do
    [ -e "$prefix/$file" ] || fail "the install does not hold $file"
done
[ "$(readlink "$prefix/$libdir/libvelklink.so.$major")" = "libvelklink.so.$version" ] ||
    fail "libvelklink.so.$major does not link to libvelklink.so.$version"
[ "$(readlink "$prefix/$libdir/libvelklink.so")" = "libvelklink.so.$major" ] ||
    fail "libvelklink.so does not link to libvelklink.so.$major"

# No installed file may lead back into the build or source tree.
while IFS= read -r -d '' elf; do
    runpath=$(readelf -d "$elf" 2>/dev/null | sed -n 's/.*(\(RUNPATH\|RPATH\)).*\[\(.*\)\]/\2/p')
    # shellcheck disable=SC2016 # $ORIGIN is the loader's, not the shell's
    case $runpath in
    "" | '$ORIGIN/../'"$libdir") ;;
    *) fail "${elf#"$prefix"/} has the library path $runpath" ;;
    esac
done < <(find "$prefix/bin" "$prefix/$libdir" -type f -print0)
if grep -rlF -e "$build" -e "$source" "$prefix/$libdir/pkgconfig" "$prefix/$libdir/cmake" >leaks.txt; then
    fail "installed files name the build or source tree: $(tr '\n' ' ' <leaks.txt)"
fi

# DESTDIR: the files land under DESTDIR, and name the prefix without it.
if DESTDIR=$work/stage cmake --install "$build" --prefix /opt/velklink >>install.log 2>&1; then
    pc=$work/stage/opt/velklink/$libdir/pkgconfig/velklink.pc
    grep -qx "prefix=/opt/velklink" "$pc" 2>/dev/null || fail "with DESTDIR, velklink.pc does not say prefix=/opt/velklink"
    [ -e "$work/stage/opt/velklink/bin/velkctl" ] || fail "with DESTDIR, velkctl is not under DESTDIR"
else
    fail "DESTDIR=... cmake --install $build --prefix /opt/velklink"
fi

# --- The simulator --------------------------------------------------------
"$prefix/bin/velksim" --state "$work/state" --link "$work/line" >sim.out 2>sim.err &
sim_pid=$!
for _ in $(seq 100); do
    grep -q "decoder ready" sim.out 2>/dev/null && break
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.1
done
if ! grep -q "decoder ready" sim.out; then
    cat sim.err >&2
    echo "FAIL: the installed velksim did not start" >&2
    exit 1
fi
# The first 80 bytes of the record area, as the simulator keeps them.
head -c 80 "$work/state/flash.bin" >expected.bin

# --- The library from C, through pkg-config -------------------------------
cat >probe.c <<'C'
#include <stdio.h>
#include <velklink.h>
int main(int argc, char **argv) {
    unsigned char data[80];
    Initialize();
    int ok = argc == 2 && OpenComPort(argv[1]) && HLPSendSync() && HLPWaitFor() &&
             HLPReadFlash(0x34020000u, 80) && HLPWaitFor() && HLPGetBuffer(NULL) == 80;
    if (ok && HLPGetBuffer(data) == 80) fwrite(data, 1, 80, stdout);
    CloseComPort();
    Finalize();
    return ok ? 0 : 1;
}
C
export PKG_CONFIG_LIBDIR=$prefix/$libdir/pkgconfig
if [ "$(pkg-config --modversion velklink)" != "$version" ]; then
    fail "pkg-config --modversion velklink is not $version"
fi
# shellcheck disable=SC2046,SC2086
if cc $cflags -o probe-pc probe.c $(pkg-config --cflags --libs velklink) -Wl,-rpath,"$prefix/$libdir"; then
    if timeout 60 ./probe-pc "$work/line" >read-pc.bin 2>probe-pc.err; then
        cmp -s read-pc.bin expected.bin || fail "the pkg-config program read other bytes than the simulator holds"
    else
        cat probe-pc.err >&2
        fail "the pkg-config program could not sync and read 80 bytes"
    fi
else
    fail "cc probe.c \$(pkg-config --cflags --libs velklink)"
fi
unset PKG_CONFIG_LIBDIR

# --- The library from CMake, through find_package -------------------------
mkdir -p project
cp probe.c project/
cat >project/CMakeLists.txt <<'CMAKE'
cmake_minimum_required(VERSION 3.16)
project(probe C)
find_package(velklink ${WANT} REQUIRED)
add_executable(probe probe.c)
target_link_libraries(probe PRIVATE velklink::velklink)
CMAKE
if cmake -S project -B project/build -DWANT="$major" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_C_FLAGS="$cflags" >cmake.log 2>&1 && cmake --build project/build >>cmake.log 2>&1; then
    if timeout 60 project/build/probe "$work/line" >read-cmake.bin 2>probe-cmake.err; then
        cmp -s read-cmake.bin expected.bin || fail "the CMake program read other bytes than the simulator holds"
    else
        cat probe-cmake.err >&2
        fail "the CMake program could not sync and read 80 bytes"
    fi
else
    cat cmake.log >&2
    fail "a CMake project with find_package(velklink $major) did not build"
fi
# The package's version file: another major version is not this library.
if cmake -S project -B project/build2 -DWANT=$((major + 1)) -DCMAKE_PREFIX_PATH="$prefix" >cmake2.log 2>&1; then
    fail "find_package(velklink $((major + 1))) accepted version $version"
fi

# --- The installed programs -----------------------------------------------
if timeout 60 "$prefix/bin/velkctl" --port "$work/line" --no-progress read flash 0x34020000 80 -o read-ctl.bin \
    >velkctl.out 2>&1; then
    cmp -s read-ctl.bin expected.bin || fail "the installed velkctl read other bytes than the simulator holds"
else
    cat velkctl.out >&2
    fail "the installed velkctl could not read 80 bytes"
fi
if "$prefix/bin/velkctl" --version >version.out 2>&1; then
    grep -q "${version%.*}" version.out || fail "velkctl --version does not name version ${version%.*}: $(cat version.out)"
elif "$prefix/bin/velkctl" --help | grep -q -- --version; then
    fail "velkctl --version failed: $(cat version.out)"
else
    note "this velkctl has no --version yet"
fi

kill -TERM "$sim_pid"
wait "$sim_pid"
status=$?
sim_pid=""
[ $status = 0 ] || fail "the installed velksim ended with $status after SIGTERM: $(cat sim.err)"

if [ $screenup_built = 1 ]; then
    QT_QPA_PLATFORM=offscreen timeout 60 "$prefix/bin/screenup" --help >screenup.help 2>/dev/null ||
        fail "the installed screenup --help failed"
    # The library screenup loads is the installed one.
    loaded=$(ldd "$prefix/bin/screenup" | awk -v lib="libvelklink.so.$major" '$1 == lib { print $3 }')
    if [ -z "$loaded" ] || [ "$(realpath "$loaded")" != "$(realpath "$prefix/$libdir/libvelklink.so.$major")" ]; then
        fail "the installed screenup loads libvelklink.so.$major from '$loaded', not from $prefix/$libdir"
    fi
fi

# --- Manual pages ---------------------------------------------------------
# Prints the options, "command NAME" lines and "env NAME" lines of a help text.
help_words() {
    grep -oE '(^|[[:space:],])--?[A-Za-z][A-Za-z0-9-]*' "$1" | sed 's/^[[:space:],]*//'
    sed -n 's/.*(Env:\([A-Z_][A-Z0-9_]*\)).*/env \1/p' "$1"
}

# check_page PAGE PROGRAM HELP_FILE WHAT_HELP: every word of the help in the page.
check_page() {
    local page=$1 help=$3 what=$4 text word
    text=$(zcat "$page" | sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' -e 's/\\f(..//g')
    while read -r word; do
        case $word in
        env\ *)
            grep -qw -- "${word#env }" <<<"$text" ||
                fail "$(basename "$page" .gz) does not mention the variable ${word#env }, which '$what' lists"
            ;;
        *)
            grep -qE -- "(^|[^A-Za-z0-9-])$word([^A-Za-z0-9-]|\$)" <<<"$text" ||
                fail "$(basename "$page" .gz) does not mention the option $word, which '$what' lists: add it to docs/man/$(basename "$page" .gz)"
            ;;
        esac
    done < <(help_words "$help" | sort -u)
    for section in "EXIT STATUS" ENVIRONMENT EXAMPLES; do
        grep -q "^\.SH $section" <<<"$text" || fail "$(basename "$page" .gz) has no section $section"
    done
}

for program in velkctl velksim screenup; do
    page=$prefix/share/man/man1/$program.1.gz
    [ -e "$page" ] || continue
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man -l $program.1 warns: $warnings"
done

"$prefix/bin/velksim" --help >velksim.help
check_page "$prefix/share/man/man1/velksim.1.gz" velksim velksim.help "velksim --help"
[ $screenup_built = 1 ] && check_page "$prefix/share/man/man1/screenup.1.gz" screenup screenup.help "screenup --help"

"$prefix/bin/velkctl" --help >velkctl.help
check_page "$prefix/share/man/man1/velkctl.1.gz" velkctl velkctl.help "velkctl --help"
commands=$(sed -n '/^Subcommands:/,$ s/^  \([a-z][a-z0-9-]*\) .*/\1/p' velkctl.help)
[ -n "$commands" ] || fail "no commands found in velkctl --help"
page_text=$(zcat "$prefix/share/man/man1/velkctl.1.gz" | sed 's/\\-/-/g')
for command in $commands; do
    "$prefix/bin/velkctl" "$command" --help >"velkctl-$command.help"
    check_page "$prefix/share/man/man1/velkctl.1.gz" velkctl "velkctl-$command.help" "velkctl $command --help"
    grep -qE "^\.B[IR]? $command( |\$)" <<<"$page_text" ||
        fail "velkctl.1 does not describe the command $command: add it under COMMANDS in docs/man/velkctl.1"
done

# --- Desktop entry --------------------------------------------------------
if [ $screenup_built = 1 ]; then
    desktop=$prefix/share/applications/screenup.desktop
    desktop-file-validate "$desktop" >validate.out 2>&1 || fail "desktop-file-validate: $(cat validate.out)"
    icon=$(sed -n 's/^Icon=//p' "$desktop")
    [ -e "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "the desktop entry's icon $icon is not installed"
    exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
    [ -x "$prefix/bin/$exec_name" ] || fail "the desktop entry starts $exec_name, which is not installed"
fi

# --- Shell completion -----------------------------------------------------
completion=$prefix/share/bash-completion/completions/velkctl
complete_line() { # words... -> the completions bash offers for the last word
    PATH=$prefix/bin:$PATH bash -c '
        source "$0"
        COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _velkctl
        printf "%s\n" "${COMPREPLY[@]}"' "$completion" "$@" | sort | tr '\n' ' '
}
[ "$(complete_line velkctl read '')" = "eeprom flash " ] ||
    fail "bash completion of 'velkctl read ' is not flash|eeprom: $(complete_line velkctl read '')"
[ "$(complete_line velkctl --trace '')" = "all link transfer " ] ||
    fail "bash completion of 'velkctl --trace ' is not link|transfer|all"
offered=$(complete_line velkctl '')
for command in $commands; do
    [[ " $offered" == *" $command "* ]] || fail "bash completion of 'velkctl ' does not offer $command"
done
if command -v zsh >/dev/null; then
    zsh -n "$prefix/share/zsh/site-functions/_velkctl" 2>/dev/null || [ ! -e "$prefix/share/zsh/site-functions/_velkctl" ] ||
        fail "the zsh completion does not parse"
fi

# --- Debian packages, when made for this version ---------------------------
debs=("$package_dir"/*.deb)
if [ ! -e "${debs[0]}" ]; then
    note "no Debian packages in $package_dir (./run package makes them); not checked"
elif ! command -v dpkg-deb >/dev/null; then
    note "dpkg-deb is not installed; packages not checked"
else
    for name in "libvelklink$major" libvelklink-dev velkctl python3-velklink; do
        ls "$package_dir/${name}_"*.deb >/dev/null 2>&1 || fail "no package $name in $package_dir"
    done
    for deb in "${debs[@]}"; do
        package=$(dpkg-deb -f "$deb" Package)
        if [ "$(dpkg-deb -f "$deb" Version)" != "$version" ]; then
            note "$(basename "$deb") is not of version $version (./run package again); not checked"
            continue
        fi
        contents=$(dpkg-deb -c "$deb" | awk '{ print $6 }')
        bad=$(grep -vE '^\./(usr/|$)' <<<"$contents")
        [ -z "$bad" ] || fail "$package installs outside /usr: $bad"
        bad=$(grep -E 'test_|/tests?/|gtest|gmock|\.a$|CMakeFiles|build' <<<"$contents")
        [ -z "$bad" ] || fail "$package holds test or build files: $bad"
        mkdir -p "deb/$package"
        dpkg-deb -x "$deb" "deb/$package"
        if grep -rlF -e "$build" -e "$source" "deb/$package" >leaks.txt; then
            fail "$package has files naming the build or source tree: $(tr '\n' ' ' <leaks.txt)"
        fi
        depends=$(dpkg-deb -f "$deb" Depends)
        case $package in
        "libvelklink$major")
            grep -q "libc6" <<<"$depends" || fail "$package does not depend on libc6: $depends"
            ;;
        libvelklink-dev | screenup | python3-velklink)
            grep -q "libvelklink$major (= $version)" <<<"$depends" ||
                fail "$package does not depend on libvelklink$major (= $version): $depends"
            ;;
        esac
    done
fi

if [ $failures -gt 0 ]; then
    echo "$failures check(s) of the installed tree failed" >&2
    exit 1
fi
echo "The installed tree works: library, pkg-config, CMake package, programs, manual pages, completion."
