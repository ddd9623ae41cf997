#!/usr/bin/env bash
# The real program on the simulated modem (offscreen): time from a message's delivery on the
# device to its row in INCOMING, 50 deliveries one at a time; with the device's new-message
# event reading at once, against the same with reads left to the 10-second poll. Prints
#   FIGURE delivery_to_row_median_ms ... and FIGURE delivery_to_row_worst_ms ...
# BUILD_DIR names the build (bench/run sets it); OMBRELAY_LATENCY_N changes the count.
set -euo pipefail
dir=${BUILD_DIR:-build-bench}
exec /usr/bin/python3 - "$dir/app/ombrelay" "${OMBRELAY_LATENCY_N:-50}" <<'PY'
import os, socket, sqlite3, statistics, subprocess, sys, tempfile, time

program, count = sys.argv[1], int(sys.argv[2])

def ask(path, line):
    s = socket.socket(socket.AF_UNIX)
    s.connect(path)
    s.sendall(line.encode() + b"\n")
    answer = b""
    while not answer.endswith(b"\n"):
        chunk = s.recv(4096)
        if not chunk:
            break
        answer += chunk
    s.close()
    return answer.decode().strip()

def run(event):
    home = tempfile.mkdtemp(prefix="ombrelay-latency-")
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_DATA_HOME=home + "/data",
               XDG_RUNTIME_DIR=home + "/run", OMBRELAY_READ_ON_EVENT="1" if event else "0")
    os.makedirs(home + "/run", mode=0o700)
    sock = home + "/sim.sock"
    p = subprocess.Popen([program, "--backend=sim", "--sim-control", sock], env=env,
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        deadline = time.time() + 20
        while True:
            try:
                if ask(sock, "interfaces").startswith("ok"):
                    break
            except OSError:
                pass
            if time.time() > deadline:
                raise SystemExit("the program did not come up")
            time.sleep(0.05)
        db = home + "/data/Virelle/Ombrelay/Ombrelay.DB"
        while not os.path.exists(db):
            time.sleep(0.05)
        con = sqlite3.connect("file:%s?mode=ro" % db, uri=True, timeout=5)
        def rows():
            try:
                return con.execute("SELECT COUNT(*) FROM INCOMING").fetchone()[0]
            except sqlite3.OperationalError:
                return -1
        # The first poll of the start is over before the clock runs.
        time.sleep(1)
        times = []
        for n in range(count):
            before = rows()
            start = time.monotonic()
            ask(sock, "deliver sim0 +4917012345 latency %d" % n)
            while rows() <= before:
                time.sleep(0.002)
                if time.monotonic() - start > 30:
                    raise SystemExit("message %d never reached INCOMING" % n)
            times.append((time.monotonic() - start) * 1000)
        return times
    finally:
        p.terminate()
        p.wait(timeout=15)

on = run(True)
off = run(False)
for name, pick in (("median", statistics.median), ("worst", max)):
    v, b = pick(on), pick(off)
    goal = 1000
    print("FIGURE delivery_to_row_%s_ms value=%.1f baseline=%.1f ratio=%.3f goal=<%d %s"
          % (name, v, b, v / b if b else 0, goal, "pass" if v < goal else "short"))
PY
