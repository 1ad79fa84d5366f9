#!/bin/sh
# The library must export exactly the three entry points the platform looks for.
set -eu
got=$(nm -D --defined-only "$1" | awk '{print $3}' | sort | tr '\n' ' ')
want="DestroyObject GetClassNames GetClassObject "
if [ "$got" != "$want" ]; then
  echo "exported: $got"
  echo "expected: $want"
  exit 1
fi
echo "exports: $got"
