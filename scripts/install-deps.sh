#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks for building and testing (run as root).
set -euo pipefail
packages=(
  cmake g++ make pkg-config googletest   # build and unit tests
  libssl-dev libmcrypt-dev libcrypto++-dev  # independent implementations the tests compare against
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix  # the Windows modules (posix threads: GoogleTest needs std::mutex)
  wine64                       # runs the 64-bit Windows tests
  gcc-multilib g++-multilib    # the 32-bit x86 Linux build
  libssl-dev:i386              # OpenSSL peer of the 32-bit benchmark (bench/run.sh --m32; i386 architecture below)
  qemu-user-static             # runs it where 32-bit programs do not run natively
  clang libclang-rt-14-dev     # libFuzzer and ThreadSanitizer runs
  valgrind                     # constant-time check (memcheck, valgrind/memcheck.h)
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})) && ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
