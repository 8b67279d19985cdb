# Installs the Debian packages named as arguments that are not installed yet (needs root).
ensure_packages() {
  local missing=()
  local package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
  done
  if [ "${#missing[@]}" -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

# Makes Debian's source archive reachable (a deb-src entry beside each binary one) unless apt can
# already fetch the source package named as the argument ("name=version").
ensure_debian_sources() {
  if ! apt-get source --print-uris "$1" >/dev/null 2>&1; then
    echo "Enabling Debian's source archive" >&2
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
      sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
        >/etc/apt/sources.list.d/vantrel-debian-src.sources
    else
      sed -n 's/^deb /deb-src /p' /etc/apt/sources.list >/etc/apt/sources.list.d/vantrel-debian-src.list
    fi
    apt-get update -qq >&2
  fi
}
