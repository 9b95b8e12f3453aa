"""In-tree build backend: configures and builds the extension with CMake and
packs it with the pure-Python package into a wheel. Needs nothing from the
network and no build requirements."""

from __future__ import annotations

import base64
import hashlib
import os
import shutil
import subprocess
import sys
import sysconfig
import tarfile
import tempfile
import zipfile
from pathlib import Path

NAME = "quenlor"
VERSION = "0.1.12"
ROOT = Path(__file__).resolve().parent.parent


def get_requires_for_build_wheel(config_settings=None):
    return []


def get_requires_for_build_sdist(config_settings=None):
    return []


def _wheel_tag() -> str:
    impl = f"cp{sys.version_info.major}{sys.version_info.minor}"
    platform = sysconfig.get_platform().replace("-", "_").replace(".", "_")
    return f"{impl}-{impl}-{platform}"


def _metadata() -> str:
    readme = (ROOT / "README.md").read_text(encoding="utf-8") if (ROOT / "README.md").exists() else ""
    return (
        "Metadata-Version: 2.1\n"
        f"Name: {NAME}\n"
        f"Version: {VERSION}\n"
        "Summary: A fast Markdown-to-XHTML converter with a C++ engine\n"
        "Requires-Python: >=3.13\n"
        "Description-Content-Type: text/markdown\n\n" + readme
    )


def _build_extension(build_dir: Path) -> Path:
    generator = ["-G", "Ninja"] if shutil.which("ninja") else []
    subprocess.run(
        ["cmake", "-S", str(ROOT), "-B", str(build_dir), *generator, "-DCMAKE_BUILD_TYPE=Release",
         "-DQUENLOR_TESTS=OFF", "-DQUENLOR_BENCH=OFF", f"-DPython3_EXECUTABLE={sys.executable}"],
        check=True,
    )
    jobs = str(os.cpu_count() or 2)
    subprocess.run(["cmake", "--build", str(build_dir), "--target", "quenlor_native", "-j", jobs], check=True)
    suffix = sysconfig.get_config_var("EXT_SUFFIX")
    built = build_dir / "python" / NAME / f"_native{suffix}"
    if not built.exists():
        raise RuntimeError(f"the extension module was not built: {built}")
    return built


def _record_line(path: str, data: bytes) -> str:
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return f"{path},sha256={digest},{len(data)}"


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    tag = _wheel_tag()
    wheel_name = f"{NAME}-{VERSION}-{tag}.whl"
    dist_info = f"{NAME}-{VERSION}.dist-info"
    with tempfile.TemporaryDirectory(prefix="quenlor-build-") as tmp:
        module = _build_extension(Path(tmp) / "build")
        files: dict[str, bytes] = {}
        for src in sorted((ROOT / "python" / NAME).iterdir()):
            if src.is_file() and src.suffix in {".py", ".pyi", ".typed"}:
                files[f"{NAME}/{src.name}"] = src.read_bytes()
        files[f"{NAME}/{module.name}"] = module.read_bytes()
        files[f"{dist_info}/METADATA"] = _metadata().encode()
        files[f"{dist_info}/WHEEL"] = (
            "Wheel-Version: 1.0\nGenerator: quenlor_build\nRoot-Is-Purelib: false\n" f"Tag: {tag}\n"
        ).encode()
        record = [_record_line(p, d) for p, d in files.items()] + [f"{dist_info}/RECORD,,"]
        files[f"{dist_info}/RECORD"] = ("\n".join(record) + "\n").encode()
        out = Path(wheel_directory) / wheel_name
        with zipfile.ZipFile(out, "w", compression=zipfile.ZIP_DEFLATED) as zf:
            for path, data in files.items():
                zf.writestr(path, data)
    return wheel_name


def build_sdist(sdist_directory, config_settings=None):
    base = f"{NAME}-{VERSION}"
    out = Path(sdist_directory) / f"{base}.tar.gz"
    tracked = subprocess.run(["git", "ls-files"], cwd=ROOT, capture_output=True, text=True, check=True)
    with tarfile.open(out, "w:gz") as tar:
        for rel in tracked.stdout.splitlines():
            tar.add(ROOT / rel, arcname=f"{base}/{rel}")
        pkg_info = _metadata().encode()
        info = tarfile.TarInfo(f"{base}/PKG-INFO")
        info.size = len(pkg_info)
        import io
        tar.addfile(info, io.BytesIO(pkg_info))
    return out.name
