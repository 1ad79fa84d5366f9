#!/usr/bin/env python3
"""Turns the camera answers' reference readings (expected.json) into checks the
XML tests run: one line per value, "file<TAB>path<TAB>expected".

A path starts at the document element and names child elements by local name,
one level at a time: "Body/GetProfilesResponse/Profiles[1]/@token" is the token
attribute of the second Profiles element. "#Name" at the end counts the children
called Name; an empty path is the document element's own local name; "*" is the
first element child. An expected value of "\\0" means: no such element."""
import json
import sys

MISSING = "\\0"


def esc(text):
    return text.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n").replace("\r", "\\r")


def rows_for(kind, v):
    rows = []

    def add(path, value):
        if isinstance(value, bool):
            return
        rows.append((path, MISSING if value is None else str(value)))

    def leaves(prefix, mapping, names):
        for name in names:
            if name in mapping:
                add(prefix + name, mapping[name])

    if kind == "getdeviceinformation":
        leaves("Body/GetDeviceInformationResponse/", v,
               ["Manufacturer", "Model", "FirmwareVersion", "SerialNumber", "HardwareId"])
    elif kind == "getsnapshoturi":
        if v.get("MediaUri_found"):
            leaves("Body/GetSnapshotUriResponse/MediaUri/", v,
                   ["Uri", "InvalidAfterConnect", "InvalidAfterReboot", "Timeout"])
    elif kind == "getprofiles":
        if v.get("response_found"):
            add("Body/GetProfilesResponse/#Profiles", v["profile_count"])
        for i, p in enumerate(v.get("profiles") or []):
            base = "Body/GetProfilesResponse/Profiles[%d]/" % i
            add(base + "@token", p.get("token"))
            if p.get("fixed") is not None:
                add(base + "@fixed", p.get("fixed"))
            add(base + "Name", p.get("Name"))
            enc = p.get("VideoEncoderConfiguration")
            if enc:
                leaves(base + "VideoEncoderConfiguration/", enc, ["Name", "Encoding", "Quality"])
                if enc.get("token") is not None:
                    add(base + "VideoEncoderConfiguration/@token", enc["token"])
                if enc.get("Resolution"):
                    leaves(base + "VideoEncoderConfiguration/Resolution/", enc["Resolution"], ["Width", "Height"])
            src = p.get("VideoSourceConfiguration")
            if src:
                leaves(base + "VideoSourceConfiguration/", src, ["Name", "SourceToken"])
                if src.get("Bounds"):
                    for a in ["x", "y", "width", "height"]:
                        if a in src["Bounds"]:
                            add(base + "VideoSourceConfiguration/Bounds/@" + a, src["Bounds"][a])
    elif kind == "probematches":
        if v.get("response_found"):
            add("Body/ProbeMatches/#ProbeMatch", v["probe_match_count"])
        leaves("Body/ProbeMatches/ProbeMatch/", v, ["Types", "Scopes", "XAddrs", "MetadataVersion"])
        if "EndpointReference_Address" in v:
            add("Body/ProbeMatches/ProbeMatch/EndpointReference/Address", v["EndpointReference_Address"])
    elif kind == "fault":
        if v.get("fault_found"):
            add("Body/Fault/Code/Value", v.get("Code_Value"))
            add("Body/Fault/Reason/Text", v.get("Reason_Text"))
            subs = v.get("Subcode_Values") or []
            if subs:
                add("Body/Fault/Code/Subcode/Value", subs[0])
    elif kind == "getcapabilities":
        for cap in ["Analytics", "Device", "Events", "Imaging", "Media", "PTZ"]:
            key = cap + "_XAddr"
            if key in v:
                if v[key] is None:
                    continue  # the category itself may be missing
                add("Body/GetCapabilitiesResponse/Capabilities/%s/XAddr" % cap, v[key])
    elif kind == "getservices":
        for i, s in enumerate(v.get("services") or []):
            base = "Body/GetServicesResponse/Service[%d]/" % i
            leaves(base, s, ["Namespace", "XAddr"])
            if s.get("Version"):
                leaves(base + "Version/", s["Version"], ["Major", "Minor"])
    elif kind == "getsystemdateandtime":
        base = "Body/GetSystemDateAndTimeResponse/SystemDateAndTime/"
        leaves(base, v, ["DateTimeType", "DaylightSavings"])
        if v.get("TZ") is not None:
            add(base + "TimeZone/TZ", v["TZ"])
        utc = v.get("UTCDateTime")
        if utc:
            leaves(base + "UTCDateTime/Date/", utc, ["Year", "Month", "Day"])
            leaves(base + "UTCDateTime/Time/", utc, ["Hour", "Minute", "Second"])
    return rows


def main(src, dst):
    data = json.load(open(src, encoding="utf-8"))
    out = []
    for name, entry in sorted(data.items()):
        if name.startswith("_"):
            continue
        reading = entry if entry.get("values") is not None else entry.get("prefix_stripped")
        out.append((name, "#load", ""))
        if not reading:
            continue
        if reading.get("root"):
            out.append((name, "", reading["root"]))
        if reading.get("body_first_child"):
            out.append((name, "Body/*", reading["body_first_child"]))
        for path, value in rows_for(entry["kind"], reading.get("values") or {}):
            out.append((name, path, value))
    with open(dst, "w", encoding="utf-8") as f:
        for name, path, value in out:
            f.write("%s\t%s\t%s\n" % (name, path, esc(value)))


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
