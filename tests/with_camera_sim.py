#!/usr/bin/env python3
"""Runs a command beside a camera-sim on 127.0.0.1 (user admin, password
secret), named to it in ZORVANE_CAMERA_SIM as "127.0.0.1:PORT", and a second
one on 127.0.0.2 that stands for another host (any address a hostile answer
may lead to; it asks for Basic and records what reaches it), named in
ZORVANE_OTHER_HOST. Where GStreamer's RTSP server can run, also an rtsp-sim
on 127.0.0.1 asking for Digest with the same user and password, named in
ZORVANE_RTSP_SIM as "127.0.0.1:PORT"; where it cannot, ZORVANE_RTSP_SIM is
unset and ZORVANE_RTSP_SIM_MISSING says why. All stop when the command ends.
Exits with the command's status.

    with_camera_sim.py CAMERA_SIM COMMAND [ARGS...]
"""
import contextlib
import os
import subprocess
import sys

from camera_sim_process import CameraSim
from rtsp_sim_process import RtspSim

RTSP_SIM = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tools', 'rtsp-sim',
                        'rtsp_sim.py')

sim_script, command = sys.argv[1], sys.argv[2:]
env = dict(os.environ)
env.pop('ZORVANE_RTSP_SIM', None)
env.pop('ZORVANE_RTSP_SIM_MISSING', None)
with contextlib.ExitStack() as running:
    sim = running.enter_context(CameraSim(sim_script))
    other = running.enter_context(CameraSim(sim_script, '--snapshot-auth', 'basic',
                                            host='127.0.0.2'))
    env.update(ZORVANE_CAMERA_SIM='127.0.0.1:' + sim.port,
               ZORVANE_OTHER_HOST='127.0.0.2:' + other.port)
    missing = RtspSim.missing(RTSP_SIM)
    if missing:
        env['ZORVANE_RTSP_SIM_MISSING'] = missing
    else:
        env['ZORVANE_RTSP_SIM'] = running.enter_context(RtspSim(RTSP_SIM)).address
    status = subprocess.run(command, env=env).returncode
sys.exit(status)
