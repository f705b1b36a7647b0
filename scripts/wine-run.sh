#!/usr/bin/env bash
# Runs a Windows program under Wine, quietly and in a prefix of moxsim's own (made on first use):
#   wine-run.sh [--prefix DIR] PROGRAM.exe [ARG...]
# The default prefix is $MOX_WINEPREFIX, else build-win/wine beside this script's checkout. The Wine server stays
# up for a while after the last program ends, so a run of many test programs pays its start once.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
prefix=${MOX_WINEPREFIX:-$here/../build-win/wine}
if [ "${1:-}" = "--prefix" ]; then
  prefix=$2
  shift 2
fi
prefix=$(realpath -m "$prefix")
if [ ! -f "$prefix/.moxsim-ready" ]; then
  # Parallel tests make the prefix once.
  mkdir -p "$(dirname "$prefix")"
  flock "$prefix.lock" "$here/wine-prefix.sh" "$prefix"
fi
export WINEPREFIX=$prefix WINEDEBUG=${WINEDEBUG:--all} WINEARCH=win64
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winepulse.drv=d"
# A Chinese system, as the program's players have (code page 936, Chinese faces for Wine's own captions).
if locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8; fi
[ -n "${MOX_WINE_KEEP_HOME:-}" ] || export HOME=$prefix.home
mkdir -p "$HOME"
# The server and Wine's helper processes must not hold the caller's output open (ctest waits for it to close):
# when this call starts the server, the session is brought up here, detached from it, before the program runs.
if wineserver -p"${MOX_WINESERVER_LINGER:-30}" </dev/null >/dev/null 2>&1; then
  wine cmd /c exit 0 </dev/null >/dev/null 2>&1 || true
fi
exec wine "$@"
