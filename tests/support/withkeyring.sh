#!/bin/sh
# Runs a test in a D-Bus session of its own with an unlocked GNOME keyring kept in a
# temporary home, so that the test never reaches the keyring of whoever runs it.
# Usage: withkeyring.sh PROGRAM [ARGUMENTS...]
set -eu
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/home" "$scratch/run"
chmod 700 "$scratch/run"
export HOME="$scratch/home" XDG_DATA_HOME="$scratch/home/.local/share" \
  XDG_CONFIG_HOME="$scratch/home/.config" XDG_RUNTIME_DIR="$scratch/run"
unset DBUS_SESSION_BUS_ADDRESS
# The daemon answers once it has unlocked its login keyring with the password on its input;
# it ends with the session.
status=0
dbus-run-session -- sh -c \
  'printf quillomar | gnome-keyring-daemon --unlock --components=secrets >/dev/null && exec "$@"' \
  withkeyring "$@" || status=$?
exit $status
