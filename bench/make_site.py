#!/usr/bin/env python3
"""Writes a static site for crawl benchmarks: PAGES pages in a tree of folders
(every page reachable from /index.html through links down the tree), each page
linking back to its parent, to the style sheet and to two of IMAGES images.
With BROKEN, that many pages, spread evenly, also link to a page of their own
that does not exist; with DEAD_HOST, the last page also shows an image from
that host, which is meant not to resolve (a name under .invalid).
  make_site.py ROOT PAGES IMAGES [BROKEN [DEAD_HOST]]"""
import os
import random
import sys


def page_path(i, fanout):
    parts = []
    while i >= fanout:
        i = (i - fanout) // fanout
        parts.append(f"d{i % 7}")
    return "/".join([f"sec{i}"] + list(reversed(parts)))


def main():
    root, pages, images = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    broken = int(sys.argv[4]) if len(sys.argv) > 4 else 0
    dead_host = sys.argv[5] if len(sys.argv) > 5 else ""
    broken_every = pages // broken if broken else 0
    fanout = 5
    rng = random.Random(20261207)
    paths = [f"{page_path(i, fanout)}/page{i}.html" for i in range(pages)]

    def write(path, data):
        full = os.path.join(root, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as f:
            f.write(data)

    def page(title, links, pics, dead=False):
        body = [f"<html><head><title>{title}</title>",
                '<link rel="stylesheet" href="/style.css"></head><body>',
                f"<h1>{title}</h1>"]
        body += [f'<p>Paragraph {n} of {title}. ' + "lorem ipsum dolor sit amet " * 8 + "</p>"
                 for n in range(4)]
        body += [f'<a href="/{link}">{link}</a><br>' for link in links]
        body += [f'<img src="/img/{n % 40}/pic{n}.png" alt="picture {n}">' for n in pics]
        if dead:
            body.append(f'<img src="http://{dead_host}/gone.png" alt="picture from nowhere">')
        return ("\n".join(body) + "\n</body></html>\n").encode()

    write("style.css", b"body { font-family: serif; } img { width: 64px; }\n")
    write("index.html", page("Home", paths[:fanout], [0, 1]))
    for i in range(pages):
        children = paths[fanout + i * fanout: fanout + (i + 1) * fanout]
        parent = ["index.html"] if i < fanout else [paths[(i - fanout) // fanout]]
        if broken_every and i % broken_every == 0 and i // broken_every < broken:
            parent.append(f"missing/page{i}.html")
        pics = [(2 * i) % images, (2 * i + 1) % images]
        write(paths[i], page(f"Page {i}", children + parent, pics, dead_host and i == pages - 1))
    for n in range(images):
        write(f"img/{n % 40}/pic{n}.png", b"\x89PNG\r\n\x1a\n" + rng.randbytes(rng.randint(1500, 9000)))


if __name__ == "__main__":
    main()
