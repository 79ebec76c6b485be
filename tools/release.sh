#!/usr/bin/env bash
# Makes a release: the Debian package, the Windows zip, the browser page, the
# source tarball and their SHA256SUMS, all in OUTDIR. Two runs on one commit
# give the same bytes, in any folder and at any time.
#   tools/release.sh OUTDIR                from this clean git checkout
#   tools/release.sh OUTDIR SOURCE.tar.gz  again from a release's source tarball
set -euo pipefail

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: tools/release.sh OUTDIR [trekdump-VERSION.tar.gz]" >&2
  exit 2
fi
top=$(cd "$(dirname "$0")/.." && pwd)

# Every tool the release needs, checked before anything is made: a release
# without one of its parts (the zip without its manual) would differ from
# every other build of the commit. Each check is a command that succeeds when
# the tool is there, and names the Debian package that brings it.
missing=()
need() {
  local package=$1
  shift
  "$@" >/dev/null 2>&1 || missing+=("$package")
}
have() { command -v "$1"; }
need cmake have cmake
need g++ have g++
need dpkg have dpkg-deb
need dpkg-dev have dpkg-shlibdeps
need g++-mingw-w64-x86-64-posix have x86_64-w64-mingw32-g++-posix
need groff groff -man -Thtml /dev/null
need zip have zip
need emscripten have emcmake
need nodejs have node
need node-acorn env NODE_PATH="${NODE_PATH:-/usr/share/nodejs}" node -e 'require("acorn")'
need esbuild have esbuild
if [ $# -eq 1 ]; then need git have git; fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "missing tools: install the Debian packages ${missing[*]}" >&2
  exit 1
fi
version=$(sed -n 's/^project(trekdump VERSION \([0-9.]*\).*/\1/p' "$top/CMakeLists.txt")
name=trekdump-$version

# Nothing of the machine or the user's shell may reach the bytes: not the
# time zone (zip stores local times), the language (sort order), the umask
# (file modes) or flags meant for other builds.
export TZ=UTC LC_ALL=C
umask 022
unset CPPFLAGS CXXFLAGS LDFLAGS
export CMAKE_BUILD_PARALLEL_LEVEL="${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}"

# A release is a commit: a changed or new file that is not committed would be
# missing from the source tarball, or differ from it.
if [ $# -eq 1 ] && [ -n "$(git -C "$top" status --porcelain)" ]; then
  echo "the tree has uncommitted changes: commit them first" >&2
  exit 1
fi

# OUTDIR holds this release and nothing else, so SHA256SUMS names every file.
mkdir -p "$1"
out=$(cd "$1" && pwd)
if [ -n "$(ls -A "$out")" ]; then
  echo "$out is not empty: give an empty or new folder" >&2
  exit 1
fi

# The source: the commit's tree as git archive packs it, gzipped without a
# name or time, or the tarball given.
if [ $# -eq 2 ]; then
  cp "$2" "$out/$name.tar.gz"
else
  git -C "$top" archive --format=tar --prefix="$name/" HEAD | gzip -9n >"$out/$name.tar.gz"
fi

# Everything is built from that tarball, in a folder of its own that goes
# when the script ends. git archive gave every file the commit's time, which
# becomes the time of every file in the packages.
work=$(mktemp -d "$out/.build.XXXXXX")
trap 'rm -rf "$work"' EXIT
tar -xzf "$out/$name.tar.gz" -C "$work"
src=$work/$name
export SOURCE_DATE_EPOCH
SOURCE_DATE_EPOCH=$(stat -c %Y "$src/CMakeLists.txt")

# The Debian package: the tool alone (no tests, no sample), packed by cpack,
# which takes its times from SOURCE_DATE_EPOCH.
cmake -S "$src" -B "$work/deb" -DTREKDUMP_TESTS=OFF -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON
cmake --build "$work/deb" --target trekdump debian_docs completion
(cd "$work/deb" && cpack -G DEB)
cp "$work/deb/trekdump_${version}_"*.deb "$out/"

# The Windows zip: the exe, the texts and the manual, installed into a folder
# of the zip's name, every file given the commit's time, packed in sorted
# order without the owners' ids (zip -X).
cmake -S "$src" -B "$work/win" --toolchain "$src/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON
cmake --build "$work/win" --target trekdump manual_html
cmake --install "$work/win" --strip --prefix "$work/zip/$name-windows-x86_64"
find "$work/zip" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
(cd "$work/zip" && find "$name-windows-x86_64" | sort | zip -X -q -@ "$out/$name-windows-x86_64.zip")

# The browser page: one self-contained HTML file.
emcmake cmake -S "$src" -B "$work/web"
cmake --build "$work/web"
cp "$work/web/trekdump.html" "$out/$name.html"

# The checksums, in the format sha256sum -c reads.
(cd "$out" && sha256sum -- "trekdump_${version}_"*.deb "$name-windows-x86_64.zip" \
  "$name.html" "$name.tar.gz" >SHA256SUMS)
cat "$out/SHA256SUMS"
