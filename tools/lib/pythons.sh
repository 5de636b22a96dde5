# Sourced by tools/buildroot.
#
# python_versions: the CPython versions of tools/pythons.txt, one per line,
# the default first.
python_versions() {
    grep -vE '^\s*(#|$)' "$(dirname "${BASH_SOURCE[0]}")/../pythons.txt" | tr -d ' \t'
}
