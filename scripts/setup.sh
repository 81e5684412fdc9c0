#!/usr/bin/env bash
# Installs what the builds and tests need, once. Quiet and idempotent: a machine that has
# everything is left alone. Package lists live in scripts/packages/*.list, one name a line.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

wanted=$(cat "$here"/packages/*.list | sed 's/#.*//' | tr -s ' \t' '\n' | sed '/^$/d' | sort -u)
missing=()
for p in $wanted; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -qq
  # One call for every list. Without the recommended packages (a third of them: video, sound,
  # GPU drivers, Ghostscript) the install is shorter; what the tests need of them is listed.
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Wine needs a Chinese locale to run with code page 936.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo localedef -i zh_CN -f UTF-8 zh_CN.UTF-8 >/dev/null 2>&1 || true
fi
