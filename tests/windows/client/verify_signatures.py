#!/usr/bin/python3
"""Checks the "sig <serial> <message> <EC point> <r||s>" lines of dll_client.exe on stdin with
python3-cryptography: every P-256 signature must verify over SHA-256 of its message."""
import sys

from cryptography.hazmat.primitives import hashes
from cryptography.hazmat.primitives.asymmetric import ec, utils

checked = 0
for line in sys.stdin:
    print(line, end="")
    if not line.startswith("sig "):
        continue
    _, serial, message, point, signature = line.split()
    point, signature = bytes.fromhex(point), bytes.fromhex(signature)
    key = ec.EllipticCurvePublicKey.from_encoded_point(ec.SECP256R1(), point[2:])  # DER OCTET STRING
    half = len(signature) // 2
    der = utils.encode_dss_signature(int.from_bytes(signature[:half], "big"), int.from_bytes(signature[half:], "big"))
    key.verify(der, bytes.fromhex(message), ec.ECDSA(hashes.SHA256()))
    checked += 1
print(f"{checked} signatures verified")
sys.exit(0 if checked else 1)
