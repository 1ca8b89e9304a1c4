# Sourced by the benchmarks: scratch_folder NAME prints a new folder for one
# run, on tmpfs when there is one, so that the figures measure the tools
# rather than the disk's file creation, which every tool pays alike.
scratch_folder() {
  local tmp=/dev/shm
  [ -d "$tmp" ] && [ -w "$tmp" ] || tmp=${TMPDIR:-/tmp}
  mktemp -d "$tmp/tarnwick-$1.XXXXXX"
}
