# How this host runs 32-bit x86 programs, for tools/setup and tools/wine.
# Some x86_64 kernels run no 32-bit user code at all (every i386 ELF fails
# with "Exec format error"); there 32-bit Wine runs only under qemu-user,
# registered through binfmt_misc. Sourced, not run.

QEMU_I386=/usr/bin/qemu-i386-static
BINFMT_DIR=/proc/sys/fs/binfmt_misc
BINFMT_ENTRY=$BINFMT_DIR/qemu-i386
# i386 ELF executables and shared objects; flag F opens the interpreter at
# registration, so it also works inside the test sandbox's namespaces.
BINFMT_RULE=':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'$QEMU_I386':F'

# Runs a 93-byte static i386 program that only exits with status 0: true when
# the host (natively or through binfmt_misc) runs 32-bit programs.
host32_runs_i386() {
  local dir status
  dir=$(mktemp -d)
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\x31\xdb\xb8\x01\x00\x00\x00\xcd\x80' \
    > "$dir/probe"
  chmod +x "$dir/probe"
  "$dir/probe" 2>/dev/null
  status=$?
  rm -rf "$dir"
  return $status
}

host32_entry_enabled() {
  [ -f "$BINFMT_ENTRY" ] && head -n1 "$BINFMT_ENTRY" | grep -qx enabled
}

# native: the kernel runs 32-bit code itself; emulated: qemu-user runs it
# (an enabled entry wins over the kernel's own loader); none: nothing does.
host32_mode() {
  if host32_entry_enabled && host32_runs_i386; then
    echo emulated
  elif host32_runs_i386; then
    echo native
  else
    echo none
  fi
}
