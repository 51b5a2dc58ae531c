# Installs the Debian packages the build needs when any is missing.
velmora_install_deps() {
  local packages=(cmake ninja-build g++ libgtest-dev libbenchmark-dev libpng-dev pkg-config clang libclang-rt-14-dev)
  local missing=()
  for p in "${packages[@]}"; do
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
