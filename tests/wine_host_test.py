#!/usr/bin/env python3
"""The Windows add-in under Wine, driven through the Windows command-line host
as a user checks a camera: photos from camera-sim on loopback (HTTP Digest
for the snapshot, WS-Security for SOAP), into a file with a Cyrillic name and
over an older photo, a wrong password, the window actions, and the log in
the data folder.

    wine_host_test.py WINE_RUN ZORVANE_EXE ZORVANE_DLL CAMERA_SIM
"""
import os
import shutil
import subprocess
import sys
import tempfile

from camera_sim_process import CameraSim

wine_run, host, dll, sim_script = sys.argv[1:5]
failures = []


def check(ok, what, detail=''):
    print(('ok   ' if ok else 'FAIL ') + what)
    if not ok:
        if detail:
            print(detail)
        failures.append(what)


def windows_path(path):
    """A Unix name as a Windows program under Wine reaches it (drive Z:)."""
    return 'Z:' + path.replace('/', '\\')


def run_host(args, env_extra=None, stdin=None):
    env = dict(os.environ)
    env.update(env_extra or {})
    r = subprocess.run([wine_run, host, '--lib', windows_path(dll), *args], input=stdin,
                       capture_output=True, timeout=240, env=env)
    return r.returncode, r.stdout.decode('utf-8', 'replace') + r.stderr.decode('utf-8', 'replace')


work = tempfile.mkdtemp(prefix='zorvane-wine-')
try:
    data = os.path.join(work, 'data')
    env = {'ZORVANE_DATA_DIR': windows_path(data)}
    snapshot = open(os.path.join(os.path.dirname(sim_script), 'snapshot.jpg'), 'rb').read()
    folder = os.path.join(work, 'снимки')
    os.mkdir(folder)
    photo = os.path.join(folder, 'весы №1.jpg')
    with CameraSim(sim_script, '--snapshot-auth', 'digest') as sim:
        camera = ['--host', '127.0.0.1', '--port', sim.port, '--login', 'admin']
        code, out = run_host(['photo', *camera, '--password', 'secret',
                              '-o', windows_path(photo)], env)
        got = open(photo, 'rb').read() if os.path.exists(photo) else b''
        check(code == 0 and got == snapshot,
              'a photo through HTTP Digest into a file with a Cyrillic name', out)

        with open(photo, 'wb') as f:
            f.write(b'an older photo')
        code, out = run_host(['photo', *camera, '--password', 'secret',
                              '-o', windows_path(photo)], env)
        check(code == 0 and open(photo, 'rb').read() == snapshot
              and os.listdir(folder) == ['весы №1.jpg'],
              'the next photo replaces the older one, nothing left beside it', out)

        # Names in the "\\?\" form and names beyond MAX_PATH (260 characters).
        deep = os.path.join(folder, *(['папка-с-длинным-именем-%d' % i for i in range(10)]))
        os.makedirs(deep)
        for target in ('\\\\?\\' + windows_path(os.path.join(folder, 'длинная форма.jpg')),
                       windows_path(os.path.join(deep, 'фото.jpg'))):
            code, out = run_host(['photo', *camera, '--password', 'secret', '-o', target], env)
            got = os.path.join(folder, 'длинная форма.jpg') if target.startswith('\\\\?') \
                else os.path.join(deep, 'фото.jpg')
            check(code == 0 and os.path.exists(got) and open(got, 'rb').read() == snapshot
                  and not [f for f in os.listdir(os.path.dirname(got)) if f.startswith('.zorvane')],
                  'a photo to %s (%d characters)' % (target[:24] + '…', len(target)), out)

        code, out = run_host(['photo', *camera, '--password', 'wrong',
                              '-o', windows_path(photo)], env)
        check(code != 0 and open(photo, 'rb').read() == snapshot and 'secret' not in out,
              'a wrong password fails, the photo stays, no password shown', out)

    code, out = run_host(['script', '-'], dict(env, DISPLAY=''), stdin=(
        'set LogEnabled b:true\n'
        'call ВыполнитьДополнительноеДействие s:ViewLog\n'
        'call GetLastError out\n').encode('utf-8'))
    check(code == 0 and
          'Окно «Просмотр лога» не может быть показано: нет графического дисплея' in out,
          'without a display the log viewer says so and the host goes on', out)
    logs = []
    for root, _, files in os.walk(data):
        logs += [os.path.join(root, f) for f in files if f.endswith('.log')]
    check(len(logs) == 1 and 'Telvask' in logs[0] and 'zorvane' in logs[0]
          and 'Start log' in open(logs[0], encoding='utf-8', errors='replace').read(),
          'the log is written under the data folder, Telvask\\zorvane', str(logs))
finally:
    shutil.rmtree(work, ignore_errors=True)

print('%d failed' % len(failures) if failures else 'all passed')
sys.exit(1 if failures else 0)
