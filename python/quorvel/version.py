"""python/quorvel/version.py: the package's version, read from its metadata (pyproject.toml is the one place it is written)."""
import importlib.metadata
from pathlib import Path

UNKNOWN = "0+unknown"
"""The version of a copy of the package found neither installed nor in a checkout."""


def package_version() -> str:
    """The version of this copy of the package: its installed distribution's; for a
    checkout run without installing it (a build tree on PYTHONPATH, an editable install),
    the version its pyproject.toml declares; else any installed distribution's, else
    UNKNOWN."""
    here = Path(__file__).resolve().parent
    try:
        dist = importlib.metadata.distribution("quorvel")
    except importlib.metadata.PackageNotFoundError:
        dist = None
    if dist is not None and Path(str(dist.locate_file("quorvel"))).resolve() == here:
        return dist.version
    declared = _checkout_version(here.parent.parent / "pyproject.toml")
    if declared is not None:
        return declared
    return dist.version if dist is not None else UNKNOWN


def _checkout_version(pyproject: Path) -> str | None:
    """The version a checkout's pyproject.toml gives quorvel; None when there is none."""
    try:
        import tomllib

        with pyproject.open("rb") as source:
            project = tomllib.load(source).get("project", {})
    except (OSError, ValueError):  # no checkout here, or not a readable one
        return None
    version = project.get("version") if project.get("name") == "quorvel" else None
    return version if isinstance(version, str) else None
