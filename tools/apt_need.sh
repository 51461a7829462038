#!/usr/bin/env bash
# apt_need.sh PACKAGE COMMAND: installs the Debian package PACKAGE when
# COMMAND is not on PATH (for the make targets that need an extra tool).
set -euo pipefail
package="$1"
command="$2"
command -v "$command" >/dev/null 2>&1 && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "installing: $package"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "$package" >/dev/null
