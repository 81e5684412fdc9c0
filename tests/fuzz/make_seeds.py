#!/usr/bin/env python3
"""Writes the seed inputs of fuzz_replies: one of each reply the node sends, in GBK, framed as
on the wire (4-byte little-endian header (1023 << 22) | length, then the body), behind the
harness's first byte, the size of each read. Also a libFuzzer dictionary of the words the
replies are made of. With --requests, the same for fuzz_requests: every request the client
sends, naming the pictures of the harness's collection by the keys the node gives them.

usage: make_seeds.py [--requests] SEED_FOLDER DICTIONARY_FILE
"""
import os
import struct
import sys

SEP = "(＆)"
BASE = "http://127.0.0.1:9/p"


def reply(*fields):
    return SEP.join(fields).encode("gbk")


def frame(body, flag=1023):
    return struct.pack("<I", (flag << 22) | len(body)) + body


SEEDS = {
    "list": reply("&获取", "4K动物", "3", "1", "/a/1.png[a]/a/2.jpg[a]/a/3.gif[a]/a/1.png", "0", BASE),
    "list-hd": reply("&获取", "K风景", "7", "2", "/b/x.png[a]/b/..\\..\\y.png[a]/b/CON", "1", BASE),
    "detail": reply("&详细", "/d/pic.png", "2580", "5", "7", "标题", "说明", "4K动物"),
    "download": reply("&下载", "http://127.0.0.1:9/w/1.jpg", "0"),
    "download-silent": reply("&下载", "http://127.0.0.1:9/w/2.jpg", "1"),
    "hello": reply("&1", "节点[a]赞助[a]说明[a]" + BASE, "真", "欢迎"),
    "nodes": reply("&2", "一号[a]127.0.0.1[a]好[a]1[q]二号[a]127.0.0.2[a]慢[a]2"),
    "notice": reply("&通用", "通知"),
}


WORDS = ["&获取", "&详细", "&下载", "&1", "&2", "&通用", SEP, "[a]", "[q]", "真", "4K最新", "K动物",
         "/", "..", "\\", ".png", ".jpg", "CON", "http://127.0.0.1:9/"]


def key(category, relative):
    """The node's key of a picture: FNV-1a over "category/relative path" in UTF-8, as hex."""
    h = 1469598103934665603
    for b in (category + "/" + relative).encode("utf-8"):
        h = ((h ^ b) * 1099511628211) & 0xFFFFFFFFFFFFFFFF
    return "%016x" % h


def requests():
    a = key("K风景", "K风景/a.jpg")
    wide = key("4K风景", "4K风景/wide.jpg")
    webp = key("K动物", "K动物/d.webp")
    node = "http://127.0.0.2:9"
    seeds = {
        "hello": req("&1", ""),
        "register": req("&3", node, ""),
        "nodes": req("&2"),
        "keep-alive": req("&4"),
        "tab": req("&获取", "K风景", "下载最多", "1", "3", node),
        "paging": req("&获取", "K风景", "下载最多", "2", "", node, ""),
        "detail": req("&详细", "K风景", "/preview/" + a + ".jpg"),
        "detail-4k": req("&详细", "4K风景", "/detail/" + wide + "_d.jpg"),
        "download": req("&下载", "K动物", "/preview/" + webp + ".jpg", "123", "", node),
        "change": req("&更换", "1", "123", ""),
    }
    # One connection's whole road, each request behind a zero byte.
    seeds["session"] = b"\0".join(seeds[n] for n in ("hello", "register", "tab", "paging", "detail",
                                                        "download", "change"))
    words = ["&获取", "&详细", "&下载", "&更换", "&1", "&2", "&3", "&4", SEP, "下载最多", "K风景",
             "4K风景", "K动物", "/preview/", "/detail/", "_d.jpg", ".jpg", a, wide, webp, node]
    return seeds, words


def req(*fields):
    return SEP.join(fields).encode("gbk")


def write(folder, dictionary, seeds, words):
    with open(dictionary, "w") as f:
        for w in words:
            f.write('"%s"\n' % "".join("\\x%02X" % b for b in w.encode("gbk")))
    os.makedirs(folder, exist_ok=True)
    for name, body in seeds.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(body)


def main():
    if sys.argv[1] == "--requests":
        write(sys.argv[2], sys.argv[3], *requests())
        return
    folder, dictionary = sys.argv[1:3]
    with open(dictionary, "w") as f:
        for w in WORDS:
            f.write('"%s"\n' % "".join("\\x%02X" % b for b in w.encode("gbk")))
    os.makedirs(folder, exist_ok=True)
    for name, body in SEEDS.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(b"\0" + frame(body))
    # Every reply in one stream, read three bytes at a time: headers split across reads.
    with open(os.path.join(folder, "all-split"), "wb") as f:
        f.write(b"\3" + b"".join(frame(b) for b in SEEDS.values()))


if __name__ == "__main__":
    main()
