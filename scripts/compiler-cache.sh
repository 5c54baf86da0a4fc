# Sourced by the build scripts. The compiler cache stays in ccache's own
# folder, shared by every clone on the machine, unless the caller (CI, say)
# sets CCACHE_DIR. Paths inside the clone are hashed relative to it, and the
# build folder is left out of the hash, so a second clone finds what the
# first one compiled; its debug information then names the first clone's
# build folder.
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$top}
export CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}
