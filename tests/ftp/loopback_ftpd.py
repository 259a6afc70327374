"""Anonymous read-only FTP server on a free loopback port for the copy tests.

Usage: loopback_ftpd.py ROOT [SLOW]. Prints the port as its first line. With SLOW, each
transfer sends in small, spaced blocks so that a test can cancel while a file is under way.
"""
import logging
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer

def main():
    logging.basicConfig(level=logging.WARNING)
    authorizer = DummyAuthorizer()
    authorizer.add_anonymous(sys.argv[1])
    handler = FTPHandler
    handler.authorizer = authorizer
    handler.passive_ports = None
    if len(sys.argv) > 2:
        ThrottledDTPHandler.read_limit = 4096
        ThrottledDTPHandler.write_limit = 4096
        handler.dtp_handler = ThrottledDTPHandler
    server = FTPServer(("127.0.0.1", 0), handler)
    print(server.socket.getsockname()[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
