"""Reads a message as a mail client would (Python's email package) and prints what it
shows as JSON: decoded headers, the text body, and each attachment's name, type, size
and SHA-256.

Usage: mailreader.py MESSAGE_FILE
"""

import hashlib
import json
import sys
from email import message_from_bytes, policy
from email.utils import getaddresses


def main():
    with open(sys.argv[1], "rb") as f:
        msg = message_from_bytes(f.read(), policy=policy.default)
    out = {
        "from_name": msg["From"].addresses[0].display_name if msg["From"] else None,
        "from_address": msg["From"].addresses[0].addr_spec if msg["From"] else None,
        "to": [a for _, a in getaddresses(msg.get_all("To", []))],
        "cc": [a for _, a in getaddresses(msg.get_all("Cc", []))],
        "has_bcc": msg.get("Bcc") is not None,
        "subject": str(msg["Subject"]) if msg["Subject"] is not None else None,
        "content_type": msg.get_content_type(),
        "defects": [type(d).__name__ for p in msg.walk() for d in p.defects],
        "attachments": [],
        "text": None,
        "text_charset": None,
        "text_encoding": None,
    }
    for part in msg.walk():
        if part.is_multipart():
            continue
        if part.get_content_disposition() == "attachment":
            data = part.get_payload(decode=True)
            out["attachments"].append({
                "name": part.get_filename(),
                "type": part.get_content_type(),
                "encoding": part.get("Content-Transfer-Encoding"),
                "size": len(data),
                "sha256": hashlib.sha256(data).hexdigest(),
            })
        elif part.get_content_type() == "text/plain" and out["text"] is None:
            out["text"] = part.get_content()
            out["text_charset"] = part.get_content_charset()
            out["text_encoding"] = part.get("Content-Transfer-Encoding")
    print(json.dumps(out))


if __name__ == "__main__":
    main()
