#!/usr/bin/env bash
# Times Kalmora's batch operations side by side with the tools users would pick instead, on a
# corpus generated in a temporary folder, and prints one table. Then the window's own overhead
# and the scale run. Needs no display.
#
#   bench/run.sh [--photos N] [--files N] [--photo-kib K] [--runs R] [--window-files N]
#                [--scale-files N]
#                [--cases "shift read stamps datestamps heic rename strip window scale"]
#                [--jobs J] [--keep]
#
# Every run of every tool gets a fresh copy of the same files (copied, then synced, so each
# starts with the files in the page cache and nothing left to write back); each tool runs once
# untimed first, which warms its own files and gives its peak memory and the check that it
# really did the work. Times are hyperfine medians.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
photos=1000
files=1000
photo_kib=1024
runs=5
window_files=10000
scale_files=100000
cases="shift read stamps datestamps heic rename strip window scale"
jobs=$(nproc)
keep=0
while [ $# -gt 0 ]; do
    case "$1" in
    --photos) photos=$2; shift 2 ;;
    --files) files=$2; shift 2 ;;
    --photo-kib) photo_kib=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --window-files) window_files=$2; shift 2 ;;
    --scale-files) scale_files=$2; shift 2 ;;
    --cases) cases=$2; shift 2 ;;
    --jobs) jobs=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    -h | --help) sed -n '2,15p' "$0"; exit 0 ;;
    *) echo "unknown option: $1" >&2; exit 2 ;;
    esac
done
if [ "$runs" -lt 5 ]; then
    echo "--runs must be at least 5 (medians of fewer runs say little)" >&2
    exit 2
fi
wants() { [[ " $cases " == *" $1 "* ]]; }

# --- packages ------------------------------------------------------------------------------
packages=(build-essential cmake ninja-build pkg-config qt6-base-dev libexiv2-dev
    libmediainfo-dev libsqlite3-dev libssl-dev libimage-exiftool-perl exiv2 jhead hyperfine time
    libheif-examples
    coreutils)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' ||
        missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}" >&2
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >&2
fi

# --- build ---------------------------------------------------------------------------------
build="$root/build-bench"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKALMORA_BUILD_BENCH=ON \
    -DKALMORA_BUILD_TESTS=OFF >/dev/null
nice cmake --build "$build" -j"$jobs" >&2
bin="$build/bench"
cli="$build/cli/kalmora-cli"

# --- corpus --------------------------------------------------------------------------------
tmp=$(mktemp -d "${TMPDIR:-/tmp}/kalmora-bench.XXXXXX")
cleanup() { [ "$keep" -eq 1 ] && echo "kept: $tmp" >&2 || rm -rf "$tmp"; }
trap cleanup EXIT
export XDG_RUNTIME_DIR="$tmp/runtime" QT_QPA_PLATFORM=offscreen
mkdir -m 700 "$XDG_RUNTIME_DIR"
# kalmora-cli's journal and settings in folders of the bench's own, never the user's. Its rows
# run as the engine rows do, without the undo journal (the setting Journal/Enabled=0); the rows
# labelled "(journal on)" read a second settings folder without that setting. Both start through
# env, so that the one exec of about a millisecond it adds is not counted as the journal's.
export XDG_STATE_HOME="$tmp/state" XDG_CONFIG_HOME="$tmp/config"
mkdir -p "$XDG_STATE_HOME" "$XDG_CONFIG_HOME/Kalmora" "$tmp/config-journal"
printf '[Journal]\nEnabled=0\n' >"$XDG_CONFIG_HOME/Kalmora/Kalmora.conf"
cli_plain="env XDG_CONFIG_HOME=$tmp/config $cli"
cli_journal="env XDG_CONFIG_HOME=$tmp/config-journal $cli"
corpus="$tmp/corpus"
work="$tmp/work"
"$bin/kalmora_bench_corpus" "$corpus" "$photos" "$files" "$photo_kib" >&2
mkdir -p "$tmp/empty"
if wants heic; then
    # One HEIC made from the first photo (its Exif block comes along), copied for each photo.
    mkdir -p "$corpus/heic"
    heif-enc -q 50 "$corpus/photos/IMG_0001.jpg" -o "$tmp/base.heic" >&2
    for i in $(seq -f %04g "$photos"); do cp "$tmp/base.heic" "$corpus/heic/IMG_$i.heic"; done
fi

# --- timing --------------------------------------------------------------------------------
table="$tmp/table"
: >"$table"
ms() { awk -v s="$1" 'BEGIN { if (s >= 1) printf "%.2f s", s; else printf "%.1f ms", s * 1000 }'; }
per_file() {
    awk -v s="$1" -v n="$2" 'BEGIN { u = s / n * 1e6;
        if (u >= 1000) printf "%.2f ms", u / 1000; else printf "%.1f us", u }'
}

# A case: its label, the corpus folder it works on, its file count, then name/command pairs,
# ours first. A name holds no comma: the times are read back from a CSV file. check_<case> <name> judges the untimed run's work and output.
run_case() {
    local label=$1 sub=$2 count=$3 key=$4
    shift 4
    printf 'rm -rf "%s" && cp -a "%s" "%s" && sync\n' "$work" "$corpus/$sub" "$work" >"$tmp/prepare"
    local prepare="bash $tmp/prepare"
    local names=() commands=() args=() peaks=()
    while [ $# -gt 0 ]; do
        names+=("$1")
        commands+=("$2")
        shift 2
    done
    echo "== $label" >&2
    local i
    for i in "${!names[@]}"; do
        $prepare
        if ! /usr/bin/time -f %M -o "$tmp/peak" bash -c "${commands[$i]}" >"$tmp/out" 2>"$tmp/err"; then
            echo "${names[$i]} failed:" >&2
            cat "$tmp/err" >&2
            exit 1
        fi
        if ! "check_$key" "${names[$i]}"; then
            echo "${names[$i]} did not do the work: check failed" >&2
            exit 1
        fi
        peaks+=("$(tail -n 1 "$tmp/peak")")
        args+=(-n "${names[$i]}" "${commands[$i]}")
    done
    hyperfine --style none -N --runs "$runs" --prepare "$prepare" --export-csv "$tmp/times.csv" \
        "${args[@]}" >&2
    local ours
    ours=$(awk -F, 'NR == 2 { print $4 }' "$tmp/times.csv")
    for i in "${!names[@]}"; do
        local median
        median=$(awk -F, -v row=$((i + 2)) 'NR == row { print $4 }' "$tmp/times.csv")
        printf '%-34s %-36s %10s %10s %8s %10s\n' "$label" "${names[$i]}" "$(ms "$median")" \
            "$(per_file "$median" "$count")" \
            "$(awk -v a="$median" -v b="$ours" 'BEGIN { printf "%.2fx", a / b }')" \
            "$(awk -v k="${peaks[$i]}" 'BEGIN { printf "%.1f MiB", k / 1024 }')" >>"$table"
        label=""
    done
}

# The first photo is little-endian, the second big-endian; their dates are known.
first_date="2019:05:01 08:00:00"
second_date="2019:05:01 08:01:37"
date_of() { exiftool -s3 -DateTimeOriginal "$work/$1"; }

check_shift() {
    [ "$(date_of IMG_0001.jpg)" = "2019:05:02 08:00:00" ] &&
        { [ "$photos" -lt 2 ] || [ "$(date_of IMG_0002.jpg)" = "2019:05:02 08:01:37" ]; }
}
check_read() {
    case "$1" in
    ours*) grep -q "^read: $photos files, 0 failed" "$tmp/out" ;;
    *) [ "$(grep -c 'Acme X' "$tmp/out")" -eq "$photos" ] && grep -q "$first_date" "$tmp/out" ;;
    esac
}
check_stamps() {
    # Every file now holds a 2015 modification time.
    [ "$(find "$work" -type f ! -newermt 2016-01-01 -newermt 2015-01-01 | wc -l)" -eq "$files" ]
}
check_datestamps() {
    # Each photo's modification time is its shooting date, as local time.
    [ "$(stat -c %Y "$work/IMG_0001.jpg")" = "$(date -d "2019-05-01 08:00:00" +%s)" ] || return 1
    [ "$photos" -lt 2 ] || [ "$(stat -c %Y "$work/IMG_0002.jpg")" = "$(date -d "2019-05-01 08:01:37" +%s)" ]
}
check_heic() {
    [ "$(date_of IMG_0001.heic)" = "2019:05:02 08:00:00" ] &&
        [ "$(date_of "IMG_$(printf %04d "$photos").heic")" = "2019:05:02 08:00:00" ]
}
check_rename() {
    [ "$(find "$work" -name '20[0-9][0-9]-[0-9][0-9]-[0-9][0-9] [0-9][0-9].[0-9][0-9].[0-9][0-9]*.jpg' |
        wc -l)" -eq "$photos" ] && [ -f "$work/2019-05-01 08.00.00.jpg" ]
}
check_strip() {
    [ -z "$(exiftool -s3 -EXIF:All "$work/IMG_0001.jpg")" ] &&
        [ -n "$(exiftool -s3 -ImageWidth "$work/IMG_0001.jpg")" ]
}

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), kernel $(uname -r)"
echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "corpus: $photos photos of about $photo_kib KiB (half little-endian, half big-endian Exif), $files plain files of 1 KiB; $runs timed runs per tool"

# Commands run without a shell (hyperfine -N); a peer that takes a list of files gets it expanded
# here, as a user's shell would, and loops run in bash.
photo_list=$(for f in "$corpus"/photos/*.jpg; do printf "'%s' " "$work/${f##*/}"; done)
if wants shift; then
    run_case "shift every shooting date +1 day" photos "$photos" shift \
        "ours (ExifReader patch)" "'$bin/kalmora_bench_shift' '$work'" \
        "kalmora-cli shift-date" "$cli_plain shift-date --by +1d '$work'" \
        "kalmora-cli shift-date (journal on)" "$cli_journal shift-date --by +1d '$work'" \
        "exiftool (one process)" "exiftool -q -overwrite_original '-DateTimeOriginal+=0:0:1 0:0:0' '$work'" \
        "exiv2 -a +24 ad" "exiv2 -a +24 ad $photo_list" \
        "jhead -ta+24:00" "jhead -q -ta+24:00 $photo_list"
fi
if wants read; then
    run_case "read shooting date and model" photos "$photos" read \
        "ours (ImageMetadata import)" "'$bin/kalmora_bench_read' '$work'" \
        "exiftool -T" "exiftool -T -DateTimeOriginal -Model '$work'" \
        "exiv2 -g ... pr" "exiv2 -g Exif.Photo.DateTimeOriginal -g Exif.Image.Model pr $photo_list"
fi
if wants stamps; then
    run_case "set three stamps, read them back" files "$files" stamps \
        "ours (WriteFileTimes)" "'$bin/kalmora_bench_stamps' '$work'" \
        "ours + ReadFileTimes" "'$bin/kalmora_bench_stamps' '$work' --read-again" \
        "kalmora-cli apply" "$cli_plain apply --start '2015-03-14 09:26:53' --end '2015-03-14 23:59:59' --step 1s --pattern '*.*' '$work'" \
        "kalmora-cli apply (journal on)" "$cli_journal apply --start '2015-03-14 09:26:53' --end '2015-03-14 23:59:59' --step 1s --pattern '*.*' '$work'" \
        "touch -d per file" "bash -c 'for f in \"\$0\"/*; do touch -d \"2015-03-14 09:26:53\" \"\$f\"; done' '$work'" \
        "C floor (utimensat+statx)" "'$bin/kalmora_bench_floor' '$work'"
fi
if wants datestamps; then
    run_case "modification time from shooting date" photos "$photos" datestamps \
        "kalmora-cli stamps-from-date" "$cli_plain stamps-from-date '$work'" \
        "kalmora-cli stamps-from-date (journal on)" "$cli_journal stamps-from-date '$work'" \
        "exiftool -FileModifyDate<" "exiftool -q -overwrite_original '-FileModifyDate<DateTimeOriginal' '$work'" \
        "jhead -ft" "jhead -q -ft $photo_list" \
        "C floor (date bytes+utimensat)" "'$bin/kalmora_bench_date_floor' '$work'"
fi
if wants heic; then
    # exiv2 0.27 reads HEIC but does not write it ("Writing to BMFF images is not supported").
    run_case "shift the HEIC shooting dates +1 day" heic "$photos" heic \
        "kalmora-cli shift-date" "$cli_plain shift-date --by +1d --pattern '*.heic' '$work'" \
        "kalmora-cli shift-date (journal on)" "$cli_journal shift-date --by +1d --pattern '*.heic' '$work'" \
        "exiftool (one process)" "exiftool -q -overwrite_original '-DateTimeOriginal+=0:0:1 0:0:0' '$work'"
fi
if wants rename; then
    run_case "rename by shooting date" photos "$photos" rename \
        "ours (import read + rename)" "'$bin/kalmora_bench_rename' '$work'" \
        "kalmora-cli rename" "$cli_plain rename '$work'" \
        "kalmora-cli rename (journal on)" "$cli_journal rename '$work'" \
        "exiftool -FileName<" "exiftool -q '-FileName<DateTimeOriginal' -d '%Y-%m-%d %H.%M.%S%%-c.%%e' '$work'" \
        "jhead -n" "jhead -q '-n%Y-%m-%d %H.%M.%S' $photo_list"
fi
strip_note=""
if wants strip; then
    if [ -x "$bin/kalmora_bench_strip" ]; then
        run_case "strip all metadata" photos "$photos" strip \
            "ours (one exiftool process)" "'$bin/kalmora_bench_strip' '$work'" \
            "kalmora-cli strip" "$cli_plain strip '$work'" \
            "kalmora-cli strip (journal on)" "$cli_journal strip '$work'" \
            "exiftool per photo" "bash -c 'for f in \"\$0\"/*.jpg; do exiftool -q -overwrite_original -all= \"\$f\"; done' '$work'" \
            "exiftool (one call)" "exiftool -q -overwrite_original -all= '$work'"
    else
        strip_note="strip: left out, the erase's exiftool process code is not built"
    fi
fi

if [ -s "$table" ]; then
    echo
    printf '%-34s %-36s %10s %10s %8s %10s\n' "case" "tool" "median" "per file" "ratio" "peak mem"
    cat "$table"
    echo "(ratio: the tool's median over ours; above 1 means ours is faster)"
    [ -z "$strip_note" ] || echo "$strip_note"
    # Start-up alone, which the medians above include.
    startup=()
    for p in shift read stamps rename; do
        wants "$p" || continue
        hyperfine --style none -N --warmup 3 --runs 20 --export-csv "$tmp/start.csv" \
            "'$bin/kalmora_bench_$p' '$tmp/empty'" >&2
        startup+=("$p $(ms "$(awk -F, 'NR == 2 { print $4 }' "$tmp/start.csv")")")
    done
    if wants read; then
        hyperfine --style none -N --warmup 3 --runs 20 --export-csv "$tmp/start.csv" \
            "exiv2 -g Exif.Photo.DateTimeOriginal -g Exif.Image.Model pr '$corpus/photos/IMG_0001.jpg'" >&2
        startup+=("exiv2 on one photo $(ms "$(awk -F, 'NR == 2 { print $4 }' "$tmp/start.csv")")")
    fi
    if wants stamps; then
        hyperfine --style none -N --warmup 3 --runs 20 --export-csv "$tmp/start.csv" \
            "'$bin/kalmora_bench_floor' '$tmp/empty'" >&2
        startup+=("C floor $(ms "$(awk -F, 'NR == 2 { print $4 }' "$tmp/start.csv")")")
    fi
    [ ${#startup[@]} -eq 0 ] || echo "start-up with no files: $(IFS=';'; echo "${startup[*]}" | sed 's/;/, /g')"
fi

if wants window; then
    echo
    echo "== window: file-time import and apply of $window_files files, rewrite and erase of $photos photos, beside the engine" >&2
    for journal in on off; do
        echo "window with the undo journal $journal"
        if ! KALMORA_BENCH_JOURNAL=$journal "$bin/kalmora_bench_window" "$window_files" "$photos" \
            2>"$tmp/err"; then
            cat "$tmp/err" >&2
            exit 1
        fi
    done
fi
if wants scale; then
    echo
    echo "== scale: list $scale_files files and fill the grid" >&2
    for view in "" --view; do
        : >"$tmp/scale"
        for _ in $(seq "$runs"); do
            if ! /usr/bin/time -f %M -o "$tmp/peak" "$bin/kalmora_bench_scale" "$scale_files" $view \
                >>"$tmp/scale" 2>"$tmp/err"; then
                cat "$tmp/err" >&2
                exit 1
            fi
            cat "$tmp/peak" >>"$tmp/peaks"
        done
        # Medians of the runs; the peak is the largest any run reached (time -v).
        awk -v view="${view:+ with the grid view shown}" -v files="$scale_files" -v peak="$(sort -n "$tmp/peaks" | tail -n 1)" '
            { for (i = 1; i <= NF; ++i) {
                  if ($i == "listing") l[NR] = $(i + 1)
                  if ($i == "grid") f[NR] = $(i + 1)
                  if ($i == "total") t[NR] = $(i + 1) } }
            function median(a, n,   i, j, x) {
                for (i = 1; i <= n; ++i) for (j = i + 1; j <= n; ++j)
                    if (a[j] < a[i]) { x = a[i]; a[i] = a[j]; a[j] = x }
                return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2 }
            END { for (i = 1; i <= NR; ++i) runs = runs (i > 1 ? " " : "") t[i]
                  printf "scale%s: %s files, median of %d runs: listing %.3f s, filling the grid %.3f s, total %.3f s (runs: %s s); peak memory %.1f MiB\n", view, files, NR, median(l, NR), median(f, NR), median(t, NR), runs, peak / 1024 }' "$tmp/scale"
        rm -f "$tmp/peaks"
    done
fi
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
