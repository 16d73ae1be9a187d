# tests/test_readme.py: the README's first example runs as written and shows goals.
import pathlib
import re
import subprocess
import sys

README = pathlib.Path(__file__).resolve().parent.parent / "README.md"


def test_first_example_plays_a_match_with_goals():
    example = re.search(r"```python\n(.*?)```", README.read_text(), re.S).group(1)
    out = subprocess.run([sys.executable, "-c", example], check=True, capture_output=True,
                         text=True, timeout=120).stdout
    assert re.search(r"^goal at tick \d+", out, re.M)
    assert re.search(r"^final score \(\d+, \d+\)$", out, re.M)
