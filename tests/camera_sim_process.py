"""camera-sim as a process of a scripted test: started on a free loopback
port with the user admin and the password secret, its port read from the
line it prints, killed when the test leaves it.

    with CameraSim(sim_script, '--snapshot-auth', 'digest') as sim:
        ... sim.port ...
"""
import re
import subprocess
import sys


class CameraSim:
    def __init__(self, sim_script, *extra):
        self.proc = subprocess.Popen(
            [sys.executable, sim_script, '--host', '127.0.0.1', '--user', 'admin',
             '--password', 'secret', *extra],
            stdout=subprocess.PIPE, text=True)
        line = self.proc.stdout.readline()
        self.port = re.search(r':(\d+)\s*$', line).group(1)

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.proc.kill()
        self.proc.wait()
