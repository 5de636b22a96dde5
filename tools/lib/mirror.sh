# Sourced by tools/buildroot and tools/freethreaded.
#
# debian_mirror [ROOT]: the Debian mirror the apt sources under ROOT (default
# /) use: the first URI of a Debian (not security) source, from deb822
# .sources files first, then one-line lists. Prints nothing when none is found.
debian_mirror() {
    local root=${1:-} uri
    uri=$(cat "$root"/etc/apt/sources.list.d/*.sources 2>/dev/null \
        | awk '/^URIs:/ { for (i = 2; i <= NF; i++) print $i }' \
        | grep -E '/debian/?$' | head -n 1 || true)
    if [ -z "$uri" ]; then
        uri=$(cat "$root"/etc/apt/sources.list "$root"/etc/apt/sources.list.d/*.list 2>/dev/null \
            | awk '$1 == "deb" { for (i = 2; i <= NF; i++) if ($i ~ /^(https?|ftp):/) { print $i; break } }' \
            | grep -E '/debian/?$' | head -n 1 || true)
    fi
    [ -n "$uri" ] && printf '%s\n' "${uri%/}"
    return 0
}
