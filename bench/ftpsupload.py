"""A second anchor of bench_ftp --tls: Python's ftplib uploading files over explicit FTPS
(AUTH TLS, PROT P, passive) on one control connection, as a client without libcurl's
waits between a passive reply and the data connection.

Usage: ftpsupload.py HOST PORT USER PASSWORD CAFILE FILE...
"""

import ftplib
import os
import ssl
import sys


def main():
    host, port, user, password, cafile = sys.argv[1:6]
    context = ssl.create_default_context(cafile=cafile)
    ftp = ftplib.FTP_TLS(context=context)
    ftp.connect(host, int(port))
    ftp.login(user, password)
    ftp.prot_p()
    for path in sys.argv[6:]:
        with open(path, "rb") as f:
            ftp.storbinary("STOR " + os.path.basename(path), f, blocksize=65536)
    ftp.quit()


if __name__ == "__main__":
    main()
