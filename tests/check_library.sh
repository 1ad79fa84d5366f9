#!/bin/sh
# Checks what the platform and the target systems see of a built add-in:
#   check_library.sh LIB            exactly the three exported entry points, and
#                                   no window, help or crypto library among the
#                                   needed ones (they are bound at run time)
#   check_library.sh --portable LIB also: needed libraries only from the base
#                                   system and libcurl, no glibc symbol version
#                                   above 2.28, no C++ runtime or OpenSSL versions
set -eu
portable=0
if [ "$1" = "--portable" ]; then portable=1; shift; fi
lib=$1
status=0

got=$(nm -D --defined-only "$lib" | awk '{print $3}' | sort | tr '\n' ' ')
want="DestroyObject GetClassNames GetClassObject "
echo "exports: $got"
if [ "$got" != "$want" ]; then
  echo "FAIL: expected exports: $want"
  status=1
fi
for n in $(readelf -d "$lib" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
  case $n in
    libgtk*|libgdk*|libglib*|libgobject*|libgio*|libcairo*|libpango*|libatk*|libX*|libxcb*|\
    libwebkit*|libjavascriptcore*|libsoup*|libzip*|libmd4c*|libcrypto*|libssl*)
      echo "FAIL: needs $n, which must be bound at run time"; status=1 ;;
  esac
done
[ $portable -eq 1 ] || exit $status

allowed="libc.so.6 libm.so.6 libpthread.so.0 libdl.so.2 libgcc_s.so.1 libcurl.so.4 ld-linux-x86-64.so.2"
needed=$(readelf -d "$lib" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
echo "needed: $(echo $needed)"
for n in $needed; do
  case " $allowed " in
    *" $n "*) ;;
    *) echo "FAIL: needs $n"; status=1 ;;
  esac
done

versions=$(readelf -V "$lib" | sed -n 's/.*Name: \([A-Z_]*[0-9][0-9.]*\).*/\1/p' | sort -u)
highest=$(echo "$versions" | sed -n 's/^GLIBC_//p' | sort -V | tail -n 1)
echo "highest glibc version: GLIBC_$highest"
for v in $versions; do
  case $v in
    GLIBC_*)
      if [ "$(printf '%s\n2.28\n' "${v#GLIBC_}" | sort -V | tail -n 1)" != 2.28 ]; then
        echo "FAIL: needs $v"
        status=1
      fi
      ;;
    GCC_*)
      if [ "$(printf '%s\n4.2.0\n' "${v#GCC_}" | sort -V | tail -n 1)" != 4.2.0 ]; then
        echo "FAIL: needs $v"
        status=1
      fi
      ;;
    *) echo "FAIL: needs $v"; status=1 ;;
  esac
done
exit $status
