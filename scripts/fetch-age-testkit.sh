#!/usr/bin/env bash
# Refreshes tests/age/testkit from the age conformance vectors of C2SP's CCTV
# project, as published on npm (package cctv-age, which embeds the files).
# The files are small and kept in the repository so that every build, the
# emulated ones included, tests against them without a network.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
version=${1:-0.2.0}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
npm pack --silent "cctv-age@$version" >/dev/null
tar xzf cctv-age-*.tgz
target="$here/tests/age/testkit"
rm -rf "$target"
mkdir -p "$target"
TARGET="$target" node -e '
const v = require("./package/index.js");
const fs = require("fs");
for (const [name, bytes] of Object.entries(v)) fs.writeFileSync(process.env.TARGET + "/" + name, Buffer.from(bytes));
'
echo "cctv-age $version" > "$target/SOURCE"
ls "$target" | wc -l
