# Sourced by the scripts that run Wine: a quiet Wine that never installs Mono or Gecko.
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
# Windows path of a Unix path (Wine maps / to Z:).
winpath() { local p; p=$(readlink -f "$1"); echo "Z:${p//\//\\}"; }
