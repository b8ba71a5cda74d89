# Debian packages Pictor needs to build, test and demonstrate; installs the missing ones.
PICTOR_PACKAGES=(
    cmake ninja-build g++ g++-multilib pkg-config clang-format
    libgtest-dev libgmock-dev libbenchmark-dev
    ffmpeg mpeg2dec libtiff-tools imagemagick python3 python3-pil python3-numpy
    groff-base man-db
    libtiff-dev libpng-dev libjpeg62-turbo-dev libmpeg2-4-dev libavutil-dev libswscale-dev
    libvips-dev libavformat-dev libavcodec-dev
    # the DVD route the docs show, run end to end by the tests
    dvdauthor mjpegtools genisoimage mpv libheif-examples webp
    clang libclang-rt-14-dev
    # runs the 32-bit tests where the kernel runs no 32-bit programs
    qemu-user
)

ensure_packages() {
    local missing=()
    for p in "${PICTOR_PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        if [ "$(id -u)" -ne 0 ]; then
            echo "Missing packages and not root; run as root or install them: ${missing[*]}" >&2
            return 1
        fi
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
    fi
}
