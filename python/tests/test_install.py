# cmake --install puts the module and its type stubs into the interpreter's module directory under
# the prefix, where the interpreter imports it and the module finds the installed library.
import os
import subprocess
import sys

import pytest


@pytest.mark.skipif(not os.environ.get("VELDRA_BUILD_DIR"), reason="needs the CMake build directory")
def test_installed_module_imports_from_the_prefix(tmp_path):
    subprocess.run(["cmake", "--install", os.environ["VELDRA_BUILD_DIR"], "--prefix", tmp_path], check=True,
                   capture_output=True)
    module_dir = tmp_path / os.environ["VELDRA_PYTHON_INSTALL_DIR"]
    assert (module_dir / "veldra.pyi").is_file()
    code = "import numpy, veldra; veldra.Session(numpy.zeros((9, 9, 3), numpy.uint8)).close(); print(veldra.__file__)"
    env = {"PATH": os.environ["PATH"], "PYTHONPATH": str(module_dir)}
    run = subprocess.run([sys.executable, "-c", code], env=env, cwd=tmp_path, check=True, capture_output=True, text=True)
    assert run.stdout.startswith(str(module_dir))
