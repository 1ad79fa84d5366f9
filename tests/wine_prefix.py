"""A Wine prefix of a test's own, for programs that must not meet the shared
prefix's wineserver: one started in another network namespace (Wine follows
its wineserver's namespace, not the program's), or on another display.

The shared prefix (scripts/wine-run's) is made first if need be, then
copied: the large Windows binaries as hard links (Wine never writes them
in place), everything else, the registry included, as real copies.

    prefix = own_prefix(wine_run, folder)   # folder/prefix
    ... WINEPREFIX=prefix ...
    stop_prefix(prefix)                     # its wineserver and programs
"""
import os
import shutil
import subprocess
import time

_SHARED = ('.dll', '.exe', '.drv', '.sys', '.ocx', '.cpl', '.acm', '.ax', '.tlb', '.nls',
           '.mui', '.ttf', '.ds', '.msstyles', '.vxd', '.dll16', '.exe16', '.drv16', '.mod16')


def shared_prefix():
    return os.environ.get('WINEPREFIX') or os.path.join(
        os.environ.get('XDG_CACHE_HOME') or os.path.expanduser('~/.cache'), 'zorvane', 'wine')


def _copy(base, own):
    """The prefix's tree, as it is while other programs may use it: the
    temporary folders' contents are left out, a file gone meanwhile too."""
    for folder, dirs, files in os.walk(base):
        rel = os.path.relpath(folder, base)
        target = os.path.join(own, rel)
        os.makedirs(target, exist_ok=True)
        if os.path.basename(folder).lower() == 'temp':
            dirs[:] = []
            continue
        for name in list(dirs):
            if os.path.islink(os.path.join(folder, name)):
                dirs.remove(name)
                files.append(name)
        for name in files:
            source = os.path.join(folder, name)
            if rel == '.' and (name == 'wineserver' or name.endswith('.lock')):
                continue
            try:
                if os.path.islink(source):
                    os.symlink(os.readlink(source), os.path.join(target, name))
                    continue
                if name.lower().endswith(_SHARED):
                    try:
                        os.link(source, os.path.join(target, name))
                        continue
                    except FileNotFoundError:
                        raise
                    except OSError:
                        pass  # another file system: copied
                shutil.copy2(source, os.path.join(target, name))
            except FileNotFoundError:
                pass


def own_prefix(wine_run, folder):
    """A copy of the shared prefix at folder/prefix; returns its path."""
    env = dict(os.environ)
    env.pop('DISPLAY', None)
    # The shared prefix brought up first. A Wine server that the test before
    # is just ending can make one start fail: asked again, a moment later.
    for attempt in range(3):
        r = subprocess.run([wine_run, 'cmd', '/c', 'exit'], capture_output=True, env=env)
        if r.returncode == 0:
            break
        if attempt == 2:
            raise RuntimeError('Wine did not start in the shared prefix (%d): %s' % (
                r.returncode, r.stderr.decode('utf-8', 'replace')[-2000:]))
        time.sleep(2)
    own = os.path.join(folder, 'prefix')
    _copy(shared_prefix(), own)
    # Wine's own fonts (Marlett draws the caption buttons), which a prefix
    # made before fonts-wine was installed lacks.
    fonts, shipped = os.path.join(own, 'drive_c', 'windows', 'Fonts'), '/usr/share/wine/fonts'
    if os.path.isdir(fonts) and os.path.isdir(shipped):
        for name in os.listdir(shipped):
            if not os.path.exists(os.path.join(fonts, name)):
                shutil.copy2(os.path.join(shipped, name), fonts)
    return own


def stop_prefix(prefix, inside=()):
    """Ends every program of the prefix and its wineserver (run in the
    namespace given by the command prefix inside, where it was started)."""
    env = dict(os.environ, WINEPREFIX=prefix)
    subprocess.run([*inside, 'wineserver', '-k'], env=env, capture_output=True, timeout=60)
    subprocess.run([*inside, 'wineserver', '-w'], env=env, capture_output=True, timeout=60)
