#!/bin/sh
# Turns the text pixel map of the application icon (icon.txt) into a Windows
# .ico file: one 32 x 32 image, 32 bits per pixel with alpha, and the 1-bit
# mask that older renderers use.
#   sh make_icon.sh icon.txt vk-quillet.ico
set -eu
[ $# -eq 2 ] || {
    echo "usage: sh make_icon.sh PIXMAP ICO" >&2
    exit 2
}

# awk writes every byte as an octal escape, printf turns them into bytes.
bytes=$(awk '
function hex(text,    i, n) {
    n = 0
    for (i = 1; i <= length(text); i++) n = n * 16 + index("0123456789ABCDEF", toupper(substr(text, i, 1))) - 1
    return n
}
function put(b) { out = out sprintf("\\%03o", b) }
function put16(v) { put(v % 256); put(int(v / 256) % 256) }
function put32(v) { put16(v % 65536); put16(int(v / 65536)) }
/^#/ { next }
$1 == "=" { colour[$2] = hex($3); next }
length($0) == 32 { row[rows++] = $0 }
END {
    if (rows != 32) { print "icon: expected 32 rows of 32 pixels, got " rows > "/dev/stderr"; exit 1 }
    image = 40 + 32 * 32 * 4 + 32 * 4
    put16(0); put16(1); put16(1)                       # icon directory: one image
    put(32); put(32); put(0); put(0); put16(1); put16(32); put32(image); put32(22)
    put32(40); put32(32); put32(64); put16(1); put16(32)  # bitmap header: height counts the mask too
    put32(0); put32(32 * 32 * 4); put32(0); put32(0); put32(0); put32(0)
    for (y = 31; y >= 0; y--) {                        # colours, bottom row first, blue green red alpha
        for (x = 1; x <= 32; x++) {
            c = substr(row[y], x, 1)
            if (c == ".") { put32(0); continue }
            if (!(c in colour)) { print "icon: no colour for " c > "/dev/stderr"; exit 1 }
            v = colour[c]
            put(v % 256); put(int(v / 256) % 256); put(int(v / 65536)); put(255)
        }
    }
    for (y = 31; y >= 0; y--) {                        # mask, bottom row first: 1 is transparent
        for (x = 0; x < 32; x += 8) {
            b = 0
            for (k = 0; k < 8; k++) b = b * 2 + (substr(row[y], x + k + 1, 1) == ".")
            put(b)
        }
    }
    printf "%s", out
}' "$1")
# shellcheck disable=SC2059
printf "$bytes" >"$2.part"
mv "$2.part" "$2"
