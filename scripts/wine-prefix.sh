#!/usr/bin/env bash
# Makes a Wine prefix ready for moxsim's Windows programs: created once (about 10 s), then copied for each use.
#   wine-prefix.sh DIR             creates DIR as a prefix unless it already is one
# Wine finds none of the Windows Chinese faces here, so the prefix maps them to the Noto Sans CJK SC face the Linux
# build draws with (run programs with LANG=zh_CN.UTF-8, as a Chinese system is: Wine's own captions and menus then
# link to Chinese faces too); the fonts Wine ships are linked in (without Tahoma its own frame buttons draw as letters); and Wine
# draws the window frames itself, since the test displays run no window manager.
set -euo pipefail
dir=${1:?usage: wine-prefix.sh DIR}
[ -f "$dir/system.reg" ] && [ -f "$dir/.moxsim-ready" ] && exit 0
mkdir -p "$(dirname "$dir")"
export WINEPREFIX=$(realpath -m "$dir") WINEDEBUG=-all WINEARCH=win64
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winepulse.drv=d"
# Nothing in the prefix points at the user's own folders.
export HOME=${MOX_WINE_HOME:-$WINEPREFIX.home}
mkdir -p "$HOME"
rm -rf "$WINEPREFIX"
wineboot -i >/dev/null 2>&1
fonts=$WINEPREFIX/drive_c/windows/Fonts
mkdir -p "$fonts"
for f in /usr/share/wine/fonts/*.ttf; do [ -e "$f" ] && ln -sf "$f" "$fonts/"; done
reg() { wine reg add "$@" /f >/dev/null 2>&1; }
reg 'HKCU\Software\Wine\X11 Driver' /v Managed /d N
reg 'HKCU\Software\Wine\X11 Driver' /v Decorated /d Y
r='HKCU\Software\Wine\Fonts\Replacements'
for face in 宋体 SimSun 新宋体 NSimSun 黑体 SimHei 微软雅黑 "Microsoft YaHei"; do
  reg "$r" /v "$face" /d "Noto Sans CJK SC"
done
wineserver -w
touch "$WINEPREFIX/.moxsim-ready"
