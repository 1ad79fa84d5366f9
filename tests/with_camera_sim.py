#!/usr/bin/env python3
"""Runs a command beside a camera-sim on 127.0.0.1 (user admin, password
secret), named to it in ZORVANE_CAMERA_SIM as "127.0.0.1:PORT", and a second
one on 127.0.0.2 that stands for another host (any address a hostile answer
may lead to; it asks for Basic and records what reaches it), named in
ZORVANE_OTHER_HOST. Both stop when the command ends. Exits with the
command's status.

    with_camera_sim.py CAMERA_SIM COMMAND [ARGS...]
"""
import os
import subprocess
import sys

from camera_sim_process import CameraSim

sim_script, command = sys.argv[1], sys.argv[2:]
with CameraSim(sim_script) as sim, \
        CameraSim(sim_script, '--snapshot-auth', 'basic', host='127.0.0.2') as other:
    env = dict(os.environ, ZORVANE_CAMERA_SIM='127.0.0.1:' + sim.port,
               ZORVANE_OTHER_HOST='127.0.0.2:' + other.port)
    status = subprocess.run(command, env=env).returncode
sys.exit(status)
