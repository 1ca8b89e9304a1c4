#!/usr/bin/env python3
"""A TCP relay that adds a fixed delay to every round trip between its clients
and one server, the way a distant server would: each byte waits half the delay
on its way in and half on its way out, and a new connection waits one whole
delay, as a TCP handshake over such a link would. Bytes keep their order and
the delay does not shrink the throughput.
  delay_relay.py LISTEN_PORT SERVER_PORT DELAY_MS   (loopback only)
Prints "ready" once it listens."""
import asyncio
import sys
import time


async def pipe(reader, writer, delay):
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
            await writer.drain()
        if writer.can_write_eof():
            writer.write_eof()

    sender = asyncio.create_task(deliver())
    try:
        while True:
            data = await reader.read(65536)
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
    await asyncio.gather(pipe(client_reader, server_writer, delay),
                         pipe(server_reader, client_writer, delay))
    for writer in (client_writer, server_writer):
        writer.close()


async def main():
    listen_port, server_port, delay_ms = (int(a) for a in sys.argv[1:4])
    delay = delay_ms / 2000.0
    server = await asyncio.start_server(
        lambda r, w: relay(r, w, server_port, delay), "127.0.0.1", listen_port, backlog=256)
    print("ready", flush=True)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    asyncio.run(main())
