#!/usr/bin/python3
"""rtsp-sim: a live RTSP server on loopback, for the recorder's tests and its
benchmark. GStreamer's RTSP server, through PyGObject (python3-gi,
gir1.2-gst-rtsp-server-1.0, GStreamer's base, good, bad and ugly plugins);
run it with the system's Python 3.

Each mount is a live test picture at 30 frames a second with a key frame
every second, built when a client asks for it: every client gets a pipeline
of its own, which starts with a key frame and ends when the client leaves,
so an idle server costs nothing.

    /h264        H.264, 320x240
    /h265        H.265, 320x240
    /mjpeg       Motion JPEG, 320x240
    /h264-pcmu   H.264 with G.711 mu-law sound (8 kHz mono)
    /h264-aac    H.264 with AAC sound (16 kHz mono), when voaacenc is there
    /freeze      H.264 that stops sending anything (RTP and RTCP) 3 s after
                 it starts, the connection left open
    /drop        H.264 whose connection the server closes 3 s after it starts
    /mute        H.264 with G.711 whose picture stops 3 s after it starts, the
                 sound going on
    /no-sound    H.264 with G.711 announced, and no sound sent after its first
                 packet
    /h264-4mbit  H.264, 1280x720 at about 4 Mbit/s

It binds the given port (0: a free one) on 127.0.0.1, prints one line
    rtsp-sim listening on rtsp://HOST:PORT
and serves until it is stopped (SIGTERM or SIGINT). With --digest or --basic
USER:PASSWORD every mount asks for that authentication.

    rtsp_sim.py --check   prints what is missing to run it and exits 1, or
                          exits 0 when it can run
"""
import argparse
import signal
import sys

FRAME_RATE = 30
KEY_FRAME_INTERVAL = FRAME_RATE  # one a second
SMALL = (320, 240)
LARGE = (1280, 720)
SMALL_BITRATE_KBIT = 500
LARGE_BITRATE_KBIT = 4000
STALL_AFTER_NS = 3 * 1000000000
CLOSE_AFTER_NS = 3 * 1000000000

# The elements the mounts are made of; a missing one is named by --check.
REQUIRED_ELEMENTS = ['videotestsrc', 'x264enc', 'rtph264pay', 'x265enc', 'rtph265pay',
                  'jpegenc', 'rtpjpegpay', 'audiotestsrc', 'mulawenc', 'rtppcmupay',
                  'audioconvert', 'audioresample']
AAC_ELEMENTS = ['voaacenc', 'rtpmp4gpay']


def load_gstreamer():
    """GLib, Gst, GstRtsp and GstRtspServer, or raises ImportError or
    ValueError naming what is missing."""
    import gi
    gi.require_version('Gst', '1.0')
    gi.require_version('GstRtsp', '1.0')
    gi.require_version('GstRtspServer', '1.0')
    from gi.repository import GLib, Gst, GstRtsp, GstRtspServer
    Gst.init(None)
    return GLib, Gst, GstRtsp, GstRtspServer


def missing_parts():
    """What stops the server from running here, as text, or ''."""
    try:
        _, Gst, _, _ = load_gstreamer()
    except (ImportError, ValueError) as error:
        return ('GStreamer through Python is missing (python3-gi, gir1.2-gstreamer-1.0, '
                'gir1.2-gst-rtsp-server-1.0): %s' % error)
    absent = [name for name in REQUIRED_ELEMENTS if Gst.ElementFactory.find(name) is None]
    if absent:
        return ('GStreamer elements missing (gstreamer1.0-plugins-base, -good, -bad, -ugly): %s'
                % ' '.join(absent))
    return ''


def video(size, bitrate_kbit, codec='h264'):
    """A live test picture encoded with codec and payloaded as pay0."""
    width, height = size
    source = ('videotestsrc is-live=true pattern=smpte horizontal-speed=4 '
              '! video/x-raw,format=I420,width=%d,height=%d,framerate=%d/1 '
              % (width, height, FRAME_RATE))
    if codec == 'h264':
        # One slice a frame (threads=1): zerolatency's sliced threads cut a
        # frame in slices, rtph264pay repeats SPS and PPS before each IDR
        # slice, and FFmpeg then takes the second slice for a frame of its own.
        return source + ('! x264enc tune=zerolatency speed-preset=ultrafast threads=1 bitrate=%d '
                         'key-int-max=%d ! rtph264pay name=pay0 pt=96 config-interval=-1'
                         % (bitrate_kbit, KEY_FRAME_INTERVAL))
    if codec == 'h265':
        return source + ('! x265enc tune=zerolatency speed-preset=ultrafast bitrate=%d '
                         'key-int-max=%d ! rtph265pay name=pay0 pt=96 config-interval=-1'
                         % (bitrate_kbit, KEY_FRAME_INTERVAL))
    if codec == 'mjpeg':
        return source + '! jpegenc quality=60 ! rtpjpegpay name=pay0 pt=26'
    raise ValueError(codec)


PCMU = ('audiotestsrc is-live=true wave=sine freq=440 volume=0.3 '
        '! audio/x-raw,rate=8000,channels=1 ! mulawenc ! rtppcmupay name=pay1 pt=0')
AAC = ('audiotestsrc is-live=true wave=sine freq=440 volume=0.3 ! audioconvert ! audioresample '
       '! audio/x-raw,rate=16000,channels=1 ! voaacenc bitrate=32000 '
       '! rtpmp4gpay name=pay1 pt=97')


def mounts(Gst):
    """Path -> (launch description, kind): kind is '' for a plain stream,
    'freeze', 'drop', 'mute' or 'no-sound'."""
    h264 = video(SMALL, SMALL_BITRATE_KBIT)
    table = {
        '/h264': (h264, ''),
        '/h265': (video(SMALL, SMALL_BITRATE_KBIT, 'h265'), ''),
        '/mjpeg': (video(SMALL, 0, 'mjpeg'), ''),
        '/h264-pcmu': (h264 + ' ' + PCMU, ''),
        '/freeze': (h264, 'freeze'),
        '/drop': (h264, 'drop'),
        '/mute': (h264 + ' ' + PCMU, 'mute'),
        '/no-sound': (h264 + ' ' + PCMU, 'no-sound'),
        '/h264-4mbit': (video(LARGE, LARGE_BITRATE_KBIT), ''),
    }
    if all(Gst.ElementFactory.find(name) for name in AAC_ELEMENTS):
        table['/h264-aac'] = (h264 + ' ' + AAC, '')
    return table


def when_past(Gst, media, limit_ns, past, payloader='pay0'):
    """Calls past() for every buffer that reaches a payloader of media (the
    picture's, unless named) once limit_ns of stream time has passed since
    its first one, and drops the buffer when past() says so. The probe sits on the payloader's sink:
    its source pushes lists, which a buffer probe does not see."""
    first = []

    def probe(_, info):
        buffer = info.get_buffer()
        if buffer is None or buffer.pts == Gst.CLOCK_TIME_NONE:
            return Gst.PadProbeReturn.OK
        if not first:
            first.append(buffer.pts)
        if buffer.pts - first[0] >= limit_ns and past():
            return Gst.PadProbeReturn.DROP
        return Gst.PadProbeReturn.OK

    pad = media.get_element().get_by_name(payloader).get_static_pad('sink')
    pad.add_probe(Gst.PadProbeType.BUFFER, probe)


def close_when_past(GLib, Gst, media, limit_ns):
    """Closes the connection of the client that plays media (see
    on_play_close) once limit_ns of stream time has passed. The media is the
    client's own: its factory is not shared. Nothing here holds the media,
    which would keep its pipeline alive after the client left."""
    closing = media.closing = {'client': None, 'due': False}

    def close():
        client, closing['client'] = closing['client'], None
        if client is not None:
            client.close()
        return False

    def past():
        if not closing['due']:
            closing['due'] = True
            GLib.idle_add(close)
        return False

    when_past(Gst, media, limit_ns, past)


def on_play_close(client, context):
    """Hands the playing client to close_when_past(), until it leaves."""
    media = context.sessmedia.get_media() if context.sessmedia else None
    closing = getattr(media, 'closing', None)
    if closing is None:
        return
    if closing['due']:
        client.close()
        return
    closing['client'] = client
    client.connect('closed', lambda *_: closing.update(client=None))


def make_server(GLib, Gst, GstRtsp, GstRtspServer, host, port, auth_method, credentials):
    server = GstRtspServer.RTSPServer()
    server.set_address(host)
    server.set_service(str(port))

    role = 'user'
    if auth_method:
        user, _, password = credentials.partition(':')
        auth = GstRtspServer.RTSPAuth()
        token = GstRtspServer.RTSPToken()
        token.set_string('media.factory.role', role)
        if auth_method == 'digest':
            auth.set_supported_methods(GstRtsp.RTSPAuthMethod.DIGEST)
            auth.add_digest(user, password, token)
        else:
            auth.set_supported_methods(GstRtsp.RTSPAuthMethod.BASIC)
            auth.add_basic(GstRtspServer.RTSPAuth.make_basic(user, password), token)
        server.set_auth(auth)

    points = server.get_mount_points()
    for path, (launch, kind) in mounts(Gst).items():
        factory = GstRtspServer.RTSPMediaFactory()
        factory.set_launch('( %s )' % launch)
        factory.set_shared(False)
        if auth_method:
            factory.add_role_from_structure(Gst.Structure.from_string(
                '%s, media.factory.access=(boolean)true, '
                'media.factory.construct=(boolean)true' % role)[0])
        if kind == 'freeze':
            # Nothing at all once stalled: RTCP reports would look like life.
            factory.set_enable_rtcp(False)
            factory.connect('media-configure', lambda _, media: when_past(
                Gst, media, STALL_AFTER_NS, lambda: True))
        elif kind == 'mute':
            factory.connect('media-configure', lambda _, media: when_past(
                Gst, media, STALL_AFTER_NS, lambda: True))
        elif kind == 'no-sound':
            # The first sound buffer goes, so that its format is announced;
            # none after it.
            factory.connect('media-configure', lambda _, media: when_past(
                Gst, media, 1, lambda: True, 'pay1'))
        elif kind == 'drop':
            factory.connect('media-configure', lambda _, media: close_when_past(
                GLib, Gst, media, CLOSE_AFTER_NS))
        points.add_factory(path, factory)

    server.connect('client-connected',
                   lambda _, client: client.connect('play-request', on_play_close))
    return server


def main():
    parser = argparse.ArgumentParser(description='A live RTSP server on loopback.')
    parser.add_argument('--host', default='127.0.0.1')
    parser.add_argument('--port', type=int, default=0)
    parser.add_argument('--digest', metavar='USER:PASSWORD',
                        help='ask for Digest authentication on every mount')
    parser.add_argument('--basic', metavar='USER:PASSWORD',
                        help='ask for Basic authentication on every mount')
    parser.add_argument('--check', action='store_true',
                        help='say what is missing to run here, and exit')
    args = parser.parse_args()
    if args.digest and args.basic:
        parser.error('--digest and --basic exclude each other')

    missing = missing_parts()
    if args.check or missing:
        if missing:
            print('rtsp-sim cannot run: ' + missing, file=sys.stderr)
        sys.exit(1 if missing else 0)

    GLib, Gst, GstRtsp, GstRtspServer = load_gstreamer()
    method = 'digest' if args.digest else 'basic' if args.basic else ''
    server = make_server(GLib, Gst, GstRtsp, GstRtspServer, args.host, args.port, method,
                         args.digest or args.basic or '')
    if server.attach(None) == 0:
        print('rtsp-sim: cannot listen on %s:%d' % (args.host, args.port), file=sys.stderr)
        sys.exit(1)

    loop = GLib.MainLoop()
    for number in (signal.SIGTERM, signal.SIGINT):
        GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, number, lambda *_: loop.quit() or False)
    print('rtsp-sim listening on rtsp://%s:%d' % (args.host, server.get_bound_port()), flush=True)
    loop.run()


if __name__ == '__main__':
    main()
