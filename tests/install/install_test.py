#!/usr/bin/python3
"""Tests of the installed engine: what `cmake --install` puts in a prefix other
than the configured one (so everything must be found relative to where it
lies), used the way a user of the install would.

    install_test.py BUILD SOURCE CHECK

CHECK is one of:
  stage        install into BUILD/install-test/prefix and check the layout
  pkg-config   build tests/install/host.c with pkg-config, run it on the
               installed data folder (found beside libkedo.so)
  find-package build it with find_package(kedo), shared and static, and run both
  read-only    the installed program on the read-only installed data folder
               writes its output folder under XDG_STATE_HOME, else ~/.local/state
  man-page     the installed man page formats cleanly and covers every subcommand
  python       the installed Python module assesses the sample (skipped when
               the build has no Python module)
The checks after `stage` use its install (a ctest fixture). Exit status 77
means skipped.
"""
import glob
import gzip
import json
import os
import shutil
import subprocess
import sys

SKIP = 77


def run(cmd, **kw):
    """Runs cmd; on failure prints its output and raises."""
    r = subprocess.run(cmd, capture_output=True, text=True, **kw)
    if r.returncode != 0:
        sys.stderr.write(f"command failed ({r.returncode}): {' '.join(cmd)}\n{r.stdout}\n{r.stderr}\n")
        raise SystemExit(1)
    return r.stdout


def check(condition, message):
    if not condition:
        sys.stderr.write(f"FAILED: {message}\n")
        raise SystemExit(1)


class Install:
    def __init__(self, build, source):
        self.build = os.path.abspath(build)
        self.source = os.path.abspath(source)
        self.root = os.path.join(self.build, "install-test")
        self.prefix = os.path.join(self.root, "prefix")
        self.data = os.path.join(self.prefix, "share", "kedo")

    def libdir(self):
        found = glob.glob(os.path.join(self.prefix, "lib*", "**", "libkedo.so"), recursive=True)
        check(len(found) == 1, f"one libkedo.so under {self.prefix}, found {found}")
        return os.path.dirname(found[0])

    def sample(self):
        """A recording and its sentence: the toy test set's, else the bundled sample."""
        for folder in (os.path.join(self.source, "tests", "data", "toy", "kedoData", "samples"),
                       os.path.join(self.source, "data", "kedoData", "samples")):
            wav = os.path.join(folder, "english.wav")
            if os.path.exists(wav):
                with open(os.path.join(folder, "english.txt"), encoding="cp1252") as f:
                    return wav, f.read().strip()
        check(False, "no English sample recording")

    def toy_home(self):
        """A writable working folder holding a copy of the small test data set."""
        home = os.path.join(self.root, "toy-home")
        shutil.rmtree(home, ignore_errors=True)
        os.makedirs(home)
        for src in (os.path.join(self.source, "tests", "data", "toy", "kedoData"),
                    os.path.join(self.source, "data", "kedoData")):
            if os.path.isdir(src):
                shutil.copytree(src, os.path.join(home, "kedoData"))
                return home
        check(False, "no data set to copy")


def assessed(stdout, what):
    """The result document a run printed, checked to hold a score."""
    result = json.loads(stdout.strip().splitlines()[-1])
    score = result.get("score")
    check(isinstance(score, (int, float)) and 0 <= score <= 100, f"{what}: score in 0..100, got {score}")
    return result


def stage(inst):
    shutil.rmtree(inst.root, ignore_errors=True)
    run(["cmake", "--install", inst.build, "--prefix", inst.prefix])
    libdir = inst.libdir()
    for path in ("bin/kedo", "include/kedo/kedo.h", "include/kedo/engine.h", "include/kedo/export.h",
                 "share/kedo/kedoData/english.sa.prm", "share/kedo/kedoData/chinese.vc.prm",
                 "share/man/man1/kedo.1.gz"):
        check(os.path.exists(os.path.join(inst.prefix, path)), f"{path} installed")
    for path in ("libkedo.a", "pkgconfig/kedo.pc", "cmake/kedo/kedoConfig.cmake",
                 "cmake/kedo/kedoConfigVersion.cmake", "cmake/kedo/kedoTargets.cmake",
                 "cmake/kedo/kedoStaticTargets.cmake"):
        check(os.path.exists(os.path.join(libdir, path)), f"{path} installed in {libdir}")
    # `kedo serve` opens its module from the install: with a certificate that
    # is not there it gets as far as the service's own refusal.
    serve = subprocess.run([os.path.join(inst.prefix, "bin", "kedo"), "serve", "--port", "0", "--tls-cert",
                            "/nonexistent", "--tls-key", "/nonexistent"], capture_output=True, text=True, timeout=60)
    check(serve.returncode == 1 and "Cannot use the certificate" in serve.stderr,
          f"installed kedo serve loads its module: {serve.stderr}")
    check(not os.path.exists(os.path.join(inst.data, "kedoData", "output")) or
          not os.listdir(os.path.join(inst.data, "kedoData", "output")), "no run's output installed")
    # The shared library: versioned name, SONAME, the engine's interface
    # exported and the internals not.
    dynamic = run(["objdump", "-p", os.path.join(libdir, "libkedo.so")])
    check("SONAME               libkedo.so.1" in dynamic, "SONAME libkedo.so.1")
    symbols = run(["nm", "-D", "--defined-only", "-C", os.path.join(libdir, "libkedo.so")])
    for name in ("kedo_create", "kedo_assess_result", "kedo::KEDO::Assess", "kedo::progressToFile",
                 "typeinfo for kedo::KedoError"):
        check(name in symbols, f"libkedo.so exports {name}")
    for name in ("recogWaveFile", "viterbiClass", "readRecogParam"):
        check(name not in symbols, f"libkedo.so keeps {name} internal")
    # Nothing of the build tree is baked into what was installed as text.
    for text in glob.glob(os.path.join(libdir, "pkgconfig", "*")) + glob.glob(os.path.join(libdir, "cmake", "kedo", "*")):
        with open(text) as f:
            check(inst.build not in f.read() and inst.source not in f.read(), f"{text} names no build path")


def pkg_config(inst):
    libdir = inst.libdir()
    env = dict(os.environ, PKG_CONFIG_PATH=os.path.join(libdir, "pkgconfig"))
    flags = run(["pkg-config", "--cflags", "--libs", "kedo"], env=env).split()
    check(run(["pkg-config", "--modversion", "kedo"], env=env).strip() == "1.0.0", "kedo.pc version 1.0.0")
    static_flags = run(["pkg-config", "--static", "--libs", "kedo"], env=env)
    check("-lasound" in static_flags, "static flags name ALSA")
    # FFmpeg is opened at run time: a static link needs none of its files.
    check("-lav" not in static_flags and "-lswresample" not in static_flags, "static flags name no FFmpeg library")
    program = os.path.join(inst.root, "host_pc")
    host = os.path.join(inst.source, "tests", "install", "host.c")
    run(["cc", "-Wall", "-Wextra", "-Werror", host, "-o", program] + flags)
    # The static flags are all a program needs to link libkedo.a.
    static_program = os.path.join(inst.root, "host_pc_static")
    cflags = run(["pkg-config", "--cflags", "kedo"], env=env).split()
    static_libs = [f for f in static_flags.split() if f != "-lkedo"]
    run(["cc", "-Wall", "-Wextra", "-Werror", host, "-o", static_program, *cflags,
         os.path.join(libdir, "libkedo.a"), *static_libs])
    check("libkedo.so" not in run(["objdump", "-p", static_program]), "host_pc_static does not need libkedo.so")
    wav, sentence = inst.sample()
    # No KEDO_HOME, no --home: the data folder beside the library is found
    # although the prefix is not the configured one.
    env = {k: v for k, v in os.environ.items() if k != "KEDO_HOME"}
    env["LD_LIBRARY_PATH"] = libdir
    result = assessed(run([program, wav, sentence], env=env), "pkg-config program")
    check(result["outputFolder"].startswith(os.path.join(inst.data, "kedoData")),
          f"output folder under the installed data folder, got {result['outputFolder']}")
    home = inst.toy_home()
    env.pop("LD_LIBRARY_PATH")
    assessed(run([static_program, "--home", home, wav, sentence], env=env), "pkg-config program (static)")


def find_package(inst):
    build = os.path.join(inst.root, "consumer")
    run(["cmake", "-S", os.path.join(inst.source, "tests", "install", "consumer"), "-B", build, "-G", "Ninja",
         f"-DCMAKE_PREFIX_PATH={inst.prefix}", "-DCMAKE_C_FLAGS=-Wall -Wextra -Werror"])
    run(["cmake", "--build", build])
    dynamic = run(["objdump", "-p", os.path.join(build, "host_static")])
    check("libkedo.so" not in dynamic, "host_static does not need libkedo.so")
    wav, sentence = inst.sample()
    env = {k: v for k, v in os.environ.items() if k not in ("KEDO_HOME", "LD_LIBRARY_PATH")}
    assessed(run([os.path.join(build, "host_shared"), wav, sentence], env=env), "find_package program (shared)")
    home = inst.toy_home()
    result = assessed(run([os.path.join(build, "host_static"), "--home", home, wav, sentence], env=env),
                      "find_package program (static)")
    check(result["outputFolder"] == os.path.join(home, "kedoData", "output"), "static program's output folder")


def read_only(inst):
    """The installed data folder, read-only, taken by the installed program."""
    readonly = os.path.join(inst.root, "readonly")
    shutil.rmtree(readonly, ignore_errors=True)
    shutil.copytree(inst.prefix, readonly, symlinks=True,
                    ignore=lambda folder, names: ["output"] if folder.endswith("kedoData") else [])
    state = os.path.join(inst.root, "state")
    home = os.path.join(inst.root, "home")
    for folder in (state, home):
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
    for top, dirs, files in os.walk(os.path.join(readonly, "share", "kedo")):
        for name in dirs + files + [""]:
            path = os.path.join(top, name)
            os.chmod(path, os.stat(path).st_mode & ~0o222)
    prefix = []
    if os.geteuid() == 0:
        # Root may write anywhere: run as nobody, who owns only the state folders.
        if shutil.which("setpriv") is None:
            print("SKIP: running as root and setpriv is missing")
            return SKIP
        for folder in (state, home):
            os.chown(folder, 65534, 65534)
        prefix = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]
    wav, sentence = inst.sample()
    base = {k: v for k, v in os.environ.items() if k not in ("KEDO_HOME", "XDG_STATE_HOME", "HOME")}
    program = os.path.join(readonly, "bin", "kedo")
    data_output = os.path.join(readonly, "share", "kedo", "kedoData", "output")
    for env, expected in ((dict(base, XDG_STATE_HOME=state, HOME=home), os.path.join(state, "kedo", "output")),
                          (dict(base, XDG_STATE_HOME="relative/ignored", HOME=home),
                           os.path.join(home, ".local", "state", "kedo", "output"))):
        out = run(prefix + [program, "assess", wav, sentence, "--json", "--quiet"], env=env, cwd=inst.root)
        result = assessed(out, "read-only data folder")
        check(result["outputFolder"] == expected, f"output folder {expected}, got {result['outputFolder']}")
        for name in ("output.xml", "saTXT.txt"):
            check(os.path.exists(os.path.join(expected, name)), f"{name} in {expected}")
    check(not os.path.exists(data_output) or not os.listdir(data_output), "nothing written in the data folder")
    # A second run empties the per-user output folder as it would its own.
    stale = os.path.join(state, "kedo", "output", "stale.txt")
    with open(stale, "w") as f:
        f.write("x")
    run(prefix + [program, "assess", wav, sentence, "--json", "--quiet"],
        env=dict(base, XDG_STATE_HOME=state, HOME=home), cwd=inst.root)
    check(not os.path.exists(stale), "the per-user output folder is emptied before a run")


def man_page(inst):
    with gzip.open(os.path.join(inst.prefix, "share", "man", "man1", "kedo.1.gz"), "rt") as f:
        roff = f.read()
    page = os.path.join(inst.root, "kedo.1")
    with open(page, "w") as f:
        f.write(roff)
    overview = run([os.path.join(inst.prefix, "bin", "kedo"), "--help"])
    names = [line.split()[0] for line in overview.split("Subcommands:")[1].splitlines()
             if line.startswith("  ") and line.strip()]
    check(len(names) >= 10, f"subcommands listed by kedo --help: {names}")
    for name in names:
        check(f'.SS "kedo {name}"' in roff or f".SS kedo {name}\n" in roff, f"man page section for kedo {name}")
    if shutil.which("groff") is None:
        return 0
    r = subprocess.run(["groff", "-man", "-ww", "-z", "-rCHECKSTYLE=3", page], capture_output=True, text=True)
    check(r.returncode == 0 and r.stderr.strip() == "", f"groff warnings:\n{r.stderr}")


def python_module(inst):
    # An extension module kedo.*.so, or a package kedo/ holding one.
    modules = [m for m in glob.glob(os.path.join(inst.prefix, "**", "kedo*.so"), recursive=True)
               if not os.path.basename(m).startswith("libkedo")]
    folders = [os.path.dirname(m) for m in modules]
    folders += [os.path.dirname(os.path.dirname(p))
                for p in glob.glob(os.path.join(inst.prefix, "**", "kedo", "__init__.py"), recursive=True)]
    if not folders:
        print("SKIP: this build has no Python module (the install holds neither kedo*.so nor kedo/__init__.py)")
        return SKIP
    folder = folders[0]
    wav, sentence = inst.sample()
    code = ("import kedo, sys\n"
            "r = kedo.Engine().assess(sys.argv[1], sys.argv[2])\n"
            "assert 0 <= r.score <= 100, r.score\n"
            "print(r.score)\n")
    env = {k: v for k, v in os.environ.items() if k != "KEDO_HOME"}
    env["PYTHONPATH"] = folder
    env["PYTHONDONTWRITEBYTECODE"] = "1"
    run(["/usr/bin/python3", "-c", code, wav, sentence], env=env, cwd=inst.root)


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    inst = Install(sys.argv[1], sys.argv[2])
    checks = {"stage": stage, "pkg-config": pkg_config, "find-package": find_package, "read-only": read_only,
              "man-page": man_page, "python": python_module}
    sys.exit(checks[sys.argv[3]](inst) or 0)


if __name__ == "__main__":
    main()
