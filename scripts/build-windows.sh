#!/usr/bin/env bash
# Cross-builds the Windows programs into build-win/ with mingw-w64 and packs dist/moxsim-windows-x64.zip: moxsim.exe
# and moxsim-plan.exe (stripped, statically linked: no DLL beside them but the system's), 使用说明.txt and LICENSE.txt.
#   scripts/build-windows.sh            build and pack
#   scripts/build-windows.sh --test     also run the unit and front end tests under Wine
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)

cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
targets=(moxsim moxsim-script moxsim-plan)
cmake --build build-win -j"$jobs" --target "${targets[@]}"

mkdir -p dist
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
x86_64-w64-mingw32-strip -o "$stage/moxsim.exe" build-win/moxsim.exe
x86_64-w64-mingw32-strip -o "$stage/moxsim-plan.exe" build-win/moxsim-plan.exe
cp packaging/windows/使用说明.txt "$stage/"
# The licence with Windows line ends, so Notepad on older systems shows it in lines.
sed 's/$/\r/' LICENSE >"$stage/LICENSE.txt"
# Python's zip marks the Chinese file name as UTF-8, which Windows' own zip folders read.
python3 - "$stage" dist/moxsim-windows-x64.zip <<'PY'
import sys, zipfile
from pathlib import Path
stage, out = Path(sys.argv[1]), Path(sys.argv[2])
with zipfile.ZipFile(out.with_suffix(".tmp"), "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
    for name in ("moxsim.exe", "moxsim-plan.exe", "使用说明.txt", "LICENSE.txt"):
        z.write(stage / name, name)
out.with_suffix(".tmp").replace(out)
PY
ls -l dist/moxsim-windows-x64.zip

if [ "${1:-}" = "--test" ]; then
  cmake --build build-win -j"$jobs"
  ctest --test-dir build-win --output-on-failure -j"$jobs" -LE e2e
fi
