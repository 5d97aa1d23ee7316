# The module is imported from the build folder the tests were configured in.
import os
import sys

sys.path.insert(0, os.environ.get("REGVIAFFT_PYTHON_PATH", "build/release/python"))
