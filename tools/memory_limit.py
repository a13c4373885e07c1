"""Runs commands inside a memory limit, as a small machine or a busy one would hold them:
in a memory control group of their own where this machine lets us make one (v2 at the
root of the unified hierarchy, or under our own group in v1's memory hierarchy), else
under the data-segment limit (RLIMIT_DATA), which counts a process's private memory only.

    with MemoryLimit(1536 << 20) as limit:
        subprocess.run(command, preexec_fn=limit.enter)
        limit.peak_bytes(), limit.kills()
"""
import os
import resource
from pathlib import Path

CGROUP_ROOT = Path("/sys/fs/cgroup")


def _own_group(controller):
    """This process's group path in the hierarchy of controller ("" for v2)."""
    for line in Path("/proc/self/cgroup").read_text().splitlines():
        hierarchy, controllers, path = line.split(":", 2)
        if (controller == "" and hierarchy == "0" and controllers == "") or controller in controllers.split(","):
            return path
    return None


def _writable(path):
    return path.is_dir() and os.access(path, os.W_OK)


class MemoryLimit:
    def __init__(self, limit_bytes):
        self.limit_bytes = limit_bytes
        self.group = None
        self.kind = "RLIMIT_DATA"
        name = "mendora-limit-%d" % os.getpid()
        v2_controllers = CGROUP_ROOT / "cgroup.subtree_control"
        v1_parent = None
        v1_path = _own_group("memory")
        if v1_path is not None:
            v1_parent = CGROUP_ROOT / "memory" / v1_path.lstrip("/")
        try:
            if v2_controllers.exists() and "memory" in v2_controllers.read_text().split() and _writable(CGROUP_ROOT):
                self.group = CGROUP_ROOT / name
                self.group.mkdir()
                (self.group / "memory.max").write_text(str(limit_bytes))
                swap = self.group / "memory.swap.max"
                if swap.exists():  # only where swap is accounted
                    swap.write_text("0")
                self.kind = "cgroup v2"
            elif v1_parent is not None and _writable(v1_parent):
                self.group = v1_parent / name
                self.group.mkdir()
                (self.group / "memory.limit_in_bytes").write_text(str(limit_bytes))
                self.kind = "cgroup v1"
        except OSError:
            self.close()
            self.kind = "RLIMIT_DATA"

    def enter(self):
        """For preexec_fn: the child joins the group, or takes the data limit."""
        if self.group is not None:
            (self.group / "cgroup.procs").write_text(str(os.getpid()))
        else:
            resource.setrlimit(resource.RLIMIT_DATA, (self.limit_bytes, self.limit_bytes))

    def _read(self, name):
        try:
            return (self.group / name).read_text()
        except (OSError, TypeError):
            return ""

    def peak_bytes(self):
        """The group's peak, page cache included; None under the data limit."""
        text = self._read("memory.peak" if self.kind == "cgroup v2" else "memory.max_usage_in_bytes").strip()
        return int(text) if text.isdigit() else None

    def kills(self):
        """How often the system killed a process of the group for memory."""
        for line in self._read("memory.events" if self.kind == "cgroup v2" else "memory.oom_control").splitlines():
            key, _, value = line.partition(" ")
            if key == "oom_kill":
                return int(value)
        return 0

    def close(self):
        if self.group is not None and self.group.exists():
            try:
                self.group.rmdir()
            except OSError:
                pass
        self.group = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
