"""FTP server of the tests: pyftpdlib on 127.0.0.1 on a free port.

Usage: ftpserver.py LOGFILE USER:PASSWORD:HOME:PERM [...] [--die-after BYTES]
       [--no-reply] [--banner TEXT] [--reply COMMAND LINES]...

Prints "PORT <n>" on standard output once it listens. Every connection, command
(PASS with its argument hidden), login and received file is written to LOGFILE as
one JSON object a line, so a test can check what reached the server. With
--die-after the whole server exits once it has received that many bytes of one
file (a server stopped in the middle of an upload). With --no-reply it accepts
connections and never says a word. --banner replaces the greeting's text;
--reply answers every COMMAND (USER, PASS, CWD, STOR...) with LINES instead of
carrying it out (the command is still logged). TEXT and LINES take Python's
backslash escapes (\\x1b, \\x00, \\r\\n between the lines of a multi-line reply),
so a test can play a server that sends control characters.
"""

import codecs
import json
import os
import socket
import sys
import threading
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler
from pyftpdlib.servers import FTPServer


def unescaped(text):
    return codecs.decode(text, "unicode_escape")


def main():
    args = sys.argv[1:]
    log_path = args.pop(0)
    die_after = None
    no_reply = False
    banner = None
    replies = {}
    users = []
    while args:
        a = args.pop(0)
        if a == "--die-after":
            die_after = int(args.pop(0))
        elif a == "--no-reply":
            no_reply = True
        elif a == "--banner":
            banner = unescaped(args.pop(0))
        elif a == "--reply":
            command = args.pop(0).upper()
            replies[command] = unescaped(args.pop(0))
        else:
            users.append(a.split(":", 3))

    log_file = open(log_path, "a", buffering=1, encoding="utf-8")
    lock = threading.Lock()

    def log(**entry):
        with lock:
            log_file.write(json.dumps(entry) + "\n")

    if no_reply:
        listener = socket.socket()
        listener.bind(("127.0.0.1", 0))
        listener.listen(16)
        print("PORT %d" % listener.getsockname()[1], flush=True)
        held = []
        while True:
            conn, peer = listener.accept()
            held.append(conn)
            log(event="connect", peer="%s:%d" % peer)

    authorizer = DummyAuthorizer()
    for name, password, home, perm in users:
        authorizer.add_user(name, password, home, perm=perm)

    class Dtp(DTPHandler):
        def handle_read(self):
            super().handle_read()
            if die_after is not None and self.tot_bytes_received >= die_after:
                log(event="died", bytes=self.tot_bytes_received)
                os._exit(0)

        # pyftpdlib binds the event to its own handle_read.
        handle_read_event = handle_read

    class Handler(FTPHandler):
        dtp_handler = Dtp
        banner = "Servidor de testes pronto."

        def on_connect(self):
            log(event="connect", peer="%s:%d" % (self.remote_ip, self.remote_port))

        def pre_process_command(self, line, cmd, arg):
            shown = "PASS ****" if cmd == "PASS" else line
            log(event="command", peer="%s:%d" % (self.remote_ip, self.remote_port),
                line=shown, cmd=cmd)
            if cmd in replies:
                self.respond(replies[cmd])
                return
            super().pre_process_command(line, cmd, arg)

        def on_login(self, username):
            log(event="login", user=username,
                peer="%s:%d" % (self.remote_ip, self.remote_port))

        def on_file_received(self, file):
            log(event="received", path=file)

        def on_incomplete_file_received(self, file):
            log(event="incomplete", path=file)

    if banner is not None:
        Handler.banner = banner
    Handler.authorizer = authorizer
    Handler.permit_foreign_addresses = False
    server = FTPServer(("127.0.0.1", 0), Handler)
    server.max_cons = 64
    print("PORT %d" % server.socket.getsockname()[1], flush=True)
    server.serve_forever(timeout=0.2, blocking=True, handle_exit=True)


if __name__ == "__main__":
    import logging
    logging.basicConfig(level=logging.CRITICAL)
    main()
