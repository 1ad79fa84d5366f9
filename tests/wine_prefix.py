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

_SHARED = ('.dll', '.exe', '.drv', '.sys', '.ocx', '.cpl', '.acm', '.ax', '.tlb', '.nls',
           '.mui', '.ttf', '.ds', '.msstyles', '.vxd', '.dll16', '.exe16', '.drv16', '.mod16')


def shared_prefix():
    return os.environ.get('WINEPREFIX') or os.path.join(
        os.environ.get('XDG_CACHE_HOME') or os.path.expanduser('~/.cache'), 'zorvane', 'wine')


def _link_or_copy(source, target):
    if source.lower().endswith(_SHARED):
        try:
            os.link(source, target)
            return target
        except OSError:
            pass
    return shutil.copy2(source, target)


def own_prefix(wine_run, folder):
    """A copy of the shared prefix at folder/prefix; returns its path."""
    env = dict(os.environ)
    env.pop('DISPLAY', None)
    subprocess.run([wine_run, 'cmd', '/c', 'exit'], check=True, capture_output=True, env=env)
    own = os.path.join(folder, 'prefix')
    shutil.copytree(shared_prefix(), own, symlinks=True, copy_function=_link_or_copy,
                    ignore=shutil.ignore_patterns('wineserver', '*.lock'))
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
