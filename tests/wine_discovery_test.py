#!/usr/bin/env python3
"""The camera search of the Windows add-in under Wine, in a private network
(198.51.100.0/24 on a bridge of network namespaces, so no packet leaves the
machine) with two simulated cameras: the Windows host's "search" finds both.
Wine follows its wineserver's namespace, not the program's, so the client
namespace gets a Wine prefix of its own. Exits 77 (skipped) without root or
iproute2.

    wine_discovery_test.py WINE_RUN ZORVANE_EXE ZORVANE_DLL CAMERA_SIM
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

wine_run, host, dll, sim_script = sys.argv[1:5]

if os.geteuid() != 0 or shutil.which('ip') is None:
    print('skipped: the private network needs root and iproute2')
    sys.exit(77)

prefix = 'zvw%d' % os.getpid()
namespaces, processes = [], []
work = tempfile.mkdtemp(prefix='zorvane-wine-search-')


def ip(*args):
    subprocess.run(['ip', *args], check=True)


def add_host(name, address, index):
    ns = '%s-%s' % (prefix, name)
    ip('netns', 'add', ns)
    namespaces.append(ns)
    ip('-n', ns, 'link', 'set', 'lo', 'up')
    inside, outside = '%s%d' % (prefix, index), '%s%db' % (prefix, index)
    ip('link', 'add', inside, 'type', 'veth', 'peer', 'name', outside)
    ip('link', 'set', inside, 'netns', ns)
    ip('link', 'set', outside, 'netns', prefix + '-lan')
    ip('-n', prefix + '-lan', 'link', 'set', outside, 'master', 'br0', 'up')
    ip('-n', ns, 'addr', 'add', address + '/24', 'dev', inside)
    ip('-n', ns, 'link', 'set', inside, 'up')
    ip('-n', ns, 'route', 'add', '224.0.0.0/4', 'dev', inside)
    return ns


status = 1
try:
    ip('netns', 'add', prefix + '-lan')
    namespaces.append(prefix + '-lan')
    ip('-n', prefix + '-lan', 'link', 'add', 'br0', 'type', 'bridge', 'mcast_snooping', '0')
    ip('-n', prefix + '-lan', 'link', 'set', 'br0', 'up')
    cameras = {'Gate-4K': '198.51.100.11', 'Scale-2MP': '198.51.100.12'}
    for i, (model, address) in enumerate(cameras.items()):
        ns = add_host(model.lower(), address, i)
        sim = subprocess.Popen(
            ['ip', 'netns', 'exec', ns, sys.executable, sim_script, '--host', address,
             '--discovery', address, '--user', 'admin', '--password', 'secret',
             '--model', model], stdout=subprocess.PIPE, text=True)
        processes.append(sim)
        sim.stdout.readline()  # listening
    client = add_host('client', '198.51.100.2', len(cameras))

    # The shared prefix, made once, copied for the client's namespace.
    subprocess.run([wine_run, 'cmd', '/c', 'exit'], check=True, capture_output=True)
    base = os.environ.get('WINEPREFIX') or os.path.join(
        os.environ.get('XDG_CACHE_HOME') or os.path.expanduser('~/.cache'), 'zorvane', 'wine')
    own = os.path.join(work, 'prefix')
    shutil.copytree(base, own, symlinks=True)
    env = dict(os.environ, WINEPREFIX=own, ZORVANE_DATA_DIR='Z:' + work.replace('/', '\\'))
    run = subprocess.run(['ip', 'netns', 'exec', client, wine_run, host,
                          '--lib', 'Z:' + dll.replace('/', '\\'),
                          'search', '--login', 'admin', '--password', 'secret'],
                         capture_output=True, timeout=240, env=env)
    out = run.stdout.decode('utf-8', 'replace') + run.stderr.decode('utf-8', 'replace')
    print(out)
    found = [m for m in cameras if m in out]
    print('found: %s' % ', '.join(found))
    status = 0 if run.returncode == 0 and len(found) == len(cameras) else 1
    subprocess.run(['ip', 'netns', 'exec', client, 'wineserver', '-k'], env=env,
                   capture_output=True)
finally:
    for p in processes:
        p.kill()
        p.wait()
    for ns in reversed(namespaces):
        subprocess.run(['ip', 'netns', 'del', ns], capture_output=True)
    shutil.rmtree(work, ignore_errors=True)

print('passed' if status == 0 else 'FAILED: not every camera was found')
sys.exit(status)
