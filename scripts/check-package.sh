#!/usr/bin/env bash
# Unpacks a Debian package into a temporary root and runs the programs from there, as a
# person who installed it would, so that a file missing from the package fails:
#   scripts/check-package.sh build/vader_<version>_amd64.deb
set -euo pipefail
deb="$1"
root="$(mktemp -d)"
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root/pkg"
bin="$root/pkg/usr/bin"
fail() { echo "check-package: $*" >&2; exit 1; }

for file in usr/lib/vader/libwbtrv32.so usr/lib/vader/libwssql32.so usr/lib/vader/libwdbnm32.so \
            usr/share/vader/lang/German.txt usr/share/vader/lang/French.txt \
            usr/share/applications/vader.desktop \
            usr/share/metainfo/io.github.vader.Vader.metainfo.xml \
            usr/share/icons/hicolor/scalable/apps/vader.svg usr/share/man/man1/vader.1 \
            usr/share/man/man1/vbutil.1 usr/share/man/man1/vsampledb.1 \
            usr/share/man/man1/vtblres.1 usr/share/bash-completion/completions/vbutil; do
  [ -f "$root/pkg/$file" ] || fail "the package lacks /$file"
done
version="$(dpkg-deb -f "$deb" Version)"
[ "$("$bin/vader" --version)" = "vader $version" ] || fail "vader --version is not $version"
[ "$("$bin/vbutil" --version)" = "vbutil $version" ] || fail "vbutil --version is not $version"

# A home of its own: the first start copies the sample database into its data directory.
export HOME="$root/home" XDG_CONFIG_HOME="$root/home/config" XDG_DATA_HOME="$root/home/data"
export VADER_REGISTRY="$root/home/registry.reg"
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$root/run"
mkdir -m 700 "$root/run"
described="$("$bin/vader" --describe --table Customers)"
grep -q "Customers" <<<"$described" || fail "vader --describe shows no Customers table"
[ -f "$XDG_DATA_HOME/vader/sample/FILE.DDF" ] || fail "the sample database was not copied"
[ -f "$XDG_CONFIG_HOME/vader/Language.INI" ] || fail "Language.INI is not in the user's directory"
tables="$(cd "$bin" && ./vbutil ddf list ../share/vader/sample)"
grep -q "Orders" <<<"$tables" || fail "vbutil ddf list shows no Orders table"
echo "check-package: $deb runs from an unpacked root"
