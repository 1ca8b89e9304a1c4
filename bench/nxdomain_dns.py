#!/usr/bin/env python3
"""A name server that knows no name: every query over UDP or TCP on ADDRESS
port 53 is answered NXDOMAIN at once, as the real web's resolvers answer for
a host that does not exist. Each queried name goes to LOG, one per line.
Prints "ready" once it listens; runs until killed.
  nxdomain_dns.py ADDRESS LOG"""
import socket
import struct
import sys
import threading

NXDOMAIN = 3


def question_end(query):
    """The offset after the first question (name, type, class)."""
    at = 12
    while at < len(query) and query[at] != 0:
        at += 1 + query[at]
    return at + 5


def question_name(query):
    labels, at = [], 12
    while at < len(query) and query[at] != 0:
        labels.append(query[at + 1:at + 1 + query[at]].decode("ascii", "replace"))
        at += 1 + query[at]
    return ".".join(labels)


def answer(query):
    """The query's own id and question, with the name's absence as the answer."""
    if len(query) < 12:
        return None
    ident, flags = struct.unpack("!HH", query[:4])
    opcode_and_rd = flags & 0x7900
    header = struct.pack("!HHHHHH", ident, 0x8000 | opcode_and_rd | 0x0080 | NXDOMAIN, 1, 0, 0, 0)
    return header + query[12:question_end(query)]


class Log:
    def __init__(self, path):
        self.file = open(path, "a", buffering=1)
        self.lock = threading.Lock()

    def write(self, query):
        with self.lock:
            self.file.write(question_name(query) + "\n")


def serve_udp(sock, log):
    while True:
        query, peer = sock.recvfrom(4096)
        reply = answer(query)
        if reply:
            log.write(query)
            sock.sendto(reply, peer)


def serve_tcp_client(conn, log):
    with conn:
        while True:
            size = conn.recv(2)
            if len(size) < 2:
                return
            (length,) = struct.unpack("!H", size)
            query = b""
            while len(query) < length:
                chunk = conn.recv(length - len(query))
                if not chunk:
                    return
                query += chunk
            reply = answer(query)
            if not reply:
                return
            log.write(query)
            conn.sendall(struct.pack("!H", len(reply)) + reply)


def serve_tcp(sock, log):
    while True:
        conn, _ = sock.accept()
        threading.Thread(target=serve_tcp_client, args=(conn, log), daemon=True).start()


def main():
    address, log = sys.argv[1], Log(sys.argv[2])
    udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    udp.bind((address, 53))
    tcp = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    tcp.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    tcp.bind((address, 53))
    tcp.listen(16)
    threading.Thread(target=serve_tcp, args=(tcp, log), daemon=True).start()
    print("ready", flush=True)
    serve_udp(udp, log)


if __name__ == "__main__":
    main()
