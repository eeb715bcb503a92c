#!/usr/bin/env bash
# package.sh
# Builds the release configuration (stripped) of the module and the tool:
# Linux in build-rel-linux/, Windows in build-win32/ and build-win64/, the
# folders whose test suites scripts/test-cross.sh runs (configured alike by
# scripts/configure-windows.sh). Writes the packages into dist/:
#   marrowgate-VERSION-win32.zip         marrowgate.fll and the 32-bit marrowgate.exe
#   marrowgate-VERSION-win64.zip         marrowgate64.fll and the 64-bit marrowgate.exe
#   marrowgate-VERSION-linux-x86_64.tar.gz  the installed tree: bin/, lib/marrowgate/, share/
#   SHA256SUMS
# Each package carries README.md, CHANGES.md, LICENSE and docs/. The packages
# are checked afterwards (scripts/check-packages.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
version=$(sed -n 's/^project(marrowgate VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[[ -n $version ]] || { echo "package.sh: no version in CMakeLists.txt" >&2; exit 1; }
for tool in zip help2man i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix; do
  command -v "$tool" >/dev/null || { echo "package.sh: $tool missing; run scripts/install-deps.sh as root" >&2; exit 1; }
done
# The files get the time of the last commit, so that the same sources give the same packages.
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)}
stamp=$(date -u -d "@$SOURCE_DATE_EPOCH" +%Y%m%d%H%M.%S)

release() {  # release FOLDER TARGETS CONFIGURE-COMMAND...: configure, then build the targets
  local folder=$1 targets=$2
  shift 2
  echo "== release build in $folder"
  mkdir -p "$folder"
  if ! { "$@" && cmake --build "$folder" -j"$jobs" --target $targets; } \
    >"$folder/package-build.log" 2>&1; then
    tail -n 30 "$folder/package-build.log" >&2
    echo "package.sh: the build in $folder failed; its output is in $folder/package-build.log" >&2
    exit 1
  fi
}
release build-rel-linux all cmake -S . -B build-rel-linux -DCMAKE_BUILD_TYPE=Release -DMG_BUILD_TESTS=OFF
# A folder the tests already use keeps them; a new one is made without.
for bits in 64 32; do
  tests=()
  [[ -f build-win$bits/CMakeCache.txt ]] || tests=(-DMG_BUILD_TESTS=OFF)
  release "build-win$bits" "marrowgate marrowgate-cli" ./scripts/configure-windows.sh "$bits" "${tests[@]}"
done

stage=build-rel-stage
rm -rf "$stage" dist
mkdir -p "$stage" dist

docs() {  # docs FOLDER: the documents every package carries
  cp README.md CHANGES.md LICENSE "$1/"
  if [[ -d docs ]]; then cp -r docs "$1/"; fi
}

for bits in 32 64; do
  name=marrowgate-$version-win$bits
  mkdir -p "$stage/$name"
  module=marrowgate.fll
  [[ $bits == 64 ]] && module=marrowgate64.fll
  cp "build-win$bits/bin/$module" "build-win$bits/bin/marrowgate.exe" "$stage/$name/"
  docs "$stage/$name"
  find "$stage/$name" -exec touch -t "$stamp" {} +
  (cd "$stage" && find "$name" | LC_ALL=C sort | zip -qX "../dist/$name.zip" -@)
done

name=marrowgate-$version-linux-x86_64
# The install rules place the documents in share/doc/marrowgate/.
cmake --install build-rel-linux --prefix "$PWD/$stage/$name" --strip >/dev/null
tar -C "$stage" --sort=name --owner=0 --group=0 --numeric-owner --mtime="@$SOURCE_DATE_EPOCH" \
  -czf "dist/$name.tar.gz" "$name"

(cd dist && sha256sum -- *.zip *.tar.gz >SHA256SUMS)
echo "== dist/"
ls -l dist
./scripts/check-packages.sh dist "$version"
