"""The build's own tools: the mipsel library fetcher takes its archives from the machine's apt
sources, and the package set of `make run` covers what the host build needs."""
import hashlib
import os
import shutil
import subprocess

import pytest

SOURCE = os.environ.get("ORVANE_SOURCE", os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
BUILD = os.environ.get("ORVANE_BUILD", os.path.join(SOURCE, "build"))
TOOLS = os.path.join(SOURCE, "tools")


def make_deb(folder, package, files):
    """Builds a mipsel package holding files (path: bytes) with dpkg-deb; returns its path."""
    tree = os.path.join(folder, package + "-tree")
    os.makedirs(os.path.join(tree, "DEBIAN"))
    with open(os.path.join(tree, "DEBIAN", "control"), "w") as f:
        f.write(f"Package: {package}\nVersion: 1.0\nArchitecture: mipsel\n"
                "Maintainer: Orvane tests <tests@localhost>\nDescription: test package\n")
    for path, content in files.items():
        full = os.path.join(tree, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as f:
            f.write(content)
    deb = os.path.join(folder, f"{package}_1.0_mipsel.deb")
    subprocess.run(["dpkg-deb", "--root-owner-group", "--build", tree, deb], check=True, capture_output=True)
    shutil.rmtree(tree)
    return deb


def flat_repository(folder, packages):
    """A flat apt repository of packages (name: files): the .debs and their Packages index."""
    os.makedirs(folder)
    entries = []
    for package, files in packages.items():
        deb = make_deb(folder, package, files)
        data = open(deb, "rb").read()
        entries.append(f"Package: {package}\nVersion: 1.0\nArchitecture: mipsel\n"
                       f"Maintainer: Orvane tests <tests@localhost>\nFilename: ./{os.path.basename(deb)}\n"
                       f"Size: {len(data)}\nSHA256: {hashlib.sha256(data).hexdigest()}\n"
                       "Description: test package\n")
    with open(os.path.join(folder, "Packages"), "w") as f:
        f.write("\n".join(entries))


class TestFetchMipselLibs:
    def test_packages_come_from_the_configured_sources_of_both_formats(self, tmp_path):
        # Two local archives: one named in a one-line sources list, one in a deb822 file.
        # Every package the script asks for must be there; the tag reader's libraries share the
        # one-line archive.
        flat_repository(str(tmp_path / "one-line"), {
            "libpcre2-dev": {"usr/include/pcre2.h": b"/* one-line */\n"},
            "libid3tag0-dev": {"usr/include/id3tag.h": b"/* id3tag */\n"},
            "libid3tag0": {"usr/lib/mipsel-linux-gnu/libid3tag.so.0": b"id3tag\n"},
            "zlib1g-dev": {"usr/include/zlib.h": b"/* zlib */\n"},
            "zlib1g": {"usr/lib/mipsel-linux-gnu/libz.so.1": b"zlib\n"},
            # The emulated OSD's decoders and font library, with what FreeType needs.
            **{name: {f"usr/share/doc/{name}/marker": name.encode()} for name in (
                "liblhasa-dev", "liblhasa0", "libjpeg62-turbo-dev", "libjpeg62-turbo", "libfreetype-dev",
                "libfreetype6", "libpng-dev", "libpng16-16", "libbrotli-dev", "libbrotli1", "libbz2-dev",
                "libbz2-1.0")}})
        flat_repository(str(tmp_path / "deb822"),
                        {"libpcre2-8-0": {"usr/lib/mipsel-linux-gnu/libpcre2-8.so.0": b"deb822\n"}})
        parts = tmp_path / "sources.list.d"
        parts.mkdir()
        (tmp_path / "sources.list").write_text(f"deb [trusted=yes] file:{tmp_path}/one-line ./\n")
        (parts / "local.sources").write_text(
            f"Types: deb\nURIs: file:{tmp_path}/deb822\nSuites: ./\nTrusted: yes\n")
        config = tmp_path / "apt.conf"
        config.write_text(f'Dir::Etc::SourceList "{tmp_path}/sources.list";\n'
                          f'Dir::Etc::SourceParts "{parts}";\n')
        dest = tmp_path / "sysroot"
        env = dict(os.environ, APT_CONFIG=str(config))
        run = subprocess.run([os.path.join(TOOLS, "fetch-mipsel-libs.sh"), str(dest)], env=env,
                             capture_output=True, text=True, timeout=300)
        assert run.returncode == 0, run.stdout + run.stderr
        assert (dest / "usr/include/pcre2.h").read_bytes() == b"/* one-line */\n"
        assert (dest / "usr/include/id3tag.h").read_bytes() == b"/* id3tag */\n"
        assert (dest / "usr/include/zlib.h").read_bytes() == b"/* zlib */\n"
        assert (dest / "usr/lib/mipsel-linux-gnu/libpcre2-8.so.0").read_bytes() == b"deb822\n"
        assert (dest / "usr/share/doc/libfreetype-dev/marker").read_bytes() == b"libfreetype-dev"
        assert (dest / ".complete-2").exists()

    def test_no_archive_address_is_written_in_the_script(self):
        text = open(os.path.join(TOOLS, "fetch-mipsel-libs.sh")).read()
        for word in ("http://", "https://", "ftp://", "debian.org"):
            assert word not in text


def run_set():
    out = subprocess.run([os.path.join(TOOLS, "setup-deps.sh"), "run", "--list"], capture_output=True,
                         text=True, check=True).stdout
    return set(out.split())


def with_dependencies(packages):
    """The packages and what they depend on directly, by dpkg's records of the installed ones."""
    result = set(packages)
    for package in packages:
        out = subprocess.run(["dpkg-query", "-W", "-f=${Pre-Depends}, ${Depends}", package],
                             capture_output=True, text=True).stdout
        for item in out.replace("|", ",").split(","):
            name = item.strip().split(" ")[0].split(":")[0]
            if name:
                result.add(name)
    return result


def owner(path):
    """The Debian package that installed path, by dpkg's own records."""
    real = os.path.realpath(path)
    for candidate in (path, real):
        out = subprocess.run(["dpkg-query", "-S", candidate], capture_output=True, text=True)
        if out.returncode == 0:
            return out.stdout.split(":")[0].split(",")[0].strip()
    return None


def cache_value(name):
    with open(os.path.join(BUILD, "CMakeCache.txt")) as f:
        for line in f:
            if line.startswith(name + ":"):
                return line.split("=", 1)[1].strip()
    return None


class TestRunPackages:
    def test_the_run_set_holds_every_package_the_host_build_uses(self):
        if not os.path.exists(os.path.join(BUILD, "CMakeCache.txt")):
            pytest.fail(f"no configured host build in {BUILD}")
        needed = {
            "the C++ compiler": cache_value("CMAKE_CXX_COMPILER"),
            "cmake": shutil.which("cmake"),
            "make": shutil.which("make"),
            "python3": "/usr/bin/python3",
            "PCRE2 header": os.path.join(cache_value("SKIMLET_PCRE2_INCLUDE"), "pcre2.h"),
            "PCRE2 library": cache_value("SKIMLET_PCRE2_LIBRARY"),
            "GoogleTest": "/usr/include/gtest/gtest.h",
            "JSON for the emulator": "/usr/include/nlohmann/json.hpp",
        }
        packages = with_dependencies(run_set())
        missing = {}
        for what, path in needed.items():
            package = owner(path)
            assert package, f"{what}: no package owns {path}"
            if package not in packages:
                missing[what] = package
        assert not missing, f"not brought by the run set of tools/setup-deps.sh: {missing}"
