"""camera-sim as a process of a scripted test: started on a free port with
the user admin and the password secret (on 127.0.0.1, or on an address of a
network namespace), its port read from the line it prints, killed when the
test leaves it.

    with CameraSim(sim_script, '--snapshot-auth', 'digest') as sim:
        ... sim.port ...
"""
import re
import subprocess
import sys


class CameraSim:
    def __init__(self, sim_script, *extra, host='127.0.0.1', netns=None):
        self.host = host
        self.inside = ['ip', 'netns', 'exec', netns] if netns else []
        self.proc = subprocess.Popen(
            self.inside + [sys.executable, sim_script, '--host', host, '--user', 'admin',
                           '--password', 'secret', *extra],
            stdout=subprocess.PIPE, text=True)
        line = self.proc.stdout.readline()
        found = re.search(r':(\d+)\s*$', line)
        if not found:
            self.stop()
            raise RuntimeError('camera-sim did not start: %r' % line)
        self.port = found.group(1)

    def configure(self, settings):
        """Merges settings (a JSON text) into the simulator's configuration."""
        post = ('import sys, urllib.request; urllib.request.urlopen(urllib.request.Request('
                'sys.argv[1], data=sys.argv[2].encode(), method="POST"), timeout=10).read()')
        subprocess.run(self.inside + [sys.executable, '-c', post,
                                      'http://%s:%s/sim/config' % (self.host, self.port), settings],
                       check=True)

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
        self.proc.wait()
        self.proc.stdout.close()

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.stop()
