#!/bin/sh
# Makes two short AES-128 HLS streams with ffmpeg, media sequence starting at 5, and the plain bytes
# of each of their segments, decrypted independently by openssl:
#   seq/  no IV attribute: each segment's IV is its media sequence number
#   iv/   one IV attribute for every segment
# Usage: make_hls.sh <output folder>
set -eu
rm -rf "$1"
mkdir -p "$1"
cd "$1"
out=$(pwd)
printf '0123456789abcdef' > key.bin
hexkey=$(od -An -tx1 key.bin | tr -d ' \n')

make_stream() {
    name=$1
    fixed_iv=$2
    mkdir -p "$name/keyed" "$name/plain"
    cp key.bin "$name/keyed/key.bin"
    printf 'key.bin\n%s\n%s\n' "$out/key.bin" "$fixed_iv" > "$name/keyinfo.txt"
    ffmpeg -nostdin -loglevel error -f lavfi -i testsrc=duration=3:size=160x120:rate=10 \
        -c:v mpeg2video -g 10 -f hls -hls_time 1 -hls_list_size 0 -start_number 5 \
        -hls_key_info_file "$name/keyinfo.txt" -hls_segment_filename "$name/keyed/seg%d.ts" \
        "$name/keyed/index.m3u8"
    rm "$name/keyinfo.txt"
    count=0
    for f in "$name"/keyed/seg*.ts; do
        n=$(basename "$f" .ts | sed 's/^seg//')
        iv=${fixed_iv:-$(printf '%032x' "$n")}
        openssl enc -d -aes-128-cbc -K "$hexkey" -iv "$iv" -in "$f" -out "$name/plain/seg$n.ts"
        # A wrong IV spoils only the first block, which must be a transport stream sync byte.
        test "$(od -An -tx1 -N1 "$name/plain/seg$n.ts" | tr -d ' ')" = 47
        count=$((count + 1))
    done
    test "$count" -ge 3
}

make_stream iv 000102030405060708090a0b0c0d0e0f
make_stream seq ''
# ffmpeg writes the first segment's IV on the key line although it encrypts every segment with its own
# sequence number; without the attribute the playlist says what the segments hold.
sed -i 's/,IV=0x[0-9a-fA-F]*//' seq/keyed/index.m3u8
grep -q 'MEDIA-SEQUENCE:5' seq/keyed/index.m3u8
if grep -q 'IV=' seq/keyed/index.m3u8; then exit 1; fi
grep -q 'IV=0x000102030405060708090a0b0c0d0e0f' iv/keyed/index.m3u8
touch stamp
