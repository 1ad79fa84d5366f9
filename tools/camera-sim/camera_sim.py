#!/usr/bin/env python3
"""camera-sim: an ONVIF camera on loopback, for tests and the demo.

Serves the device service and the media service over HTTP, checks the
WS-Security UsernameToken like a real camera, hands out a JPEG snapshot with
no, Basic or Digest authentication, and can be told to misbehave (delays,
hangs, HTML pages, SOAP faults, empty bodies, redirect chains, huge or slow
bodies, answers that stall midway, a wrong clock) or behave as other ONVIF
servers do (the media service elsewhere, no WS-Security at all, actions
open to anyone or broken, only the Media2 service). Python 3 standard
library only.

Media: GetProfiles, GetSnapshotUri and GetStreamUri of the media service
(ver10) and of the Media2 service (ver20, at --media2-path). GetStreamUri
answers the address --stream-uri gives (default rtsp://HOST:554/live/TOKEN;
settable at run time as "stream_uri"; "stream_uri_element": false leaves the
Uri out). With --media2-only (or "media2_only": true) the camera has the
Media2 service alone: GetCapabilities names no media service, GetServices
names only Media2, and the older media actions are answered with the fault
ActionNotSupported.

It binds the given port (0: a free one), prints one line
    camera-sim listening on http://HOST:PORT
and serves until it is stopped (SIGTERM or SIGINT).

Control while running (JSON over HTTP, for tests):
    POST /sim/config    merge settings, e.g. {"fault": "delay", "delay": 3}
    GET  /sim/requests  the requests received so far (method, path, headers, body)
    GET  /sim/requests.txt  the same as text blocks
    POST /sim/reset     forget the requests and every fault
"""
import argparse
import base64
import datetime
import hashlib
import json
import os
import re
import secrets
import random
import signal
import socket
import struct
import sys
import uuid
import threading
import time
import xml.etree.ElementTree as ET
import socketserver
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

HERE = os.path.dirname(os.path.abspath(__file__))

SOAP12 = "http://www.w3.org/2003/05/soap-envelope"

DEFAULT_PROFILES = """<?xml version="1.0" encoding="UTF-8"?>
<env:Envelope xmlns:env="http://www.w3.org/2003/05/soap-envelope" xmlns:trt="http://www.onvif.org/ver10/media/wsdl" xmlns:tt="http://www.onvif.org/ver10/schema">
<env:Body><trt:GetProfilesResponse>
<trt:Profiles fixed="true" token="Profile_1"><tt:Name>mainStream</tt:Name>
<tt:VideoSourceConfiguration token="VideoSourceToken"><tt:Name>VideoSourceConfig</tt:Name><tt:UseCount>2</tt:UseCount><tt:SourceToken>VideoSource_1</tt:SourceToken><tt:Bounds x="0" y="0" width="1920" height="1080"></tt:Bounds></tt:VideoSourceConfiguration>
<tt:VideoEncoderConfiguration token="VideoEncoderToken_1"><tt:Name>VideoEncoder_1</tt:Name><tt:UseCount>1</tt:UseCount><tt:Encoding>H264</tt:Encoding><tt:Resolution><tt:Width>1920</tt:Width><tt:Height>1080</tt:Height></tt:Resolution><tt:Quality>4.000000</tt:Quality><tt:RateControl><tt:FrameRateLimit>25</tt:FrameRateLimit><tt:EncodingInterval>1</tt:EncodingInterval><tt:BitrateLimit>4096</tt:BitrateLimit></tt:RateControl><tt:H264><tt:GovLength>50</tt:GovLength><tt:H264Profile>Main</tt:H264Profile></tt:H264><tt:Multicast><tt:Address><tt:Type>IPv4</tt:Type><tt:IPv4Address>0.0.0.0</tt:IPv4Address></tt:Address><tt:Port>8600</tt:Port><tt:TTL>128</tt:TTL><tt:AutoStart>false</tt:AutoStart></tt:Multicast><tt:SessionTimeout>PT5S</tt:SessionTimeout></tt:VideoEncoderConfiguration>
</trt:Profiles>
<trt:Profiles fixed="true" token="Profile_2"><tt:Name>subStream</tt:Name>
<tt:VideoSourceConfiguration token="VideoSourceToken"><tt:Name>VideoSourceConfig</tt:Name><tt:UseCount>2</tt:UseCount><tt:SourceToken>VideoSource_1</tt:SourceToken><tt:Bounds x="0" y="0" width="1920" height="1080"></tt:Bounds></tt:VideoSourceConfiguration>
<tt:VideoEncoderConfiguration token="VideoEncoderToken_2"><tt:Name>VideoEncoder_2</tt:Name><tt:UseCount>1</tt:UseCount><tt:Encoding>H264</tt:Encoding><tt:Resolution><tt:Width>640</tt:Width><tt:Height>360</tt:Height></tt:Resolution><tt:Quality>3.000000</tt:Quality><tt:RateControl><tt:FrameRateLimit>15</tt:FrameRateLimit><tt:EncodingInterval>1</tt:EncodingInterval><tt:BitrateLimit>512</tt:BitrateLimit></tt:RateControl><tt:H264><tt:GovLength>30</tt:GovLength><tt:H264Profile>Baseline</tt:H264Profile></tt:H264><tt:Multicast><tt:Address><tt:Type>IPv4</tt:Type><tt:IPv4Address>0.0.0.0</tt:IPv4Address></tt:Address><tt:Port>8606</tt:Port><tt:TTL>128</tt:TTL><tt:AutoStart>false</tt:AutoStart></tt:Multicast><tt:SessionTimeout>PT5S</tt:SessionTimeout></tt:VideoEncoderConfiguration>
</trt:Profiles>
</trt:GetProfilesResponse></env:Body></env:Envelope>"""

ENVELOPE = ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<env:Envelope xmlns:env="http://www.w3.org/2003/05/soap-envelope" '
            'xmlns:tds="http://www.onvif.org/ver10/device/wsdl" '
            'xmlns:trt="http://www.onvif.org/ver10/media/wsdl" '
            'xmlns:tr2="http://www.onvif.org/ver20/media/wsdl" '
            'xmlns:tt="http://www.onvif.org/ver10/schema" '
            'xmlns:ter="http://www.onvif.org/ver10/error">'
            '<env:Body>{body}</env:Body></env:Envelope>')

MEDIA2_NAMESPACE = 'http://www.onvif.org/ver20/media/wsdl'

# The default profiles as the Media2 service describes them.
MEDIA2_PROFILES = ''.join(
    '<tr2:Profiles token="{0}" fixed="true"><tr2:Name>{1}</tr2:Name><tr2:Configurations>'
    '<tr2:VideoSource token="VideoSourceToken"><tt:Name>VideoSourceConfig</tt:Name>'
    '<tt:UseCount>2</tt:UseCount><tt:SourceToken>VideoSource_1</tt:SourceToken>'
    '<tt:Bounds x="0" y="0" width="1920" height="1080"></tt:Bounds></tr2:VideoSource>'
    '<tr2:VideoEncoder token="VideoEncoderToken_{2}" GovLength="{5}" Profile="Main">'
    '<tt:Name>VideoEncoder_{2}</tt:Name><tt:UseCount>1</tt:UseCount><tt:Encoding>H264</tt:Encoding>'
    '<tt:Resolution><tt:Width>{3}</tt:Width><tt:Height>{4}</tt:Height></tt:Resolution>'
    '<tt:RateControl ConstantBitRate="false"><tt:FrameRateLimit>25.0</tt:FrameRateLimit>'
    '<tt:BitrateLimit>4096</tt:BitrateLimit></tt:RateControl><tt:Quality>4</tt:Quality>'
    '</tr2:VideoEncoder></tr2:Configurations></tr2:Profiles>'.format(*p)
    for p in (('Profile_1', 'mainStream', 1, 1920, 1080, 50), ('Profile_2', 'subStream', 2, 640, 360, 30)))

HTML_PAGE = ("<!DOCTYPE html>\n<html><head><title>Document Error: Unauthorized</title></head>\n"
             "<body><h2>Access Error: 401 -- Unauthorized</h2></body>\n</html>\n")


def soap_fault(code, subcode, reason):
    sub = '<env:Subcode><env:Value>{}</env:Value></env:Subcode>'.format(subcode) if subcode else ''
    return ENVELOPE.format(body=(
        '<env:Fault><env:Code><env:Value>env:{}</env:Value>{}</env:Code>'
        '<env:Reason><env:Text xml:lang="en">{}</env:Text></env:Reason>'
        '</env:Fault>').format(code, sub, reason))


def must_understand(element):
    for name, value in element.attrib.items():
        if local(name) == 'mustUnderstand' and value.strip() in ('1', 'true'):
            return True
    return False


def local(tag):
    return tag.rsplit('}', 1)[-1]


def find_local(root, name):
    for element in root.iter():
        if local(element.tag) == name:
            return element
    return None


def parse_created(text):
    text = text.strip()
    match = re.match(r'^(\d{4})-(\d\d)-(\d\d)T(\d\d):(\d\d):(\d\d)(\.\d+)?(Z|[+-]\d\d:\d\d)?$', text)
    if not match:
        return None
    y, mo, d, h, mi, s = (int(match.group(i)) for i in range(1, 7))
    fraction = float(match.group(7) or 0)
    zone = match.group(8) or 'Z'
    value = datetime.datetime(y, mo, d, h, mi, s, tzinfo=datetime.timezone.utc)
    if zone != 'Z':
        sign = 1 if zone[0] == '+' else -1
        value -= sign * datetime.timedelta(hours=int(zone[1:3]), minutes=int(zone[4:6]))
    return value.timestamp() + fraction


class Camera:
    """The camera's settings and state; shared by the request threads."""

    def __init__(self, args):
        self.lock = threading.Lock()
        self.args = args
        self.requests = []
        self.stop = threading.Event()
        self.digest_nonces = {}     # nonce -> {'uses': successful uses, 'nc': last nc}
        self.snapshot_tokens = {}   # token -> downloads left
        self.reset()
        self.profiles = DEFAULT_PROFILES.encode()
        if args.profiles:
            with open(args.profiles, 'rb') as f:
                self.profiles = f.read()
        with open(args.snapshot, 'rb') as f:
            self.snapshot = f.read()

    def reset(self):
        a = self.args
        self.config = {
            'user': a.user, 'password': a.password, 'skew': a.skew, 'clock_offset': a.clock_offset,
            'snapshot_auth': a.snapshot_auth, 'fault': None, 'fault_paths': None, 'delay': 0,
            # the Reason text of the soap500 fault, put into the XML as it is (markup allowed)
            'fault_reason': 'Internal camera error',
            'redirects': 0, 'redirect_status': 302, 'location': '', 'size': 32 << 20, 'drip_seconds': 60,
            'status': 404, 'manufacturer': a.manufacturer, 'model': a.model,
            'firmware': '5.4.2', 'serial': 'SIM-0001', 'hardware': 'camera-sim',
            'snapshot_uri': None, 'media_paths': a.media_paths.split(','),
            'stream_uri': a.stream_uri,     # None: rtsp://HOST:554/live/TOKEN
            'stream_uri_element': True,     # False: GetStreamUri answers without a Uri
            'media2_path': a.media2_path, 'media2_only': a.media2_only,
            'device_path': a.device_path, 'snapshot_path': a.snapshot_path,
            'empty_snapshot': False,
            'snapshot_page': None,      # [content type, text]: a 200 answer that is no image
            # camera quirks
            'soap_auth': 'token',       # token | digest (HTTP Digest, the token ignored)
            'strict_paths': False,      # device actions only at the device path, media only at media paths
            'gdt_auth': False,          # GetSystemDateAndTime only with a token
            'check_profile': True,      # GetSnapshotUri of an unknown token: ter:NoProfile
            'soap12_only': False,       # text/xml is answered with 415
            'uri_whitespace': False,    # the snapshot Uri pretty-printed on lines of its own
            'xaddrs_whitespace': False, # discovery XAddrs over several lines
            'soap_parse_first': False,  # an envelope that does not parse: 400 before any authentication
            'soap_digest_algorithm': 'MD5',  # MD5 | SHA-256, for soap_auth digest
            'digest_nonce_uses': 0,     # a nonce serves this many requests, then is stale (0: for ever)
            'snapshot_token_uses': 0,   # snapshot addresses expire after this many downloads (0: never)
            'keep_alive': True,         # False: every answer closes the connection
            'open_actions': [],         # actions answered without a token
            'broken_actions': [],       # actions answered with a Receiver fault (HTTP 500)
            'auth_fault_status': 400,   # the HTTP status of a NotAuthorized fault (some send 200)
            'wrong_namespace': False,   # schema elements (tt:) answered in the media namespace
            'echo_security': False,     # answers carry the request's Security header back
            'wsse': True,               # False: no WS-Security at all; a Security header it
                                        #   must understand is a MustUnderstand fault
        }
        self.requests = []
        self.config['discovery_delay_max'] = a.discovery_delay_max
        self.config['probe_answer'] = 'normal'
        self.config['xaddrs'] = None

    def get(self, key):
        with self.lock:
            return self.config[key]


class Server(ThreadingHTTPServer):
    def server_bind(self):
        # HTTPServer names itself by a reverse lookup of its address, which
        # for an address that no hosts file names (127.0.0.2) asks the name
        # server: nothing of a test may leave the machine.
        socketserver.TCPServer.server_bind(self)
        self.server_name, self.server_port = self.server_address[:2]


class Handler(BaseHTTPRequestHandler):
    protocol_version = 'HTTP/1.1'
    disable_nagle_algorithm = True  # headers and body go out without waiting for an ACK
    server_version = 'camera-sim'
    sys_version = ''

    def log_message(self, fmt, *args):  # quiet
        pass

    @property
    def camera(self):
        return self.server.camera

    # ---- plumbing ------------------------------------------------------------

    def read_body(self):
        length = int(self.headers.get('Content-Length') or 0)
        return self.rfile.read(length) if length > 0 else b''

    def record(self, body):
        if self.path.startswith(('/sim/config', '/sim/reset', '/sim/requests')):
            return  # control requests are not the camera's traffic
        with self.camera.lock:
            self.camera.requests.append({
                'method': self.command, 'path': self.path, 'peer': self.client_address[1],
                'headers': [[k, v] for k, v in self.headers.items()],
                'body': body.decode('utf-8', 'replace')})

    def send(self, status, body=b'', content_type='application/soap+xml; charset=utf-8',
             headers=()):
        if isinstance(body, str):
            body = body.encode('utf-8')
        self.send_response(status)
        if body or status != 204:
            self.send_header('Content-Type', content_type)
        self.send_header('Content-Length', str(len(body)))
        for name, value in headers:
            self.send_header(name, value)
        keep = self.camera.get('keep_alive') and status < 500
        if not keep:
            self.send_header('Connection', 'close')
        self.end_headers()
        if self.command != 'HEAD':
            self.wfile.write(body)
        self.close_connection = not keep

    def base_url(self):
        host, port = self.server.server_address[:2]
        return 'http://{}:{}'.format(host, port)

    # ---- faults ---------------------------------------------------------------

    def faulted(self, path):
        """Plays the configured fault for this request; True when it answered."""
        cfg = self.camera.config
        fault = cfg['fault']
        if not fault:
            return False
        paths = cfg['fault_paths']
        if paths and not any(path.startswith(p) for p in paths):
            return False
        if fault == 'delay':
            time.sleep(float(cfg['delay']))
            return False
        if fault == 'hang':
            # Accept, read, and never answer.
            self.camera.stop.wait(120)
            self.close_connection = True
            return True
        if fault == 'html':
            self.send(200, HTML_PAGE, 'text/html')
            return True
        if fault == 'soap500':
            self.send(500, soap_fault('Receiver', 'ter:ActionFailed', cfg['fault_reason']))
            return True
        if fault == 'empty':
            self.send(200, b'')
            return True
        if fault == 'status':
            self.send(int(cfg['status']), HTML_PAGE, 'text/html')
            return True
        if fault == 'redirect':
            return self.redirect_chain(path)
        if fault == 'redirect_to':
            # One redirect to any address at all (another scheme, another host).
            self.send(int(cfg['redirect_status']), 'moved', 'text/plain',
                      [('Location', cfg['location'])])
            return True
        if fault == 'cookie':
            return self.cookie_gate(path)
        if fault == 'oversized':
            self.stream_body(int(cfg['size']), 0)
            return True
        if fault == 'drip':
            self.stream_body(int(cfg['drip_seconds']), 1.0)
            return True
        if fault == 'stall':
            self.stall()
            return True
        return False

    def stall(self):
        """An answer that stops midway: its headers and part of its body (half, at most
        512 bytes, so that the transfer is slow from the start), then nothing."""
        if self.command == 'POST':
            body, content_type = self.camera.profiles, 'application/soap+xml; charset=utf-8'
        else:
            body, content_type = self.camera.snapshot, 'image/jpeg'
        self.send_response(200)
        self.send_header('Content-Type', content_type)
        self.send_header('Content-Length', str(len(body)))
        self.end_headers()
        self.close_connection = True
        try:
            self.wfile.write(body[:min(len(body) // 2, 512)])
            self.wfile.flush()
        except (BrokenPipeError, ConnectionResetError):
            return
        self.camera.stop.wait(120)

    def redirect_chain(self, path):
        cfg = self.camera.config
        match = re.match(r'^/sim/r/(\d+)(/.*)$', path)
        step, target = (int(match.group(1)), match.group(2)) if match else (0, path)
        if step >= int(cfg['redirects']):
            self.path = target
            return False
        location = '{}/sim/r/{}{}'.format(self.base_url(), step + 1, target)
        self.send(int(cfg['redirect_status']), 'moved', 'text/plain', [('Location', location)])
        return True

    def cookie_gate(self, path):
        if 'session=sim-cookie' in (self.headers.get('Cookie') or ''):
            return False
        if path.startswith('/sim/c'):
            self.send(403, 'no cookie', 'text/plain')
            return True
        self.send(302, 'login first', 'text/plain',
                  [('Set-Cookie', 'session=sim-cookie; Path=/'), ('Location', self.base_url() + '/sim/c' + path)])
        return True

    def stream_body(self, size, pause):
        """A body of size bytes, or (pause > 0) one byte every pause seconds."""
        self.send_response(200)
        self.send_header('Content-Type', 'image/jpeg')
        self.send_header('Content-Length', str(size))
        self.send_header('Connection', 'close')
        self.end_headers()
        self.close_connection = True
        chunk = b'\xff' * 65536
        sent = 0
        try:
            while sent < size and not self.camera.stop.is_set():
                n = 1 if pause else min(len(chunk), size - sent)
                self.wfile.write(chunk[:n])
                self.wfile.flush()
                sent += n
                if pause:
                    time.sleep(pause)
        except (BrokenPipeError, ConnectionResetError):
            pass

    def service_path(self):
        """The path asked for, without the query and the cookie detour."""
        path = self.path.split('?')[0]
        return path[len('/sim/c'):] if path.startswith('/sim/c/') else path

    # ---- HTTP verbs -------------------------------------------------------------

    def do_GET(self):
        body = b''
        self.record(body)
        path = self.path
        if path == '/sim/requests':
            with self.camera.lock:
                data = json.dumps(self.camera.requests)
            self.send(200, data, 'application/json')
            return
        if path == '/sim/requests.txt':
            # One block a request: "> METHOD PATH", the headers, an empty line,
            # the body, and a line "<<<".
            with self.camera.lock:
                blocks = ['> {} {} {}\n{}\n{}\n<<<\n'.format(
                    r['method'], r['path'], r['peer'], ''.join('{}: {}\n'.format(k, v) for k, v in r['headers']),
                    r['body']) for r in self.camera.requests]
            self.send(200, ''.join(blocks), 'text/plain')
            return
        if self.faulted(path):
            return
        path = self.service_path()
        if path == self.camera.get('snapshot_path'):
            self.snapshot()
            return
        self.send(404, 'not found', 'text/plain')

    def do_POST(self):
        body = self.read_body()
        self.record(body)
        path = self.path
        if path == '/sim/config':
            with self.camera.lock:
                self.camera.config.update(json.loads(body or b'{}'))
            self.send(200, '{}', 'application/json')
            return
        if path == '/sim/reset':
            with self.camera.lock:
                self.camera.reset()
            self.send(200, '{}', 'application/json')
            return
        if self.faulted(path):
            return
        path = self.service_path()
        cfg = self.camera.config
        if path == cfg['device_path'] or path in cfg['media_paths'] or path == cfg['media2_path']:
            self.soap(body)
            return
        self.send(404, 'not found', 'text/plain')

    # ---- ONVIF ----------------------------------------------------------------------

    def soap(self, body):
        cfg = self.camera.config
        if cfg['soap12_only'] and not (self.headers.get('Content-Type') or '').startswith('application/soap+xml'):
            self.send(415, 'Unsupported Media Type', 'text/plain')
            return
        try:
            root = ET.fromstring(body)
        except ET.ParseError as e:
            root = None
            parse_error = e
        # Servers of the gSOAP kind read the envelope before they check HTTP authentication.
        if root is None and cfg['soap_parse_first']:
            self.send(400, soap_fault('Sender', 'ter:WellFormed', 'Not well-formed: {}'.format(parse_error)))
            return
        algorithm = cfg['soap_digest_algorithm']
        if cfg['soap_auth'] == 'digest' and not self.digest_ok(algorithm):
            self.digest_challenge(algorithm, getattr(self, 'stale', False))
            return
        if root is None:
            self.send(400, soap_fault('Sender', 'ter:WellFormed', 'Not well-formed: {}'.format(parse_error)))
            return
        if not cfg['wsse']:
            # A server without WS-Security, as SOAP 1.2 has it answer a header it must understand.
            header = find_local(root, 'Header')
            for element in (header if header is not None else []):
                if local(element.tag) == 'Security' and must_understand(element):
                    self.send(500, soap_fault('MustUnderstand', None,
                                              "The data in element 'Security' must be understood "
                                              "but cannot be processed"))
                    return
        envelope_body = find_local(root, 'Body')
        action = None
        media2 = False
        if envelope_body is not None and len(envelope_body):
            action = local(envelope_body[0].tag)
            media2 = envelope_body[0].tag.startswith('{' + MEDIA2_NAMESPACE + '}')
        path = self.path.split('?')[0]
        if cfg['strict_paths']:
            media = action in ('GetProfiles', 'GetSnapshotUri', 'GetStreamUri')
            if media2:
                wrong = path != cfg['media2_path']
            else:
                wrong = (media and path not in cfg['media_paths']) or (not media and path != cfg['device_path'])
            if wrong:
                self.send(404, 'not found', 'text/plain')
                return
        needs_token = (action != 'GetSystemDateAndTime' or cfg['gdt_auth']) and \
            action not in cfg['open_actions']
        if needs_token and cfg['soap_auth'] == 'token' and cfg['wsse']:
            # Cameras that want a token for their time check the password only there.
            problem = self.check_token(root, check_time=action != 'GetSystemDateAndTime')
            if problem:
                self.send(int(cfg['auth_fault_status']), soap_fault('Sender', 'ter:NotAuthorized', problem))
                return
        if media2:
            handlers = {
                'GetProfiles': self.profiles2,
                'GetSnapshotUri': self.snapshot_uri2,
                'GetStreamUri': self.stream_uri2,
            }
        else:
            handlers = {
                'GetDeviceInformation': self.device_information,
                'GetProfiles': self.profiles,
                'GetSnapshotUri': self.snapshot_uri,
                'GetStreamUri': self.stream_uri,
                'GetSystemDateAndTime': self.system_date_and_time,
                'GetCapabilities': self.capabilities,
                'GetServices': self.services,
            }
            if cfg['media2_only']:
                # The older media service is not there: its actions are unknown.
                for name in ('GetProfiles', 'GetSnapshotUri', 'GetStreamUri'):
                    handlers.pop(name)
        handler = handlers.get(action)
        if not handler:
            self.send(400, soap_fault('Sender', 'ter:ActionNotSupported', 'Unknown action {}'.format(action)))
            return
        if action in cfg['broken_actions']:
            self.send(500, soap_fault('Receiver', 'ter:ActionFailed', '{} is broken'.format(action)))
            return
        if action in ('GetSnapshotUri', 'GetStreamUri') and cfg['check_profile']:
            token = find_local(envelope_body[0], 'ProfileToken')
            tokens = re.findall(rb'<[^>]*Profiles[^>]*\stoken="([^"]*)"', self.camera.profiles)
            if token is None or (token.text or '').encode() not in tokens:
                self.send(400, soap_fault('Sender', 'ter:InvalidArgVal/ter:NoProfile',
                                          'The requested profile token does not exist'))
                return
        if action == 'GetStreamUri':
            problem = self.stream_setup_problem(envelope_body[0], media2)
            if problem:
                self.send(400, soap_fault('Sender', 'ter:InvalidArgVal', problem))
                return
        answer = handler(envelope_body[0])
        if isinstance(answer, bytes):
            answer = answer.decode('utf-8')
        if cfg['wrong_namespace']:
            answer = answer.replace('xmlns:tt="http://www.onvif.org/ver10/schema"',
                                    'xmlns:tt="http://www.onvif.org/ver10/media/wsdl"')
        if cfg['echo_security']:
            security = re.search(r'<(?:\w+:)?Security\b.*?</(?:\w+:)?Security>', body.decode('utf-8', 'replace'),
                                 re.S)
            if security:
                answer = re.sub(r'<(\w+):Body>', lambda m: '<{0}:Header>{1}</{0}:Header><{0}:Body>'.format(
                    m.group(1), security.group(0)), answer, count=1)
        self.send(200, answer)

    def check_token(self, root, check_time=True):
        """Why the UsernameToken is refused, or None when it is good (or not needed)."""
        cfg = self.camera.config
        if not cfg['user']:
            return None
        token = find_local(root, 'UsernameToken')
        if token is None:
            return 'Sender not authorized'
        fields = {local(child.tag): (child.text or '') for child in token}
        if fields.get('Username') != cfg['user']:
            return 'Sender not authorized'
        try:
            nonce = base64.b64decode(fields.get('Nonce', ''), validate=True)
        except ValueError:
            return 'Sender not authorized'
        created = fields.get('Created', '')
        expected = base64.b64encode(hashlib.sha1(
            nonce + created.encode() + cfg['password'].encode()).digest()).decode()
        if fields.get('Password') != expected:
            return 'Sender not authorized'
        when = parse_created(created)
        now = time.time() + float(cfg['clock_offset'])
        if check_time and (when is None or abs(now - when) > float(cfg['skew'])):
            return 'The security token could not be authenticated or authorized: time check failed'
        return None

    def device_information(self, request):
        cfg = self.camera.config
        return ENVELOPE.format(body=(
            '<tds:GetDeviceInformationResponse><tds:Manufacturer>{}</tds:Manufacturer>'
            '<tds:Model>{}</tds:Model><tds:FirmwareVersion>{}</tds:FirmwareVersion>'
            '<tds:SerialNumber>{}</tds:SerialNumber><tds:HardwareId>{}</tds:HardwareId>'
            '</tds:GetDeviceInformationResponse>').format(
                cfg['manufacturer'], cfg['model'], cfg['firmware'], cfg['serial'], cfg['hardware']))

    def profiles(self, request):
        return self.camera.profiles

    def snapshot_uri(self, request):
        uri = self.camera.config['snapshot_uri'] or self.base_url() + self.camera.config['snapshot_path']
        uses = int(self.camera.config['snapshot_token_uses'])
        if uses:
            token = secrets.token_hex(4)
            with self.camera.lock:
                self.camera.snapshot_tokens = {token: uses}  # the older addresses expire
            uri += '?t=' + token
        uri = uri.replace('&', '&amp;')
        if self.camera.config['uri_whitespace']:
            uri = '\n                    {}\n                '.format(uri)
        return ENVELOPE.format(body=(
            '<trt:GetSnapshotUriResponse><trt:MediaUri><tt:Uri>{}</tt:Uri>'
            '<tt:InvalidAfterConnect>false</tt:InvalidAfterConnect>'
            '<tt:InvalidAfterReboot>false</tt:InvalidAfterReboot><tt:Timeout>PT0S</tt:Timeout>'
            '</trt:MediaUri></trt:GetSnapshotUriResponse>').format(uri))

    def services(self, request):
        cfg = self.camera.config
        if cfg['media2_only']:
            namespace, xaddr = MEDIA2_NAMESPACE, self.base_url() + cfg['media2_path']
        else:
            namespace, xaddr = 'http://www.onvif.org/ver10/media/wsdl', self.media_xaddr()
        return ENVELOPE.format(body=(
            '<tds:GetServicesResponse>'
            '<tds:Service><tds:Namespace>http://www.onvif.org/ver10/device/wsdl</tds:Namespace>'
            '<tds:XAddr>{0}{1}</tds:XAddr></tds:Service>'
            '<tds:Service><tds:Namespace>{2}</tds:Namespace>'
            '<tds:XAddr>{3}</tds:XAddr></tds:Service>'
            '</tds:GetServicesResponse>').format(self.base_url(), cfg['device_path'], namespace, xaddr))

    def stream_setup_problem(self, request, media2):
        """Why a GetStreamUri request is refused (its stream and transport), or None."""
        if media2:
            protocol = find_local(request, 'Protocol')
            return None if protocol is not None and (protocol.text or '').strip() == 'RTSP' else \
                'Protocol must be RTSP'
        stream = find_local(request, 'Stream')
        protocol = find_local(request, 'Protocol')
        if stream is None or (stream.text or '').strip() not in ('RTP-Unicast', 'RTP-Multicast'):
            return 'StreamSetup/Stream missing or unknown'
        if protocol is None or (protocol.text or '').strip() not in ('UDP', 'TCP', 'RTSP', 'HTTP'):
            return 'StreamSetup/Transport/Protocol missing or unknown'
        return None

    def stream_address(self, request):
        """The Uri element of a GetStreamUri answer (empty when left out)."""
        cfg = self.camera.config
        if not cfg['stream_uri_element']:
            return ''
        uri = cfg['stream_uri']
        if uri is None:
            token = find_local(request, 'ProfileToken')
            uri = 'rtsp://{}:554/live/{}'.format(self.server.server_address[0],
                                                 (token.text or '') if token is not None else '')
        return '<tt:Uri>{}</tt:Uri>'.format(uri.replace('&', '&amp;').replace('<', '&lt;'))

    def stream_uri(self, request):
        return ENVELOPE.format(body=(
            '<trt:GetStreamUriResponse><trt:MediaUri>{}'
            '<tt:InvalidAfterConnect>false</tt:InvalidAfterConnect>'
            '<tt:InvalidAfterReboot>false</tt:InvalidAfterReboot><tt:Timeout>PT0S</tt:Timeout>'
            '</trt:MediaUri></trt:GetStreamUriResponse>').format(self.stream_address(request)))

    def profiles2(self, request):
        return ENVELOPE.format(body='<tr2:GetProfilesResponse>{}</tr2:GetProfilesResponse>'.format(
            MEDIA2_PROFILES))

    def snapshot_uri2(self, request):
        uri = self.camera.config['snapshot_uri'] or self.base_url() + self.camera.config['snapshot_path']
        return ENVELOPE.format(body='<tr2:GetSnapshotUriResponse><tr2:Uri>{}</tr2:Uri>'
                                    '</tr2:GetSnapshotUriResponse>'.format(uri.replace('&', '&amp;')))

    def stream_uri2(self, request):
        address = self.stream_address(request).replace('tt:Uri', 'tr2:Uri')
        return ENVELOPE.format(body='<tr2:GetStreamUriResponse>{}</tr2:GetStreamUriResponse>'.format(
            address))

    def system_date_and_time(self, request):
        now = datetime.datetime.fromtimestamp(time.time() + float(self.camera.config['clock_offset']),
                                              datetime.timezone.utc)
        return ENVELOPE.format(body=(
            '<tds:GetSystemDateAndTimeResponse><tds:SystemDateAndTime>'
            '<tt:DateTimeType>Manual</tt:DateTimeType><tt:DaylightSavings>false</tt:DaylightSavings>'
            '<tt:TimeZone><tt:TZ>UTC0</tt:TZ></tt:TimeZone><tt:UTCDateTime>'
            '<tt:Date><tt:Year>{}</tt:Year><tt:Month>{}</tt:Month><tt:Day>{}</tt:Day></tt:Date>'
            '<tt:Time><tt:Hour>{}</tt:Hour><tt:Minute>{}</tt:Minute><tt:Second>{}</tt:Second></tt:Time>'
            '</tt:UTCDateTime></tds:SystemDateAndTime></tds:GetSystemDateAndTimeResponse>').format(
                now.year, now.month, now.day, now.hour, now.minute, now.second))

    def capabilities(self, request):
        cfg = self.camera.config
        return ENVELOPE.format(body=(
            '<tds:GetCapabilitiesResponse><tds:Capabilities>'
            '<tt:Device><tt:XAddr>{0}{1}</tt:XAddr></tt:Device>'
            '{2}'
            '</tds:Capabilities></tds:GetCapabilitiesResponse>').format(
                self.base_url(), cfg['device_path'],
                '' if cfg['media2_only'] else '<tt:Media><tt:XAddr>{}</tt:XAddr></tt:Media>'.format(
                    self.media_xaddr())))

    def media_xaddr(self):
        """The media service's address: the first media path here, or, where
        that is a whole URL, wherever it names (another host)."""
        media = self.camera.config['media_paths'][0]
        return media if media.startswith('http') else self.base_url() + media

    # ---- snapshot -----------------------------------------------------------------------

    def snapshot(self):
        cfg = self.camera.config
        if int(cfg['snapshot_token_uses']):
            token = self.path.split('?t=', 1)[1] if '?t=' in self.path else ''
            with self.camera.lock:
                left = self.camera.snapshot_tokens.get(token, 0)
                if left:
                    self.camera.snapshot_tokens[token] = left - 1
            if not left:
                self.send(404, 'this snapshot address has expired', 'text/plain')
                return
        mode = cfg['snapshot_auth']
        image = b'' if cfg['empty_snapshot'] else self.camera.snapshot
        image_type = 'image/jpeg'
        if cfg['snapshot_page']:
            image_type, page = cfg['snapshot_page']
            image = page.encode('utf-8')
        if mode == 'none' or not cfg['user']:
            self.send(200, image, image_type)
        elif mode == 'basic':
            if self.basic_ok():
                self.send(200, image, image_type)
            else:
                self.send(401, HTML_PAGE, 'text/html', [('WWW-Authenticate', 'Basic realm="camera-sim"')])
        elif mode == 'digest-or-basic':
            # Either scheme taken; Basic offered first, as some cameras do.
            if self.basic_ok() or self.digest_ok('MD5'):
                self.send(200, image, image_type)
            else:
                self.digest_challenge('MD5', getattr(self, 'stale', False),
                                      [('WWW-Authenticate', 'Basic realm="camera-sim"')])
        else:
            algorithm = 'SHA-256' if mode == 'digest-sha256' else 'MD5'
            if self.digest_ok(algorithm):
                self.send(200, image, image_type)
            else:
                self.digest_challenge(algorithm, getattr(self, 'stale', False))

    def basic_ok(self):
        cfg = self.camera.config
        expected = 'Basic ' + base64.b64encode(
            '{}:{}'.format(cfg['user'], cfg['password']).encode('latin-1')).decode()
        return self.headers.get('Authorization') == expected

    def digest_challenge(self, algorithm, stale=False, before=()):
        nonce = secrets.token_hex(16)
        with self.camera.lock:
            self.camera.digest_nonces[nonce] = {'uses': 0, 'nc': 0}
        challenge = 'Digest realm="camera-sim", qop="auth", algorithm={}, nonce="{}", opaque="{}"'.format(
            algorithm, nonce, secrets.token_hex(8))
        if stale:
            challenge += ', stale=true'
        self.send(401, HTML_PAGE, 'text/html', list(before) + [('WWW-Authenticate', challenge)])

    def digest_ok(self, algorithm):
        self.stale = False
        header = self.headers.get('Authorization') or ''
        if not header.startswith('Digest '):
            return False
        fields = dict((k, v1 or v2) for k, v1, v2 in re.findall(r'(\w+)=(?:"([^"]*)"|([^,\s]*))', header[7:]))
        cfg = self.camera.config
        h = (lambda s: hashlib.sha256(s.encode()).hexdigest()) if algorithm == 'SHA-256' else \
            (lambda s: hashlib.md5(s.encode()).hexdigest())
        with self.camera.lock:
            state = self.camera.digest_nonces.get(fields.get('nonce'))
        if state is None or fields.get('username') != cfg['user'] or fields.get('qop') != 'auth':
            return False
        if fields.get('algorithm', 'MD5').upper() != algorithm:
            return False
        ha1 = h('{}:{}:{}'.format(cfg['user'], 'camera-sim', cfg['password']))
        ha2 = h('{}:{}'.format(self.command, fields.get('uri', '')))
        expected = h('{}:{}:{}:{}:{}:{}'.format(ha1, fields['nonce'], fields.get('nc', ''),
                                              fields.get('cnonce', ''), 'auth', ha2))
        if fields.get('response') != expected:
            return False
        # A request count that does not grow is a replay.
        try:
            nc = int(fields.get('nc', ''), 16)
        except ValueError:
            return False
        with self.camera.lock:
            if nc <= state['nc']:
                return False
            uses = int(cfg['digest_nonce_uses'])
            if uses and state['uses'] >= uses:
                self.stale = True
                return False
            state['nc'] = nc
            state['uses'] += 1
        return True


PROBE_MATCHES = (
    '<?xml version="1.0" encoding="UTF-8"?>'
    '<SOAP-ENV:Envelope xmlns:SOAP-ENV="http://www.w3.org/2003/05/soap-envelope" '
    'xmlns:wsa="http://schemas.xmlsoap.org/ws/2004/08/addressing" '
    'xmlns:d="http://schemas.xmlsoap.org/ws/2005/04/discovery" '
    'xmlns:dn="http://www.onvif.org/ver10/network/wsdl" '
    'xmlns:tds="http://www.onvif.org/ver10/device/wsdl">'
    '<SOAP-ENV:Header><wsa:MessageID>urn:uuid:{message}</wsa:MessageID>'
    '<wsa:RelatesTo>{relates}</wsa:RelatesTo>'
    '<wsa:To SOAP-ENV:mustUnderstand="true">http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous</wsa:To>'
    '<wsa:Action SOAP-ENV:mustUnderstand="true">http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches</wsa:Action>'
    '</SOAP-ENV:Header><SOAP-ENV:Body><d:ProbeMatches><d:ProbeMatch>'
    '<wsa:EndpointReference><wsa:Address>urn:uuid:{endpoint}</wsa:Address></wsa:EndpointReference>'
    '<d:Types>dn:NetworkVideoTransmitter tds:Device</d:Types>'
    '<d:Scopes>onvif://www.onvif.org/type/video_encoder onvif://www.onvif.org/Profile/Streaming '
    'onvif://www.onvif.org/name/{model} onvif://www.onvif.org/hardware/{model}</d:Scopes>'
    '<d:XAddrs>{xaddrs}</d:XAddrs><d:MetadataVersion>{version}</d:MetadataVersion>'
    '</d:ProbeMatch></d:ProbeMatches></SOAP-ENV:Body></SOAP-ENV:Envelope>')


class DiscoveryResponder(threading.Thread):
    """Answers WS-Discovery probes sent to 239.255.255.250:3702 on one address,
    as a camera does: only probes for NetworkVideoTransmitter or Device, after a
    random delay. Settings (via /sim/config): probe_answer = normal | none |
    garbage | huge | bad_metadata | twice, xaddrs (instead of our own),
    discovery_delay_max (seconds)."""

    def __init__(self, camera, address, http_port, delay_max):
        super().__init__(daemon=True)
        self.camera = camera
        self.address = address
        self.http_port = http_port
        self.endpoint = str(uuid.uuid4())
        camera.config.setdefault('discovery_delay_max', delay_max)
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM, socket.IPPROTO_UDP)
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.sock.bind(('', 3702))
        membership = struct.pack('4s4s', socket.inet_aton('239.255.255.250'), socket.inet_aton(address))
        self.sock.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP, membership)

    def run(self):
        while not self.camera.stop.is_set():
            try:
                data, sender = self.sock.recvfrom(65535)
            except OSError:
                return
            text = data.decode('utf-8', 'replace')
            types = re.search(r'<(?:\w+:)?Types[^>]*>([^<]*)<', text)
            wanted = types.group(1) if types else ''
            if 'NetworkVideoTransmitter' not in wanted and not re.search(r'(^|[\s:])Device\b', wanted):
                continue
            message_id = re.search(r'<(?:\w+:)?MessageID>([^<]*)<', text)
            with self.camera.lock:
                self.camera.requests.append({'method': 'PROBE', 'path': sender[0], 'headers': [], 'body': text})
            threading.Thread(target=self.answer, args=(sender, message_id.group(1) if message_id else ''),
                             daemon=True).start()

    def answer(self, sender, relates):
        cfg = self.camera.config
        time.sleep(random.uniform(0, float(cfg['discovery_delay_max'])))
        mode = cfg.get('probe_answer', 'normal')
        if mode == 'none':
            return
        xaddrs = cfg.get('xaddrs')
        if xaddrs is None:
            xaddrs = 'http://{}:{}{}'.format(self.address, self.http_port, cfg['device_path'])
            if cfg.get('xaddrs_whitespace'):
                xaddrs = 'http://{0}:{1}{2}\n        https://{0}{2} \n'.format(
                    self.address, self.http_port, cfg['device_path'])
        body = PROBE_MATCHES.format(message=uuid.uuid4(), relates=relates, endpoint=self.endpoint,
                                    model=cfg['model'], xaddrs=xaddrs,
                                    version='abc' if mode == 'bad_metadata' else 1)
        if mode == 'garbage':
            body = 'this is not a ProbeMatches answer'
        elif mode == 'huge':
            body = body.replace('</d:Scopes>', ' ' + 'x' * 9000 + '</d:Scopes>')
        for _ in range(2 if mode == 'twice' else 1):
            try:
                self.sock.sendto(body.encode(), sender)
            except OSError:
                pass


def main():
    parser = argparse.ArgumentParser(description='An ONVIF camera on loopback.')
    parser.add_argument('--host', default='127.0.0.1')
    parser.add_argument('--port', type=int, default=0)
    parser.add_argument('--user', default='')
    parser.add_argument('--password', default='')
    parser.add_argument('--skew', type=float, default=5.0, help='seconds a Created may be off')
    parser.add_argument('--clock-offset', type=float, default=0.0, help="the camera clock's error, seconds")
    parser.add_argument('--device-path', default='/onvif/device_service')
    parser.add_argument('--media-paths', default='/onvif/media,/onvif/Media')
    parser.add_argument('--snapshot-path', default='/snapshot.jpg')
    parser.add_argument('--media2-path', default='/onvif/media2_service')
    parser.add_argument('--media2-only', action='store_true',
                        help='only the Media2 service: the older media actions are unknown')
    parser.add_argument('--stream-uri', help='the address GetStreamUri answers '
                                             '(default rtsp://HOST:554/live/TOKEN)')
    parser.add_argument('--profiles', help='a GetProfiles answer to serve')
    parser.add_argument('--snapshot', default=os.path.join(HERE, 'snapshot.jpg'))
    parser.add_argument('--snapshot-auth', default='none',
                        choices=['none', 'basic', 'digest', 'digest-sha256', 'digest-or-basic'])
    parser.add_argument('--manufacturer', default='Zorvane')
    parser.add_argument('--model', default='camera-sim')
    parser.add_argument('--discovery', metavar='ADDRESS',
                        help='answer WS-Discovery probes arriving on this local address')
    parser.add_argument('--discovery-delay-max', type=float, default=0.5,
                        help='answers wait a random time up to this many seconds')
    args = parser.parse_args()

    server = Server((args.host, args.port), Handler)
    server.daemon_threads = True
    server.camera = Camera(args)

    def stop(*_):
        server.camera.stop.set()
        threading.Thread(target=server.shutdown, daemon=True).start()

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    host, port = server.server_address[:2]
    if args.discovery:
        DiscoveryResponder(server.camera, args.discovery, port, args.discovery_delay_max).start()
    print('camera-sim listening on http://{}:{}'.format(host, port), flush=True)
    server.serve_forever()
    server.server_close()
    return 0


if __name__ == '__main__':
    sys.exit(main())
