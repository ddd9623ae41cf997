#!/usr/bin/python3
"""A scripted 3GPP AT modem in PDU mode, served on an abstract unix socket.

ModemManager opens the socket as its AT port (Test.SetProfile with "abstract:NAME"). The
test drives the modem through stdin, one command a line, and reads one answer a line on
stdout:

  store STAT PDU     put a PDU (hex, SMSC octet first) into the store    -> ok INDEX
  deliver PDU        store it as unread and announce it with +CMTI      -> ok INDEX
  csq N              signal code for the next AT+CSQ (and +CIEV)        -> ok
  list               the store                                          -> ok INDEX:STAT:PDU ...
  sent               every PDU received through AT+CMGS, in order      -> ok PDU ...
  commands           every AT command seen, joined with |               -> ok ...
  remove INDEX       take a message out of the store, as another client would -> ok
  cmgd_error 0|1     while 1, AT+CMGD answers +CMS ERROR: 321              -> ok
  textmode 0|1       while 1, the modem refuses PDU mode (AT+CMGF=0), as text-mode-only
                     modems do; set it before ModemManager probes the modem -> ok
  storetext STAT NUMBER STAMP TEXT...
                     put a text-mode message into the store (STAMP as the modem writes
                     it, yy/MM/dd,hh:mm:ss+zz; TEXT in the IRA character set) -> ok INDEX
  ussd_support 0|1   while 1, the modem offers USSD (AT+CUSD); set it before ModemManager probes
                     the modem                                                -> ok
  ussd CODE M DCS STR...
                     the network answers CODE (a code, or a reply in a session) with
                     +CUSD: M,"STR",DCS (M 1: a question that waits for a reply)  -> ok
  pin PIN            the SIM asks for PIN (PUK 12345678) until unlocked; three wrong PINs ask
                     for the PUK, ten wrong PUKs block it                  -> ok
  cpin               what the SIM asks for and the attempts left: READY, SIM PIN N, SIM PUK N -> ok ...
  cfun               the functionality level last set with AT+CFUN        -> ok N
  creg STAT          the registration (+CREG/+CGREG stat: 1 home, 2 searching, 3 denied,
                     5 roaming), answered from now on and announced unsolicited -> ok
  report ST [MR]     a status-report PDU (SMSC octets first) as the network's service centre
                     sends it, status octet ST (hex) for the part with reference MR (the last
                     one +CMGS handed out when omitted) to that part's recipient   -> ok PDU
  cds ST [MR]        the same report, sent unsolicited as +CDS: <len> and the PDU line -> ok PDU
  quit

Anything the modem does not know gets ERROR, as a real one would.
"""

import os
import selectors
import socket
import sys
import time

CTRL_Z = b"\x1a"
ESC = b"\x1b"
TEXT_STAT = {0: "REC UNREAD", 1: "REC READ", 2: "STO UNSENT", 3: "STO SENT"}


class Modem:
    def __init__(self, name):
        self.sel = selectors.DefaultSelector()
        self.server = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        # ModemManager connects to the port string as it was given, "abstract:NAME", unpadded.
        self.server.bind("\0abstract:" + name)
        self.server.listen(4)
        self.server.setblocking(False)
        self.sel.register(self.server, selectors.EVENT_READ, self.accept)
        self.sel.register(sys.stdin, selectors.EVENT_READ, self.control)
        self.clients = {}
        self.store = {}  # index -> [stat, pdu]
        self.csq = 20
        self.sent = []
        self.commands = []
        self.pdu_wait = None  # client waiting to send a PDU after AT+CMGS
        self.echo = True
        self.running = True
        self.mr = 0
        self.sent_by_mr = {}  # the last PDU sent with each reference
        self.urcs = []
        self.last_at = 0.0
        self.cmgd_error = False
        self.textmode = False
        self.ussd_support = False
        self.ussd_script = {}  # code -> (m, str, dcs)
        # The SIM's lock: None when unlocked.
        self.lock = None
        self.pin = None
        self.puk = "12345678"
        self.pin_left = 3
        self.puk_left = 10
        self.cfun = 1
        self.creg = 1
        # +COPS=3,N: the form +COPS? names the operator in (0 long name, 2 numeric code).
        self.cops_format = 2

    # --- control channel ---------------------------------------------------------------
    def answer(self, text):
        sys.stdout.write(text + "\n")
        sys.stdout.flush()

    def next_index(self):
        i = 0
        while i in self.store:
            i += 1
        return i

    def control(self, stream):
        line = stream.readline()
        if not line:
            self.running = False
            return
        parts = line.split()
        if not parts:
            return
        cmd, args = parts[0], parts[1:]
        if cmd == "store":
            i = self.next_index()
            self.store[i] = [int(args[0]), args[1].upper()]
            self.answer("ok %d" % i)
        elif cmd == "deliver":
            i = self.next_index()
            self.store[i] = [0, args[0].upper()]
            self.unsolicited('+CMTI: "SM",%d' % i)
            self.answer("ok %d" % i)
        elif cmd == "storetext":
            i = self.next_index()
            # A text-mode entry: [stat, None, number, stamp, text].
            self.store[i] = [int(args[0]), None, args[1], args[2], line.split(None, 4)[4].rstrip("\n")]
            self.answer("ok %d" % i)
        elif cmd == "remove":
            self.store.pop(int(args[0]), None)
            self.answer("ok")
        elif cmd == "cmgd_error":
            self.cmgd_error = args[0] == "1"
            self.answer("ok")
        elif cmd == "textmode":
            self.textmode = args[0] == "1"
            self.answer("ok")
        elif cmd == "ussd_support":
            self.ussd_support = args[0] == "1"
            self.answer("ok")
        elif cmd == "ussd":
            self.ussd_script[args[0]] = (int(args[1]), line.split(None, 4)[4].rstrip("\n"), int(args[2]))
            self.answer("ok")
        elif cmd == "csq":
            self.csq = int(args[0])
            self.answer("ok")
        elif cmd == "list":
            self.answer("ok " + " ".join("%d:%d:%s" % (i, s[0], s[1] or "TEXT") for i, s in sorted(self.store.items())))
        elif cmd == "sent":
            self.answer("ok " + " ".join(self.sent))
        elif cmd == "commands":
            self.answer("ok " + "|".join(self.commands))
        elif cmd == "pin":
            self.pin, self.lock, self.pin_left, self.puk_left = args[0], "SIM PIN", 3, 10
            self.answer("ok")
        elif cmd == "cpin":
            left = {"SIM PIN": self.pin_left, "SIM PUK": self.puk_left}.get(self.lock, "")
            self.answer(("ok %s %s" % (self.lock or "READY", left)).strip())
        elif cmd == "cfun":
            self.answer("ok %d" % self.cfun)
        elif cmd == "creg":
            self.creg = int(args[0])
            self.unsolicited('+CREG: %d,"1234","ABCD",2' % self.creg)
            self.unsolicited('+CGREG: %d,"1234","ABCD",2' % self.creg)
            self.answer("ok")
        elif cmd in ("report", "cds"):
            pdu = self.status_report(int(args[0], 16), int(args[1]) if len(args) > 1 else self.mr)
            if cmd == "cds":
                self.unsolicited("+CDS: %d\r\n%s" % (len(pdu) // 2 - int(pdu[:2], 16) - 1, pdu))
            self.answer("ok " + pdu)
        elif cmd == "quit":
            self.running = False
            self.answer("ok")
        else:
            self.answer("error unknown command")

    # --- status reports -------------------------------------------------------------------
    @staticmethod
    def semi_octets(digits):
        if len(digits) % 2:
            digits += "F"
        return "".join(digits[i + 1] + digits[i] for i in range(0, len(digits), 2))

    def recipient(self, mr):
        """The destination address field (length, type, digits) of the part sent with MR."""
        pdu = self.sent_by_mr.get(mr)
        if pdu is None:
            return "0B915155123400F0"  # +15552143000 for a reference never handed out
        octets = bytes.fromhex(pdu)
        at = 1 + octets[0] + 2  # past the SMSC, the first octet and TP-MR
        return octets[at:at + 2 + (octets[at] + 1) // 2].hex().upper()

    def status_report(self, status, mr):
        """SMS-STATUS-REPORT (TS 23.040 9.2.2.3), written independently of the program's codec."""
        now = time.gmtime()
        def stamp(t):
            return "".join(self.semi_octets("%02d" % f)
                           for f in (t.tm_year % 100, t.tm_mon, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, 0))
        received = time.gmtime(time.time() - 60)
        tpdu = "06%02X%s%s%s%02X" % (mr, self.recipient(mr), stamp(received), stamp(now), status)
        return "07915155000000F0" + tpdu

    # --- AT port ------------------------------------------------------------------------
    def accept(self, server):
        conn, _ = server.accept()
        conn.setblocking(False)
        self.clients[conn] = b""
        self.sel.register(conn, selectors.EVENT_READ, self.receive)

    def drop(self, conn):
        self.sel.unregister(conn)
        self.clients.pop(conn, None)
        conn.close()
        if self.pdu_wait is conn:
            self.pdu_wait = None

    def write(self, conn, data):
        try:
            conn.sendall(data.encode() if isinstance(data, str) else data)
        except OSError:
            self.drop(conn)

    def unsolicited(self, text):
        # Held back until the port is quiet, so that it never lands inside a command's response.
        self.urcs.append(text)

    def flush_unsolicited(self):
        if not self.urcs or self.pdu_wait is not None or time.monotonic() - self.last_at < 0.3:
            return
        text, self.urcs = self.urcs[0], self.urcs[1:]
        for c in list(self.clients):
            self.write(c, "\r\n%s\r\n" % text)
        self.last_at = time.monotonic()

    def receive(self, conn):
        try:
            data = conn.recv(4096)
        except OSError:
            data = b""
        if not data:
            self.drop(conn)
            return
        self.last_at = time.monotonic()
        buf = self.clients[conn] + data
        while True:
            if self.pdu_wait is conn:
                end = min((p for p in (buf.find(CTRL_Z), buf.find(ESC)) if p >= 0), default=-1)
                if end < 0:
                    break
                pdu, term, buf = buf[:end], buf[end:end + 1], buf[end + 1:]
                self.pdu_wait = None
                if term == ESC:
                    self.write(conn, "\r\nOK\r\n")
                    continue
                self.sent.append(pdu.decode(errors="replace").strip().upper())
                self.mr = (self.mr + 1) % 256
                self.sent_by_mr[self.mr] = self.sent[-1]
                self.write(conn, "\r\n+CMGS: %d\r\n\r\nOK\r\n" % self.mr)
                continue
            end = buf.find(b"\r")
            if end < 0:
                break
            line, buf = buf[:end], buf[end + 1:]
            line = line.strip(b"\n \x00").decode(errors="replace")
            if not line:
                continue
            if self.echo:
                self.write(conn, line + "\r")
            reply = self.command(conn, line)
            if reply is not None:
                self.write(conn, reply)
        if conn in self.clients:
            self.clients[conn] = buf

    def command(self, conn, line):
        self.commands.append(line)
        up = line.upper()
        if not up.startswith("AT"):
            return "\r\nERROR\r\n"
        body = line[2:]
        # Chained basic commands such as "ATE0 V1" or "AT E0 V1 &D2": answer OK to the lot.
        if body.upper().replace(" ", "") in ("", "Z", "E0", "E0V1", "E0V1&D2", "V1", "E0V1&C1", "&F", "&FE0"):
            if "E0" in body.upper().replace(" ", ""):
                self.echo = False
            return "\r\nOK\r\n"
        if body.upper().replace(" ", "").startswith("E0"):
            self.echo = False
            return "\r\nOK\r\n"
        handled = self.extended(conn, body)
        if handled is None:
            return "\r\nERROR\r\n"
        return handled

    def ok(self, *lines):
        # Information lines back to back, as a modem sends them (a PDU follows its +CMGL line directly).
        if not lines:
            return "\r\nOK\r\n"
        return "\r\n" + "\r\n".join(lines) + "\r\n\r\nOK\r\n"

    def sim(self, u, b):
        """+CPIN, +CPINR and +CFUN: None when the command is none of them."""
        if u == "+CPIN?":
            return self.ok("+CPIN: %s" % (self.lock or "READY"))
        if u.startswith("+CPINR"):
            return self.ok("+CPINR: SIM PIN,%d,3" % self.pin_left, "+CPINR: SIM PUK,%d,10" % self.puk_left,
                           "+CPINR: SIM PIN2,3,3", "+CPINR: SIM PUK2,10,10")
        if u.startswith("+CPIN="):
            codes = [c.strip().strip('"') for c in b[6:].split(",")]
            if self.lock == "SIM PIN" and len(codes) == 1:
                if codes[0] == self.pin:
                    self.lock, self.pin_left = None, 3
                    return self.ok()
                self.pin_left -= 1
                if self.pin_left == 0:
                    self.lock = "SIM PUK"
                return "\r\n+CME ERROR: 16\r\n"
            if self.lock == "SIM PUK" and len(codes) == 2:
                if codes[0] == self.puk:
                    self.lock, self.pin, self.pin_left, self.puk_left = None, codes[1], 3, 10
                    return self.ok()
                self.puk_left -= 1
                if self.puk_left == 0:
                    self.lock = "SIM BLOCKED"
                return "\r\n+CME ERROR: 16\r\n"
            return "\r\n+CME ERROR: 3\r\n"
        if u == "+CFUN?":
            return self.ok("+CFUN: %d" % self.cfun)
        if u.startswith("+CFUN="):
            self.cfun = int(u[6:].split(",")[0])
            return self.ok()
        if self.lock and (u.startswith("+CMG") or u.startswith("+CPMS") or u.startswith("+CIMI")
                          or u.startswith("+CNUM")):
            # A locked SIM keeps its files shut, as a real one does.
            return "\r\n+CME ERROR: 11\r\n"
        return None

    def extended(self, conn, body):
        b = body.strip()
        u = b.upper()
        answer = self.sim(u, b)
        if answer is not None:
            return answer
        simple = {
            "+CGMI": self.ok("Ombrelay Test"),
            "+GMI": self.ok("Ombrelay Test"),
            "+CGMM": self.ok("AT Fixture 3G"),
            "+GMM": self.ok("AT Fixture 3G"),
            "+CGMR": self.ok("FW 1.2.3"),
            "+GMR": self.ok("FW 1.2.3"),
            "+CGSN": self.ok("490154203237518"),
            "+GSN": self.ok("490154203237518"),
            "+CIMI": self.ok("001010123456789"),
            "+CCID": self.ok("+CCID: 89014103211118510720"),
            "+ICCID": self.ok("+ICCID: 89014103211118510720"),
            "+GCAP": self.ok("+GCAP: +CGSM,+DS,+ES"),
            "+WS46=?": self.ok("+WS46: (12,22)"),
            "+WS46?": self.ok("+WS46: 22"),
            "+CPIN?": self.ok("+CPIN: READY"),
            "+CFUN?": self.ok("+CFUN: 1"),
            "+CREG?": self.ok('+CREG: 2,%d,"1234","ABCD",2' % self.creg),
            "+CGREG?": self.ok('+CGREG: 2,%d,"1234","ABCD",2' % self.creg),
            "+CEREG?": None,
            "+COPS?": self.ok('+COPS: 0,0,"Test Network",2' if self.cops_format == 0 else '+COPS: 0,2,"00101",2'),
            "+COPS=3,2;+COPS?": self.ok('+COPS: 0,2,"00101",2'),
            "+COPS=3,0;+COPS?": self.ok('+COPS: 0,0,"Test Network",2'),
            "+CPMS=?": self.ok('+CPMS: ("SM"),("SM"),("SM")'),
            "+CPMS?": self.ok('+CPMS: "SM",%d,20,"SM",%d,20,"SM",%d,20' % ((len(self.store),) * 3)),
            "+CNMI=?": self.ok("+CNMI: (0-2),(0-3),(0,2),(0-2),(0,1)"),
            "+CMGF=?": self.ok("+CMGF: (0)"),
            "+CMGF=0": self.ok(),
            "+CMGF?": self.ok("+CMGF: 0"),
            "+CSCS=?": self.ok('+CSCS: ("IRA","GSM","UCS2")'),
            "+CSCS?": self.ok('+CSCS: "IRA"'),
            "+CGDCONT=?": self.ok('+CGDCONT: (1-10),"IP",,,(0),(0)', '+CGDCONT: (1-10),"IPV6",,,(0),(0)',
                                  '+CGDCONT: (1-10),"IPV4V6",,,(0),(0)'),
            "+CGDCONT?": self.ok('+CGDCONT: 1,"IP","internet","0.0.0.0",0,0'),
            "+CGACT?": self.ok("+CGACT: 1,0"),
            "+CSIM=?": None,
            "+CLCK=?": self.ok('+CLCK: ("SC")'),
            "+CLCK=\"SC\",2": self.ok("+CLCK: 0"),
            "+CPINR": None,
            "+CNUM": self.ok('+CNUM: "","+15551230000",145'),
            "+CMEE=2": self.ok(),
            "+CMEE=1": self.ok(),
            "+CMEE?": self.ok("+CMEE: 1"),
            "+CMER=3,0,0,1": self.ok(),
            # No "signal" indicator: the stack then polls AT+CSQ, which the test changes.
            "+CIND=?": self.ok('+CIND: ("service",(0-1)),("roam",(0-1))'),
            "+CIND?": self.ok("+CIND: 1,0"),
            "+CGSMS?": self.ok("+CGSMS: 1"),
            "+CSMS=?": self.ok("+CSMS: (0,1)"),
            "+CSMS?": self.ok("+CSMS: 0,1,1,1"),
            "+CSCA?": self.ok('+CSCA: "+15550000000",145'),
            "+CGATT?": self.ok("+CGATT: 1"),
            "+CGEREP=?": None,
            "+CUSD=?": None,
            "+CRC=1": self.ok(),
            "+CLIP=1": self.ok(),
            "+CFUN=1": self.ok(),
            "+CFUN=4": self.ok(),
            "+CFUN=0": self.ok(),
            "H": self.ok(),
            "+CHUP": self.ok(),
        }
        if self.textmode:
            text = {
                "+CMGF=?": self.ok("+CMGF: (1)"),
                "+CMGF=0": None,
                "+CMGF=1": self.ok(),
                "+CMGF?": self.ok("+CMGF: 1"),
                # Text mode writes numbers and texts in the character set: keep it plain ASCII.
                "+CSCS=?": self.ok('+CSCS: ("IRA")'),
            }
            if u in text:
                return text[u]
            if u.startswith("+CMGL"):
                return self.text_list(u)
            if u.startswith("+CMGR="):
                return self.text_read(u)
        if self.ussd_support and u.startswith("+CUSD"):
            return self.cusd(b)
        if u in simple:
            r = simple[u]
            return r
        if u == "+CSQ":
            return self.ok("+CSQ: %d,99" % self.csq)
        if u.startswith("+CREG=") or u.startswith("+CGREG=") or u.startswith("+CPMS=") or u.startswith("+CNMI=") \
                or u.startswith("+CGDCONT=") or u.startswith("+CMER=") or u.startswith("+COPS=") \
                or u.startswith("+CSCS="):
            if u.startswith("+COPS=3,"):
                self.cops_format = 0 if u[8:] == "0" else 2
            if u.startswith("+CPMS="):
                n = len(self.store)
                return self.ok("+CPMS: %d,20,%d,20,%d,20" % (n, n, n))
            return self.ok()
        if u.startswith("+CMGL"):
            want = u[6:].strip('"') if u.startswith("+CMGL=") else "4"
            lines = []
            for i, (stat, pdu, *_) in sorted(self.store.items()):
                if pdu is None:
                    continue  # a text-mode entry
                if want in ("4", "ALL") or want == str(stat):
                    lines.append("+CMGL: %d,%d,,%d" % (i, stat, len(pdu) // 2 - int(pdu[:2], 16) - 1))
                    lines.append(pdu)
                    if stat == 0:
                        self.store[i][0] = 1
            return self.ok(*lines)
        if u.startswith("+CMGR="):
            i = int(u[6:])
            if i not in self.store or self.store[i][1] is None:
                return "\r\n+CMS ERROR: 321\r\n"
            stat, pdu = self.store[i][:2]
            if stat == 0:
                self.store[i][0] = 1
            return self.ok("+CMGR: %d,,%d" % (stat, len(pdu) // 2 - int(pdu[:2], 16) - 1), pdu)
        if u.startswith("+CMGD="):
            if self.cmgd_error:
                return "\r\n+CMS ERROR: 321\r\n"
            args = u[6:].split(",")
            i = int(args[0])
            if len(args) > 1 and int(args[1]) == 4:
                self.store.clear()
            elif i in self.store:
                del self.store[i]
            else:
                return "\r\n+CMS ERROR: 321\r\n"
            return self.ok()
        if u.startswith("+CMGS="):
            self.pdu_wait = conn
            return "\r\n> "
        return None


    # --- text mode -------------------------------------------------------------------
    # An entry as +CMGL writes it, and its text line.
    def text_entry(self, i, entry):
        stat, _, number, stamp, text = entry
        return '+CMGL: %d,"%s","%s",,"%s"' % (i, TEXT_STAT[stat], number, stamp), text

    def text_list(self, u):
        want = u[6:].strip().strip('"') if u.startswith("+CMGL=") else "ALL"
        lines = []
        for i, entry in sorted(self.store.items()):
            if entry[1] is not None:
                continue
            if want == "ALL" or want == TEXT_STAT[entry[0]]:
                lines.extend(self.text_entry(i, entry))
                if entry[0] == 0:
                    entry[0] = 1
        return self.ok(*lines)

    def text_read(self, u):
        i = int(u[6:])
        entry = self.store.get(i)
        if entry is None or entry[1] is not None:
            return "\r\n+CMS ERROR: 321\r\n"
        head, text = self.text_entry(i, entry)
        if entry[0] == 0:
            entry[0] = 1
        return self.ok(head.replace("+CMGL: %d," % i, "+CMGR: "), text)

    # --- USSD --------------------------------------------------------------------------
    @staticmethod
    def ussd_text(value):
        # The stack may write the code as it stands or as hexadecimal octets of its character
        # set (IRA or UCS-2); the script is keyed by the code as a person types it.
        try:
            raw = bytes.fromhex(value)
        except ValueError:
            return value
        if len(raw) % 2 == 0 and raw and all(raw[i] == 0 for i in range(0, len(raw), 2)):
            return raw.decode("utf-16-be", errors="replace")
        return raw.decode("ascii", errors="replace")

    def cusd(self, b):
        u = b.upper()
        if u == "+CUSD=?":
            return self.ok("+CUSD: (0-2)")
        if u == "+CUSD?":
            return self.ok("+CUSD: 1")
        args = b[6:].split(",")
        if u.startswith("+CUSD=") and len(args) >= 2:
            code = args[1].strip().strip('"')
            text = code if code in self.ussd_script else self.ussd_text(code)
            if text in self.ussd_script:
                m, answer, dcs = self.ussd_script[text]
                self.unsolicited('+CUSD: %d,"%s",%d' % (m, answer, dcs))
            else:
                # A code the network does not know: it ends the session without an answer.
                self.unsolicited("+CUSD: 2")
            return self.ok()
        # AT+CUSD=1 (presentation on), AT+CUSD=2 (cancel), AT+CUSD=0.
        return self.ok()


def main():
    m = Modem(sys.argv[1])
    m.answer("ready")
    while m.running:
        for key, _ in m.sel.select(timeout=0.05):
            key.data(key.fileobj)
            if not m.running:
                break
        m.flush_unsolicited()
    os._exit(0)


if __name__ == "__main__":
    main()
