#!/usr/bin/python3
"""standin-portal.py CASE: a stand-in screen-sharing portal on the session bus
that hands out a real PipeWire node, for what a real desktop will not make on
demand. Prints "ready NODE" once it owns the portal's name, then the option
names of each SelectSources. Ends at the end of its standard input."""
import json, os, signal, socket, subprocess, sys, time  # noqa: E401

from gi.repository import Gio, GLib

PATH = "/org/freedesktop/portal/desktop"
# smpte: seven bars of known colours in the top two thirds
SMPTE = "videotestsrc is-live=true pattern=smpte ! video/x-raw,framerate=30/1,format="
CASES = {
    "rgbx": {"video": SMPTE + "RGBx,width=320,height=240"},
    # 24-bit rows of an odd width, padded to 4 bytes (GStreamer gives no stride)
    "padded": {"video": SMPTE + "RGB,width=321,height=241"},
    # 320x240 and 640x480 by turns, each second, with a crop that moves
    "resize": {"command": ["/usr/libexec/installed-tests/pipewire-0.3/examples/video-src-reneg"]},
    "deny": {"answer": 2},
    "cancel": {"answer": 1},
    "v3": {"version": 3},
    "early": {"early": True},
}
XML = """<node><interface name="org.freedesktop.portal.ScreenCast">
<method name="CreateSession"><arg type="a{sv}"/><arg type="o" direction="out"/></method>
<method name="SelectSources"><arg type="o"/><arg type="a{sv}"/><arg type="o" direction="out"/></method>
<method name="Start"><arg type="o"/><arg type="s"/><arg type="a{sv}"/><arg type="o" direction="out"/></method>
<method name="OpenPipeWireRemote"><arg type="o"/><arg type="a{sv}"/><arg type="h" direction="out"/></method>
<property name="version" type="u" access="read"/>
<property name="AvailableCursorModes" type="u" access="read"/>
</interface></node>"""


def start_producer(command):
    # it goes with us, also when we are killed
    die = lambda: __import__("ctypes").CDLL(None).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG
    producer = subprocess.Popen(command, preexec_fn=die, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(100):
        objects = json.loads(subprocess.run(["pw-dump"], capture_output=True, text=True).stdout or "[]")
        props = {o["id"]: (o.get("info") or {}).get("props") or {} for o in objects}
        ours = [i for i, p in props.items() if p.get("pipewire.sec.pid") == producer.pid]
        nodes = [i for i, p in props.items() if p.get("client.id") in ours and "media.class" in p]
        if nodes:
            return producer, nodes[0]
        time.sleep(0.1)
    sys.exit("standin-portal: no PipeWire node")


def main():
    case = CASES[sys.argv[1]]
    version, answer = case.get("version", 4), case.get("answer", 0)
    video = case.get("video", SMPTE + "BGRx,width=320,height=240") + " ! pipewiresink mode=provide"
    producer, node = start_producer(case.get("command", ["gst-launch-1.0", "-q"] + video.split()))
    bus = Gio.bus_get_sync(Gio.BusType.SESSION)
    loop = GLib.MainLoop()

    def respond(invocation, code, results):
        sender = invocation.get_sender()[1:].replace(".", "_")
        token = invocation.get_parameters()[-1]["handle_token"]
        request = "%s/request/%s/%s" % (PATH, sender, token)
        response = GLib.Variant("(ua{sv})", (code, results))
        # the answer after the method's reply, as GNOME's, or before it
        reply = lambda: invocation.return_value(GLib.Variant("(o)", (request,)))
        case.get("early") or reply()
        bus.emit_signal(None, request, "org.freedesktop.portal.Request", "Response", response)
        case.get("early") and reply()

    def call(conn, sender, path, iface, method, params, invocation):
        if method == "CreateSession":
            session = "%s/session/%s/%s" % (PATH, sender[1:].replace(".", "_"), params[0]["session_handle_token"])
            respond(invocation, 0, {"session_handle": GLib.Variant("s", session)})
        elif method == "SelectSources":
            print("SelectSources", " ".join(sorted(params[1].keys())), flush=True)
            respond(invocation, 0, {})
        elif method == "Start":
            results = {"streams": GLib.Variant("a(ua{sv})", [(node, {})])}
            if version >= 4:
                results["restore_token"] = GLib.Variant("s", "standin-token")
            respond(invocation, answer, results if answer == 0 else {})
        elif method == "OpenPipeWireRemote":
            remote = socket.socket(socket.AF_UNIX)
            remote.connect(os.path.join(os.environ["XDG_RUNTIME_DIR"], "pipewire-0"))
            fds = Gio.UnixFDList.new_from_array([remote.detach()])
            invocation.return_value_with_unix_fd_list(GLib.Variant("(h)", (0,)), fds)

    def prop(conn, sender, path, iface, name):
        return GLib.Variant("u", {"version": version, "AvailableCursorModes": 3}[name])

    info = Gio.DBusNodeInfo.new_for_xml(XML).interfaces[0]
    bus.register_object(PATH, info, call, prop, None)
    owned = lambda *a: print("ready", node, flush=True)
    Gio.bus_own_name_on_connection(bus, "org.freedesktop.portal.Desktop", 0, owned, lambda *a: loop.quit())
    GLib.io_add_watch(0, GLib.IO_IN | GLib.IO_HUP, lambda *a: loop.quit())
    loop.run()
    producer.kill()


if __name__ == "__main__":
    main()
