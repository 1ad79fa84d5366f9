"""A private network for the scripted tests: 198.51.100.0/24 on a bridge
inside a network namespace of its own, hosts as namespaces joined to it by
veth pairs, so no packet leaves the machine. Needs root and iproute2; every
namespace and every process started in one goes when the network is left.

    with PrivateNetwork() as net:
        cam = net.camera(sim_script, 'Gate-4K', '198.51.100.11')
        client = net.add_host('client', '198.51.100.2')
        subprocess.run(net.inside(client) + [...])
"""
import os
import shutil
import subprocess

from camera_sim_process import CameraSim


def cannot_run():
    """Why such a network cannot be made here; empty when it can."""
    if os.geteuid() != 0:
        return 'the private network needs root'
    if shutil.which('ip') is None:
        return 'the private network needs iproute2'
    return ''


def _ip(*args):
    subprocess.run(['ip', *args], check=True)


class PrivateNetwork:
    def __init__(self):
        self.prefix = 'zvn%d' % os.getpid()
        self.namespaces, self.cameras = [], []
        self.links = 0
        try:
            self.lan = self._namespace('lan')
            _ip('-n', self.lan, 'link', 'add', 'br0', 'type', 'bridge', 'mcast_snooping', '0')
            _ip('-n', self.lan, 'link', 'set', 'br0', 'up')
        except BaseException:
            self.close()
            raise

    def _namespace(self, name):
        ns = '%s-%s' % (self.prefix, name)
        _ip('netns', 'add', ns)
        self.namespaces.append(ns)
        _ip('-n', ns, 'link', 'set', 'lo', 'up')
        return ns

    def add_host(self, name, address=None):
        """A host's namespace with address/24 on the bridge (multicast routed
        there too), or with loopback alone when address is None."""
        ns = self._namespace(name)
        if address is None:
            return ns
        inside, outside = '%s-%d' % (self.prefix, self.links), '%s-%db' % (self.prefix, self.links)
        self.links += 1
        _ip('link', 'add', inside, 'type', 'veth', 'peer', 'name', outside)
        _ip('link', 'set', inside, 'netns', ns)
        _ip('link', 'set', outside, 'netns', self.lan)
        _ip('-n', self.lan, 'link', 'set', outside, 'master', 'br0', 'up')
        _ip('-n', ns, 'addr', 'add', address + '/24', 'dev', inside)
        _ip('-n', ns, 'link', 'set', inside, 'up')
        _ip('-n', ns, 'route', 'add', '224.0.0.0/4', 'dev', inside)
        return ns

    @staticmethod
    def inside(ns):
        """The command prefix that runs a program in the namespace."""
        return ['ip', 'netns', 'exec', ns]

    def camera(self, sim_script, name, address, *extra):
        """camera-sim on a host of its own at address, answering probes there,
        with the model name; extra arguments after the defaults (a later
        "--password" wins)."""
        ns = self.add_host(name.lower(), address)
        sim = CameraSim(sim_script, '--discovery', address, '--model', name, *extra,
                        host=address, netns=ns)
        self.cameras.append(sim)
        return sim

    def close(self):
        for sim in self.cameras:
            sim.stop()
        for ns in reversed(self.namespaces):
            subprocess.run(['ip', 'netns', 'del', ns], capture_output=True)
        self.namespaces, self.cameras = [], []

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.close()
