#!/usr/bin/env python3
"""What an integrator installs, checked as they would use it.

addin_package_test.py archive ZIP HOST SIM
    unpacks the add-in archive, checks MANIFEST.XML and INFO.XML against its
    files, and through the command-line host loads each Linux library from
    the unpacked folder and takes a photo from camera-sim.
addin_package_test.py deb CPACK_CONFIG SIM
    makes the Debian package, checks its declared dependencies, unpacks it
    and takes a photo with the packaged host and library.
"""
import os
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
import zipfile

from camera_sim_process import CameraSim

BUNDLE = '{http://v8.1c.ru/8.2/addin/bundle}'
failures = []


def check(ok, what):
    print(('ok   ' if ok else 'FAIL ') + what, flush=True)
    if not ok:
        failures.append(what)


def photo(host_args, sim, folder, env=None):
    out = os.path.join(folder, 'photo.jpg')
    run = subprocess.run(
        host_args + ['photo', '--host', '127.0.0.1', '--port', sim.port,
                     '--login', 'admin', '--password', 'secret', '-o', out],
        capture_output=True, text=True, timeout=120, env=env)
    ok = run.returncode == 0 and open(out, 'rb').read(3) == b'\xff\xd8\xff'
    if not ok:
        print(run.stdout + run.stderr)
    return ok


def elf_machine(data):
    """'x86_64', 'i386' or None, from an ELF or PE header."""
    if data[:4] == b'\x7fELF':
        return {62: 'x86_64', 3: 'i386'}.get(int.from_bytes(data[18:20], 'little'))
    if data[:2] == b'MZ':
        pe = int.from_bytes(data[60:64], 'little')
        return {0x8664: 'x86_64', 0x14c: 'i386'}.get(int.from_bytes(data[pe + 4:pe + 6], 'little'))
    return None


def test_archive(zip_path, host, sim_path):
    env = dict(os.environ, ZORVANE_DATA_DIR=tempfile.mkdtemp())
    with tempfile.TemporaryDirectory() as folder, zipfile.ZipFile(zip_path) as z:
        names = set(z.namelist())
        z.extractall(folder)
        manifest = ET.parse(os.path.join(folder, 'MANIFEST.XML')).getroot()
        check(manifest.tag == BUNDLE + 'bundle', 'MANIFEST.XML is a bundle')
        listed = set()
        linux = []
        for c in manifest.findall(BUNDLE + 'component'):
            path, system, arch = c.get('path'), c.get('os'), c.get('arch')
            listed.add(path)
            check(c.get('type') == 'native', path + ' is native')
            check(system in ('Linux', 'Windows') and arch in ('x86_64', 'i386'),
                  '%s names a known system and architecture (%s, %s)' % (path, system, arch))
            check(path in names, path + ' is in the archive')
            if path in names:
                data = open(os.path.join(folder, path), 'rb').read(4096)
                check(elf_machine(data) == arch, '%s is built for %s' % (path, arch))
                check((data[:4] == b'\x7fELF') == (system == 'Linux'),
                      '%s is a %s library' % (path, system))
            if system == 'Linux' and arch == 'x86_64':
                linux.append(os.path.join(folder, path))
        check(names - listed == {'MANIFEST.XML', 'INFO.XML'},
              'every library in the archive is listed: ' + ', '.join(sorted(names)))
        info = ET.parse(os.path.join(folder, 'INFO.XML')).getroot()
        component = info.find('component')
        check(info.tag == 'drivers' and component is not None and
              component.get('progid') == 'AddIn.Zorvane.zorvane' and
              re.fullmatch(r'\d+\.\d+\.\d+\.\d+', component.get('version') or '') is not None and
              bool(component.get('name')), 'INFO.XML names the add-in and its version')
        check(len(linux) == 1, 'one library for Linux x86-64')
        for lib in linux:
            classes = subprocess.run([host, '--lib', lib, 'classes'], capture_output=True,
                                     text=True, timeout=60, env=env)
            check(classes.returncode == 0 and 'zorvane' in classes.stdout,
                  'the unpacked library registers its class: ' + classes.stdout.strip())
            with CameraSim(sim_path, '--snapshot-auth', 'digest') as sim:
                check(photo([host, '--lib', lib], sim, folder, env),
                      'a photo through the unpacked library')


def test_deb(cpack_config, sim_path):
    env = dict(os.environ, ZORVANE_DATA_DIR=tempfile.mkdtemp())
    with tempfile.TemporaryDirectory() as folder:
        made = subprocess.run(['cpack', '--config', cpack_config, '-G', 'DEB', '-B', folder],
                              capture_output=True, text=True, timeout=300)
        debs = [f for f in os.listdir(folder) if f.endswith('_amd64.deb')]
        check(made.returncode == 0 and len(debs) == 1,
              'cpack makes zorvane_<version>_amd64.deb: ' + ', '.join(debs))
        if not debs:
            print(made.stdout + made.stderr)
            return
        deb = os.path.join(folder, debs[0])
        depends = subprocess.run(['dpkg-deb', '-f', deb, 'Depends'], capture_output=True,
                                 text=True).stdout.strip()
        print('Depends: ' + depends)
        for need in ('libcurl4', 'libssl3 | libssl1.1', 'libc6'):
            check(need in depends, 'the package depends on ' + need)
        files = subprocess.run(['dpkg-deb', '-c', deb], capture_output=True, text=True).stdout
        for path in ('./usr/bin/zorvane', './usr/lib/zorvane/libzorvane.so',
                     './usr/share/doc/zorvane/README.md'):
            check(path in files, 'the package holds ' + path)
        root = os.path.join(folder, 'root')
        subprocess.run(['dpkg-deb', '-x', deb, root], check=True)
        host = os.path.join(root, 'usr/bin/zorvane')
        with CameraSim(sim_path, '--snapshot-auth', 'digest') as sim:
            check(photo([host], sim, folder, env),
                  'the packaged host finds the packaged library and takes a photo')


if __name__ == '__main__':
    if sys.argv[1] == 'archive':
        test_archive(*sys.argv[2:5])
    else:
        test_deb(*sys.argv[2:4])
    print('%d failed' % len(failures))
    sys.exit(1 if failures else 0)
