#!/usr/bin/env bash
# Installs into a temporary prefix, validates the launcher and AppStream files, starts the
# installed program the way its launcher does, builds the Debian package, checks it with lintian
# and starts the program unpacked from it. Usage: package_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
src=$1
build=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

desktop=com.example.Kalmora.desktop
metainfo=com.example.Kalmora.metainfo.xml

# --- install ---
cmake --install "$build" --prefix "$tmp/prefix" >/dev/null
share=$tmp/prefix/share
for f in bin/kalmora share/applications/$desktop share/metainfo/$metainfo \
         share/icons/hicolor/scalable/apps/kalmora.svg share/icons/hicolor/48x48/apps/kalmora.png \
         share/icons/hicolor/128x128/apps/kalmora.png share/icons/hicolor/256x256/apps/kalmora.png \
         share/man/man1/kalmora.1.gz bin/kalmora-cli share/man/man1/kalmora-cli.1.gz \
         share/kservices5/ServiceMenus/kalmora-dolphin.desktop \
         share/kio/servicemenus/kalmora-dolphin.desktop share/nemo/actions/kalmora.nemo_action \
         share/bash-completion/completions/kalmora-cli share/zsh/vendor-completions/_kalmora-cli \
         share/fish/vendor_completions.d/kalmora-cli.fish; do
    [ -e "$tmp/prefix/$f" ] || fail "not installed: $f"
done
desktop-file-validate "$share/applications/$desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$share/metainfo/$metainfo" || fail "appstreamcli validate"
grep -qx 'Exec=kalmora %f' "$share/applications/$desktop" || fail "Exec line"
# Hardened programs: position-independent, relocations read-only and bound at start, stack
# protection (fortified calls leave a trace only where a call could be checked).
for program in kalmora kalmora-cli; do
    elf=$tmp/prefix/bin/$program
    # Whole outputs first: grep -q ending early would fail the pipe (pipefail).
    header=$(readelf -h "$elf") segments=$(readelf -l "$elf") dynamic=$(readelf -d "$elf")
    symbols=$(nm -D "$elf")
    grep -q 'Type:.*DYN' <<<"$header" || fail "$program is not position-independent"
    grep -q GNU_RELRO <<<"$segments" || fail "$program has no read-only relocations"
    grep -q 'BIND_NOW' <<<"$dynamic" || fail "$program does not bind at start"
    grep -q __stack_chk_fail <<<"$symbols" || fail "$program lacks stack protection"
done
# Folders keep their own handler: the launcher claims no file type.
! grep -q '^MimeType=' "$share/applications/$desktop" || fail "the launcher claims a file type"
# bash completes the commands and a command's options.
complete_words() {
    bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _kalmora_cli;
             echo "${COMPREPLY[*]}"' sh "$share/bash-completion/completions/kalmora-cli" "$@"
}
[ "$(complete_words kalmora-cli st)" = "stamps-from-date strip" ] || fail "bash completion"
[ "$(complete_words kalmora-cli stamps-from-date --sh)" = "--shift" ] || fail "bash options"
icon=$(sed -n 's/^Icon=//p' "$share/applications/$desktop")
for size in 48 128 256; do
    # A PNG's width and height are the two big-endian words after its 16-byte head.
    dims=$(od -An -j16 -N8 -tx1 "$share/icons/hicolor/${size}x${size}/apps/$icon.png" | tr -d ' \n')
    width=${dims:0:8} height=${dims:8:8}
    [ $((16#$width)) -eq "$size" ] && [ $((16#$height)) -eq "$size" ] || fail "icon $size px"
done

# --- the launcher's command, without any display for --help and --version ---
exec_line=$(sed -n 's/^Exec=//p' "$share/applications/$desktop")
run() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM PATH="$tmp/prefix/bin:$PATH" "$@"; }
version=$(run ${exec_line/\%f/--version})
[ "$version" = "Kalmora $(sed -n 's/^project(Kalmora VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")" ] ||
    fail "version: $version"
run kalmora --help | grep -q -- '--version' || fail "--help"
set +e
run kalmora --no-such-option >"$tmp/out" 2>"$tmp/err"
status=$?
set -e
[ "$status" -eq 2 ] || fail "unknown option gave status $status"
[ ! -s "$tmp/out" ] || fail "unknown option printed to stdout"
grep -q -- '--help' "$tmp/err" || fail "unknown option: no usage on stderr"

# --- the command line, installed: no display, and its manual page reads without complaint ---
run kalmora-cli --help | grep -q -- 'shift-date' || fail "kalmora-cli --help"
run kalmora-cli plan --help | grep -q -- '--working-hours' || fail "kalmora-cli plan --help"
set +e
run kalmora-cli apply --no-such-option "$tmp" >"$tmp/out" 2>"$tmp/err"
status=$?
set -e
[ "$status" -eq 2 ] || fail "kalmora-cli: unknown option gave status $status"
[ ! -s "$tmp/out" ] || fail "kalmora-cli: unknown option printed to stdout"
man_warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
    man --warnings -E UTF-8 -l "$share/man/man1/kalmora-cli.1.gz" 2>&1 >/dev/null || true)
[ -z "$man_warnings" ] || fail "kalmora-cli.1: $man_warnings"

# --- the photo metadata module, which the programs load from beside their own folder ---
# A JPEG with nothing but an Exif block: IFD0 points at the Exif directory, which holds the
# shooting date. Renaming it by that date (dry run) needs the module's full read.
mkdir -p "$tmp/shot"
printf '\xff\xd8\xff\xe1\x00\x48Exif\x00\x00II*\x00\x08\x00\x00\x00\x01\x00\x69\x87\x04\x00\x01\x00\x00\x00\x1a\x00\x00\x00\x00\x00\x00\x00\x01\x00\x03\x90\x02\x00\x14\x00\x00\x00\x2c\x00\x00\x00\x00\x00\x00\x002019:05:01 08:00:00\x00\xff\xd9' \
    >"$tmp/shot/a.jpg"
# The module must come from the installed tree ($2), not from the build tree's fallback.
reads_metadata() {
    local out
    out=$(env -u DISPLAY -u WAYLAND_DISPLAY HOME="$tmp/home" XDG_STATE_HOME="$tmp/state" \
        XDG_CONFIG_HOME="$tmp/config" LC_ALL=C.UTF-8 LD_DEBUG=files \
        "$1" rename --dry-run "$tmp/shot" 2>&1) || true
    grep -q '2019-05-01 08.00.00.jpg' <<<"$out" || fail "$1 does not read photo metadata: $out"
    grep -q "file=$2/.*libkalmora_metadata.so " <<<"$out" ||
        fail "$1 loaded no metadata module from $2: $(grep -m1 libkalmora_metadata <<<"$out")"
}
reads_metadata "$tmp/prefix/bin/kalmora-cli" "$tmp/prefix"

# --- started from the launcher's command with a folder, then a second start hands over ---
mkdir -p "$tmp/runtime" "$tmp/photos" "$tmp/more" "$tmp/home"
chmod 700 "$tmp/runtime"
session() {
    env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$tmp/runtime" \
        HOME="$tmp/home" PATH="$tmp/prefix/bin:$PATH" "$@"
}
# In a subshell that becomes the program, so that $! is the program itself and the kill below
# ends it, not a shell around it.
(exec env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$tmp/runtime" \
    HOME="$tmp/home" PATH="$tmp/prefix/bin:$PATH" ${exec_line/\%f/$tmp/photos}) \
    >"$tmp/first.log" 2>&1 &
first=$!
for _ in $(seq 100); do [ -S "$tmp/runtime/kalmora.socket" ] && break; sleep 0.1; done
[ -S "$tmp/runtime/kalmora.socket" ] || fail "the first program never listened"
# A second start that could not reach the first would wait in its message box.
session timeout 20 ${exec_line/\%f/$tmp/more} || fail "second start did not hand over"
kill -0 "$first" || fail "the first program ended"
kill "$first"
wait "$first" || true

# --- the Debian package ---
cpack -G DEB -B "$tmp/pkg" --config "$build/CPackConfig.cmake" >/dev/null
deb=$(ls "$tmp"/pkg/kalmora_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for dep in libimage-exiftool-perl libqt6widgets6 libexiv2 libmediainfo libsqlite3; do
    grep -q "$dep" <<<"$depends" || fail "Depends lacks $dep: $depends"
done
# Each package once; the CJK font only recommended.
dups=$(tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/ .*//' | sort | uniq -d)
[ -z "$dups" ] || fail "Depends lists twice: $dups"
recommends=$(dpkg-deb -f "$deb" Recommends)
grep -q fonts-noto-cjk <<<"$recommends" || fail "Recommends lacks the CJK font: $recommends"
! grep -q fonts-noto-cjk <<<"$depends" || fail "the CJK font is a Depends"
if ! lintian --fail-on error,warning --tag-display-limit 0 "$deb" >"$tmp/lintian" 2>&1; then
    cat "$tmp/lintian" >&2
    fail "lintian"
fi
dpkg-deb -x "$deb" "$tmp/root"
reads_metadata "$tmp/root/usr/bin/kalmora-cli" "$tmp/root/usr"
version=$(QT_QPA_PLATFORM=offscreen "$tmp/root/usr/bin/kalmora" --version)
[[ "$version" == "Kalmora "* ]] || fail "unpacked program: $version"
echo "PASS"
