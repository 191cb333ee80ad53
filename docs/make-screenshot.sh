#!/usr/bin/env bash
# Takes docs/screenshot.png: the real player under Xvfb, on a made-up library
# of 30 tagged tracks in nested folders, with a throw-away settings store (two
# favourites set). Nothing of the user's own settings or music is touched.
#
# Needs the built player (scripts/build.sh, or BUILD_DIR pointing at a build)
# and Debian's xvfb, xauth, imagemagick and python3-mutagen, which it installs
# when they are missing.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$root/build}
player="$build/corvel-player"
out="$root/docs/screenshot.png"

if [[ ! -x "$player" ]]; then
    echo "No player at $player: build it first (scripts/build.sh)." >&2
    exit 1
fi

missing=()
for package in xvfb xauth imagemagick python3-mutagen; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
if ((${#missing[@]} > 0)); then
    sudo=""
    ((EUID == 0)) || sudo="sudo"
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
music="$work/Music"
config="$work/config"

# Silent WAV files at 8 samples per second: a few KB each, yet their headers
# give believable lengths. Album artist (TPE2), title and album go into an ID3
# chunk, which is what the player reads.
/usr/bin/python3 - "$music" <<'EOF'
import os, sys, wave
from mutagen.wave import WAVE
from mutagen.id3 import TPE2, TIT2, TALB

music = sys.argv[1]
albums = [
    ("Marlow Vance", "Harbour Lights", [("Low Tide", 214), ("Salt and Glass", 247), ("The Long Pier", 305), ("Lanterns", 198)]),
    ("The Quiet Orchard", "Paper Seasons", [("September Rain", 231), ("Kite String", 189), ("Old Radio", 262), ("Slow Bloom", 276)]),
    ("Nadia Okafor", "Northbound", [("Night Train to Oslo", 298), ("Cold Coffee", 174), ("Meridian", 243)]),
    ("Sølvberg Trio", "Vinterlys", [("Første snø", 322), ("Fjordvals", 256), ("Nordlys", 401)]),
    ("Juniper & Ash", "Wild Acre", [("Foxglove", 205), ("Barn Dance", 168), ("Thistle Down", 233), ("Ember", 219)]),
    ("Ciro Valente", "Notte Blu", [("Vespa Blues", 187), ("Piazza at Dusk", 264), ("Limoncello", 201)]),
    ("Echo Parade", "Neon Weather", [("Static Hearts", 226), ("Arcade Summer", 199), ("Signal Lost", 284), ("Afterglow", 312)]),
    ("Hana Mori", "Glass Garden", [("Koi Pond", 238), ("Paper Lantern", 211), ("Moss", 195)]),
    ("The Brass Foundry", "Live at the Ironworks", [("Overture", 143), ("Steam Whistle", 257)]),
]

for artist, album, tracks in albums:
    folder = os.path.join(music, artist, album)
    os.makedirs(folder, exist_ok=True)
    for number, (title, seconds) in enumerate(tracks, 1):
        path = os.path.join(folder, "%02d %s.wav" % (number, title))
        with wave.open(path, "wb") as out:
            out.setnchannels(1)
            out.setsampwidth(1)
            out.setframerate(8)
            out.writeframes(b"\x80" * (8 * seconds))
        audio = WAVE(path)
        audio.add_tags()
        audio.tags.add(TPE2(encoding=3, text=artist))
        audio.tags.add(TIT2(encoding=3, text=title))
        audio.tags.add(TALB(encoding=3, text=album))
        audio.save()
EOF

fav() {
    local file="$music/$1"
    /usr/bin/python3 -c 'import pathlib, sys; print(pathlib.Path(sys.argv[1]).as_uri())' "$file"
}
mkdir -p "$config/Tavrenin International"
cat > "$config/Tavrenin International/Corvelia.conf" <<EOF
[General]
musicFolder=$music
mainColor=orange
iconSize=normal
volume=65
shuffling=false
loopMode=1
lastIndex=0

[favorites]
fav0\\url=$(fav "Nadia Okafor/Northbound/01 Night Train to Oslo.wav")
fav0\\artist=Nadia Okafor
fav0\\title=Night Train to Oslo
fav5\\url=$(fav "Echo Parade/Neon Weather/04 Afterglow.wav")
fav5\\artist=Echo Parade
fav5\\title=Afterglow
EOF

export XDG_CONFIG_HOME="$config" QT_QPA_PLATFORM=xcb PLAYER="$player" SHOT="$work/root.png"
# No window manager: the window sits at the top left without decorations. The
# first start scans the folder; the status line settles on "30 tracks" 5 s
# after the list is filled.
xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
    "$PLAYER" -qwindowgeometry 1040x620+0+0 &
    pid=$!
    sleep 10
    import -window root "$SHOT"
    kill "$pid"
    wait "$pid" || true
'

/usr/bin/convert "$work/root.png" -trim +repage -strip "PNG8:$out" 2>/dev/null ||
    /usr/bin/convert "$work/root.png" -trim +repage -strip "$out"
echo "Wrote $out ($(stat -c %s "$out") bytes)"
