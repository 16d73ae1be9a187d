"""quorvel/__main__.py: `python -m quorvel` runs the command line."""
from .cli import main

if __name__ == "__main__":
    raise SystemExit(main())
