#!/usr/bin/env python3
"""Every message of the corpus through quorix-filter under each built-in profile.

For each message and profile the filtered output must
  - come with exit status 0, as must filtering that output a second time;
  - parse as MIME with no more defects than the input, by our parser (quorix_mime_outline:
    multiparts left open) and by Python's email package (the defects it notes per part);
  - keep every part the profile keeps (attachments whose extension and type it allows, and
    plain text) with the same decoded bytes: attachments exactly, plain text up to line ends
    and with the footer allowed after it;
  - carry no attachment whose extension or type the profile blocks or renames under its
    old name or type;
  - come through the second pass with the same attachments and the same part structure.

Prints one summary line per profile and the first failures of each kind; exits 1 if any
check failed.

Messages listed in known-failures.tsv beside this script ("path<TAB>why", the reason naming
a fault of the engine written up for its owners) are reported as known and do not fail the
run; a listed message that passes is reported so that its line can go.

usage: check-corpus.py FILTER OUTLINE CORPUS_DIR [--jobs N] [--profiles Low,Medium,High]
"""

import argparse
import concurrent.futures
import email
import email.header
import email.policy
import hashlib
import os
import re
import subprocess
import sys
import tempfile

NOW = "2024-05-01T10:00:00+0200"
ALLOW, RENAME, BLOCK, SEE_HTML = 0, 1, 2, 3


def load_policy(outline, profile):
    """{"ext": action}, {"type/subtype": {actions}} of the built-in profile (several rows may
    share a type, application/octet-stream for one)."""
    text = subprocess.run([outline, "--policy", profile], check=True, capture_output=True, text=True).stdout
    by_ext, by_type = {}, {}
    for line in text.splitlines():
        fields = line.split(" ", 2)
        mime, action = fields[0].lower(), int(fields[1])
        by_type.setdefault(mime, set()).add(action)
        for ext in (fields[2] if len(fields) > 2 else "").split(";"):
            if ext:
                by_ext.setdefault(ext.lower(), action)
    return by_ext, by_type


def filename_of(part):
    try:
        name = part.get_filename()
    except Exception:  # a damaged parameter is no name
        return None
    if name is None:
        return None
    if "=?" in name:
        try:
            name = str(email.header.make_header(email.header.decode_header(name)))
        except Exception:
            pass
    return name.strip()


def extension_of(name):
    base = name.rsplit("/", 1)[-1].rsplit("\\", 1)[-1].rstrip(". ")
    return base.rsplit(".", 1)[1].lower() if "." in base else ""


def payload_of(part):
    try:
        data = part.get_payload(decode=True)
    except Exception:
        return None
    if data is None:
        return None
    cte = str(part.get("Content-Transfer-Encoding", "")).strip().lower()
    if cte != "base64":
        # Line ends of text-encoded parts are those of the file: quorix-filter writes LF.
        data = data.replace(b"\r\n", b"\n")
    return data


def parse(data):
    return email.message_from_bytes(data, policy=email.policy.compat32)


def defects_of(message):
    return sum(len(getattr(part, "defects", [])) for part in message.walk())


def structure_of(message):
    """The content types of every entity, with their depth, in walk order."""
    out = []

    def visit(part, depth):
        out.append((depth, part.get_content_type()))
        if part.is_multipart():
            payload = part.get_payload()
            if isinstance(payload, list):
                for child in payload:
                    visit(child, depth + 1)

    visit(message, 0)
    return out


def leaves(message):
    return [p for p in message.walk() if not p.is_multipart()]


def attachments_of(message):
    found = []
    for part in leaves(message):
        name = filename_of(part)
        if name is not None:
            data = payload_of(part)
            found.append((name, part.get_content_type(), hashlib.sha256(data or b"").hexdigest()))
    return found


def is_kept(part, name, by_ext, by_type):
    """Whether the profile passes this leaf unchanged (True), changes it (False) or its fate
    is not known from the policy alone (None)."""
    mime = part.get_content_type()
    if name is None:
        return True if mime == "text/plain" else None
    type_action = by_type.get(mime)
    ext_action = by_ext.get(extension_of(name))
    if ext_action is None or mime == "text/html" or ext_action == SEE_HTML:
        return None
    if ext_action == ALLOW and (type_action is None or type_action == {ALLOW}):
        return True
    if ext_action in (RENAME, BLOCK):
        return False
    return None


def leaves_outside_blocked(message, by_type):
    """The leaves that are not inside a part the profile blocks by its type: Python gives a
    message/external-body a body of its own, which goes with the blocked part."""
    out = []

    def visit(part):
        if part is not message and by_type.get(part.get_content_type()) == {BLOCK}:
            return
        if part.is_multipart():
            for child in part.get_payload():
                visit(child)
        else:
            out.append(part)

    visit(message)
    return out


def check_kept(original, filtered, by_ext, by_type, problems):
    out_leaves = leaves(filtered)
    out_payloads = [None] * len(out_leaves)
    cursor = 0  # plain text is matched by position: the next text/plain after the last match
    used = set()
    for part in leaves_outside_blocked(original, by_type):
        name = filename_of(part)
        if is_kept(part, name, by_ext, by_type) is not True:
            continue
        data = payload_of(part)
        if data is None:
            continue
        if name is not None:
            candidates = [i for i, p in enumerate(out_leaves) if i not in used and filename_of(p) == name]
            if not candidates:
                problems.append("allowed attachment %r is missing" % name)
                continue
            index = candidates[0]
            used.add(index)
            if out_payloads[index] is None:
                out_payloads[index] = payload_of(out_leaves[index])
            if out_payloads[index] != data:
                problems.append("allowed attachment %r changed" % name)
            continue
        if part.get_content_maintype() == "text" and data.strip() == b"":
            continue
        if re.search(rb"(?m)^begin [0-7]{3,4} ", data):
            continue  # uuencoded files in text are the profile's to block (BlockUUencoding...)
        wanted = data.rstrip(b"\r\n")
        for index in range(cursor, len(out_leaves)):
            candidate = out_leaves[index]
            if index in used or candidate.get_content_type() != "text/plain" or filename_of(candidate) is not None:
                continue
            if out_payloads[index] is None:
                out_payloads[index] = payload_of(candidate) or b""
            if out_payloads[index].startswith(wanted):
                used.add(index)
                cursor = index + 1
                break
        else:
            problems.append("plain text part %r... is not kept" % wanted[:40])


def check_blocked(original, filtered, by_ext, problems):
    out_leaves = [(filename_of(p), p.get_content_type(), p) for p in leaves(filtered)]
    for name, mime, _ in out_leaves:
        if name is not None and by_ext.get(extension_of(name)) in (RENAME, BLOCK):
            problems.append("attachment %r with a blocked or renamed extension reached the output" % name)
    for part in leaves(original):
        name = filename_of(part)
        if name is None or by_ext.get(extension_of(name)) not in (RENAME, BLOCK):
            continue
        data = payload_of(part)
        for out_name, out_mime, out_part in out_leaves:
            if out_mime == part.get_content_type() and out_mime != "text/plain" and data and \
                    payload_of(out_part) == data:
                problems.append("attachment %r reached the output under its old type %s" % (name, out_mime))


def run_filter(filter_binary, profile, data, scratch):
    result = subprocess.run([filter_binary, "--no-log", "--now", NOW, "--profile", profile],
                            input=data, capture_output=True, env=scratch_env(scratch))
    return result.returncode, result.stdout, result.stderr


def scratch_env(scratch):
    env = dict(os.environ)
    env["HOME"] = scratch
    env["XDG_CONFIG_HOME"] = os.path.join(scratch, "config")
    env["XDG_DATA_HOME"] = os.path.join(scratch, "data")
    env["QUORIX_REGISTRY"] = os.path.join(scratch, "no-registry.reg")
    return env


def outline_defects(outline, paths):
    text = subprocess.run([outline] + paths, check=True, capture_output=True).stdout.decode("utf-8", "replace")
    counts = []
    for line in text.splitlines():
        if line.startswith("defects "):
            counts.append(int(line.split()[1]))
    return counts


def check_message(args):
    path, profiles, filter_binary, outline, policies, scratch = args
    with open(path, "rb") as f:
        data = f.read()
    original = parse(data)
    input_defects = defects_of(original)
    results = {}
    with tempfile.TemporaryDirectory(dir=scratch) as work:
        files = [os.path.join(work, "input.eml")]
        with open(files[0], "wb") as f:
            f.write(data)
        outputs = {}
        for profile in profiles:
            problems = []
            status, first, stderr = run_filter(filter_binary, profile, data, work)
            if status != 0:
                results[profile] = ["exit %d: %s" % (status, stderr.decode("utf-8", "replace").strip()[:200])]
                continue
            status, second, stderr = run_filter(filter_binary, profile, first, work)
            if status != 0:
                problems.append("second pass exit %d: %s" % (status, stderr.decode("utf-8", "replace").strip()[:200]))
            outputs[profile] = first
            out_path = os.path.join(work, profile + ".eml")
            with open(out_path, "wb") as f:
                f.write(first)
            files.append(out_path)
            filtered = parse(first)
            output_defects = defects_of(filtered)
            if output_defects > input_defects:
                problems.append("Python finds %d defects in the output, %d in the input: %s" % (
                    output_defects, input_defects,
                    sorted({type(d).__name__ for p in filtered.walk() for d in getattr(p, "defects", [])})))
            by_ext, by_type = policies[profile]
            check_kept(original, filtered, by_ext, by_type, problems)
            check_blocked(original, filtered, by_ext, problems)
            if status == 0:
                refiltered = parse(second)
                if structure_of(refiltered) != structure_of(filtered):
                    problems.append("the second pass changed the part structure")
                if attachments_of(refiltered) != attachments_of(filtered):
                    problems.append("the second pass changed an attachment")
            results[profile] = problems
        counts = outline_defects(outline, files)
        for profile, count in zip([p for p in profiles if p in outputs], counts[1:]):
            if count > counts[0]:
                results[profile].append("our parser finds %d open multiparts in the output, %d in the input"
                                        % (count, counts[0]))
    return path, results


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("filter")
    parser.add_argument("outline")
    parser.add_argument("corpus")
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--profiles", default="Low,Medium,High")
    parser.add_argument("--show", type=int, default=20, help="failures shown per profile")
    args = parser.parse_args()
    profiles = args.profiles.split(",")
    policies = {p: load_policy(args.outline, p) for p in profiles}

    messages = []
    for folder, _, names in os.walk(args.corpus):
        for name in names:
            if name not in ("README.md", "INDEX.tsv"):
                messages.append(os.path.join(folder, name))
    messages.sort()

    failures = {p: [] for p in profiles}
    with tempfile.TemporaryDirectory(prefix="quorix-corpus-") as scratch:
        jobs = [(m, profiles, args.filter, args.outline, policies, scratch) for m in messages]
        with concurrent.futures.ProcessPoolExecutor(max_workers=args.jobs) as pool:
            for path, results in pool.map(check_message, jobs, chunksize=4):
                for profile, problems in results.items():
                    if problems:
                        failures[profile].append((os.path.relpath(path, args.corpus), problems))

    known = {}
    known_file = os.path.join(os.path.dirname(os.path.abspath(__file__)), "known-failures.tsv")
    if os.path.exists(known_file):
        with open(known_file, encoding="utf-8") as f:
            for line in f:
                if line.strip() and not line.startswith("#"):
                    path, _, why = line.rstrip("\n").partition("\t")
                    known[path] = why

    failed = False
    failing_anywhere = set()
    for profile in profiles:
        bad = [(path, problems) for path, problems in failures[profile] if path not in known]
        known_bad = [path for path, _ in failures[profile] if path in known]
        failing_anywhere.update(path for path, _ in failures[profile])
        print("%-6s %d messages: %d passed, %d failed, %d known failures" % (
            profile, len(messages), len(messages) - len(bad) - len(known_bad), len(bad), len(known_bad)))
        for path, problems in bad[:args.show]:
            print("  %s: %s" % (path, "; ".join(problems[:3])))
        failed = failed or bool(bad)
    for path in sorted(set(known) - failing_anywhere):
        print("known failure now passes, remove it from known-failures.tsv: %s" % path)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
