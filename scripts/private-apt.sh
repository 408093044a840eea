# Sourced by the set-up scripts. private_apt DIR TYPE SUITE fetches the package lists of
# one suite of the Debian archive ("deb" for programs, "deb-src" for sources) into DIR and
# sets the array apt_opts to the apt options that use them. The machine's own apt
# sources and lists stay as they are.
private_apt() {
  local dir=$1 type=$2 suite=$3
  mkdir -p "$dir/lists/partial" "$dir/archives/partial"
  printf '%s\n' "Types: $type" "URIs: http://deb.debian.org/debian" "Suites: $suite" \
    "Components: main" "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg" \
    >"$dir/$suite.sources"
  apt_opts=(-o "Dir::Etc::SourceList=$dir/$suite.sources" -o "Dir::Etc::SourceParts=-"
    -o "Dir::State::Lists=$dir/lists" -o "Dir::Cache::Archives=$dir/archives"
    -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache=" -o "APT::Get::List-Cleanup=0")
  apt-get "${apt_opts[@]}" update -qq
}
