"""Builds the wheel of the Python package quorvane through the project's
CMake: setuptools' build_ext configures and builds the extension module's
target and installs the python_wheel component (the package with the shared
library inside it) into the wheel's folder.

setuptools drives it (rather than scikit-build-core) because Debian ships
setuptools and pybind11 but not scikit-build-core, so that
``pip install --no-build-isolation --no-index .`` works on a machine without
a package index as well as ``pip install .`` on one with it.

QUORVANE_CMAKE_BUILD_DIR names an existing build tree to build and install
from instead of configuring a new one (the project's tests use it to check
the packaging without building everything again). QUORVANE_CMAKE_ARGS adds
configure arguments (split on spaces).
"""

import os
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent


class CMakePackage(Extension):
    def __init__(self) -> None:
        super().__init__("quorvane._quorvane", sources=[])


class BuildWithCMake(build_ext):
    def build_extension(self, ext: Extension) -> None:
        given = os.environ.get("QUORVANE_CMAKE_BUILD_DIR")
        build_dir = Path(given).resolve() if given else Path(self.build_temp).resolve() / "cmake"
        if not given:
            import pybind11  # Debian's python3-pybind11 or the index's pybind11

            configure = ["cmake", "-S", str(ROOT), "-B", str(build_dir), "-DCMAKE_BUILD_TYPE=Release",
                         "-DQUORVANE_BUILD_TESTS=OFF", "-DQUORVANE_BUILD_BENCH=OFF",
                         f"-DPython3_EXECUTABLE={sys.executable}", f"-Dpybind11_DIR={pybind11.get_cmake_dir()}"]
            if shutil.which("ninja"):
                configure += ["-G", "Ninja"]
            configure += os.environ.get("QUORVANE_CMAKE_ARGS", "").split()
            subprocess.run(configure, check=True)
        jobs = ["--parallel", str(self.parallel)] if self.parallel else []
        subprocess.run(["cmake", "--build", str(build_dir), "--target", "quorvane_python", *jobs], check=True)
        # The package goes where the wheel is gathered (build_lib), beside
        # what setuptools would put there itself.
        package_root = Path(self.get_ext_fullpath(ext.name)).resolve().parent.parent
        shutil.rmtree(package_root / "quorvane", ignore_errors=True)  # nothing left from an earlier build
        subprocess.run(["cmake", "--install", str(build_dir), "--component", "python_wheel", "--prefix",
                        str(package_root)], check=True)


# setuptools' own folders go in one place under build/ (ignored by git),
# beside a CMake build tree of that name rather than among its files.
WORK = "build/python-wheel"
os.makedirs(ROOT / WORK, exist_ok=True)
setup(
    ext_modules=[CMakePackage()],
    cmdclass={"build_ext": BuildWithCMake},
    options={"build": {"build_base": WORK}, "egg_info": {"egg_base": WORK}},
)
