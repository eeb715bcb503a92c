#!/usr/bin/env bash
# install-deps.sh [--build]
# Installs what a fresh Debian 12 machine lacks (run as root).
#   --build  only what building the library and the tool needs (scripts/tour.sh)
#   (none)   everything the tests, cross builds and packages need (scripts/test.sh, .ci/run)
# The package manager's output goes to a log; the screen shows one line.
set -euo pipefail
build_packages=(
  cmake g++ make pkg-config    # the library and the tool
)
test_packages=(
  googletest                   # unit tests
  libssl-dev libmcrypt-dev libcrypto++-dev  # independent implementations the tests compare against
  libargon2-dev                # Argon2 and its PHC strings, compared both ways with the password functions
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix  # the Windows modules (posix threads: GoogleTest needs std::mutex)
  wine64                       # runs the 64-bit Windows tests
  wine32:i386                  # 32-bit Windows programs
  gcc-multilib g++-multilib    # the 32-bit x86 Linux build
  libssl-dev:i386              # OpenSSL peer of the 32-bit benchmark (bench/run.sh --m32; i386 architecture below)
  qemu-user-static             # runs it where 32-bit programs do not run natively
  clang libclang-rt-14-dev     # libFuzzer and ThreadSanitizer runs
  valgrind                     # the constant-time check (memcheck with secrets marked undefined)
  libargon2-dev                # reference for the password functions
  help2man                     # the tool's manual page
  zip unzip                    # the Windows release packages, and their check
  age zlib1g-dev python3       # age files: interop with the age tool, the compressed conformance vectors
)
packages=("${build_packages[@]}")
if [[ ${1:-} != --build ]]; then
  packages+=("${test_packages[@]}")
fi

log=${MG_INSTALL_LOG:-/tmp/marrowgate-install-deps.log}
: >"$log"
failed() {
  echo "install-deps.sh: failed; the package manager's output is in $log:" >&2
  tail -n 15 "$log" >&2
  exit 1
}

# A package with an architecture suffix needs that architecture enabled first.
if printf '%s\n' "${packages[@]}" | grep -q ':i386$' && ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386 >>"$log" 2>&1 || failed
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})) && ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
if ((${#missing[@]})); then
  echo "installing: ${missing[*]} (log: $log)"
  export DEBIAN_FRONTEND=noninteractive
  # Another apt-get may hold the lock for a while: wait for it rather than fail.
  apt=(apt-get -o DPkg::Lock::Timeout=600)
  "${apt[@]}" update >>"$log" 2>&1 || failed
  "${apt[@]}" install -y --no-install-recommends "${missing[@]}" >>"$log" 2>&1 || failed
fi
