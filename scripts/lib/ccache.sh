# Sourced by every script that builds: compiles go through ccache when it is
# installed (scripts/setup installs it). Paths below the checkout are hashed
# relative to it and the build folder's own path is left out of the hash, so
# a clone in another folder, or another worktree, hits the same cache.
# KVM_CCACHE=0 builds without it.
if [ "${KVM_CCACHE:-1}" != 0 ] && command -v ccache >/dev/null 2>&1; then
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(git -C "$(dirname "${BASH_SOURCE[0]}")/../.." rev-parse --show-toplevel 2>/dev/null || (cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd))}
  export CCACHE_NOHASHDIR=1
  # Precompiled headers are cached too; their file times do not matter.
  export CCACHE_SLOPPINESS=${CCACHE_SLOPPINESS:-pch_defines,time_macros,include_file_mtime,include_file_ctime}
  export CCACHE_MAXSIZE=${CCACHE_MAXSIZE:-6G}
  # The checkout's folder in -fmacro-prefix-map is the only part of a compile
  # line that differs between clones; what it changes is in the preprocessed
  # source, which ccache hashes anyway.
  export CCACHE_IGNOREOPTIONS="-fmacro-prefix-map=*"
fi
