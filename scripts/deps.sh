# deps.sh: sourced by the build scripts; installs the Debian packages the build needs,
# and only when one is missing (apt-get update runs at most once, and not at all when
# everything is present).
KVELO_PACKAGES="cmake make g++ python3 libopenblas-dev liblapacke-dev libgtest-dev libbenchmark-dev"

kvelo_ensure_packages() {
  local missing=""
  local p
  for p in $KVELO_PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing="$missing $p"
    fi
  done
  if [ -z "$missing" ]; then
    return 0
  fi
  echo "Installing missing packages:$missing"
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y $missing
}

kvelo_jobs() {
  nproc 2>/dev/null || echo 2
}
