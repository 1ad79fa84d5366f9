#!/usr/bin/env python3
"""Runs a command beside a camera-sim on 127.0.0.1 (user admin, password
secret), named to it in ZORVANE_CAMERA_SIM as "127.0.0.1:PORT"; the camera
stops when the command ends. Exits with the command's status.

    with_camera_sim.py CAMERA_SIM COMMAND [ARGS...]
"""
import os
import re
import subprocess
import sys

sim_script, command = sys.argv[1], sys.argv[2:]
sim = subprocess.Popen([sys.executable, sim_script, '--host', '127.0.0.1', '--user', 'admin',
                        '--password', 'secret'], stdout=subprocess.PIPE, text=True)
try:
    port = re.search(r':(\d+)\s*$', sim.stdout.readline()).group(1)
    env = dict(os.environ, ZORVANE_CAMERA_SIM='127.0.0.1:' + port)
    sys.exit(subprocess.run(command, env=env).returncode)
finally:
    sim.kill()
    sim.wait()
