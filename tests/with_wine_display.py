#!/usr/bin/env python3
"""Runs a Windows test program under Wine on a virtual X display of its own
(Xvfb on a free display number), or on none, with a Wine prefix of its own and a
stand-in for the user's browser; on request inside a private network
(198.51.100.0/24, see private_network.py) with simulated cameras, or in a
network namespace that has loopback alone. Everything it started goes when
the program ends: the Wine programs and wineserver of the prefix, the
cameras, the namespaces, the display, the prefix. Exits with the program's
status, or 77 (skipped) with the reason printed when Xvfb, root or iproute2
is missing.

    with_wine_display.py [OPTIONS] WINE_RUN PROGRAM [ARGS...]

    --network              the program runs on the private network's client
                           host 198.51.100.2 (implied by --camera)
    --camera NAME=ADDRESS[,SIM-ARG...]
                           a camera-sim answering probes at ADDRESS with the
                           model NAME, user admin and password secret, then
                           SIM-ARGs ("--password,other" wins)
    --camera-sim PATH      tools/camera-sim/camera_sim.py, for --camera
    --camera-config JSON   merged into every camera's settings once it runs
    --no-address           the program runs in a network namespace with
                           loopback alone
    --no-display           no display at all (DISPLAY unset for Wine and its
                           wineserver), to see the windows refused
    --time-limit SECONDS   the program is ended after that long (default 540)

What the program is given, besides DISPLAY and WINEPREFIX:
    ZORVANE_TEST_NETWORK       "198.51.100.2" on the private network,
                               "loopback" in the namespace without addresses
    ZORVANE_TEST_CAMERAS       "NAME=ADDRESS:PORT" per camera, ";" between
    ZORVANE_TEST_DISPLAY       the display's name, or "none" with --no-display
    ZORVANE_TEST_BROWSER_LOG   a file (as Z:\\...) where the stand-in xdg-open,
                               first on the Unix PATH, adds each address it
                               is asked to open, one a line (web pages open
                               with winebrowser, which calls xdg-open)
"""
import argparse
import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import private_network  # noqa: E402
from private_network import PrivateNetwork  # noqa: E402
from wine_prefix import own_prefix, stop_prefix  # noqa: E402

CLIENT = '198.51.100.2'


def skip(reason):
    print('skipped: ' + reason)
    sys.exit(77)


def windows_path(path):
    return 'Z:' + path.replace('/', '\\')


class Display:
    """Xvfb on the first free display number, told back through -displayfd."""

    def __init__(self):
        read_end, write_end = os.pipe()
        self.proc = subprocess.Popen(
            ['Xvfb', '-displayfd', str(write_end), '-screen', '0', '1280x1024x24',
             '-nolisten', 'tcp', '-noreset'],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        number, end = b'', time.monotonic() + 30
        while not number.endswith(b'\n') and time.monotonic() < end:
            if select.select([read_end], [], [], 0.2)[0]:
                chunk = os.read(read_end, 32)
                if not chunk:
                    break
                number += chunk
        os.close(read_end)
        if not number.endswith(b'\n'):
            self.close()
            raise RuntimeError('Xvfb did not start')
        self.name = ':' + number.decode().strip()

    def close(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--network', action='store_true')
    parser.add_argument('--camera', action='append', default=[])
    parser.add_argument('--camera-sim')
    parser.add_argument('--camera-config')
    parser.add_argument('--no-address', action='store_true')
    parser.add_argument('--no-display', action='store_true')
    parser.add_argument('--time-limit', type=float, default=540)
    parser.add_argument('wine_run')
    parser.add_argument('command', nargs=argparse.REMAINDER)
    args = parser.parse_args()
    network = args.network or bool(args.camera)

    if shutil.which('Xvfb') is None and not args.no_display:
        skip('Xvfb is not installed (Debian package xvfb)')
    if network or args.no_address:
        reason = private_network.cannot_run()
        if reason:
            skip(reason)

    # ctest's time limit ends this script with SIGTERM: clean up all the same.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    work = tempfile.mkdtemp(prefix='zorvane-wine-display-')
    display = net = prefix = None
    inside = []
    status = 1
    try:
        env = dict(os.environ)
        env.pop('WAYLAND_DISPLAY', None)
        env.pop('DISPLAY', None)
        if not args.no_display:
            display = Display()
            env['DISPLAY'] = display.name
        env['ZORVANE_TEST_DISPLAY'] = display.name if display else 'none'

        # The user's browser: a stand-in that writes down what it was given.
        bin_dir = os.path.join(work, 'bin')
        os.mkdir(bin_dir)
        browser_log = os.path.join(work, 'browser.log')
        stand_in = os.path.join(bin_dir, 'xdg-open')
        with open(stand_in, 'w') as f:
            f.write('#!/bin/sh\nprintf "%%s\\n" "$*" >> "%s"\n' % browser_log)
        os.chmod(stand_in, 0o755)
        env['PATH'] = bin_dir + os.pathsep + env.get('PATH', '/usr/bin:/bin')
        env['ZORVANE_TEST_BROWSER_LOG'] = windows_path(browser_log)

        if network or args.no_address:
            net = PrivateNetwork()
            cameras = []
            for spec in args.camera:
                name_address, *extra = spec.split(',')
                name, address = name_address.split('=')
                sim = net.camera(args.camera_sim, name, address, *extra)
                if args.camera_config:
                    sim.configure(args.camera_config)
                cameras.append('%s=%s:%s' % (name, address, sim.port))
            env['ZORVANE_TEST_CAMERAS'] = ';'.join(cameras)
            if args.no_address:
                inside = net.inside(net.add_host('alone'))
                env['ZORVANE_TEST_NETWORK'] = 'loopback'
            else:
                inside = net.inside(net.add_host('client', CLIENT))
                env['ZORVANE_TEST_NETWORK'] = CLIENT

        prefix = own_prefix(args.wine_run, work)
        # No window manager runs on the display: Wine draws the windows'
        # frames and captions itself, so that screenshots show them.
        with open(os.path.join(prefix, 'user.reg'), 'a') as f:
            f.write('\n[Software\\\\Wine\\\\X11 Driver] 0\n"Decorated"="N"\n')
        # Web pages open with winebrowser, as in a prefix made with mshtml
        # (which registers the association; scripts/wine-run leaves it out).
        with open(os.path.join(prefix, 'system.reg'), 'a') as f:
            for extension in ('.htm', '.html'):
                f.write('\n[Software\\\\Classes\\\\%s] 0\n@="htmlfile"\n'
                        '"Content Type"="text/html"\n' % extension)
        env['WINEPREFIX'] = prefix
        started = time.monotonic()
        try:
            status = subprocess.run(inside + [args.wine_run, *args.command], env=env,
                                    timeout=args.time_limit).returncode
        except subprocess.TimeoutExpired:
            print('ended at the time limit of %g s' % args.time_limit)
        print('the program ran %.1f s on display %s' % (time.monotonic() - started,
                                                       env['ZORVANE_TEST_DISPLAY']))
    finally:
        if prefix:
            stop_prefix(prefix, inside)
        if net:
            net.close()
        if display:
            display.close()
        shutil.rmtree(work, ignore_errors=True)
    return status


if __name__ == '__main__':
    sys.exit(main())
