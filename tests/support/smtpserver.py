"""SMTP server of the tests and benchmarks: aiosmtpd on 127.0.0.1 on a free port.

Usage: smtpserver.py LOGFILE [--refuse ADDRESS]... [--drop-in-data] [--no-reply]
       [--greeting LINE] [--reply COMMAND LINES]... [--reject-message LINES]
       [--starttls CERT KEY | --tls CERT KEY] [--auth USER:PASSWORD] [--drop-in-tls]

Prints "PORT <n>" on standard output once it listens. Writes to LOGFILE one JSON
object a line: every connection, the greeting's argument, and each message kept
(its envelope and the file holding its bytes, beside LOGFILE). --refuse answers
RCPT of that address with 550; --drop-in-data closes the connection after the
first bytes of the message; --no-reply accepts and never says a word.
--greeting replaces the whole greeting line; --reply answers every COMMAND (EHLO,
HELO, MAIL, RCPT, DATA) with LINES instead of carrying it out; --reject-message
answers the end of a message with LINES and keeps nothing. LINE and LINES take
Python's backslash escapes (\\x1b, \\x00, \\r\\n between the lines of a multi-line
reply), so a test can play a server that sends control characters.
--starttls offers STARTTLS with that certificate and requires it before any mail;
--tls speaks TLS from the first byte. --auth requires a log-in (AUTH PLAIN or LOGIN)
with that user and password before MAIL, offered only over TLS (or, without TLS, on
the plain connection: a server that would take a password unprotected); every
attempt is logged with its mechanism, user and outcome, never the password.
--drop-in-tls closes the connection as the TLS handshake begins (after "220" to
STARTTLS, or on the first bytes with --tls).
"""

import asyncio
import codecs
import json
import os
import ssl
import sys

from aiosmtpd.smtp import SMTP, AuthResult


def unescaped(text):
    return codecs.decode(text, "unicode_escape")


def main():
    args = sys.argv[1:]
    log_path = args.pop(0)
    refused = set()
    drop_in_data = False
    no_reply = False
    greeting = None
    replies = {}
    reject_message = None
    starttls = None
    implicit = None
    auth = None
    drop_in_tls = False
    while args:
        a = args.pop(0)
        if a == "--refuse":
            refused.add(args.pop(0))
        elif a == "--drop-in-data":
            drop_in_data = True
        elif a == "--no-reply":
            no_reply = True
        elif a == "--greeting":
            greeting = unescaped(args.pop(0))
        elif a == "--reply":
            command = args.pop(0).upper()
            replies[command] = unescaped(args.pop(0))
        elif a == "--reject-message":
            reject_message = unescaped(args.pop(0))
        elif a == "--starttls":
            starttls = (args.pop(0), args.pop(0))
        elif a == "--tls":
            implicit = (args.pop(0), args.pop(0))
        elif a == "--auth":
            auth = args.pop(0).split(":", 1)
        elif a == "--drop-in-tls":
            drop_in_tls = True
    folder = os.path.dirname(os.path.abspath(log_path))
    log_file = open(log_path, "a", buffering=1, encoding="utf-8")

    def log(**entry):
        log_file.write(json.dumps(entry) + "\n")

    class Handler:
        count = 0

        async def handle_EHLO(self, server, session, envelope, hostname, responses):
            log(event="greeting", command="EHLO", argument=hostname)
            session.host_name = hostname
            return responses

        async def handle_HELO(self, server, session, envelope, hostname):
            log(event="greeting", command="HELO", argument=hostname)
            session.host_name = hostname
            return "250 {}".format(server.hostname)

        async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
            if address in refused:
                return "550 5.1.1 Destinatario recusado"
            envelope.rcpt_tos.append(address)
            return "250 OK"

        async def handle_DATA(self, server, session, envelope):
            if reject_message is not None:
                log(event="rejected")
                return reject_message
            Handler.count += 1
            path = os.path.join(folder, "message%d.eml" % Handler.count)
            with open(path, "wb") as f:
                f.write(envelope.original_content)
            log(event="message", file=path, mail_from=envelope.mail_from,
                rcpt_tos=list(envelope.rcpt_tos))
            return "250 Message accepted for delivery"

    def context_of(pair):
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(pair[0], pair[1])
        return context

    def authenticator(server, session, envelope, mechanism, data):
        login = data.login.decode("utf-8", "replace")
        ok = auth is not None and login == auth[0] \
            and data.password.decode("utf-8", "replace") == auth[1]
        log(event="auth", mechanism=mechanism, user=login, success=ok)
        return AuthResult(success=ok, handled=False)

    class Server(SMTP):
        greeted = False

        def connection_made(self, transport):
            # STARTTLS makes the connection anew over TLS: still the same connection.
            if not self._tls_protocol:
                log(event="connect")
            super().connection_made(transport)

        async def push(self, status):
            # The first line a connection sends is its greeting.
            if not self.greeted:
                self.greeted = True
                if greeting is not None:
                    status = greeting.encode("utf-8")
            await super().push(status)

        async def replied(self, command):
            if command not in replies:
                return False
            log(event="command", command=command)
            await self.push(replies[command].encode("utf-8"))
            return True

        async def smtp_EHLO(self, arg):
            if not await self.replied("EHLO"):
                await super().smtp_EHLO(arg)

        async def smtp_HELO(self, arg):
            if not await self.replied("HELO"):
                await super().smtp_HELO(arg)

        async def smtp_MAIL(self, arg):
            if not await self.replied("MAIL"):
                await super().smtp_MAIL(arg)

        async def smtp_RCPT(self, arg):
            if not await self.replied("RCPT"):
                await super().smtp_RCPT(arg)

        async def smtp_STARTTLS(self, arg):
            log(event="starttls")
            if not drop_in_tls:
                return await super().smtp_STARTTLS(arg)
            await self.push("220 Ready to start TLS")
            await self._reader.read(100)
            log(event="dropped-tls")
            self.transport.close()

        async def smtp_DATA(self, arg):
            if await self.replied("DATA"):
                return
            if not drop_in_data:
                return await super().smtp_DATA(arg)
            await self.push("354 End data with <CR><LF>.<CR><LF>")
            await self._reader.read(1000)
            log(event="dropped")
            self.transport.close()

    async def serve():
        loop = asyncio.get_running_loop()
        if no_reply:
            async def silent(reader, writer):
                log(event="connect")
                await asyncio.sleep(3600)
            server = await asyncio.start_server(silent, "127.0.0.1", 0)
        elif implicit and drop_in_tls:
            async def dropping(reader, writer):
                log(event="connect")
                await reader.read(100)
                log(event="dropped-tls")
                writer.close()
            server = await asyncio.start_server(dropping, "127.0.0.1", 0)
        else:
            options = dict(data_size_limit=None, hostname="teste.local")
            if starttls:
                options.update(tls_context=context_of(starttls), require_starttls=True)
            if auth:
                options.update(authenticator=authenticator, auth_required=True,
                               auth_require_tls=bool(starttls))
            server = await loop.create_server(
                lambda: Server(Handler(), **options), "127.0.0.1", 0,
                ssl=context_of(implicit) if implicit else None)
        print("PORT %d" % server.sockets[0].getsockname()[1], flush=True)
        await asyncio.Event().wait()

    asyncio.run(serve())


if __name__ == "__main__":
    main()
