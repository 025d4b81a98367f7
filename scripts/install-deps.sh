#!/usr/bin/env bash
# Installs every Debian package vidloom needs to build, run and test.
# Idempotent: packages already present are not fetched again.
set -euo pipefail

PACKAGES=(
  # build
  cmake g++ make pkg-config
  qtbase5-dev libqt5opengl5-dev qtmultimedia5-dev libqt5x11extras5-dev
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev libyuv-dev
  libpulse-dev libx11-dev libx11-xcb-dev libxcb1-dev libxext-dev libxfixes-dev libxrandr-dev libxtst-dev
  libgl1-mesa-dev libglu1-mesa-dev
  # screen capture on Wayland: the portal hands a PipeWire stream
  libpipewire-0.3-dev
  libgtest-dev libgmock-dev
  # translations, desktop entry and package checks
  qttools5-dev-tools qttools5-dev desktop-file-utils appstream dpkg-dev
  # run and test: private X server, sound server, desktop driving, stream checks
  xvfb pulseaudio pulseaudio-utils xdotool x11-utils x11-xserver-utils x11-apps twm
  ffmpeg dbus-x11 xdg-utils tzdata procps
  # H.264 recordings: FFmpeg's libx264 encoder
  libx264-164
  libqt5multimedia5-plugins
  # the camera preview draws with OpenGL: Mesa's software renderer under Xvfb
  libgl1-mesa-dri
  fonts-wqy-microhei
  # a private headless GNOME desktop for the Wayland tests: compositor, portal,
  # PipeWire, a moving client, and AT-SPI to answer the portal's dialog
  mutter xdg-desktop-portal xdg-desktop-portal-gnome pipewire pipewire-bin wireplumber
  gstreamer1.0-tools gstreamer1.0-pipewire gstreamer1.0-plugins-base gstreamer1.0-plugins-bad
  gir1.2-atspi-2.0 at-spi2-core python3-gi dbus
  # the same moving client on X11, for the capture benchmark's comparison
  gstreamer1.0-x
  # a PipeWire producer that changes its picture size (video-src-reneg), for the
  # stand-in portal
  pipewire-tests
  # the real program's windows on that desktop speak X11
  xwayland
  # the portal's window picker lists the windows that GNOME Shell knows
  gnome-shell
  # fuzzing and sanitizers
  clang libclang-rt-14-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
echo "install-deps: installing ${missing[*]}"
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "install-deps: done"
