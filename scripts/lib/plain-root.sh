# Sourced: the plain Debian root a viewer's desktop amounts to, an X server and Mesa's
# OpenGL and nothing else, made once per suite under BUILD_DIR/roots. The Linux release is
# tested in it, and built in a copy of Debian 11's with the build tools added.
PLAIN_ROOT_PACKAGES=(xvfb libgl1-mesa-dri libglx-mesa0)
plain_root() {  # plain_root SUITE BUILD_DIR: prints the root's folder
  "$(dirname "${BASH_SOURCE[0]}")/debian-root.sh" "$1" "$2/roots/$1-plain" "${PLAIN_ROOT_PACKAGES[@]}"
}
