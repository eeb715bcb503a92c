#!/bin/sh
# The module must export DispatchAPI and nothing else.
set -eu
module="$1"
exports=$(nm -D --defined-only "$module" | awk '{print $3}' | sort)
if [ "$exports" != "DispatchAPI" ]; then
  echo "unexpected exports of $module:"
  echo "$exports"
  exit 1
fi
echo "exports of $module: $exports"
