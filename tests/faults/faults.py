#!/usr/bin/python3
"""Received messages survive a killed program, a full disk and a read-only database.

The real program runs on the simulated modem with a state file, so the device's memory
outlives every start of the program, as a modem's does. The device answers "ok" to a delivery
only once its state file holds the message (written beside it, flushed, renamed over it), so a
confirmed message must end in INCOMING; a delivery whose answer the kill cut off may or may not
be there, but never twice. The checks look at the database file itself once the program has
ended.

    faults.py kill      PROGRAM PDU-TOOL   SIGKILL at random moments while messages arrive
    faults.py kill-message PROGRAM PDU-TOOL  the same with a device that gives whole messages
                                           (message mode, as every ModemManager modem does)
    faults.py diskfull  PROGRAM PDU-TOOL   the database's file system fills up, then has room again
    faults.py readonly  PROGRAM PDU-TOOL   the database file cannot be written

Environment:
    OMBRELAY_KILLS   kills of the kill test (default 30; the full run is 200 or more:
                     OMBRELAY_KILLS=200 ctest -L faults -R kill)
    OMBRELAY_SEED    random seed (printed by every run, so that a failure can be replayed)
    OMBRELAY_TEST_TMP  folder for the runs' files (a temporary folder otherwise)
    OMBRELAY_PREFILL a database file the kill tests start on (a copy of it), such as a million
                     stored rows written by `bench_sms_scale --fill FILE`; its rows must come
                     through every kill unchanged, and only rows added after them are checked
                     as the messages of the run

Exit code 0 on success, 1 on a failed check, 77 when the test cannot run here (skipped).
"""

import hashlib
import json
import os
import random
import shutil
import signal
import socket
import sqlite3
import subprocess
import sys
import tempfile
import time

SKIP = 77
IFACE = "sim0"


class Failure(Exception):
    pass


class Skip(Exception):
    pass


def check(condition, text):
    if not condition:
        raise Failure(text)


def ask(path, line, timeout=10.0):
    """One line to a local socket, one line back; None when nobody answers."""
    try:
        with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as s:
            s.settimeout(timeout)
            s.connect(path)
            s.sendall(line.encode("utf-8") + b"\n")
            data = b""
            while not data.endswith(b"\n"):
                chunk = s.recv(65536)
                if not chunk:
                    return None
                data += chunk
            return data.decode("utf-8").rstrip("\n")
    except OSError:
        return None


def wait_for(condition, timeout, step=0.05):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if condition():
            return True
        time.sleep(step)
    return condition()


class Program:
    """Starts of the program that share one data folder and one device state file."""

    started = []  # ended at the end of the run, whatever happened

    def __init__(self, binary, home, data_dir=None, sms_mode="pdu"):
        self.binary = binary
        self.home = home
        self.data_dir = data_dir or os.path.join(home, "data")
        self.run_dir = os.path.join(home, "run")
        self.sim_socket = os.path.join(home, "sim.sock")
        self.state_file = os.path.join(home, "device.json")
        self.scenario = os.path.join(home, "scenario.json")
        os.makedirs(home, exist_ok=True)
        self.log = open(os.path.join(home, "program.log"), "ab")
        os.makedirs(self.data_dir, exist_ok=True)
        os.makedirs(self.run_dir, mode=0o700, exist_ok=True)
        os.chmod(self.run_dir, 0o700)
        with open(self.scenario, "w") as f:
            # Room for many messages, reads in several batches, quick answers.
            json.dump({"delayMs": 5, "interfaces": [{"id": IFACE, "capacity": 255, "readBatch": 4,
                                                     "smsMode": sms_mode}]}, f)
        self.env = dict(os.environ)
        self.env.update({"XDG_DATA_HOME": self.data_dir, "XDG_RUNTIME_DIR": self.run_dir,
                         "QT_QPA_PLATFORM": "offscreen"})
        self.process = None
        Program.started.append(self)

    @property
    def instance_socket(self):
        return os.path.join(self.run_dir, "ombrelay", "instance")

    @property
    def database(self):
        return os.path.join(self.data_dir, "Virelle", "Ombrelay", "Ombrelay.DB")

    def start(self):
        self.process = subprocess.Popen(
            [self.binary, "--backend=sim", "--sim-scenario", self.scenario, "--sim-state", self.state_file,
             "--sim-control", self.sim_socket, "--test-commands"],
            env=self.env, stdout=self.log, stderr=self.log)
        ready = wait_for(lambda: self.process.poll() is not None or
                         ((self.sim("interfaces") or "").startswith("ok") and
                          (self.window("visible") or "").startswith("ok")), 30)
        check(ready and self.process.poll() is None,
              "the program did not start (exit %s; see %s)" % (self.process.poll(), self.log.name))

    def sim(self, line):
        return ask(self.sim_socket, line)

    def window(self, line):
        return ask(self.instance_socket, line)

    def kill(self):
        self.process.send_signal(signal.SIGKILL)
        self.process.wait()

    def stop(self):
        """Ends the program as a logout does; its exit code."""
        if self.process.poll() is None:
            self.process.terminate()
            try:
                return self.process.wait(30)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
                raise Failure("the program did not end on SIGTERM")
        return self.process.returncode

    def alive(self):
        return self.process is not None and self.process.poll() is None

    def stored(self):
        answer = self.sim("stored " + IFACE)
        check(answer is not None and answer.startswith("ok "), "stored: %r" % answer)
        return int(answer.split()[1])

    def errors(self):
        answer = self.window("errors")
        check(answer is not None and answer.startswith("ok "), "errors: %r" % answer)
        return answer.split("\t")[1:]

    def drain(self, timeout=60):
        """Polls until the device is empty and stays so."""
        def empty():
            self.window("poll")
            return self.stored() == 0
        check(wait_for(empty, timeout, 0.3), "the device still holds %d entries" % self.stored())


# Texts: 7-bit ones with characters of the extension table (two septets each), UCS-2 ones with
# letters outside the GSM alphabet. Every text starts with its own token, so that each message
# can be told apart in the database.
GSM_CHARS = ("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 .,;:!?@£$¥èéùìòÇØøÅåΔ_ΦΓΛΩΠΨΣΘΞÆæßÉ"
             "#%&'()*+-/<=>¡ÄÖÑÜ§¿äöñüà")
GSM_EXT = "^{}[]~|€\\"
UCS2_CHARS = "абвгдежзийклмнопрстуфхцчшщыэюяЖЗИЙ中文字漢語ĀāĒēĪīŌōŪūłśźżąęćńóΑΒΓΔαβγδ €"


def make_text(rng, token):
    kind = rng.choice(["7bit-single", "7bit-multi", "ucs2-single", "ucs2-multi"])
    if kind.startswith("7bit"):
        alphabet = GSM_CHARS + GSM_EXT * (1 if rng.random() < 0.5 else 0)
        length = rng.randint(1, 150 - len(token)) if kind.endswith("single") else rng.randint(161, 500)
    else:
        alphabet = UCS2_CHARS
        length = rng.randint(1, 60 - len(token)) if kind.endswith("single") else rng.randint(71, 220)
    body = "".join(rng.choice(alphabet) for _ in range(length))
    # The control channel takes the rest of its line without the blanks around it.
    return (token + " " + body).strip(), kind


def decode_rows(pdu_tool, pdus):
    if not pdus:
        return []
    out = subprocess.run([pdu_tool, "decode"], input="\n".join(pdus) + "\n", capture_output=True, text=True,
                         check=True).stdout
    return [json.loads(line) for line in out.splitlines() if line.strip()]


def assemble(decoded):
    """Whole texts from the decoded rows: single parts as they are, long messages joined by
    (sender, reference, total) in sequence order. Returns (texts, problems)."""
    texts, groups, problems = [], {}, []
    for d in decoded:
        if not d.get("ok"):
            problems.append("row does not decode as text: %s" % d.get("pdu"))
        elif d["multipart"]:
            groups.setdefault((d["sender"], d["refno"], d["total"]), []).append(d)
        else:
            texts.append(d["text"])
    for (sender, ref, total), parts in groups.items():
        seqs = sorted(p["seqno"] for p in parts)
        if seqs != list(range(1, total + 1)):
            problems.append("message from %s (reference %d) has parts %s of %d" % (sender, ref, seqs, total))
            continue
        texts.append("".join(p["text"] for p in sorted(parts, key=lambda p: p["seqno"])))
    return texts, problems


def device_pdus(program):
    """The device's PDUs after a kill: the snapshot, then the journal of the changes since when
    it is of the snapshot's generation (a last line cut short by the kill does not count)."""
    with open(program.state_file) as f:
        state = json.load(f)
    pdus = {e["index"]: e["pdu"] for e in state.get("interfaces", {}).get(IFACE, {}).get("pdus", [])}
    try:
        with open(program.state_file + ".journal") as f:
            lines = f.read().split("\n")[:-1]
    except FileNotFoundError:
        lines = []
    if lines and json.loads(lines[0]).get("generation") == state.get("generation"):
        for line in lines[1:]:
            change = json.loads(line)
            if change.get("if") != IFACE:
                continue
            if change["op"] == "addPdu":
                pdus[change["index"]] = change["pdu"]
            elif change["op"] == "removePdu":
                pdus.pop(change["index"], None)
            elif change["op"] == "clear":
                pdus.clear()
    return set(pdus.values())


class Prefill:
    """The rows a run starts on (none without OMBRELAY_PREFILL): the highest row id of each
    table and a digest of the rows, to tell them from the run's own and to prove them intact."""

    def __init__(self, path=None):
        self.incoming = self.outgoing = 0
        self.digest = None
        if path:
            self.incoming, self.outgoing, self.digest = self.read(path)

    @staticmethod
    def read(path, incoming=None, outgoing=None):
        db = sqlite3.connect("file:%s?mode=ro" % path, uri=True)
        try:
            top_in = incoming if incoming is not None else db.execute("SELECT IFNULL(MAX(ID), 0) FROM INCOMING").fetchone()[0]
            top_out = outgoing if outgoing is not None else db.execute("SELECT IFNULL(MAX(ID), 0) FROM OUTGOING").fetchone()[0]
            digest = hashlib.sha256()
            for table, top in (("INCOMING", top_in), ("OUTGOING", top_out)):
                for row in db.execute("SELECT ID, DATE, PDU, DEVICE FROM %s WHERE ID <= ? ORDER BY ID" % table, (top,)):
                    digest.update(repr(row).encode())
        finally:
            db.close()
        return top_in, top_out, digest.hexdigest()

    def check_intact(self, path):
        if self.digest is None:
            return
        check(Prefill.read(path, self.incoming, self.outgoing)[2] == self.digest,
              "the rows the run started on changed")


PREFILL = Prefill()


def read_database(path):
    db = sqlite3.connect("file:%s?mode=ro" % path, uri=True)
    try:
        incoming = [r[0] for r in db.execute("SELECT PDU FROM INCOMING WHERE ID > ? ORDER BY ID", (PREFILL.incoming,))]
        outgoing = db.execute("SELECT COUNT(*) FROM OUTGOING WHERE ID > ?", (PREFILL.outgoing,)).fetchone()[0]
    finally:
        db.close()
    return incoming, outgoing


def check_inbox(program, pdu_tool, confirmed, attempted):
    """Every confirmed message exactly once, whole, and nothing that was never delivered."""
    incoming, outgoing = read_database(program.database)
    PREFILL.check_intact(program.database)
    check(outgoing == 0, "OUTGOING has %d rows; nothing was sent" % outgoing)
    dupes = sorted({p for p in incoming if incoming.count(p) > 1})
    check(not dupes, "PDUs stored more than once: %s" % dupes[:3])
    texts, problems = assemble(decode_rows(pdu_tool, incoming))
    check(not problems, "; ".join(problems[:5]))
    seen = {}
    for t in texts:
        token = t.split(" ", 1)[0]
        check(token not in seen, "message %s is in INCOMING twice" % token)
        seen[token] = t
    for token, text in confirmed.items():
        check(token in seen, "message %s was delivered but is not in INCOMING" % token)
        check(seen[token] == text, "message %s reads back as %r, delivered as %r" % (token, seen[token], text))
    for token, text in seen.items():
        check(attempted.get(token) == text, "INCOMING holds %s that was never delivered: %r" % (token, text))
    return len(incoming), len(texts)


def deliver(program, rng, counter, confirmed, attempted, kinds):
    token = "m%d" % counter
    text, kind = make_text(rng, token)
    number = "+4917%07d" % counter  # a sender of its own: long messages' references never meet
    attempted[token] = text
    answer = program.sim("deliver %s %s %s" % (IFACE, number, text))
    if answer is not None and answer.startswith("ok "):
        # "ok" comes after the device's state file holds the message.
        confirmed[token] = text
        kinds[kind] = kinds.get(kind, 0) + 1
        return True
    if answer is not None and answer.endswith("is full"):
        # Kills that come before the reads can let the device fill up; the network then keeps
        # the message, and the device's answer says it holds nothing of it.
        del attempted[token]
        kinds["refused, device full"] = kinds.get("refused, device full", 0) + 1
        return False
    check(answer is None or not answer.startswith("error"), "deliver refused: %s" % answer)
    return False


def test_kill(binary, pdu_tool, home, rng, sms_mode="pdu"):
    global PREFILL
    kills = int(os.environ.get("OMBRELAY_KILLS", "30"))
    program = Program(binary, home, sms_mode=sms_mode)
    prefill = os.environ.get("OMBRELAY_PREFILL")
    if prefill:
        os.makedirs(os.path.dirname(program.database), mode=0o700, exist_ok=True)
        shutil.copyfile(prefill, program.database)
        PREFILL = Prefill(program.database)
    confirmed, attempted, kinds = {}, {}, {}
    counter = 0
    started = time.monotonic()
    moments = {}
    overlaps = 0
    for n in range(kills):
        program.start()
        # A burst of messages, then a read, then the kill at a random moment: at once after a
        # delivery, in the middle of the read's store and delete, or a little later.
        for _ in range(rng.randint(1, 4)):
            counter += 1
            deliver(program, rng, counter, confirmed, attempted, kinds)
        moment = rng.choice(["after-delivery", "during-read", "during-read", "later"])
        moments[moment] = moments.get(moment, 0) + 1
        if moment == "after-delivery":
            if rng.random() < 0.5:
                counter += 1
                # Not waited for: the kill may come while the device writes its state.
                deliver_unanswered(program, rng, counter, attempted)
                time.sleep(rng.uniform(0, 0.01))
        elif moment == "during-read":
            program.window("poll")
            time.sleep(rng.uniform(0, 0.12))
        else:
            # Long enough, mostly, for a whole read and its deletes: the device does not fill up.
            program.window("poll")
            time.sleep(rng.uniform(0.1, 1.5))
        check(program.alive(), "the program ended by itself (see %s)" % program.log.name)
        program.kill()
        # A kill between the store and the device's delete leaves a message in both places; the
        # next start must know it and only delete it.
        if os.path.exists(program.database) and set(read_database(program.database)[0]) & device_pdus(program):
            overlaps += 1
    # The last start: every message still on the device is stored and the device cleared.
    program.start()
    program.drain()
    errors = program.errors()
    check(not errors, "the program reported errors: %s" % errors)
    check(program.stop() == 0, "the program did not end cleanly")
    rows, messages = check_inbox(program, pdu_tool, confirmed, attempted)
    print("kill (%s mode): %d kills, %d messages delivered (%d confirmed by the device; %s), %d rows, moments %s, "
          "%d kills left a message both stored and on the device, %.1f s%s"
          % (sms_mode, kills, len(attempted), len(confirmed), kinds, rows, moments, overlaps, time.monotonic() - started,
             ", on %d stored rows" % PREFILL.incoming if PREFILL.digest else ""))


def deliver_unanswered(program, rng, counter, attempted):
    """Sends a delivery without waiting for its answer; counted as attempted only."""
    token = "m%d" % counter
    text, _ = make_text(rng, token)
    attempted[token] = text
    s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    try:
        s.connect(program.sim_socket)
        s.sendall(("deliver %s +4917%07d %s\n" % (IFACE, counter, text)).encode("utf-8"))
    except OSError:
        pass
    finally:
        # Closed at once; the program answers to nobody.
        s.close()


def mount(*args):
    return subprocess.run(["mount", *args], capture_output=True, text=True)


def store_blocked(program, rng, pdu_tool, block, unblock, what, from_start=False):
    """Messages arrive while the database cannot take them: the program says so and keeps
    running, the device keeps them; once the database can take them they are stored once.
    With from_start the database is blocked before the program starts."""
    confirmed, attempted, kinds = {}, {}, {}
    if from_start:
        program.start()
        program.stop()
        block()
        program.start()
    else:
        program.start()
        block()
    for counter in range(1, 13):
        check(deliver(program, rng, counter, confirmed, attempted, kinds), "delivery %d failed" % counter)
    on_device = program.stored()
    for _ in range(3):
        program.window("poll")
        time.sleep(0.3)
    def store_reports():
        return [e for e in program.errors() if "can only be read" not in e]

    check(wait_for(store_reports, 10, 0.2), "%s: no error was reported" % what)
    if from_start:
        # A file SQLite can only read is named at start, before any message needs it.
        warnings = [e for e in program.errors() if "can only be read" in e]
        check(len(warnings) == 1 and program.errors()[0] == warnings[0],
              "%s: the start did not say the file can only be read: %s" % (what, program.errors()))
    errors = store_reports()
    print("%s: the program reported %d time(s): %s" % (what, len(errors), errors[0]))
    check(len(errors) == 1, "%s: %d reports where one says it: %s" % (what, len(errors), errors))
    check("stay on the device" in errors[0], "%s: the report does not say where the messages are: %s"
          % (what, errors[0]))
    check(program.alive(), "%s: the program ended" % what)
    check(program.stored() == on_device,
          "%s: the device holds %d entries, had %d" % (what, program.stored(), on_device))
    if from_start:
        # The session's end (SIGTERM) cannot save the options either; it logs that and ends
        # rather than wait for a click on a box.
        check(program.stop() == 0, "%s: the program did not end on SIGTERM" % what)
        unblock()
        program.start()
    else:
        unblock()
    program.drain()
    check(program.stop() == 0, "%s: the program did not end cleanly" % what)
    rows, messages = check_inbox(program, pdu_tool, confirmed, confirmed)
    check(messages == len(confirmed), "%s: %d of %d messages stored" % (what, messages, len(confirmed)))
    print("%s: %d messages (%d entries on the device) kept there while blocked, then stored once (%d rows)"
          % (what, len(confirmed), on_device, rows))
    return errors


def test_diskfull(binary, pdu_tool, home, rng):
    if os.geteuid() != 0:
        raise Skip("needs root to mount a small file system")
    data = os.path.join(home, "data")
    os.makedirs(data, exist_ok=True)
    r = mount("-t", "tmpfs", "-o", "size=2m,mode=0700", "tmpfs", data)
    if r.returncode != 0:
        raise Skip("cannot mount a tmpfs here: %s" % r.stderr.strip())
    try:
        program = Program(binary, home)
        filler = os.path.join(data, "filler")

        def fill():
            fd = os.open(filler, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
            try:
                while True:
                    os.write(fd, b"\0" * 4096)
            except OSError:
                pass
            finally:
                os.close(fd)

        errors = store_blocked(program, rng, pdu_tool, fill, lambda: os.unlink(filler), "disk full")
        check(any("full" in e.lower() for e in errors), "the report does not say the disk is full: %s" % errors)
    finally:
        subprocess.run(["umount", "-l", data])


def test_readonly(binary, pdu_tool, home, rng):
    if shutil.which("chattr") is None:
        raise Skip("chattr is not installed")
    program = Program(binary, home)
    folder = os.path.dirname(program.database)
    # Root writes files whatever their mode; an immutable folder and file refuse even root.
    os.makedirs(folder, exist_ok=True)
    probe = os.path.join(home, "probe")
    open(probe, "w").close()
    if subprocess.run(["chattr", "+i", probe], capture_output=True).returncode != 0:
        raise Skip("the file system does not take the immutable attribute")
    subprocess.run(["chattr", "-i", probe])

    def lock_file():
        subprocess.run(["chattr", "+i", program.database], check=True)

    def unlock_file():
        subprocess.run(["chattr", "-i", program.database], check=True)

    def lock():
        for suffix in ("", "-wal", "-shm"):
            if os.path.exists(program.database + suffix):
                subprocess.run(["chattr", "+i", program.database + suffix], check=True)
        subprocess.run(["chattr", "+i", folder], check=True)

    def unlock():
        subprocess.run(["chattr", "-i", folder], check=True)
        for suffix in ("", "-wal", "-shm"):
            if os.path.exists(program.database + suffix):
                subprocess.run(["chattr", "-i", program.database + suffix], check=True)

    try:
        store_blocked(program, rng, pdu_tool, lock, unlock, "read-only database")
    finally:
        if os.path.exists(folder):
            unlock()
    # A database file that is read-only when the program starts: SQLite opens it for reading.
    program = Program(binary, os.path.join(home, "from-start"))
    try:
        errors = store_blocked(program, rng, pdu_tool, lock_file, unlock_file, "read-only at start", True)
        check(any("readonly" in e.lower() or "read-only" in e.lower() for e in errors),
              "the report does not say the database is read-only: %s" % errors)
    finally:
        if os.path.exists(program.database):
            unlock_file()


def main():
    tests = {"kill": test_kill, "kill-message": lambda *a: test_kill(*a, sms_mode="message"),
             "diskfull": test_diskfull, "readonly": test_readonly}
    if len(sys.argv) != 4 or sys.argv[1] not in tests:
        print(__doc__, file=sys.stderr)
        return 2
    test, binary, pdu_tool = sys.argv[1:]
    seed = int(os.environ.get("OMBRELAY_SEED", str(random.SystemRandom().randrange(1 << 31))))
    print("%s: seed %d (replay with OMBRELAY_SEED=%d)" % (test, seed, seed))
    rng = random.Random(seed)
    base = os.environ.get("OMBRELAY_TEST_TMP") or None
    if base:
        os.makedirs(base, exist_ok=True)
    home = tempfile.mkdtemp(prefix="faults-%s-" % test, dir=base)
    try:
        tests[test](binary, pdu_tool, home, rng)
    except Skip as e:
        print("SKIP: %s" % e)
        return SKIP
    except Failure as e:
        print("FAIL: %s (seed %d, files in %s)" % (e, seed, home))
        return 1
    finally:
        for program in Program.started:
            if program.alive():
                program.kill()
    # A sanitizer's report in any start of the program fails the run, even where it did not
    # change an exit code.
    for program in Program.started:
        program.log.close()
        with open(program.log.name, "rb") as f:
            log = f.read().decode("utf-8", "replace")
        if "Sanitizer" in log or "runtime error:" in log:
            print("FAIL: sanitizer report in %s (seed %d)" % (program.log.name, seed))
            return 1
    shutil.rmtree(home, ignore_errors=True)
    print("PASS")
    return 0


if __name__ == "__main__":
    sys.exit(main())
