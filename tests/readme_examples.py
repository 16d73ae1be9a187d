# tests/readme_examples.py: the README's Python examples, as its tests run them and as tools/test.sh type-checks them.
"""Every ```python block of the README, in order. Run as a script,
``python tests/readme_examples.py DIR`` writes example n to DIR/readme_example_<n>.py."""
import re
import sys
from pathlib import Path

README = Path(__file__).resolve().parent.parent / "README.md"


def examples():
    """(section heading, code) of every Python example, in the README's order."""
    found, section = [], ""
    for heading, code in re.findall(r"^## ([^\n]*)$|^```python\n(.*?)^```", README.read_text(), re.M | re.S):
        if heading:
            section = heading
        else:
            found.append((section, code))
    return found


if __name__ == "__main__":
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    for n, (_, code) in enumerate(examples(), 1):
        (out / f"readme_example_{n}.py").write_text(code)
