#!/usr/bin/env python3
"""The camera search of the Windows add-in under Wine, in a private network
(private_network.py) with two simulated cameras: the Windows host's
"search" finds both. The client's namespace gets a Wine prefix of its own
(wine_prefix.py). Exits 77 (skipped) without root or iproute2.

    wine_discovery_test.py WINE_RUN ZORVANE_EXE ZORVANE_DLL CAMERA_SIM
"""
import os
import shutil
import subprocess
import sys
import tempfile

import private_network
from private_network import PrivateNetwork
from wine_prefix import own_prefix, stop_prefix

wine_run, host, dll, sim_script = sys.argv[1:5]

reason = private_network.cannot_run()
if reason:
    print('skipped: ' + reason)
    sys.exit(77)

work = tempfile.mkdtemp(prefix='zorvane-wine-search-')
status = 1
try:
    with PrivateNetwork() as net:
        cameras = {'Gate-4K': '198.51.100.11', 'Scale-2MP': '198.51.100.12'}
        for model, address in cameras.items():
            net.camera(sim_script, model, address)
        client = net.inside(net.add_host('client', '198.51.100.2'))
        prefix = own_prefix(wine_run, work)
        env = dict(os.environ, WINEPREFIX=prefix, ZORVANE_DATA_DIR='Z:' + work.replace('/', '\\'))
        try:
            run = subprocess.run(client + [wine_run, host, '--lib', 'Z:' + dll.replace('/', '\\'),
                                           'search', '--login', 'admin', '--password', 'secret'],
                                 capture_output=True, timeout=240, env=env)
        finally:
            stop_prefix(prefix, client)
        out = run.stdout.decode('utf-8', 'replace') + run.stderr.decode('utf-8', 'replace')
        print(out)
        found = [m for m in cameras if m in out]
        print('found: %s' % ', '.join(found))
        status = 0 if run.returncode == 0 and len(found) == len(cameras) else 1
finally:
    shutil.rmtree(work, ignore_errors=True)

print('passed' if status == 0 else 'FAILED: not every camera was found')
sys.exit(status)
