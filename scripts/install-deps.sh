#!/usr/bin/env bash
# Installs every Debian package moxsim needs to build, run and test. Safe to run again: it only asks apt for
# what is missing. Works as root or as a user with sudo.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev
  libsdl2-dev libsdl2-image-dev libsdl2-ttf-dev
  libfontconfig-dev libx11-dev fontconfig fonts-noto-cjk x11-xserver-utils
  xvfb xdotool x11-utils imagemagick
  python3 python3-pil libjpeg-dev
  g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-x86-64
  wine wine64 fonts-wine xcompmgr locales
  dpkg-dev lintian appstream
  clang libclang-rt-14-dev clang-format
  emscripten node-acorn chromium-headless-shell fonttools python3-brotli woff2 zip libavif-bin python3-numpy
  nginx-light libnginx-mod-http-brotli-static
  firefox-esr webkit2gtk-driver
)
# The web build's tests run under Node and drive Chromium from it; a machine that already carries a node of its
# own keeps it.
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  packages+=(nodejs npm)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

# The Windows program is tested under Wine in a Chinese locale, as its players run it.
need_locale() { ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; }

if [ ${#missing[@]} -eq 0 ] && ! need_locale; then
  exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
  sudo=()
else
  sudo=(sudo)
fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -q
  "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
if need_locale; then
  "${sudo[@]}" sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | "${sudo[@]}" tee -a /etc/locale.gen >/dev/null
  "${sudo[@]}" locale-gen >/dev/null
fi
