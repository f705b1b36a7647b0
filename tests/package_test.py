#!/usr/bin/env python3
"""The Debian package as a user meets it.

Checks the package's metadata against the build (name, the version set in CMakeLists.txt, dependencies found by
dpkg-shlibdeps) and its file list; lintian must report no errors and appstreamcli must validate the metainfo.
Unpacks it into a temporary root and starts the command of its desktop entry from there under Xvfb, to its first
frame, then ends it with Esc. As root it also installs the package with dpkg, starts /usr/bin/moxsim the same way,
saves once as an ordinary user (the save must land in that user's data directory, not beside the program), and
removes the package again, leaving nothing behind.

  package_test.py dist/moxsim_<version>_amd64.deb [--build build]
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE / "e2e"))
from desktop_test import Program, Xvfb, fail  # noqa: E402

SOURCE = HERE.parent
NOBODY = "65534"


def run(*cmd, **kw):
    return subprocess.run(list(map(str, cmd)), capture_output=True, text=True, timeout=120, **kw)


def ok(what):
    print("ok   " + what)


def project_version():
    m = re.search(r"project\(moxsim VERSION ([0-9.]+)", (SOURCE / "CMakeLists.txt").read_text())
    return m.group(1)


def check_metadata(deb: Path, build: Path):
    fields = {}
    for name in ("Package", "Version", "Architecture", "Depends", "Section"):
        fields[name] = run("dpkg-deb", "-f", deb, name).stdout.strip()
    if fields["Package"] != "moxsim" or fields["Architecture"] != "amd64":
        fail("package %s for %s" % (fields["Package"], fields["Architecture"]))
    if fields["Version"] != project_version():
        fail("package version %s, the build says %s" % (fields["Version"], project_version()))
    for lib in ("libc6", "libstdc++6", "libsdl2-2.0-0", "libsdl2-ttf-2.0-0", "libsdl2-image-2.0-0",
                "libx11-6", "libfontconfig1"):
        if not re.search(r"(^|, )%s( \(|,|$)" % re.escape(lib), fields["Depends"]):
            fail("Depends lacks %s: %s" % (lib, fields["Depends"]))
    ok("metadata: moxsim %s amd64, Depends %s" % (fields["Version"], fields["Depends"]))

    listing = run("dpkg-deb", "-c", deb).stdout.splitlines()
    files = {line.split()[-1].lstrip(".") for line in listing if not line.startswith("d")}
    expected = {"/usr/bin/moxsim", "/usr/bin/moxsim-script", "/usr/share/applications/moxsim.desktop",
                "/usr/share/metainfo/io.github.moxsim.metainfo.xml", "/usr/share/doc/moxsim/copyright",
                "/usr/share/doc/moxsim/changelog.gz", "/usr/share/man/man6/moxsim.6.gz",
                "/usr/share/man/man6/moxsim-script.6.gz"}
    expected |= {"/usr/share/icons/hicolor/%dx%d/apps/moxsim.png" % (n, n) for n in (16, 24, 32, 48, 64)}
    # Programs that join the build join the package, with their man page where they have one.
    for program in ("moxsim-plan",):
        if (build / program).exists():
            expected.add("/usr/bin/" + program)
            if (SOURCE / "packaging" / (program + ".6")).exists():
                expected.add("/usr/share/man/man6/%s.6.gz" % program)
    if files != expected:
        fail("file list: missing %s, unexpected %s" % (sorted(expected - files), sorted(files - expected)))
    for line in listing:
        owner, mode = line.split()[1], line.split()[0]
        if owner != "root/root" or (mode[0] == "-" and mode not in ("-rw-r--r--", "-rwxr-xr-x")):
            fail("file owned by %s with mode %s: %s" % (owner, mode, line))
    ok("file list: %d files, owned by root" % len(files))

    r = run("lintian", "--fail-on", "error", deb)
    if r.returncode != 0:
        fail("lintian:\n" + r.stdout + r.stderr)
    ok("lintian: no errors")


def desktop_command(root: Path):
    entry = (root / "usr/share/applications/moxsim.desktop").read_text()
    return re.search(r"^Exec=(.*)$", entry, re.M).group(1).split()


def first_frame_then_esc(work: Path, command, env, user=None, save=False):
    """Starts the command on a display of its own to its first frame (a screen showing more than a blank),
    optionally saves, and closes it with Esc; the exit code must be 0."""
    work.mkdir(parents=True, exist_ok=True)
    if user:
        os.chown(work, int(user), int(user))
    xvfb = Xvfb()
    p = Program(None, xvfb.display, work, command=command, env=env, user=user)
    try:
        # The whole screen: the program's windows come and go (the banner window is one of them), the screen stays.
        shot = work / "first.png"
        run("import", "-window", "root", "png:%s" % shot, env=p.env).check_returncode()
        colours = int(run("identify", "-format", "%k", shot).stdout.strip() or 0)
        if colours < 16:
            fail("the first frame shows %d colours only" % colours)
        if save:
            p.click(759, 602, wait=1.0)  # the save button
        p.key("Escape", wait=0)
        code = p.proc.wait(10)
    finally:
        if p.proc.poll() is None:
            p.proc.kill()
        xvfb.close()
    if code != 0:
        p.stderr.seek(0)
        fail("exit code %d after Esc; stderr: %s" % (code, p.stderr.read()))
    return colours


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("deb")
    parser.add_argument("--build", default=str(SOURCE / "build"))
    args = parser.parse_args()
    deb, build = Path(args.deb).resolve(), Path(args.build).resolve()
    check_metadata(deb, build)

    work = Path(tempfile.mkdtemp(prefix="moxsim-pkg-"))
    work.chmod(0o755)  # the ordinary user below reaches a home inside it
    try:
        root = work / "root"
        run("dpkg-deb", "-x", deb, root).check_returncode()
        meta = root / "usr/share/metainfo/io.github.moxsim.metainfo.xml"
        r = run("appstreamcli", "validate", "--no-net", meta)
        if r.returncode != 0:
            fail("appstreamcli validate:\n" + r.stdout + r.stderr)
        ok("appstreamcli validate")

        command = desktop_command(root)
        path = "%s:%s" % (root / "usr/bin", os.environ.get("PATH", "/usr/bin:/bin"))
        colours = first_frame_then_esc(work / "unpacked", command, {"PATH": path})
        ok("unpacked: %s starts to its first frame (%d colours) and Esc ends it" % (" ".join(command), colours))

        if os.geteuid() != 0:
            print("skip installing with dpkg: not root")
            return
        if run("dpkg-query", "-W", "-f=${Status}", "moxsim").stdout.startswith("install"):
            print("skip installing with dpkg: a moxsim package is installed already")
            return
        r = run("dpkg", "-i", deb)
        if r.returncode != 0:
            fail("dpkg -i:\n" + r.stdout + r.stderr)
        try:
            installed = [Path(f) for f in run("dpkg", "-L", "moxsim").stdout.split()]
            first_frame_then_esc(work / "installed", command, {})
            ok("installed: %s starts from the desktop entry's command and Esc ends it" % command[0])
            # An ordinary user cannot write in /usr/bin: the save goes to the user's data directory.
            home = work / "user"
            first_frame_then_esc(home, ["/usr/bin/moxsim"], {}, user=NOBODY, save=True)
            if not (home / ".local/share/moxsim/MOXdata").is_file():
                fail("an ordinary user's save is not in ~/.local/share/moxsim")
            if Path("/usr/bin/MOXdata").exists():
                fail("a save landed in /usr/bin")
            ok("installed: an ordinary user's save lands in ~/.local/share/moxsim/MOXdata")
        finally:
            r = run("dpkg", "--purge", "moxsim")
        if r.returncode != 0:
            fail("dpkg --purge:\n" + r.stdout + r.stderr)
        left = [str(f) for f in installed if f.exists() and not f.is_dir()]
        left += [str(d) for d in installed if d.is_dir() and "moxsim" in d.name]
        if left or Path("/usr/bin/MOXdata").exists():
            fail("left behind after removal: %s" % left)
        ok("removed: none of its %d paths is left" % len(installed))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
