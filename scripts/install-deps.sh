#!/usr/bin/env bash
# Installs every Debian package KIV7 needs to build, run and test.
# Idempotent: when everything is present it only checks and returns.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build ccache pkg-config git
  # libraries
  libicu-dev libgsf-1-dev libjpeg-dev libglib2.0-dev
  # xls_demo reads the BMP and JPEG pictures it places through gdk-pixbuf
  libgdk-pixbuf-2.0-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  # the GUI library's own texts (standard dialogs and buttons) in Russian
  qt6-translations-l10n
  # tests and benchmarks
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  python3 python3-dbfread python3-dbf python3-xlrd python3-olefile python3-xlwt
  # the peer of the print benchmark
  python3-reportlab
  # the independent reader of index files in the table engine tests
  libdbd-xbase-perl
  poppler-utils xvfb xauth fonts-liberation
  # stops a process at a chosen system call (the pack tests)
  strace
  # the spreadsheet pictures' tests: a JPEG made of a BMP (cjpeg), the
  # metafile converted by an independent reader (wmf2svg), the workbook read
  # by a second spreadsheet program (ssconvert)
  libjpeg-turbo-progs libwmf-bin gnumeric
  # the libFuzzer build of the fuzz targets
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages: ${missing[*]}; run this script as root" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
