"""Real peers around Quorix: a private Dovecot, Quorix itself, mpop and fetchmail.

One mechanism for the end-to-end tests, the demo (scripts/quorix.sh demo) and the POP3
benchmark (bench/pop3-bench.py). Everything runs in one scratch folder: Dovecot's
configuration, state and mail, Quorix's settings file, hosts folder, logs and runtime folder,
and the mail programs' configurations and delivered mail. Names resolve through nss_wrapper
from a copy of the scratch hosts file, so nothing on the machine changes.

Every process is started in its own process group, with the parent's death as its stop
signal, and stopped (group and all) when the Harness closes, also when a step fails.
Standard library only.
"""

import contextlib
import email.utils
import ctypes
import glob
import grp
import os
import pwd
import re
import shutil
import signal
import socket
import subprocess
import struct
import sys
import tempfile
import threading
import time

SKIP = 77
USER_PASSWORD = "secret"
# Dovecot's own name in the scratch hosts file, outside the program's block: the account
# reads "pop.test:PORT" and the mail program talks to "pop.test.qx".
SERVER_NAME = "pop.test"


def skip(reason):
    print(f"SKIP: {reason}", flush=True)
    sys.exit(SKIP)


# The checks of one test script: each prints its verdict, and the script ends with the list
# of those that failed.
failures = []


def check(condition, what, detail=""):
    if condition:
        print(f"ok: {what}")
    else:
        failures.append(what)
        print(f"FAIL: {what}" + (f"\n      {detail}" if detail else ""))


def find_program(name):
    return shutil.which(name) or shutil.which(name, path="/usr/sbin:/sbin")


def nss_wrapper_library():
    for pattern in ("/usr/lib/*/libnss_wrapper.so", "/usr/lib/libnss_wrapper.so",
                    "/usr/lib64/libnss_wrapper.so"):
        found = glob.glob(pattern)
        if found:
            return found[0]
    return None


def require_peers(*programs):
    """Skips (exit 77) with the reason when a peer program or nss_wrapper is missing."""
    missing = [p for p in programs if not find_program(p)]
    if missing:
        skip(f"not installed: {', '.join(missing)} (bash scripts/quorix.sh test installs them)")
    if not nss_wrapper_library():
        skip("libnss_wrapper.so is not installed (package libnss-wrapper)")


def sanitized():
    """The build under test has the sanitizers (set by tests/CMakeLists.txt): heavy checks
    run a smaller load there."""
    return os.environ.get("QUORIX_E2E_SANITIZED", "0") not in ("", "0", "FALSE", "OFF")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def _listening_ports():
    ports = set()
    with contextlib.suppress(OSError), open("/proc/net/tcp") as table:
        for row in table.readlines()[1:]:
            fields = row.split()
            if fields[3] == "0A":
                ports.add(int(fields[1].split(":")[1], 16))
    return ports


def wait_listening(port, process=None, timeout=15.0, what="the program"):
    """Waits until something listens on the port, without connecting to it."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if port in _listening_ports():
            return
        if process is not None and process.poll() is not None:
            raise RuntimeError(f"{what} exited with {process.returncode} before listening on {port}")
        time.sleep(0.05)
    raise RuntimeError(f"{what} does not listen on port {port} after {timeout:.0f} s")


_libc = ctypes.CDLL(None, use_errno=True)
_PR_SET_PDEATHSIG = 1


def _child_setup(death_signal):
    def setup():
        # Our own death (a ctest time-out kills us hard) stops the child too.
        _libc.prctl(_PR_SET_PDEATHSIG, death_signal, 0, 0, 0)
    return setup


def _received_time(message):
    match = re.search(rb"Received: from [^\r\n]* by qx [^\r\n]*(?:\r?\n[ \t][^\r\n]*)*?\) (?:at|;) "
                      rb"([^\r\n]+)", message)
    return match


def processing_times_masked(message):
    """The message with the date of the program's own Received field left out, and that date
    (a datetime), so the caller can check it is the time of its run."""
    times = []
    match = _received_time(message)
    if match:
        times.append(email.utils.parsedate_to_datetime(match.group(1).decode()))
        message = message[:match.start(1)] + b"<time>" + message[match.end(1):]
    return message, times


def compare_filtered(expected, got, earliest, latest, fixed_now=None):
    """Compares two processings of one message: equal apart from the processing time in the
    program's Received field and in a Date field it added to a message without one. got was
    processed between earliest and latest (aware datetimes); so was expected, unless it was
    made by quorix-filter --now fixed_now. Returns None or what differs."""
    want, want_times = processing_times_masked(expected)
    have, have_times = processing_times_masked(got)
    if want == have and len(want_times) == len(have_times):
        return None
    if len(want_times) != len(have_times):
        return "the program's Received field is in one and not in the other"
    live = have_times + ([] if fixed_now else want_times)
    for when in live:
        if not earliest <= when <= latest:
            return f"the Received time {when} is not the time of the run ({earliest} to {latest})"
    fixed_date = fixed_now and b"Date: " + email.utils.format_datetime(fixed_now).encode()

    def run_date(line):
        try:
            when = email.utils.parsedate_to_datetime(line[6:].strip().decode())
        except (ValueError, TypeError, UnicodeDecodeError):
            return None
        return when if earliest <= when <= latest else None
    want_lines, have_lines = want.split(b"\n"), have.split(b"\n")
    if len(want_lines) != len(have_lines):
        return "the messages differ"
    for i, (mine, theirs) in enumerate(zip(want_lines, have_lines)):
        if mine == theirs or not (mine.startswith(b"Date: ") and theirs.startswith(b"Date: ")):
            continue
        mine_ok = mine.rstrip(b"\r") == fixed_date if fixed_now else run_date(mine) is not None
        if not (mine_ok and run_date(theirs) is not None):
            return f"Date fields differ beyond the time of the run: {mine!r} {theirs!r}"
        want_lines[i] = have_lines[i] = b"Date: <time>"
    return None if want_lines == have_lines else "the messages differ"


class Harness:
    """The scratch folder and every process started in it."""

    def __init__(self, keep=False, prefix="quorix-e2e-"):
        self.path = tempfile.mkdtemp(prefix=prefix)
        self.keep = keep
        self.processes = []
        if os.geteuid() == 0:
            # Dovecot's unprivileged processes (its login and internal users, the mail user)
            # must reach their files here.
            os.chmod(self.path, 0o755)

    def __enter__(self):
        return self

    def __exit__(self, exc_type, exc, tb):
        failed = exc_type is not None and not (
            exc_type is SystemExit and exc.code in (0, None, SKIP))
        if failed and not self.keep:
            self.keep = True
            print(f"scratch folder kept for inspection: {self.path}", file=sys.stderr, flush=True)
        self.close()
        return False

    def sub(self, *parts, create=True):
        path = os.path.join(self.path, *parts)
        if create:
            os.makedirs(path, exist_ok=True)
        return path

    def spawn(self, args, env=None, stdout=None, stderr=None, death_signal=signal.SIGTERM, **kw):
        process = subprocess.Popen(args, env=env, stdout=stdout, stderr=stderr,
                                   start_new_session=True,
                                   preexec_fn=_child_setup(death_signal), **kw)
        self.processes.append(process)
        return process

    def stop(self, process, sig=signal.SIGTERM, timeout=10.0):
        """Stops the process and its group; returns its exit status."""
        if process.poll() is None:
            with contextlib.suppress(ProcessLookupError):
                os.killpg(process.pid, sig)
            try:
                process.wait(timeout)
            except subprocess.TimeoutExpired:
                with contextlib.suppress(ProcessLookupError):
                    os.killpg(process.pid, signal.SIGKILL)
                process.wait()
        # Whatever the group leader left behind goes too.
        with contextlib.suppress(ProcessLookupError, PermissionError):
            os.killpg(process.pid, signal.SIGKILL)
        return process.returncode

    def close(self):
        for process in reversed(self.processes):
            self.stop(process)
        self.processes.clear()
        if not self.keep:
            shutil.rmtree(self.path, ignore_errors=True)

    # --- name resolution -------------------------------------------------------------------

    def nss_env(self, hosts_file, base=None):
        env = dict(os.environ if base is None else base)
        env["LD_PRELOAD"] = nss_wrapper_library()
        # Preloaded, nss_wrapper comes before a sanitized quorix's runtime, which then refuses
        # to start unless told that the order is meant.
        env["ASAN_OPTIONS"] = ":".join(filter(None, [env.get("ASAN_OPTIONS"), "verify_asan_link_order=0"]))
        env["NSS_WRAPPER_HOSTS"] = hosts_file
        return env


def comment_free_hosts(text):
    """The hosts file as nss_wrapper can read it: its parser stops at the first comment line,
    so comments and blank lines are left out."""
    lines = []
    for line in text.splitlines():
        line = line.split("#", 1)[0]
        if line.strip():
            lines.append(line.rstrip() + "\n")
    return "".join(lines)


# --- certificates --------------------------------------------------------------------------


class TestPki:
    """A scratch certificate authority made with the openssl command line, by the same recipe
    as the unit tests' TTestPki (tests/support/TlsTestSupport.h): EC P-256 keys, a CA
    "Quorix Test CA" to trust and "Some Other CA" not to, server certificates issued with
    `openssl ca`. Each certificate is NAME.pem beside NAME.key."""

    def __init__(self, folder):
        self.dir = folder
        os.makedirs(folder, exist_ok=True)
        self.config = os.path.join(folder, "ca.cnf")
        with open(self.config, "w") as out:
            out.write(f"[ca]\ndefault_ca = test\n"
                      f"[test]\ndatabase = {folder}/index.txt\nnew_certs_dir = {folder}\n"
                      f"serial = {folder}/serial\ndefault_md = sha256\npolicy = any\nunique_subject = no\n"
                      f"[any]\ncommonName = supplied\n"
                      f"[req]\ndistinguished_name = dn\n[dn]\n"
                      f"[v3ca]\nbasicConstraints = critical,CA:TRUE\nkeyUsage = keyCertSign,cRLSign\n"
                      f"subjectKeyIdentifier = hash\n")
        open(os.path.join(folder, "index.txt"), "w").close()
        with open(os.path.join(folder, "serial"), "w") as out:
            out.write("1000\n")
        self._sections = set()
        self._make_ca("ca", "Quorix Test CA")
        self._make_ca("otherca", "Some Other CA")

    def pem(self, name):
        return os.path.join(self.dir, name + ".pem")

    def key(self, name):
        return os.path.join(self.dir, name + ".key")

    @property
    def ca(self):
        return self.pem("ca")

    def _run(self, *arguments):
        result = subprocess.run(["openssl", *arguments], capture_output=True, text=True)
        if result.returncode != 0:
            raise RuntimeError(f"openssl {' '.join(arguments)} failed:\n{result.stdout}{result.stderr}")

    def _new_key(self, name):
        self._run("genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256", "-out", self.key(name))
        # Dovecot's unprivileged processes read it when the tests run as root.
        os.chmod(self.key(name), 0o644)

    def _make_ca(self, name, subject):
        self._new_key(name)
        self._run("req", "-x509", "-new", "-key", self.key(name), "-out", self.pem(name), "-days", "30",
                  "-subj", f"/CN={subject}", "-config", self.config, "-extensions", "v3ca")

    def _section(self, host):
        """The extensions of a server certificate for host (a name at 127.0.0.1)."""
        section = "server_" + re.sub(r"[^A-Za-z0-9]", "_", host)
        if section not in self._sections:
            with open(self.config, "a") as out:
                out.write(f"[{section}]\nsubjectAltName = DNS:{host},IP:127.0.0.1\nbasicConstraints = CA:FALSE\n")
            self._sections.add(section)
        return section

    def issue(self, name, host, expired=False, ca="ca"):
        """A certificate for host signed by ca; expired: valid in 2020 only."""
        self._new_key(name)
        csr = os.path.join(self.dir, name + ".csr")
        self._run("req", "-new", "-key", self.key(name), "-out", csr, "-subj", f"/CN={host}")
        dates = ["-startdate", "20200101000000Z", "-enddate", "20210101000000Z"] if expired else ["-days", "30"]
        self._run("ca", "-batch", "-notext", "-config", self.config, "-cert", self.pem(ca), "-keyfile", self.key(ca),
                  "-extensions", self._section(host), "-in", csr, "-out", self.pem(name), *dates)
        return self.pem(name), self.key(name)

    def self_signed(self, name, host):
        self._new_key(name)
        self._run("req", "-x509", "-new", "-key", self.key(name), "-out", self.pem(name), "-days", "30",
                  "-subj", f"/CN={host}", "-addext", f"subjectAltName=DNS:{host},IP:127.0.0.1")
        return self.pem(name), self.key(name)


# --- Dovecot -------------------------------------------------------------------------------


class Dovecot:
    """A private Dovecot serving POP3 on a free loopback port, with maildir users.

    ssl: offer STLS with a throw-away self-signed certificate. certificate: (pem, key) of the
    server; then ssl = required (no login without TLS) on the plain port, and tls_port is a
    second listener speaking TLS from the start. verbose: log every login and auth attempt
    and the TLS errors, for tests that read the log."""

    def __init__(self, harness, ssl=False, certificate=None, name="dovecot", verbose=False):
        self.h = harness
        self.dir = harness.sub(name)
        self.name = name
        self.port = free_port()
        self.ssl = ssl
        self.certificate = certificate
        self.tls_port = free_port() if certificate else 0
        self.verbose = verbose
        self.users = {}
        self.process = None
        if os.geteuid() == 0:
            # Dovecot runs no login process and serves no mail as root.
            self.login_user, self.internal_user, self.internal_group = "dovenull", "dovecot", "dovecot"
            self.uid = self.gid = 65534
        else:
            me = pwd.getpwuid(os.getuid())
            self.login_user = self.internal_user = me.pw_name
            self.internal_group = grp.getgrgid(os.getgid()).gr_name
            self.uid, self.gid = os.getuid(), os.getgid()

    def maildir(self, user):
        return os.path.join(self.dir, "mail", user, "Maildir")

    def add_user(self, user, messages=(), link_from=None):
        """messages: (name, bytes) pairs; link_from: another user whose mail is hard-linked
        (a cheap copy for many users with the same mailbox)."""
        box = self.maildir(user)
        for folder in ("new", "cur", "tmp"):
            os.makedirs(os.path.join(box, folder), exist_ok=True)
        if link_from is not None:
            source = os.path.join(self.maildir(link_from), "cur")
            for name in os.listdir(source):
                os.link(os.path.join(source, name), os.path.join(box, "cur", name))
        for name, data in messages:
            # cur/ with no flags: served as they are, in name order, UIDL = the name.
            with open(os.path.join(box, "cur", f"{name}:2,"), "wb") as out:
                out.write(data)
        self.users[user] = os.path.join(self.dir, "mail", user)

    def _write_config(self):
        passwd = os.path.join(self.dir, "passwd")
        with open(passwd, "w") as out:
            for user, home in self.users.items():
                out.write(f"{user}:{{PLAIN}}{USER_PASSWORD}:{self.uid}:{self.gid}::{home}::\n")
        ssl_lines = "ssl = no\n"
        if self.ssl:
            cert, key = os.path.join(self.dir, "cert.pem"), os.path.join(self.dir, "key.pem")
            subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                            "-subj", "/CN=pop.test", "-keyout", key, "-out", cert],
                           check=True, capture_output=True)
            os.chmod(key, 0o644)
            ssl_lines = f"ssl = yes\nssl_cert = <{cert}\nssl_key = <{key}\n"
        if self.certificate:
            cert, key = self.certificate
            ssl_lines = f"ssl = required\nssl_cert = <{cert}\nssl_key = <{key}\n"
        if self.verbose:
            ssl_lines += "auth_verbose = yes\n"
        pop3s = (f"    address = 127.0.0.1\n    port = {self.tls_port}\n    ssl = yes\n" if self.tls_port
                 else "    port = 0\n")
        config = os.path.join(self.dir, "dovecot.conf")
        run = self.h.sub(self.name, "run")
        state = self.h.sub(self.name, "state")
        with open(config, "w") as out:
            out.write(f"""\
base_dir = {run}
state_dir = {state}
log_path = {self.dir}/dovecot.log
info_log_path = {self.dir}/dovecot.log
protocols = pop3
listen = 127.0.0.1
{ssl_lines}auth_mechanisms = plain
disable_plaintext_auth = no
default_login_user = {self.login_user}
default_internal_user = {self.internal_user}
default_internal_group = {self.internal_group}
first_valid_uid = {min(self.uid, 500)}
first_valid_gid = {min(self.gid, 500)}
mail_location = maildir:~/Maildir
pop3_uidl_format = %g
default_process_limit = 400
default_client_limit = 2000
mail_max_userip_connections = 400
passdb {{
  driver = passwd-file
  args = scheme=PLAIN username_format=%u {passwd}
}}
userdb {{
  driver = passwd-file
  args = username_format=%u {passwd}
}}
service pop3-login {{
  chroot =
  inet_listener pop3 {{
    address = 127.0.0.1
    port = {self.port}
  }}
  inet_listener pop3s {{
{pop3s}  }}
}}
service anvil {{
  chroot =
}}
service imap-urlauth-login {{
  chroot =
}}
""")
        return config

    def start(self):
        self.config = self._write_config()
        if os.geteuid() == 0:
            for root, dirs, files in os.walk(os.path.join(self.dir, "mail")):
                os.chown(root, self.uid, self.gid)
                for name in files:
                    path = os.path.join(root, name)
                    if os.lstat(path).st_uid != self.uid:
                        os.chown(path, self.uid, self.gid)
        log = open(os.path.join(self.dir, "master.out"), "wb")
        self.process = self.h.spawn([find_program("dovecot"), "-c", self.config, "-F"],
                                    stdout=log, stderr=subprocess.STDOUT)
        log.close()
        try:
            wait_listening(self.port, self.process, what="Dovecot")
            if self.tls_port:
                wait_listening(self.tls_port, self.process, what="Dovecot")
        except RuntimeError as error:
            with open(os.path.join(self.dir, "master.out"), errors="replace") as f:
                said = f.read()
            raise RuntimeError(f"{error}:\n{said}{self.log()}") from None
        return self

    def log(self):
        try:
            with open(os.path.join(self.dir, "dovecot.log"), errors="replace") as f:
                return f.read()
        except FileNotFoundError:
            return ""

    def stop(self):
        if self.process is not None:
            self.h.stop(self.process)


# --- Quorix --------------------------------------------------------------------------------


class Quorix:
    """Quorix with its settings file, hosts folder, logs and runtime folder in the scratch
    folder; status lines collected from standard output and standard error."""

    LINE = re.compile(r"^(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d) (info|warn|error) (.*)$")

    def __init__(self, harness, binary, name="quorix"):
        self.h = harness
        self.binary = binary
        self.dir = harness.sub(name)
        self.registry = os.path.join(self.dir, "registry.reg")
        self.hosts_dir = harness.sub(name, "etc")
        self.hosts_file = os.path.join(self.hosts_dir, "hosts")
        with open(self.hosts_file, "w") as out:
            out.write("127.0.0.1\tlocalhost\n")
            out.write(f"127.0.0.1\t{SERVER_NAME}\n")
        runtime = harness.sub(name, "runtime")
        os.chmod(runtime, 0o700)
        self.env = dict(os.environ)
        self.env.update(QUORIX_REGISTRY=self.registry, QUORIX_HOSTS_DIR=self.hosts_dir,
                        HOME=harness.sub(name, "home"),
                        XDG_CONFIG_HOME=harness.sub(name, "config"),
                        XDG_DATA_HOME=harness.sub(name, "data"),
                        XDG_RUNTIME_DIR=runtime)
        self.log_dir = os.path.join(self.env["XDG_DATA_HOME"], "Vantorell", "Quorix", "logs")
        self.process = None
        self.port = None
        self.lines = []  # (stream, level, text) as they came
        self._readers = []

    def command(self, *args, check=True):
        result = subprocess.run([self.binary, *args], env=self.env, capture_output=True,
                                text=True, timeout=60)
        if check and result.returncode != 0:
            raise RuntimeError(f"quorix {' '.join(args)} exited with {result.returncode}:\n"
                               f"{result.stdout}{result.stderr}")
        return result

    def add_account(self, server, port, profile=None, tls="none", ca_file=None):
        """The private Dovecot speaks plain POP3 unless started with TLS, so the account says so."""
        args = ["account", "add", f"{server}:{port}", "--tls", tls]
        if profile:
            args += ["--profile", profile]
        if ca_file:
            args += ["--ca-file", ca_file]
        return self.command(*args)

    def add_server_name(self, name, address="127.0.0.1"):
        """Another server name in the scratch hosts file (outside the program's block)."""
        with open(self.hosts_file, "a") as out:
            out.write(f"{address}\t{name}\n")

    def hosts_text(self):
        with open(self.hosts_file) as f:
            return f.read()

    def local_names(self):
        """{name: address} of the program's block in the hosts file."""
        names = {}
        for line in comment_free_hosts(self.hosts_text()).splitlines():
            fields = line.split()
            if fields and fields[0].startswith("127.84.3."):
                for name in fields[1:]:
                    names[name] = fields[0]
        return names

    def nss_hosts(self, name="nss-hosts", drop=None, extra=""):
        """A comment-free copy of the scratch hosts file for nss_wrapper; drop: a predicate
        for lines to leave out (to give Quorix a view the mail program does not share)."""
        text = comment_free_hosts(self.hosts_text())
        if drop is not None:
            text = "".join(l for l in text.splitlines(keepends=True) if not drop(l))
        path = os.path.join(self.dir, name)
        with open(path, "w") as out:
            out.write(text + extra)
        return path

    def start(self, port=None, hosts=None, extra_args=()):
        self.port = port or free_port()
        env = self.h.nss_env(hosts or self.nss_hosts(), self.env)
        self.process = self.h.spawn([self.binary, "--headless", "--port", str(self.port), *extra_args],
                                    env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        for stream, pipe in (("stdout", self.process.stdout), ("stderr", self.process.stderr)):
            reader = threading.Thread(target=self._read, args=(stream, pipe), daemon=True)
            reader.start()
            self._readers.append(reader)
        wait_listening(self.port, self.process, what="quorix --headless")
        return self

    def _read(self, stream, pipe):
        for raw in pipe:
            text = raw.decode("utf-8", "replace").rstrip("\n")
            match = self.LINE.match(text)
            self.lines.append((stream, match.group(2) if match else "", text))

    def errors(self):
        return [text for stream, level, text in self.lines if stream == "stdout" and level == "error"]

    def wait_for_line(self, needle, level=None, timeout=10.0):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            for stream, lvl, text in list(self.lines):
                if needle in text and (level is None or lvl == level):
                    return text
            time.sleep(0.05)
        return None

    def stop(self, timeout=30.0):
        """SIGTERM, as a log-off; returns the exit status."""
        if self.process is None:
            return None
        code = self.h.stop(self.process, signal.SIGTERM, timeout)
        for reader in self._readers:
            reader.join(5)
        return code

    def output(self):
        return "\n".join(f"[{s}] {t}" for s, _, t in self.lines)


# --- mail programs -------------------------------------------------------------------------


def new_maildir(path):
    for folder in ("new", "cur", "tmp"):
        os.makedirs(os.path.join(path, folder), exist_ok=True)
    return path


def maildir_messages(path):
    """The delivered files of one mpop run, in delivery (message number) order."""
    folder = os.path.join(path, "new")

    def order(name):
        match = re.search(r"Q(\d+)", name)
        return (int(match.group(1)) if match else 0, name)
    return [os.path.join(folder, n) for n in sorted(os.listdir(folder), key=order)]


def run_mpop(harness, host, port, user, maildir, hosts_file, timeout=120, name="mpoprc", quiet=True,
             tls_trust_file=None):
    """One mpop run fetching (and keeping) every message of the mailbox into maildir; with
    tls_trust_file over TLS from the start, trusting that CA file."""
    config = os.path.join(harness.path, name)
    new_maildir(maildir)
    tls = (f"tls on\ntls_starttls off\ntls_trust_file {tls_trust_file}" if tls_trust_file else "tls off")
    with open(config, "w") as out:
        out.write(f"""\
defaults
{tls}
auth user
timeout 60
account default
host {host}
port {port}
user {user}
password {USER_PASSWORD}
delivery maildir {maildir}
received_header off
keep on
only_new off
uidls_file {config}.uidls
""")
    os.chmod(config, 0o600)
    env = harness.nss_env(hosts_file)
    return subprocess.run([find_program("mpop"), "-C", config] + (["-q"] if quiet else []), env=env,
                          capture_output=True, text=True, timeout=timeout)


class POP3:
    """A small POP3 client over a socket, for what mail programs do not show: exact bytes,
    the replies themselves, and commands out of the ordinary."""

    def __init__(self, address, port, timeout=30.0):
        self.sock = socket.create_connection((address, port), timeout=timeout)
        self.file = self.sock.makefile("rb")
        self.greeting = self.line()

    def close(self):
        with contextlib.suppress(OSError):
            self.file.close()
            self.sock.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def line(self):
        data = self.file.readline(1 << 20)
        if not data:
            raise EOFError("the server closed the connection")
        return data

    def send(self, text):
        self.sock.sendall(text.encode() + b"\r\n")

    def command(self, text):
        self.send(text)
        return self.line()

    def multiline(self, text):
        """(status line, body bytes with dot-stuffing removed) or (status line, None)."""
        status = self.command(text)
        if not status.startswith(b"+OK"):
            return status, None
        parts = []
        while True:
            data = self.line()
            if data == b".\r\n":
                return status, b"".join(parts)
            parts.append(data[1:] if data.startswith(b".") else data)

    def login(self, user, password=USER_PASSWORD):
        for text in (f"USER {user}", f"PASS {password}"):
            reply = self.command(text)
            if not reply.startswith(b"+OK"):
                raise RuntimeError(f"{text.split()[0]} refused: {reply!r}")

    def uidls(self):
        status, body = self.multiline("UIDL")
        if body is None:
            raise RuntimeError(f"UIDL refused: {status!r}")
        result = []
        for row in body.decode().splitlines():
            number, uid = row.split(" ", 1)
            result.append((int(number), uid))
        return result


# --- the message log -----------------------------------------------------------------------

LOG_COUNTERS = [
    ("ReadReceiptsBlocked", "read-receipt request removed"),
    ("AttachmentsBlocked", "attachment blocked"),
    ("AttachmentsRenamed", "attachment renamed to a harmless name"),
    ("AllHTMLRemoved", "HTML text removed or turned into plain text"),
    ("NonStandardHTMLRemoved", "non-standard HTML removed"),
    ("ScriptingRemoved", "script removed"),
    ("EmbeddingRemoved", "embedded object removed"),
    ("ExternalCSSBlocked", "external style sheet blocked"),
    ("UndesiredTagsRemoved", "undesired tag removed (META, BLINK, BGSOUND, frames)"),
    ("AllowedProviderImages", "image from an allowed provider kept"),
    ("ProviderImagesBlocked", "image from a web-bug provider blocked"),
    ("ExternalImagesBlocked", "external image blocked"),
    ("ImagesWithVariablesBlocked", "image with variables in its address blocked"),
    ("ImagesWithIdentifiersBlocked", "image with an identifier in its address blocked"),
    ("ImagesWithCookiesBlocked", "image that sets cookies blocked"),
    ("Images1x1Blocked", "1x1 image blocked"),
]
_RECORD_SIZE = 272


def read_message_logs(folder):
    """The records of every day log in the folder (the program's binary format: blocks of
    version, size and data, little-endian; other blocks are skipped by their size)."""
    records = []
    if not os.path.isdir(folder):
        return records
    for name in sorted(os.listdir(folder)):
        if not re.fullmatch(r"Message\.\d+", name):
            continue
        data = open(os.path.join(folder, name), "rb").read()
        at = 0
        while at + 8 <= len(data):
            version, size = struct.unpack_from("<ii", data, at)
            if size < 0 or at + 8 + size > len(data):
                break
            block = data[at + 8:at + 8 + size]
            at += 8 + size
            if version != 1 or size != _RECORD_SIZE:
                continue

            def text(offset, capacity):
                return block[offset + 1:offset + 1 + min(block[offset], capacity)].decode("utf-8", "replace")
            counters = struct.unpack_from(f"<{len(LOG_COUNTERS)}i", block, 208)
            records.append({"profile": text(8, 31), "sender": text(40, 72), "subject": text(113, 72),
                            "filtered": block[204] != 0,
                            "counters": dict(zip((c for c, _ in LOG_COUNTERS), counters))})
    return records


def describe_counters(counters):
    """The record's counters in words, one phrase per counter that is not zero."""
    phrases = []
    for name, words in LOG_COUNTERS:
        count = counters.get(name, 0)
        if count:
            phrases.append(f"{count} {words}" if count == 1 else f"{count} × {words}")
    return phrases


def run_filter(filter_binary, registry, account, now, source, target, extra=()):
    """quorix-filter on one file; raises with its standard error when it fails."""
    result = subprocess.run([filter_binary, "--registry", registry, "--account", account,
                             "--now", now, "--no-log", *extra, source, target],
                            capture_output=True, text=True, timeout=60)
    if result.returncode != 0:
        raise RuntimeError(f"quorix-filter {source}: {result.returncode} {result.stderr}")


def corpus_files(corpus):
    files = []
    for root, _, names in os.walk(corpus):
        files.extend(os.path.join(root, n) for n in names if n.endswith(".eml"))
    return sorted(files)


