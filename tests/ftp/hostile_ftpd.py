"""A small FTP server that misbehaves on purpose, for the copy tests.

Usage: hostile_ftpd.py MODE. Prints its loopback port as its first line. Modes:
  names    the listing holds names that try to leave the folder, and one good file
  cut      the listing offers fmcu0300.hex, whose transfer stops halfway
  garbage  the listing is binary noise
  silent   accepts the connection and never says a word
  stall    answers, then never sends the listing it promised
  endless-file     offers fmcu0300.hex and sends it without end (its size unknown)
  endless-listing  sends names without end
  trickle  offers fmcu0300.hex and sends two bytes a second, for ever
  long     offers a 255-byte fmcu name (not MCU firmware), then a good 255-byte fdsp name
"""
import os
import socket
import sys
import threading
import time

GOOD = b":0400000001020304F2\r\n:00000001FF\r\n"
NAMES = [b"../escape.hex", b"/tmp/fmcu0999.hex", b".hidden", b"fmcu0901.hex\x07",
         b"sub/fmcu0902.hex", b"..\\fmcu0903.hex", b"fmcu0904.hex\x1b[2J\x9b1m", b"fdsp0300.hex"]
LONG = [b"fmcu0400" + b"x" * 243 + b".hex", b"fdsp0400" + b"x" * 243 + b".hex"]


def endless(d, piece, pause=0):
    try:
        while True:
            d.sendall(piece)
            if pause:
                time.sleep(pause)
    except OSError:
        pass  # the client hung up: what it was for


def serve(conn, mode):
    f = conn.makefile("rb")
    send = lambda text: conn.sendall(text.encode() + b"\r\n")
    if mode == "silent":
        f.readline()  # wait until the client gives up
        return
    send("220 hostile")
    data = None
    while True:
        line = f.readline()
        if not line:
            return
        cmd = line.decode("latin-1").strip().split(" ", 1)
        verb, arg = cmd[0].upper(), (cmd[1] if len(cmd) > 1 else "")
        if verb == "USER":
            send("331 any password")
        elif verb == "PASS":
            send("230 in")
        elif verb in ("PWD",):
            send('257 "/"')
        elif verb == "CWD":
            send("250 ok")
        elif verb == "TYPE":
            send("200 ok")
        elif verb in ("EPSV", "PASV"):
            data = socket.socket()
            data.bind(("127.0.0.1", 0))
            data.listen(1)
            port = data.getsockname()[1]
            if verb == "EPSV":
                send("229 Entering Extended Passive Mode (|||%d|)" % port)
            else:  # what WinINet asks for
                send("227 Entering Passive Mode (127,0,0,1,%d,%d)" % (port >> 8, port & 255))
        elif verb in ("NLST", "RETR", "LIST"):
            if mode == "stall":
                send("150 here it comes")
                f.readline()
                return
            send("150 opening")
            d, _ = data.accept()
            if verb != "RETR":
                # NLST gives names alone; LIST (WinINet's listing) the same names in the ls form.
                line = (lambda n: n + b"\r\n") if verb == "NLST" else \
                    (lambda n: b"-rw-r--r-- 1 owner group 2100 Jan 01 00:00 " + n + b"\r\n")
                if mode == "names":
                    d.sendall(b"".join(map(line, NAMES)))
                elif mode in ("cut", "endless-file", "trickle"):
                    d.sendall(line(b"fmcu0300.hex"))
                elif mode == "long":
                    d.sendall(b"".join(map(line, LONG)))
                elif mode == "endless-listing":
                    endless(d, b"".join(line(b"fdsp%04d.hex" % n) for n in range(100)))
                    return
                else:
                    d.sendall(os.urandom(3000))
                d.close()
                send("226 done")
            elif mode == "endless-file":
                endless(d, b":0400000001020304F2\r\n" * 100)
                return
            elif mode == "trickle":
                endless(d, b"::", 1)
                return
            elif mode == "cut":
                d.sendall(b":0400000001020304F2\r\n" * 100)
                d.close()
                send("426 connection closed; transfer aborted")
            else:
                d.sendall(GOOD)
                d.close()
                send("226 done")
        elif verb == "SIZE":
            if mode in ("endless-file", "trickle"):
                send("502 no")
            else:
                send("213 %d" % (2100 if mode == "cut" else len(GOOD)))
        elif verb == "QUIT":
            send("221 bye")
            return
        else:
            send("502 no")


def main():
    mode = sys.argv[1]
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    print(listener.getsockname()[1], flush=True)
    while True:
        conn, _ = listener.accept()
        threading.Thread(target=serve, args=(conn, mode), daemon=True).start()


if __name__ == "__main__":
    main()
