#!/usr/bin/env python3
"""Reads a ZIP back with Python's zipfile, for tst_ziparchive.

checkzip.py URL OUT FILES   downloads URL into OUT first (blocks of zeros stay holes, so a sparse
                            file of gigabytes costs no disk), then reads OUT
checkzip.py --file ZIP FILES

FILES is a JSON object {name in the archive: path of the original}. Prints one JSON object: the
answer's status, Content-Length and bytes received, and per entry its name, size, whether the
name is flagged UTF-8 and whether its bytes equal the original's (null without one; zipfile checks the CRC-32 as
it reads the entry to its end).
"""
import http.client
import json
import sys
import urllib.parse
import zipfile

BLOCK = 1 << 20


def download(url, out):
    parts = urllib.parse.urlsplit(url)
    connection = http.client.HTTPConnection(parts.hostname, parts.port)
    connection.request('GET', parts.path + '?' + parts.query)
    response = connection.getresponse()
    zero = bytes(BLOCK)
    buffer = bytearray(BLOCK)
    received = 0
    with open(out, 'wb') as file:
        while True:
            n = response.readinto(buffer)
            if not n:
                break
            if n == BLOCK and buffer == zero:
                file.seek(n, 1)
            else:
                file.write(memoryview(buffer)[:n])
            received += n
        file.truncate(received)
    return {'status': response.status, 'contentLength': int(response.getheader('Content-Length', -1)),
            'received': received}


def same(archive, info, path):
    if path is None:
        return None
    with archive.open(info) as inside, open(path, 'rb') as original:
        while True:
            a = inside.read(BLOCK)
            if a != original.read(BLOCK):
                return False
            if not a:
                return True


def main():
    if sys.argv[1] == '--file':
        result, zip_path = {}, sys.argv[2]
    else:
        result, zip_path = download(sys.argv[1], sys.argv[2]), sys.argv[2]
    originals = json.loads(sys.argv[3])
    with zipfile.ZipFile(zip_path) as archive:
        result['entries'] = [{'name': info.filename, 'size': info.file_size, 'utf8': bool(info.flag_bits & 0x800),
                              'same': same(archive, info, originals.get(info.filename))}
                             for info in archive.infolist()]
    print(json.dumps(result))


main()
