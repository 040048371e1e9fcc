#!/bin/bash
# Makes the downloads in dist/:
#   nimbo-<version>-win64.zip            NIMBO.exe, NimboSVC.exe, NimboStop.exe,
#                                        NIMBO.CHM, README.txt, LICENSE (flat)
#   nimbo-<version>-setup.exe            the same as an installer (NSIS)
#   nimbo-<version>-linux-x86_64.tar.gz  nimbo-<version>-linux-x86_64/: nimbo,
#                                        nimbo.service, README, LICENSE
# The version is the project version of CMakeLists.txt, as the builds
# recorded it.
#
#   scripts/package.sh [--windows-build DIR --linux-build DIR] [--out DIR]
#
# Without build directories it configures and builds the windows and
# native-release presets (only the targets packed). Given them, it packs what
# they hold and builds nothing. The text files for Windows get CRLF line
# ends; the programs are stripped of their debug information. File times
# are those of the last commit (SOURCE_DATE_EPOCH overrides), so the same
# tree gives the same archives.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD

WIN_BUILD=
LINUX_BUILD=
OUT=$ROOT/dist
while [ $# -gt 0 ]; do
    case "$1" in
      --windows-build) WIN_BUILD=$2; shift 2 ;;
      --linux-build) LINUX_BUILD=$2; shift 2 ;;
      --out) OUT=$2; shift 2 ;;
      *) echo "usage: scripts/package.sh [--windows-build DIR --linux-build DIR] [--out DIR]" >&2; exit 2 ;;
    esac
done
if [ -n "$WIN_BUILD$LINUX_BUILD" ] && { [ -z "$WIN_BUILD" ] || [ -z "$LINUX_BUILD" ]; }; then
    echo "package.sh: give both build directories, or neither" >&2
    exit 2
fi

for tool in zip makensis x86_64-w64-mingw32-strip strip; do
    command -v "$tool" >/dev/null || { echo "package.sh: $tool missing (scripts/install-deps.sh)" >&2; exit 1; }
done

if [ -z "$WIN_BUILD" ]; then
    WIN_BUILD=build/windows
    LINUX_BUILD=build/native-release
    cmake --preset windows >/dev/null
    cmake --build --preset windows --target NIMBO NimboSVC NimboStop nimbo_help
    cmake --preset native-release >/dev/null
    cmake --build --preset native-release --target nimbo
fi

project_version() {
    sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$1/CMakeCache.txt" 2>/dev/null
}
VERSION=$(project_version "$WIN_BUILD")
[ -n "$VERSION" ] || { echo "package.sh: $WIN_BUILD is no configured build" >&2; exit 1; }
[ "$(project_version "$LINUX_BUILD")" = "$VERSION" ] ||
    { echo "package.sh: $LINUX_BUILD is not a build of version $VERSION (reconfigure it)" >&2; exit 1; }

WIN_FILES=(NIMBO.exe NimboSVC.exe NimboStop.exe NIMBO.CHM)
for f in "${WIN_FILES[@]}"; do
    [ -f "$WIN_BUILD/bin/$f" ] || { echo "package.sh: $WIN_BUILD/bin/$f missing" >&2; exit 1; }
done
[ -f "$LINUX_BUILD/bin/nimbo" ] || { echo "package.sh: $LINUX_BUILD/bin/nimbo missing" >&2; exit 1; }

export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)}
STAGE=$(mktemp -d /tmp/nimbo-package.XXXXXX)
trap 'rm -rf "$STAGE"' EXIT
mkdir -p "$OUT"

# Text for Windows users: the version filled in, CRLF line ends.
crlf() { sed -e "s/@VERSION@/$VERSION/g" -e 's/\r*$/\r/' "$1" >"$2"; }

# ---- Windows: one folder, zipped flat and packed by the installer.
WIN=$STAGE/win64
mkdir -p "$WIN"
for f in "${WIN_FILES[@]}"; do cp "$WIN_BUILD/bin/$f" "$WIN/"; done
x86_64-w64-mingw32-strip --strip-debug "$WIN"/*.exe
crlf packaging/windows/README.txt "$WIN/README.txt"
crlf LICENSE "$WIN/LICENSE"
WIN_LIST=("${WIN_FILES[@]}" README.txt LICENSE)
touch -d "@$SOURCE_DATE_EPOCH" "$WIN"/*

ZIP=$OUT/nimbo-$VERSION-win64.zip
rm -f "$ZIP"
(cd "$WIN" && TZ=UTC zip -q -X -9 "$ZIP" "${WIN_LIST[@]}")
echo "$ZIP"

SETUP=$OUT/nimbo-$VERSION-setup.exe
# The installer's version resource takes four numbers.
VERSION_QUAD=$(echo "$VERSION.0.0.0" | cut -d. -f1-4)
makensis -V2 -NOCD -DVERSION="$VERSION" -DVERSION_QUAD="$VERSION_QUAD" -DSTAGE="$WIN" -DICON="$ROOT/src/shell/nimbo.ico" \
    -DOUTFILE="$SETUP" packaging/windows/nimbo.nsi
echo "$SETUP"

# ---- Linux: one folder in the tarball.
NAME=nimbo-$VERSION-linux-x86_64
LIN=$STAGE/$NAME
mkdir -p "$LIN"
install -m 0755 "$LINUX_BUILD/bin/nimbo" "$LIN/nimbo"
strip --strip-debug "$LIN/nimbo"
install -m 0644 packaging/linux/nimbo.service "$LIN/nimbo.service"
sed "s/@VERSION@/$VERSION/g" packaging/linux/README >"$LIN/README"
install -m 0644 LICENSE "$LIN/LICENSE"
chmod 0644 "$LIN/README"
touch -d "@$SOURCE_DATE_EPOCH" "$LIN" "$LIN"/*

TARBALL=$OUT/$NAME.tar.gz
tar -C "$STAGE" --sort=name --owner=0 --group=0 --numeric-owner --mtime="@$SOURCE_DATE_EPOCH" -cf - "$NAME" |
    gzip -9n >"$TARBALL"
echo "$TARBALL"
