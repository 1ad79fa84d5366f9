#!/usr/bin/env python3
"""Runs a command beside a camera-sim on 127.0.0.1 (user admin, password
secret), named to it in ZORVANE_CAMERA_SIM as "127.0.0.1:PORT"; the camera
stops when the command ends. Exits with the command's status.

    with_camera_sim.py CAMERA_SIM COMMAND [ARGS...]
"""
import os
import subprocess
import sys

from camera_sim_process import CameraSim

sim_script, command = sys.argv[1], sys.argv[2:]
with CameraSim(sim_script) as sim:
    env = dict(os.environ, ZORVANE_CAMERA_SIM='127.0.0.1:' + sim.port)
    status = subprocess.run(command, env=env).returncode
sys.exit(status)
