#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test. Then builds the core library and its
# tests again with AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/) and runs them;
# any sanitizer report fails the run. Exits non-zero on any failure; fast when nothing changed.
set -euo pipefail
cd "$(dirname "$0")"
./tools/setup.sh
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "${KALMORA_BUILD_DIR:-build}" --output-on-failure -j"$(nproc)"

asan=${KALMORA_ASAN_DIR:-build-asan}
sanitize="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
if [ ! -f "$asan/CMakeCache.txt" ]; then
    cmake -S . -B "$asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKALMORA_CORE_ONLY=ON \
        -DCMAKE_C_FLAGS="-O1 $sanitize" -DCMAKE_CXX_FLAGS="-O1 $sanitize" \
        -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined"
fi
cmake --build "$asan" -j"$(nproc)"
ASAN_OPTIONS=detect_leaks=1:halt_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    ctest --test-dir "$asan" --output-on-failure -j"$(nproc)"
