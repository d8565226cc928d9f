#!/usr/bin/python3
"""An SMTP server on loopback for the tests of the failure notice.

Usage: smtp-test-server.py MODE DIR [PORT]

MODE is one of
  accept  - accepts every message;
  reject  - answers every RCPT TO with 550;
  silent  - accepts TCP connections and never says a word.

The server listens on PORT of 127.0.0.1 (by default a free port that it
picks) and, once listening, writes that port into DIR/port (atomically).
Each message it receives becomes a directory DIR/message-NNNN holding one
file per item:
  mail_from, rcpt_tos (one per line), raw (the data as received),
  subject, from_name, from_address, to, date, date_valid, message_id,
  mime_version, content_type, charset, transfer_encoding, body (decoded
  with Python's email package) and defects (one per line, empty when the
  message parsed cleanly).
The directory appears complete (it is renamed into place). The server ends
on SIGTERM or when the process that started it goes away.
"""

import asyncio
import email.parser
import email.policy
import os
import signal
import sys

from aiosmtpd.smtp import SMTP


def write_atomically(directory, name, data):
    tmp = os.path.join(directory, name + ".tmp")
    with open(tmp, "wb") as f:
        f.write(data)
    os.rename(tmp, os.path.join(directory, name))


def header_defects(message):
    defects = [type(d).__name__ for d in message.defects]
    for name, value in message.items():
        for d in getattr(value, "defects", ()):
            defects.append(f"{name}: {type(d).__name__}")
    return defects


def decoded_fields(raw):
    # The wire form has CRLF line ends; Python's text model uses LF.
    lf_text = raw.replace(b"\r\n", b"\n")
    message = email.parser.BytesParser(policy=email.policy.default).parsebytes(lf_text)
    fields = {}
    fields["subject"] = str(message.get("Subject", ""))
    sender = message.get("From")
    if sender is not None and sender.addresses:
        fields["from_name"] = sender.addresses[0].display_name
        fields["from_address"] = sender.addresses[0].addr_spec
    fields["to"] = "\n".join(a.addr_spec for a in message["To"].addresses) if message.get("To") else ""
    date = message.get("Date")
    fields["date"] = str(date) if date is not None else ""
    fields["date_valid"] = "yes" if date is not None and date.datetime is not None else "no"
    fields["message_id"] = str(message.get("Message-ID", ""))
    fields["mime_version"] = str(message.get("MIME-Version", ""))
    fields["content_type"] = message.get_content_type()
    fields["charset"] = message.get_content_charset() or ""
    fields["transfer_encoding"] = str(message.get("Content-Transfer-Encoding", ""))
    try:
        fields["body"] = message.get_content()
    except Exception as error:  # the test shows what could not be decoded
        fields["body"] = f"<undecodable body: {error}>"
    fields["defects"] = "\n".join(header_defects(message))
    return fields


class Recorder:
    def __init__(self, directory, reject):
        self.directory = directory
        self.reject = reject
        self.count = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if self.reject:
            return f"550 5.1.1 <{address}>: Recipient address rejected: no such user"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        name = f"message-{self.count:04d}"
        tmp = os.path.join(self.directory, name + ".tmp")
        os.mkdir(tmp)
        raw = envelope.original_content or envelope.content
        write_atomically(tmp, "mail_from", envelope.mail_from.encode())
        write_atomically(tmp, "rcpt_tos", "\n".join(envelope.rcpt_tos).encode())
        write_atomically(tmp, "raw", raw)
        for key, value in decoded_fields(raw).items():
            write_atomically(tmp, key, value.encode("utf-8", "surrogateescape"))
        os.rename(tmp, os.path.join(self.directory, name))
        return "250 Message accepted for delivery"


async def hold_silently(reader, writer):
    await reader.read()  # until the client gives up
    writer.close()


async def main(mode, directory, port):
    loop = asyncio.get_running_loop()
    if mode == "silent":
        server = await asyncio.start_server(hold_silently, "127.0.0.1", port)
    elif mode in ("accept", "reject"):
        recorder = Recorder(directory, reject=(mode == "reject"))
        server = await loop.create_server(
            lambda: SMTP(recorder, hostname="smtp-test.localdomain", decode_data=False),
            "127.0.0.1",
            port,
        )
    else:
        raise SystemExit(f"unknown mode {mode}")

    stop = asyncio.Event()
    loop.add_signal_handler(signal.SIGTERM, stop.set)
    loop.add_signal_handler(signal.SIGINT, stop.set)
    parent = os.getppid()

    async def watch_parent():
        while os.getppid() == parent:
            await asyncio.sleep(0.5)
        stop.set()

    watcher = asyncio.create_task(watch_parent())
    listening = server.sockets[0].getsockname()[1]
    write_atomically(directory, "port", str(listening).encode())
    await stop.wait()
    watcher.cancel()
    server.close()


if __name__ == "__main__":
    if len(sys.argv) not in (3, 4):
        raise SystemExit(__doc__)
    asyncio.run(main(sys.argv[1], sys.argv[2], int(sys.argv[3]) if len(sys.argv) == 4 else 0))
