# shellcheck shell=sh
# Sourced by the install scripts. install_missing LABEL [OPTION...] installs
# the packages named in $missing with apt-get (through sudo unless run as
# root), after saying "installing<LABEL>:<packages>" on stderr; the options
# go to apt-get install. Nothing happens when $missing is empty.
install_missing() {
  label=$1
  shift
  [ -z "$missing" ] && return 0
  echo "installing$label:$missing" >&2
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  # $missing is a list of words.
  # shellcheck disable=SC2086
  $SUDO apt-get install -y -qq "$@" $missing
}
