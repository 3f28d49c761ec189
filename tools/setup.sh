#!/usr/bin/env bash
# Installs the Debian packages the project needs (only those missing), then configures and builds
# the project in build/. Safe to run again; fast when nothing changed.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-base-private-dev qt6-translations-l10n
    libexiv2-dev libmediainfo-dev libsqlite3-dev libssl-dev libimage-exiftool-perl
    fonts-noto-cjk xvfb xauth ntfs-3g exfat-fuse exfatprogs fusefat dosfstools ffmpeg
    exiv2 libheif-examples webp mediainfo
    clang libclang-rt-dev
    desktop-file-utils appstream lintian
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

build=${KALMORA_BUILD_DIR:-build}
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=${KALMORA_BUILD_TYPE:-RelWithDebInfo}
fi
cmake --build "$build" -j"$(nproc)"
