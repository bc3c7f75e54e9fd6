#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A system prompter for gnome-keyring on a test's private session bus.

gnome-keyring asks whoever owns org.gnome.keyring.SystemPrompter to show its prompts (unlock a keyring, create
one). This one shows nothing: a test tells it over the bus how to reply to the prompts it is asked to show,
answer with the keyring's password, dismiss them as a user who presses Cancel, or hold them open until the test
releases them, and it announces each prompt it is asked to show.

Passwords travel encrypted between the keyring and its prompter: Diffie-Hellman over the 1536-bit IKE MODP group,
HKDF-SHA256 to a 16-byte key, AES-128-CBC with PKCS#7 padding, each message a key-file group "[sx-aes-1]" with
base64 fields public, secret and iv.

A held prompt is dismissed after --give-up-after seconds, so that a caller that blocks until the prompt is
answered gets an answer back, and its test fails rather than waiting for ever.
"""

import argparse
import base64
import os
import secrets
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from cryptography.hazmat.primitives import hashes, padding
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes
from cryptography.hazmat.primitives.kdf.hkdf import HKDF
from gi.repository import GLib

PROMPTER_NAME = "org.gnome.keyring.SystemPrompter"
PROMPTER_PATH = "/org/gnome/keyring/Prompter"
PROMPTER_INTERFACE = "org.gnome.keyring.internal.Prompter"
CALLBACK_INTERFACE = "org.gnome.keyring.internal.Prompter.Callback"
CONTROL_INTERFACE = "org.tidewell.test.KeyringPrompter"

GROUP = "sx-aes-1"
PRIME = int(
    "FFFFFFFFFFFFFFFFC90FDAA22168C234C4C6628B80DC1CD129024E088A67CC74020BBEA63B139B22514A08798E3404DD"
    "EF9519B3CD3A431B302B0A6DF25F14374FE1356D6D51C245E485B576625E7EC6F44C42E9A637ED6B0BFF5CB6F406B7ED"
    "EE386BFB5A899FA5AE9F24117C4B1FE649286651ECE45B3DC2007CB8A163BF0598DA48361C55D39A69163FA8FD24CF5F"
    "83655D23DCA3AD961C62F356208552BB9ED529077096966D670C354E4ABC9804F1746C08CA237327FFFFFFFFFFFFFFFF",
    16,
)
BASE = 2
PRIME_BYTES = (PRIME.bit_length() + 7) // 8

REPLIES = ("answer", "dismiss", "hold")


def unsigned_bytes(value, length=None):
    """Big-endian, without leading zeros unless a fixed length is asked for."""
    if length is None:
        length = max(1, (value.bit_length() + 7) // 8)
    return value.to_bytes(length, "big")


def parse_exchange(text):
    fields = {}
    in_group = False
    for line in text.splitlines():
        line = line.strip()
        if line.startswith("["):
            in_group = line == "[" + GROUP + "]"
        elif in_group and "=" in line:
            key, value = line.split("=", 1)
            fields[key.strip()] = value.strip()
    return fields


class SecretExchange:
    """The prompter's side of one prompt's exchange: it begins, the keyring replies with its own public key."""

    def __init__(self):
        self.private = secrets.randbelow(PRIME - 3) + 2
        self.public = pow(BASE, self.private, PRIME)
        self.key = None

    def begin(self):
        return self._encode({})

    def receive(self, text):
        fields = parse_exchange(text)
        if "public" not in fields:
            raise ValueError("the keyring sent no public key")
        peer = int.from_bytes(base64.b64decode(fields["public"]), "big")
        shared = unsigned_bytes(pow(peer, self.private, PRIME), PRIME_BYTES)
        self.key = HKDF(algorithm=hashes.SHA256(), length=16, salt=None, info=None).derive(shared)

    def send(self, secret=None):
        fields = {}
        if secret is not None:
            iv = os.urandom(16)
            padder = padding.PKCS7(128).padder()
            plain = padder.update(secret.encode("utf-8")) + padder.finalize()
            encryptor = Cipher(algorithms.AES(self.key), modes.CBC(iv)).encryptor()
            fields["secret"] = encryptor.update(plain) + encryptor.finalize()
            fields["iv"] = iv
        return self._encode(fields)

    def _encode(self, fields):
        lines = ["[" + GROUP + "]", "public=" + base64.b64encode(unsigned_bytes(self.public)).decode("ascii")]
        for name, value in fields.items():
            lines.append(name + "=" + base64.b64encode(value).decode("ascii"))
        return "\n".join(lines)


class Prompt:
    def __init__(self, caller, path):
        self.caller = caller
        self.path = path
        self.exchange = SecretExchange()
        self.kind = None
        self.held = False
        self.watchdog = 0


class Prompter(dbus.service.Object):
    def __init__(self, bus, password, reply, give_up_after):
        super().__init__(bus, PROMPTER_PATH)
        self.bus = bus
        self.password = password
        self.reply = reply
        self.give_up_after = give_up_after
        self.prompts = {}

    # The keyring's side.

    @dbus.service.method(PROMPTER_INTERFACE, in_signature="o", out_signature="", sender_keyword="sender")
    def BeginPrompting(self, path, sender=None):
        prompt = Prompt(sender, path)
        self.prompts[(sender, path)] = prompt
        # The keyring expects the reply to this call before the prompt says it is ready.
        GLib.idle_add(self._ready, prompt, "", prompt.exchange.begin())

    @dbus.service.method(
        PROMPTER_INTERFACE, in_signature="osa{sv}s", out_signature="", sender_keyword="sender")
    def PerformPrompt(self, path, kind, properties, exchange, sender=None):
        prompt = self.prompts.get((sender, path))
        if prompt is None:
            raise dbus.exceptions.DBusException("no prompting begun for " + path,
                                                name="org.freedesktop.DBus.Error.Failed")
        prompt.exchange.receive(str(exchange))
        prompt.kind = str(kind)
        self.Prompted(prompt.kind, str(properties.get("message", "")), bool(properties.get("password-new", False)))
        if self.reply == "hold":
            prompt.held = True
            if self.give_up_after > 0:
                prompt.watchdog = GLib.timeout_add_seconds(self.give_up_after, self._give_up, prompt)
        else:
            GLib.idle_add(self._complete, prompt, self.reply)

    @dbus.service.method(PROMPTER_INTERFACE, in_signature="o", out_signature="", sender_keyword="sender")
    def StopPrompting(self, path, sender=None):
        prompt = self.prompts.pop((sender, path), None)
        if prompt is not None and prompt.watchdog:
            GLib.source_remove(prompt.watchdog)
        self.bus.call_async(sender, path, CALLBACK_INTERFACE, "PromptDone", "", (),
                            reply_handler=lambda *_: None, error_handler=lambda *_: None)

    # The test's side.

    @dbus.service.method(CONTROL_INTERFACE, in_signature="s", out_signature="")
    def SetReply(self, reply):
        if reply not in REPLIES:
            raise dbus.exceptions.DBusException("unknown reply " + reply,
                                                name="org.freedesktop.DBus.Error.InvalidArgs")
        self.reply = str(reply)

    @dbus.service.method(CONTROL_INTERFACE, in_signature="s", out_signature="u")
    def Release(self, reply):
        """Replies to every prompt held open; answers how many there were."""
        if reply not in ("answer", "dismiss"):
            raise dbus.exceptions.DBusException("a held prompt is released with answer or dismiss",
                                                name="org.freedesktop.DBus.Error.InvalidArgs")
        held = [prompt for prompt in self.prompts.values() if prompt.held]
        for prompt in held:
            self._complete(prompt, str(reply))
        return dbus.UInt32(len(held))

    @dbus.service.method(CONTROL_INTERFACE, in_signature="", out_signature="u")
    def Held(self):
        return dbus.UInt32(sum(1 for prompt in self.prompts.values() if prompt.held))

    @dbus.service.signal(CONTROL_INTERFACE, signature="ssb")
    def Prompted(self, kind, message, new_password):
        pass

    def _give_up(self, prompt):
        prompt.watchdog = 0
        if prompt.held:
            print("keyringprompter: a prompt held for %d s is dismissed" % self.give_up_after, file=sys.stderr)
            self._complete(prompt, "dismiss")
        return False

    def _complete(self, prompt, reply):
        if prompt.watchdog:
            GLib.source_remove(prompt.watchdog)
            prompt.watchdog = 0
        prompt.held = False
        if reply == "dismiss":
            self._ready(prompt, "no", prompt.exchange.send())
        elif prompt.kind == "password":
            self._ready(prompt, "yes", prompt.exchange.send(self.password))
        else:
            self._ready(prompt, "yes", prompt.exchange.send())
        return False

    def _ready(self, prompt, response, exchange):
        self.bus.call_async(prompt.caller, prompt.path, CALLBACK_INTERFACE, "PromptReady", "sa{sv}s",
                            (response, dbus.Dictionary({}, signature="sv"), exchange),
                            reply_handler=lambda *_: None,
                            error_handler=lambda error: print("keyringprompter:", error, file=sys.stderr))
        return False


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--password", required=True, help="what an answered password prompt replies")
    parser.add_argument("--reply", choices=REPLIES, default="answer", help="the reply until told otherwise")
    parser.add_argument("--give-up-after", type=int, default=0, metavar="SECONDS",
                        help="dismiss a prompt held this long (0: never)")
    arguments = parser.parse_args()

    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    prompter = Prompter(bus, arguments.password, arguments.reply, arguments.give_up_after)
    # Owned only after the object is exported, so that a test that sees the name can prompt at once.
    name = dbus.service.BusName(PROMPTER_NAME, bus, do_not_queue=True)
    loop = GLib.MainLoop()
    bus.call_on_disconnection(lambda _: loop.quit())
    loop.run()
    del name, prompter


if __name__ == "__main__":
    main()
