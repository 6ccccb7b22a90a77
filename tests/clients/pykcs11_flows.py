#!/usr/bin/python3
"""One PyKCS11 flow against the module: pykcs11_flows.py <flow> <token serial>. Exits 0 when the
flow did what a PyKCS11 user expects; signatures are checked with python3-cryptography."""
import hashlib
import os
import sys

from cryptography import x509
from cryptography.hazmat.primitives import hashes
from cryptography.hazmat.primitives.asymmetric import ec, padding, rsa, utils
from PyKCS11 import *  # noqa: F403 (the names are PKCS#11's own)

P256 = bytes.fromhex("06082a8648ce3d030107")
DATA = b"vlrp11 client matrix"
flow, serial = sys.argv[1], sys.argv[2]
pin = os.environ["VLRP11_SIM_USER_PIN"]
private_objects = serial != "1001"  # HSMs refuse public token objects

lib = PyKCS11Lib()
lib.load(os.environ["VLRP11_CLIENT_MODULE"])
slot = [s for s in lib.getSlotList(tokenPresent=True) if lib.getTokenInfo(s).serialNumber.strip() == serial][0]


def session():
    se = lib.openSession(slot, CKF_SERIAL_SESSION | CKF_RW_SESSION)
    se.login(pin)
    return se


def one(se, template):
    found = se.findObjects(template)
    assert len(found) == 1, f"{len(found)} objects match {template}"
    return found[0]


def ec_public_key(se, label):
    pub = one(se, [(CKA_CLASS, CKO_PUBLIC_KEY), (CKA_LABEL, label)])
    point = bytes(se.getAttributeValue(pub, [CKA_EC_POINT])[0])
    return ec.EllipticCurvePublicKey.from_encoded_point(ec.SECP256R1(), point[2:])  # DER OCTET STRING


def listing():
    info = lib.getTokenInfo(slot)
    mechanisms = lib.getMechanismList(slot)
    assert "CKM_ECDSA" in mechanisms and "CKM_SHA256_RSA_PKCS" in mechanisms, mechanisms
    print(info.label.strip(), info.serialNumber.strip(), len(mechanisms), "mechanisms")


def keypair():
    se = session()
    pub, prv = se.generateKeyPair(
        [(CKA_CLASS, CKO_PUBLIC_KEY), (CKA_KEY_TYPE, CKK_EC), (CKA_TOKEN, True), (CKA_VERIFY, True),
         (CKA_EC_PARAMS, P256), (CKA_LABEL, "pyec")],
        [(CKA_CLASS, CKO_PRIVATE_KEY), (CKA_KEY_TYPE, CKK_EC), (CKA_TOKEN, True), (CKA_PRIVATE, True),
         (CKA_SENSITIVE, True), (CKA_SIGN, True), (CKA_LABEL, "pyec")],
        mecha=MechanismECGENERATEKEYPAIR)
    labels = [se.getAttributeValue(o, [CKA_LABEL])[0] for o in se.findObjects([])]
    assert labels.count("pyec") >= 2, labels
    se.logout()
    se.closeSession()


def sign_ec():
    se = session()
    prv = one(se, [(CKA_CLASS, CKO_PRIVATE_KEY), (CKA_LABEL, "pyec")])
    digest = hashlib.sha256(DATA).digest()
    sig = bytes(se.sign(prv, digest, Mechanism(CKM_ECDSA)))
    assert len(sig) == 64, len(sig)
    der = utils.encode_dss_signature(int.from_bytes(sig[:32], "big"), int.from_bytes(sig[32:], "big"))
    ec_public_key(se, "pyec").verify(der, DATA, ec.ECDSA(hashes.SHA256()))


def sign_rsa():
    se = session()
    label = "pyrsa"
    if not se.findObjects([(CKA_CLASS, CKO_PRIVATE_KEY), (CKA_LABEL, label)]):
        se.generateKeyPair(
            [(CKA_CLASS, CKO_PUBLIC_KEY), (CKA_TOKEN, True), (CKA_MODULUS_BITS, 2048),
             (CKA_PUBLIC_EXPONENT, (1, 0, 1)), (CKA_LABEL, label)],
            [(CKA_CLASS, CKO_PRIVATE_KEY), (CKA_TOKEN, True), (CKA_PRIVATE, True), (CKA_SENSITIVE, True),
             (CKA_SIGN, True), (CKA_LABEL, label)])
    prv = one(se, [(CKA_CLASS, CKO_PRIVATE_KEY), (CKA_LABEL, label)])
    sig = bytes(se.sign(prv, DATA, Mechanism(CKM_SHA256_RSA_PKCS)))
    pub = one(se, [(CKA_CLASS, CKO_PUBLIC_KEY), (CKA_LABEL, label)])
    n, e = (int.from_bytes(bytes(v), "big") for v in se.getAttributeValue(pub, [CKA_MODULUS, CKA_PUBLIC_EXPONENT]))
    rsa.RSAPublicNumbers(e, n).public_key().verify(sig, DATA, padding.PKCS1v15(), hashes.SHA256())


def digest():
    se = lib.openSession(slot)
    assert bytes(se.digest(DATA, Mechanism(CKM_SHA256))) == hashlib.sha256(DATA).digest()


def random():
    se = lib.openSession(slot)
    assert len(bytes(se.generateRandom(32))) == 32


def certificate():
    se = session()
    der = open(os.environ["VLRP11_CLIENT_CERT"], "rb").read()
    subject = x509.load_der_x509_certificate(der).subject.public_bytes()
    se.createObject([(CKA_CLASS, CKO_CERTIFICATE), (CKA_CERTIFICATE_TYPE, CKC_X_509), (CKA_TOKEN, True),
                     (CKA_PRIVATE, private_objects), (CKA_LABEL, "pycert"), (CKA_ID, bytes.fromhex(os.environ["VLRP11_CLIENT_CERT_ID"])),
                     (CKA_SUBJECT, subject), (CKA_VALUE, der)])
    cert = one(se, [(CKA_CLASS, CKO_CERTIFICATE), (CKA_LABEL, "pycert")])
    assert bytes(se.getAttributeValue(cert, [CKA_VALUE])[0]) == der


def logout_close():
    se = session()
    se.logout()
    se.closeSession()
    lib.closeAllSessions(slot)


globals()[flow]()
