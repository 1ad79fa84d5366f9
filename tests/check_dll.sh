#!/bin/sh
# Checks what the platform and Windows see of a built add-in DLL:
#   check_dll.sh OBJDUMP DLL [x86_64|i386]
# the machine type the platform of that architecture loads, exactly the
# three exported entry points under their plain names, only Windows system
# DLLs imported (everything else is linked in), and the version resource.
set -eu
objdump=$1
dll=$2
status=0
arch=${3:-}
dump=$("$objdump" -p "$dll")

if [ -n "$arch" ]; then
  case $arch in
    x86_64) want_format=pei-x86-64 ;;
    i386) want_format=pei-i386 ;;
    *) echo "FAIL: unknown architecture $arch"; exit 1 ;;
  esac
  format=$("$objdump" -f "$dll" | sed -n 's/.*file format //p' | head -n 1)
  echo "format: $format"
  if [ "$format" != "$want_format" ]; then
    echo "FAIL: expected the file format $want_format"
    status=1
  fi
fi

got=$(printf '%s\n' "$dump" | awk '/\[Ordinal\/Name Pointer\] Table/ {on=1; next}
                                   on && /^\t\[/ {print $NF; next} on {on=0}' | sort | tr '\n' ' ')
want="DestroyObject GetClassNames GetClassObject "
echo "exports: $got"
if [ "$got" != "$want" ]; then
  echo "FAIL: expected exports: $want"
  status=1
fi

imports=$(printf '%s\n' "$dump" | sed -n 's/^\tDLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
echo "imports:" $imports
for n in $imports; do
  case $n in
    kernel32.dll|user32.dll|advapi32.dll|shell32.dll|ole32.dll|oleaut32.dll|ws2_32.dll|\
    iphlpapi.dll|winhttp.dll|bcrypt.dll|crypt32.dll|version.dll|msvcrt.dll|gdi32.dll|\
    comctl32.dll|comdlg32.dll|shlwapi.dll|api-ms-win-*) ;;
    *) echo "FAIL: imports $n, which is not a Windows system DLL"; status=1 ;;
  esac
done

# FILEVERSION 1.1.3.5 and the version string in UTF-16.
if strings -el "$dll" | grep -qx '1\.1\.3\.5'; then
  echo "version resource: 1.1.3.5"
else
  echo "FAIL: no version resource 1.1.3.5"
  status=1
fi
exit $status
