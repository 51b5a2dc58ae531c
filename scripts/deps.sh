# Installs the Debian packages the build needs when any is missing.
velmora_install_packages() {
  local missing=()
  for p in "$@"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}" >&2
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
  fi
}

velmora_install_deps() {
  velmora_install_packages cmake ninja-build g++ libgtest-dev libbenchmark-dev zlib1g-dev pkg-config \
    clang libclang-rt-14-dev
}

# The Windows cross builds: mingw-w64 (posix threads), GoogleTest's sources,
# wine for both architectures (wine32 needs the i386 architecture) and zip
# for the packages.
velmora_install_windows_deps() {
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo dpkg --add-architecture i386
    $sudo apt-get update -qq
  fi
  velmora_install_packages cmake ninja-build g++ googletest util-linux zip libz-mingw-w64-dev \
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix \
    binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 \
    wine wine64 wine32:i386
}
