"""FTPS server of the tests: Debian's pure-ftpd, one process a connection, on 127.0.0.1.

Usage: ftpsserver.py LOGFILE (--explicit | --implicit) CERT KEY
       USER:PASSWORD:HOME [...] [--drop-in-tls]

Prints "PORT <n>" on standard output once it listens. Each connection gets its own
pure-ftpd (as inetd would start it) with the virtual users given, each locked in its HOME
(owned by the user "nobody"), TLS required on the control connection and on every data
connection (-Y 3), and the certificate CERT with its key KEY.
--explicit: clients connect in plain FTP and ask for TLS with AUTH TLS.
--implicit: clients speak TLS from the first byte. Debian's pure-ftpd has no implicit
mode, so this server terminates TLS itself, control and data connections alike, and
relays them in plain to a pure-ftpd without TLS, answering PBSZ and PROT itself and
turning the passive replies to data ports of its own. Its relayed commands are logged
(PASS hidden).
--drop-in-tls: no pure-ftpd; the connection is closed as the TLS handshake begins (after
"234" to AUTH TLS, or on the first bytes with --implicit).
Writes one JSON object a line to LOGFILE: connections, and with --implicit the commands.
"""

import ctypes
import json
import os
import re
import signal
import socket
import ssl
import subprocess
import sys
import threading

PR_SET_PDEATHSIG = 1
NOBODY = 65534


def die_with_parent():
    # The servers of a test end with it, even when it is killed.
    ctypes.CDLL("libc.so.6", use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGKILL)


def main():
    args = sys.argv[1:]
    log_path = args.pop(0)
    mode = None
    cert = key = None
    users = []
    drop_in_tls = False
    while args:
        a = args.pop(0)
        if a in ("--explicit", "--implicit"):
            mode = a[2:]
            cert = args.pop(0)
            key = args.pop(0)
        elif a == "--drop-in-tls":
            drop_in_tls = True
        else:
            users.append(a.split(":", 2))
    folder = os.path.dirname(os.path.abspath(log_path))
    log_file = open(log_path, "a", buffering=1, encoding="utf-8")
    lock = threading.Lock()

    def log(**entry):
        with lock:
            log_file.write(json.dumps(entry) + "\n")

    passwd = os.path.join(folder, "pureftpd.passwd")
    database = os.path.join(folder, "pureftpd.pdb")
    with open(passwd, "w") as f:
        for name, password, home in users:
            digest = subprocess.run(["openssl", "passwd", "-6", "-stdin"], input=password,
                                    capture_output=True, text=True, check=True).stdout.strip()
            os.makedirs(home, exist_ok=True)
            for root, dirs, files in os.walk(home):
                for entry in [root] + [os.path.join(root, n) for n in dirs + files]:
                    os.chown(entry, NOBODY, NOBODY)
            f.write("%s:%s:%d:%d::%s/./::::::::::::\n" % (name, digest, NOBODY, NOBODY, home))
    subprocess.run(["pure-pw", "mkdb", database, "-f", passwd], check=True,
                   stdout=subprocess.DEVNULL)

    def pure_ftpd(sock, tls):
        options = ["-l", "puredb:" + database, "-E", "-A", "-H"]
        if tls:
            options += ["-Y", "3", "-2", cert + "," + key]
        subprocess.Popen(["/usr/sbin/pure-ftpd"] + options, stdin=sock, stdout=sock,
                         stderr=subprocess.DEVNULL, preexec_fn=die_with_parent)

    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    # No session tickets after the handshake: a client that never reads them closes its
    # data connection with unread bytes, which resets it and loses the last bytes sent.
    context.num_tickets = 0

    def plain_pair():
        # A TCP connection over loopback: pure-ftpd learns its own address from it.
        listener = socket.socket()
        listener.bind(("127.0.0.1", 0))
        listener.listen(1)
        near = socket.create_connection(listener.getsockname())
        far, _ = listener.accept()
        listener.close()
        return near, far

    def pump(source, target, after=None):
        try:
            while True:
                data = source.recv(65536)
                if not data:
                    break
                target.sendall(data)
        except OSError:
            pass
        if after:
            after()

    def relay_data(listener, port):
        try:
            raw, _ = listener.accept()
        finally:
            listener.close()
        # pure-ftpd answers the transfer command only once its data connection is made.
        server = socket.create_connection(("127.0.0.1", port))
        try:
            client = context.wrap_socket(raw, server_side=True)
        except (OSError, ssl.SSLError):
            raw.close()
            server.close()
            return

        def close_to_server():
            try:
                server.shutdown(socket.SHUT_WR)
            except OSError:
                pass

        upload = threading.Thread(target=pump, args=(client, server, close_to_server))
        upload.start()
        pump(server, client)
        upload.join()
        try:
            client.unwrap()
        except (OSError, ssl.SSLError):
            pass
        client.close()
        server.close()

    def implicit_session(raw):
        try:
            client = context.wrap_socket(raw, server_side=True)
        except (OSError, ssl.SSLError):
            raw.close()
            return
        near, far = plain_pair()
        pure_ftpd(far, False)
        far.close()
        reader = near.makefile("rb")
        writer_lock = threading.Lock()

        def to_client(line):
            with writer_lock:
                client.sendall(line)

        def from_server():
            for line in reader:
                text = line.decode("utf-8", "replace")
                m = re.match(r"229 .*\(\|\|\|(\d+)\|\)", text)
                m2 = re.match(r"227 .*\((\d+),(\d+),(\d+),(\d+),(\d+),(\d+)\)", text)
                if m or m2:
                    port = int(m.group(1)) if m else int(m2.group(5)) * 256 + int(m2.group(6))
                    listener = socket.socket()
                    listener.bind(("127.0.0.1", 0))
                    listener.listen(1)
                    mine = listener.getsockname()[1]
                    threading.Thread(target=relay_data, args=(listener, port)).start()
                    if m:
                        line = ("229 Extended Passive mode OK (|||%d|)\r\n" % mine).encode()
                    else:
                        line = ("227 Entering Passive Mode (127,0,0,1,%d,%d)\r\n"
                                % (mine // 256, mine % 256)).encode()
                to_client(line)
            client.close()

        threading.Thread(target=from_server).start()
        buffer = b""
        try:
            while True:
                data = client.recv(4096)
                if not data:
                    break
                buffer += data
                while b"\n" in buffer:
                    line, buffer = buffer.split(b"\n", 1)
                    command = line.decode("utf-8", "replace").strip()
                    verb = command.split(" ")[0].upper()
                    log(event="command", line="PASS ****" if verb == "PASS" else command)
                    if verb == "PBSZ":
                        to_client(b"200 PBSZ=0\r\n")
                    elif verb == "PROT":
                        to_client(b"200 Data protection level set to \"private\"\r\n")
                    else:
                        near.sendall(line + b"\n")
        except (OSError, ssl.SSLError):
            pass
        try:
            near.shutdown(socket.SHUT_WR)
        except OSError:
            pass

    def dropping_session(raw):
        if mode == "explicit":
            raw.sendall(b"220 Servidor de testes pronto.\r\n")
            for line in raw.makefile("rb"):
                if line.upper().startswith(b"AUTH"):
                    raw.sendall(b"234 AUTH TLS OK.\r\n")
                    break
                raw.sendall(b"530 Primeiro o TLS.\r\n")
        raw.recv(100)
        log(event="dropped-tls")
        raw.close()

    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    print("PORT %d" % listener.getsockname()[1], flush=True)
    while True:
        raw, peer = listener.accept()
        log(event="connect", peer="%s:%d" % peer)
        if drop_in_tls:
            threading.Thread(target=dropping_session, args=(raw,)).start()
        elif mode == "implicit":
            threading.Thread(target=implicit_session, args=(raw,)).start()
        else:
            pure_ftpd(raw, True)
            raw.close()


if __name__ == "__main__":
    main()
