#!/usr/bin/env python3
"""A TCP relay that adds a fixed delay to every round trip between its clients
and one server, the way a distant server would: each byte waits half the delay
on its way in and half on its way out, and a new connection waits one whole
delay, as a TCP handshake over such a link would. Bytes keep their order and
the delay does not shrink the throughput.
  delay_relay.py LISTEN_PORT SERVER_PORT DELAY_MS   (loopback only)
Prints "ready" once it listens. On SIGUSR1 it prints, and starts again, the
mean time in ms from a request's first bytes to its answer's first bytes (the
delay as it really was, the server's time included) and the mean time from
an answer's last bytes to the next request on the connection (the client's
own time, the loopback's included)."""
import asyncio
import signal
import sys
import time


class Turns:
    """The turns of every connection since the last report."""

    def __init__(self):
        self.reset()

    def reset(self):
        self.answered = self.answer_time = self.asked = self.client_time = 0

    def report(self):
        def mean_ms(total, count):
            return 1000 * total / count if count else 0
        print(f"{mean_ms(self.answer_time, self.answered):.2f} "
              f"{mean_ms(self.client_time, self.asked):.2f}", flush=True)
        self.reset()


TURNS = Turns()


class Connection:
    """When the open request was asked and the last answer bytes left."""

    def __init__(self):
        self.asked_at = None
        self.answered_at = None

    def on_request(self):
        now = time.monotonic()
        if self.asked_at is None:
            self.asked_at = now
            if self.answered_at is not None:
                TURNS.asked += 1
                TURNS.client_time += now - self.answered_at
        self.answered_at = None

    def on_answer(self):
        now = time.monotonic()
        if self.asked_at is not None:
            TURNS.answered += 1
            TURNS.answer_time += now - self.asked_at
            self.asked_at = None
        self.answered_at = now


async def pipe(reader, writer, delay, on_read=None, on_write=None):
    queue = asyncio.Queue()

    async def deliver():
        while True:
            due, data = await queue.get()
            wait = due - time.monotonic()
            if wait > 0:
                await asyncio.sleep(wait)
            if not data:
                break
            writer.write(data)
            if on_write:
                on_write()
            await writer.drain()
        if writer.can_write_eof():
            writer.write_eof()

    sender = asyncio.create_task(deliver())
    try:
        while True:
            data = await reader.read(65536)
            if data and on_read:
                on_read()
            queue.put_nowait((time.monotonic() + delay, data))
            if not data:
                break
    except ConnectionError:
        queue.put_nowait((0, b""))
    try:
        await sender
    except ConnectionError:
        pass


async def relay(client_reader, client_writer, server_port, delay):
    await asyncio.sleep(2 * delay)
    try:
        server_reader, server_writer = await asyncio.open_connection("127.0.0.1", server_port)
    except OSError:
        client_writer.close()
        return
    connection = Connection()
    await asyncio.gather(pipe(client_reader, server_writer, delay, on_read=connection.on_request),
                         pipe(server_reader, client_writer, delay, on_write=connection.on_answer))
    for writer in (client_writer, server_writer):
        writer.close()


async def main():
    listen_port, server_port, delay_ms = (int(a) for a in sys.argv[1:4])
    delay = delay_ms / 2000.0
    server = await asyncio.start_server(
        lambda r, w: relay(r, w, server_port, delay), "127.0.0.1", listen_port, backlog=256)
    asyncio.get_running_loop().add_signal_handler(signal.SIGUSR1, TURNS.report)
    print("ready", flush=True)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    asyncio.run(main())
