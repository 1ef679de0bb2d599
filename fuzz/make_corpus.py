#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets into corpus/<target>/.

The fuzzers grow their own corpora from these; run this from this folder to
remake the seeds.
"""
import os
import struct
import subprocess
import tempfile


def header(count, name=b'report.pdf', size=1000, crc=0, flag=1, desc=b'a note',
           magic=b'TREP1600', attributes=0x20):
    h = bytearray(652)
    h[0:8] = magic
    struct.pack_into('<IH', h, 8, count, flag)
    h[14:14 + len(desc)] = desc
    h[314:314 + len(name)] = name
    struct.pack_into('<IIIQQQH', h, 614, size & 0xFFFFFFFF, size >> 32, crc,
                     130000000000000000, 130000000000000001, 130000000000000002, attributes)
    return bytes(h)


def write(target, name, data):
    folder = os.path.join('corpus', target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(data)


def main():
    write('analysis', 'valid', header(3) + b'x' * 100)
    write('analysis', 'other-version', header(2, magic=b'TREP1500'))
    write('analysis', 'no-header', b'ABCD1600' + b'y' * 50)
    write('analysis', 'short', header(4)[:300])
    write('analysis', 'dot-dot-name', header(2, name=b'..\\..\\evil.txt'))
    write('analysis', 'device-name', header(2, name=b'LPT1.txt'))
    write('analysis', 'count-zero', header(0))

    write('command_line', 'plain', b'Trep.exe /i=C:\\data\\big.iso /o=D:\\out /s=100 /q')
    write('command_line', 'quoted', b'"C:\\Program Files\\Trep.exe" "/i=C:\\my data\\a b.bin" /quiet')
    write('command_line', 'odd-quotes', b'Trep.exe "/i=x')
    write('command_line', 'bad-size', b'Trep.exe /s=12x /I=a.bin /O=b')

    settings = b'TREP1600' + struct.pack('<10I', 1, 1, 3, 1, 0, 0, 1, 2, 1, 9999) + \
        struct.pack('<II', 48, 3) + b'\0\0'
    write('settings', 'valid', settings)
    write('settings', 'magic-only', b'TREP1600')
    write('settings', 'out-of-range', b'TREP1600' + struct.pack('<10I', 0, 7, 9, 2, 0, 0, 5, 3, 1, 0))

    # Join inputs: a flags byte (1 header, 2 checksum, 4 scrambled, 8 key,
    # 16 quiet), then pieces led by a length byte (length * 4 bytes; the first
    # piece carries 652 more when flag 1 is set).
    payload = bytes(range(40))
    series = bytes([1, 10]) + header(3, size=100) + payload + \
        bytes([11]) + b'TREP1600' + payload + bytes([7]) + b'TREP1600' + payload[:20]
    write('join', 'three-with-headers', series)
    write('join', 'headerless', bytes([0, 10]) + payload + bytes([10]) + payload)
    write('join', 'scrambled', bytes([1 | 4 | 8]) + series[1:])

    recovery_seeds()


def recovery_seeds():
    """Recovery inputs: a flags byte (1, 2, 4 lose segment 1, 2, 3; 8, 16, 32
    damage one; 64 little memory), then up to three files each led by its
    32-bit length: abcd.par2, abcd.vol0+1.par2, abcd.vol1+1.par2, as par2
    (par2cmdline) makes them for the fuzz target's three segments."""
    with tempfile.TemporaryDirectory() as folder:
        names = []
        for n in (1, 2, 3):
            name = 'abcd%04d.trp' % n
            with open(os.path.join(folder, name), 'wb') as f:
                f.write(bytes((37 * n + 13 * j) & 0xFF for j in range(700 + 100 * n)))
            names.append(name)
        subprocess.run(['par2', 'create', '-q', '-q', '-s1000', '-c2', '-n2', '-u', 'abcd.par2']
                       + names, cwd=folder, check=True)
        files = []
        for name in ('abcd.par2', 'abcd.vol0+1.par2', 'abcd.vol1+1.par2'):
            with open(os.path.join(folder, name), 'rb') as f:
                files.append(f.read())
    packed = b''.join(struct.pack('<I', len(f)) + f for f in files)
    write('recovery', 'intact', bytes([0]) + packed)
    write('recovery', 'two-lost', bytes([1 | 4]) + packed)
    write('recovery', 'lost-and-damaged-little-memory', bytes([2 | 8 | 64]) + packed)
    write('recovery', 'volumes-only', bytes([16]) + struct.pack('<I', 0) + packed[4 + len(files[0]):])


if __name__ == '__main__':
    main()
