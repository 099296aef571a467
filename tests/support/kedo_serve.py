"""Starting `kedo serve` for the Python tests: a copy of the bundled data in a
scratch folder, a free port, the access log in a file."""
import os
import re
import shutil
import subprocess
import time


def start_service(kedo, source, work, *options):
    """Returns (process, port, log file). The service works on a copy of the
    bundled kedoData under work; options are more `kedo serve` options."""
    home = os.path.join(work, "home")
    shutil.copytree(os.path.join(source, "tests", "data", "toy", "kedoData"), os.path.join(home, "kedoData"))
    log = open(os.path.join(work, "serve.log"), "w+")
    proc = subprocess.Popen([kedo, "serve", "--port", "0", "--home", home, "--state", os.path.join(work, "state")]
                            + list(options), stdout=subprocess.DEVNULL, stderr=log)
    for _ in range(400):
        log.seek(0)
        m = re.search(r"listening on http://127\.0\.0\.1:(\d+)", log.read())
        if m:
            return proc, int(m.group(1)), log
        if proc.poll() is not None:
            break
        time.sleep(0.05)
    log.seek(0)
    raise SystemExit("kedo serve did not start:\n" + log.read())
